// The real program started twice, as a user starts it, with its home and
// XDG folders in an empty folder of the test's own: every start shows the
// start page as its server has it then, and the program leaves no web data
// of its own behind.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <sstream>
#include <thread>

#include "GtkTestSupport.h"
#include "app/BuildSettings.h"
#include "startpage/StartPage.h"

namespace velastrom {
namespace {

namespace fs = std::filesystem;
using testing::CommandOutput;
using testing::LoopbackPort;
using testing::LoopbackServer;

// An HTTP date: now less the given number of days.
std::string HttpDate(int daysAgo)
{
    const std::time_t when = std::time(nullptr) - static_cast<std::time_t>(daysAgo) * 24 * 60 * 60;
    std::tm utc{};
    gmtime_r(&when, &utc);
    char text[64];
    std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S GMT", &utc);
    return text;
}

int ShellValue(const std::string& shell, const std::string& name)
{
    const std::size_t at = shell.find("\n" + name + "=");
    return at == std::string::npos ? -1 : std::atoi(shell.c_str() + at + name.size() + 2);
}

// A ready start page whose script, run where the page is shown from memory
// (not in the covered browser, which has it from the server), asks the
// server for /shown?<version>.
std::string StartPage(int port, const std::string& version)
{
    return "<!--0003 0003 prodotti-->\r\n<!-- " + std::string(ReadyMarker) +
           " -->\r\n<html><head><title>Velastrom</title></head><body>\r\n<p>Versione " + version +
           "</p>\r\n<script>if (location.protocol !== 'http:') new Image().src = 'http://127.0.0.1:" +
           std::to_string(port) + "/shown?" + version + "';</script>\r\n</body></html>\r\n";
}

// Every file and folder below root, as paths relative to it.
std::vector<std::string> Contents(const fs::path& root)
{
    std::vector<std::string> found;
    std::error_code error;
    for (fs::recursive_directory_iterator it(root, fs::directory_options::none, error), end; !error && it != end;
         it.increment(error))
        found.push_back(fs::relative(it->path(), root).string());
    std::sort(found.begin(), found.end());
    return found;
}

class ProgramRun {
public:
    // Starts the program with HOME and the XDG folders below home.
    ProgramRun(const fs::path& program, const fs::path& home)
    {
        pid_ = fork();
        if (pid_ == 0) {
            setenv("HOME", home.c_str(), 1);
            setenv("XDG_CONFIG_HOME", (home / ".config").c_str(), 1);
            setenv("XDG_CACHE_HOME", (home / ".cache").c_str(), 1);
            setenv("XDG_DATA_HOME", (home / ".local" / "share").c_str(), 1);
            setenv("XDG_STATE_HOME", (home / ".local" / "state").c_str(), 1);
            setenv("XDG_RUNTIME_DIR", (home / "runtime").c_str(), 1);
            execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
    }

    ~ProgramRun()
    {
        if (pid_ > 0 && !ended_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }

    bool Started() const { return pid_ > 0; }

    // Closes the program as a user does, with a click on the stop image;
    // true once it has ended with exit code 0.
    bool CloseWithTheStopImage()
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        std::string window;
        while (window.empty() && std::chrono::steady_clock::now() < deadline) {
            std::istringstream found(CommandOutput("xdotool search --all --onlyvisible --pid " +
                                                   std::to_string(pid_) + " --name '^TAV ROLENDI$'"));
            std::getline(found, window);
            if (window.empty())
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        if (window.empty())
            return false;
        const std::string shell = "\n" + CommandOutput("xdotool getwindowgeometry --shell " + window);
        const int x = ShellValue(shell, "X"), y = ShellValue(shell, "Y"), width = ShellValue(shell, "WIDTH");
        // The stop image: 48 x 48 at the bar's right end, inside its margin of 8.
        const std::string click = "xdotool mousemove " + std::to_string(x + width - 8 - 24) + " " +
                                  std::to_string(y + 8 + 24) + " click 1";
        if (std::system(click.c_str()) != 0)
            return false;
        int status = 0;
        while (!ended_ && std::chrono::steady_clock::now() < deadline) {
            ended_ = waitpid(pid_, &status, WNOHANG) == pid_;
            if (!ended_)
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return ended_ && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }

private:
    pid_t pid_ = -1;
    bool ended_ = false;
};

TEST(TheProgramAcrossStarts, EachStartShowsThePageAsItsServerHasItAndNoWebDataIsLeft)
{
    ASSERT_TRUE(testing::OpenDisplay()) << "this test needs an X display";
    // The program fetches from the start-page host it was built with.
    const std::string startUrl = StartPageUrl;
    std::string pagePath;
    const int port = LoopbackPort(startUrl, &pagePath);
    if (port == 0)
        GTEST_SKIP() << "this build's start page is not on 127.0.0.1: " << startUrl;
    LoopbackServer server(port);
    ASSERT_TRUE(server.Listening()) << "port " << port << " of the start-page host is taken";
    // A page last changed a month ago, with nothing said about its freshness:
    // a disk cache would hold it fresh for days by heuristic.
    const std::string lastModified = "Last-Modified: " + HttpDate(30) + "\r\n";
    auto publish = [&](const std::string& version) {
        server.Add(pagePath, {"text/html", StartPage(port, version), 200, 0, lastModified});
    };

    char folder[] = "/tmp/velastrom-starts-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const fs::path root = folder;
    const fs::path home = root / "home";
    const fs::path programFolder = root / "program";
    fs::create_directories(home);
    fs::create_directories(home / "runtime");
    fs::permissions(home / "runtime", fs::perms::owner_all, fs::perm_options::replace);
    fs::create_directories(programFolder);
    const fs::path program = programFolder / "VelastromNavigazione";
    fs::copy_file(VELASTROM_PROGRAM, program);

    auto count = [&](const std::string& path) {
        const auto requests = server.Requests();
        return static_cast<int>(std::count(requests.begin(), requests.end(), path));
    };
    auto startAndShow = [&](const std::string& version) {
        publish(version);
        ProgramRun run(program, home);
        ASSERT_TRUE(run.Started());
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (count("/shown?" + version) == 0 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_EQ(count("/shown?" + version), 1) << "version " << version << " was not shown";
        // A while on the page, as a user stays: whatever the engine keeps of
        // it has time to reach the disk.
        std::this_thread::sleep_for(std::chrono::seconds(3));
        EXPECT_TRUE(run.CloseWithTheStopImage()) << "the program did not end through the stop image";
    };

    startAndShow("1");
    startAndShow("2");
    EXPECT_EQ(count(pagePath), 2) << "each start asks the server for the start page once";
    EXPECT_EQ(count("/shown?1"), 1) << "the first version was shown again at the second start";

    // The placement file is the program's only file, and it lies beside the
    // program. Below HOME and the XDG folders there are at most the caches
    // that libraries keep for every program of the user, under their own
    // names (Mesa's compiled shaders, fontconfig's font lists, dconf's
    // runtime file): nothing of the program's.
    EXPECT_TRUE(fs::exists(programFolder / "TavRolendiVelastromRoot.ini"));
    const std::vector<std::string> shared = {".cache", ".cache/mesa_shader_cache", ".cache/fontconfig", "runtime",
                                             "runtime/dconf"};
    std::vector<std::string> left = Contents(home);
    left.erase(std::remove_if(left.begin(), left.end(),
                              [&](const std::string& path) {
                                  return std::any_of(shared.begin(), shared.end(), [&](const std::string& s) {
                                      return path == s || (s != ".cache" && s != "runtime" &&
                                                           path.rfind(s + "/", 0) == 0);
                                  });
                              }),
               left.end());
    std::string listing;
    for (const auto& path : left)
        listing += "\n  " + path;
    EXPECT_TRUE(left.empty()) << "written below HOME:" << listing;

    std::error_code ignored;
    fs::remove_all(root, ignored);
}

}  // namespace
}  // namespace velastrom
