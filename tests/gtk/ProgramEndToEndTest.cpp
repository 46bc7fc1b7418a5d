// The real program, started as a process on the test's display and closed
// the way a user closes it: a mouse click on the stop image.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <thread>

#include "GtkTestSupport.h"

namespace velastrom {
namespace {

using testing::CommandOutput;

int ShellValue(const std::string& shell, const std::string& name)
{
    const std::size_t at = shell.find(name + "=");
    return at == std::string::npos ? -1 : std::atoi(shell.c_str() + at + name.size() + 1);
}

TEST(TheProgram, TheStopImageEndsItWithExitCodeZero)
{
    ASSERT_TRUE(testing::OpenDisplay()) << "this test needs an X display";
    // A copy in a folder of its own: it needs nothing from the source tree,
    // and what it writes beside itself stays there.
    char folder[] = "/tmp/velastrom-program-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::filesystem::path program = std::filesystem::path(folder) / "VelastromNavigazione";
    std::filesystem::copy_file(VELASTROM_PROGRAM, program);

    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    auto beforeDeadline = [&] { return std::chrono::steady_clock::now() < deadline; };

    std::string window;
    while (window.empty() && beforeDeadline()) {
        std::istringstream found(
            CommandOutput("xdotool search --all --onlyvisible --pid " + std::to_string(pid) + " --name '^TAV ROLENDI$'"));
        std::getline(found, window);
        if (window.empty())
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    int status = 0;
    bool ended = false;
    if (!window.empty()) {
        const std::string shell = CommandOutput("xdotool getwindowgeometry --shell " + window);
        const int x = ShellValue(shell, "X"), y = ShellValue(shell, "Y");
        const int width = ShellValue(shell, "WIDTH");
        EXPECT_EQ(width, 1024) << shell;
        // The stop image: 48 x 48 at the bar's right end, inside its margin of 8.
        const std::string click = "xdotool mousemove " + std::to_string(x + width - 8 - 24) + " " +
                                  std::to_string(y + 8 + 24) + " click 1";
        EXPECT_EQ(std::system(click.c_str()), 0);
        while (!ended && beforeDeadline()) {
            ended = waitpid(pid, &status, WNOHANG) == pid;
            if (!ended)
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    if (!ended) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    std::filesystem::remove_all(folder);
    ASSERT_FALSE(window.empty()) << "the window never appeared";
    ASSERT_TRUE(ended) << "the program did not end after the stop image";
    ASSERT_TRUE(WIFEXITED(status)) << "ended by a signal";
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace velastrom
