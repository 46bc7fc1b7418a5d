// Figures for the Linux window framework and WebKit browser: how long the
// dashboard's browser operations take against a loopback server, and how
// much memory the program and its web processes hold. Prints; asserts nothing.
#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "GtkTestSupport.h"
#include "app/gtk/GtkDashboardView.h"
#include "app/gtk/GtkApplication.h"

using namespace velastrom;
using Clock = std::chrono::steady_clock;

namespace {

const TBodyStyleAssignment NineRows[] = {
    {"Document", "Body", "Style", "OverflowX", "#B0D553"},
    {"Document", "Body", "Style", "OverflowY", "#B0D553"},
    {"Document", "Body", "Style", "scrollbarArrowColor", "#B0D553"},
    {"Document", "Body", "Style", "scrollbar3DLIGHTCOLOR", "#B0D553"},
    {"Document", "Body", "Style", "scrollbarDarkShadowColor", "#B0D553"},
    {"Document", "Body", "Style", "scrollbarFaceColor", "#B0D553"},
    {"Document", "Body", "Style", "scrollbarHighlightColor", "#B0D553"},
    {"Document", "Body", "Style", "scrollbarShadowColor", "#B0D553"},
    {"Document", "Body", "Style", "scrollbarTrackColor", "#B0D553"},
};

double Milliseconds(Clock::time_point since)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

void Report(const char* what, std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    std::printf("%-52s median %8.2f ms   min %8.2f   max %8.2f   (n=%zu)\n", what, samples[samples.size() / 2],
                samples.front(), samples.back(), samples.size());
}

long RssKb(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return 0;
}

// The resident memory of the process and of its children (the web processes).
void ReportMemory(const char* when)
{
    long children = 0;
    int count = 0;
    if (DIR* proc = opendir("/proc")) {
        while (dirent* entry = readdir(proc)) {
            const pid_t pid = std::atoi(entry->d_name);
            if (pid <= 0)
                continue;
            std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
            std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
            const std::size_t close = text.rfind(')');
            if (close == std::string::npos)
                continue;
            int ppid = 0;
            char state = 0;
            std::sscanf(text.c_str() + close + 1, " %c %d", &state, &ppid);
            if (ppid == getpid()) {
                children += RssKb(pid);
                ++count;
            }
        }
        closedir(proc);
    }
    std::printf("memory %-20s program %6ld KB, %d child processes %7ld KB\n", when, RssKb(getpid()), count, children);
}

struct NoEvents : IDashboardEvents {
    void FormCreate() override {}
    void FormDestroy() override {}
    void FormShow() override {}
    void FormActivate() override {}
    void FormCloseQuery(bool&) override {}
    void FormClose(TCloseAction&) override {}
    void WebBrowserBeforeNavigate2(const std::string&, bool&) override {}
    void WebBrowserDocumentComplete(const std::string& url) override { completed.push_back(url); }
    void ImageHomeClick() override {}
    void ImageStopClick() override {}
    std::vector<std::string> completed;
};

std::string Page(std::size_t size)
{
    std::string body = "<html>\r\n<!-- pronto -->\r\n<body>\r\n";
    while (body.size() < size)
        body += "<p><a href=\"TR-ABCDEFGHIJKLM|http://127.0.0.1/prodotto\">Prodotto</a> descrizione</p>\r\n";
    return body + "</body></html>\r\n";
}

}  // namespace

int main()
{
    if (!testing::OpenDisplay()) {
        std::fprintf(stderr, "needs an X display\n");
        return 1;
    }
    const int runs = 20;
    ReportMemory("at start");

    gtk::GtkApplication app;
    app.Initialize();
    NoEvents events;
    std::vector<double> creation;
    std::unique_ptr<IDashboardView> view;
    {
        const auto start = Clock::now();
        view = app.CreateMainWindow(events);
        auto* window = static_cast<gtk::GtkDashboardView*>(view.get());
        window->Show();
        testing::PumpUntil([&] { return gtk_widget_get_mapped(GTK_WIDGET(window->Window())); });
        creation.push_back(Milliseconds(start));
    }
    Report("window created and mapped (first, with web process)", creation);
    IWebBrowser& browser = view->WebBrowser();

    testing::LoopbackServer server;
    for (const std::size_t size : {std::size_t(20000), std::size_t(1000000)}) {
        const std::string path = "/page" + std::to_string(size);
        server.Add(path, {"text/html", Page(size)});
        std::vector<double> interactive, complete, save;
        for (int i = 0; i < runs; ++i) {
            const std::size_t before = events.completed.size();
            const auto start = Clock::now();
            browser.Navigate(server.Url(path));
            testing::PumpUntil([&] { return browser.ReadyState() >= READYSTATE_INTERACTIVE; });
            interactive.push_back(Milliseconds(start));
            testing::PumpUntil([&] { return events.completed.size() > before; });
            complete.push_back(Milliseconds(start));
            const auto saving = Clock::now();
            TMemoryStream stream;
            browser.Save(stream);
            save.push_back(Milliseconds(saving));
        }
        const std::string kb = std::to_string(size / 1000) + " KB page";
        Report(("Navigate to ready state 3, " + kb).c_str(), interactive);
        Report(("Navigate to DocumentComplete, " + kb).c_str(), complete);
        Report(("Save, " + kb).c_str(), save);
    }

    std::vector<double> load, style, styleTogether;
    const std::string snapshot = Page(50000);
    for (int i = 0; i < runs; ++i) {
        TMemoryStream stream;
        stream.Write(snapshot.data(), snapshot.size());
        stream.Seek(0);
        const std::size_t before = events.completed.size();
        const auto start = Clock::now();
        browser.Load(stream);
        testing::PumpUntil([&] { return events.completed.size() > before; });
        load.push_back(Milliseconds(start));

        const auto styling = Clock::now();
        for (const char* name : {"OverflowX", "OverflowY", "scrollbarArrowColor", "scrollbar3DLIGHTCOLOR",
                                 "scrollbarDarkShadowColor", "scrollbarFaceColor", "scrollbarHighlightColor",
                                 "scrollbarShadowColor", "scrollbarTrackColor"})
            browser.Automation()->Get("Document")->Get("Body")->Get("Style")->Set(name, "#B0D553");
        style.push_back(Milliseconds(styling));

        const auto together = Clock::now();
        browser.SetBodyStyles(NineRows);
        styleTogether.push_back(Milliseconds(together));
    }
    Report("Load 50 KB from memory to DocumentComplete", load);
    Report("the nine body style assignments", style);
    Report("the same nine in one round trip (SetBodyStyles)", styleTogether);
    ReportMemory("after the runs");
    return 0;
}
