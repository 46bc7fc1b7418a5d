// Peak memory of the start page's way through the dashboard for large pages:
// the snapshot in a memory stream, its lines, the marking, and the marked page
// written back to a stream for the browser. Each page runs in a process of
// its own, so that each peak is its own. Prints figures; asserts nothing.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "common/MemoryStream.h"
#include "common/StringList.h"
#include "startpage/StartPage.h"

namespace {

using namespace velastrom;

long PeakKiB()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// A page of lineCount lines (the header first) of lineLength bytes, every
// tenth a product entry of one of ten installed codes.
std::string Page(std::size_t lineCount, std::size_t lineLength)
{
    std::string page = "<!--0000 9999-->\r\n";
    page.reserve(lineCount * (lineLength + 2) + 64);
    for (std::size_t i = 1; i < lineCount; ++i) {
        std::string line;
        if (i % 10 == 0)
            line = "<tr><td><a href=\"TR-000000000000" + std::to_string(i / 10 % 10) +
                   "|http://127.0.0.1/\"><div id=\"imgnav\"></div></a></td></tr>";
        while (line.size() < lineLength)
            line += "<p>testo</p>";
        line.resize(lineLength);
        page += line;
        page += "\r\n";
    }
    return page;
}

void Run(const char* name, std::size_t lineCount, std::size_t lineLength)
{
    std::fflush(stdout);
    const pid_t child = ::fork();
    if (child != 0) {
        int status = 0;
        ::waitpid(child, &status, 0);
        return;
    }
    const long base = PeakKiB();
    const auto start = std::chrono::steady_clock::now();
    TMemoryStream snapshot;
    {
        const std::string page = Page(lineCount, lineLength);
        snapshot.Write(page.data(), page.size());
    }
    const double pageMiB = static_cast<double>(snapshot.Size()) / (1 << 20);
    snapshot.Seek(0);
    TStringList lines;
    lines.LoadFromStream(snapshot);
    snapshot.Clear();
    TStringList codes([](const std::string& a, const std::string& b) { return a.compare(b); });
    for (int i = 0; i < 10; ++i)
        codes.Add("TR-000000000000" + std::to_string(i));
    MarkInstalledLines(lines, codes);
    TMemoryStream marked;
    lines.SaveToStream(marked);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double peakMiB = static_cast<double>(PeakKiB() - base) / 1024;
    std::printf("%-28s %9zu lines  page %7.1f MiB  peak above start %7.1f MiB  (%.1f x the page)  %.2f s\n", name,
                lines.Count(), pageMiB, peakMiB, peakMiB / pageMiB, seconds);
    std::fflush(stdout);
    ::_exit(0);
}

}  // namespace

int main()
{
    std::printf("start page through snapshot, lines, marking and marked stream (peak resident memory)\n");
    Run("50 MB, lines of 100 bytes", 50u * 1000 * 1000 / 102, 100);
    Run("50 MB, one line", 2, 50u * 1000 * 1000);
    Run("a million lines of 10 bytes", 1000 * 1000, 10);
    Run("a million empty lines", 1000 * 1000, 0);
    return 0;
}
