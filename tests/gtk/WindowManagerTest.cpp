// The real program under a window manager with frames: its outer bounds
// include the frame, the minimum of 800 x 600 holds when the window is sized
// from outside, and the hints leave out closing and the window menu. The
// test runs its own display and window manager, so a manager never meets the
// other tests' windows.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <thread>
#include <vector>

#include "GtkTestSupport.h"
#include "app/gtk/GtkDashboardView.h"
#include "app/gtk/GtkApplication.h"

namespace velastrom {
namespace {

using testing::CommandOutput;

using Clock = std::chrono::steady_clock;

// Starts a program with DISPLAY set to the given display; -1 when it fails.
pid_t Start(const std::vector<std::string>& argv, const std::string& display, int keepFd = -1)
{
    const pid_t pid = fork();
    if (pid != 0)
        return pid;
    if (!display.empty())
        setenv("DISPLAY", display.c_str(), 1);
    for (int fd = 3; fd < 256; ++fd)
        if (fd != keepFd)
            close(fd);
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
}

void Stop(pid_t pid)
{
    if (pid <= 0)
        return;
    kill(pid, SIGTERM);
    int status = 0;
    for (int i = 0; i < 40 && waitpid(pid, &status, WNOHANG) == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    kill(pid, SIGKILL);
    waitpid(pid, &status, WNOHANG);
}

// Numbers following "name" in a command's output, e.g. "Width: 1022".
int After(const std::string& text, const std::string& name)
{
    const std::size_t at = text.find(name);
    return at == std::string::npos ? -1 : std::atoi(text.c_str() + at + name.size());
}

struct Frame {
    int left = -1, right = -1, top = -1, bottom = -1;
};

struct UnderAWindowManager : ::testing::Test {
    void SetUp() override
    {
        ASSERT_EQ(std::system("command -v openbox >/dev/null"), 0) << "the window manager openbox is not installed";
        // A display of our own: Xvfb picks a free number and writes it to us.
        int channel[2];
        ASSERT_EQ(pipe(channel), 0);
        xvfb = Start({"Xvfb", "-displayfd", std::to_string(channel[1]), "-screen", "0", "1600x1000x24", "-nolisten",
                      "tcp"},
                     "", channel[1]);
        close(channel[1]);
        std::string number;
        char c = 0;
        while (read(channel[0], &c, 1) == 1 && c != '\n')
            number += c;
        close(channel[0]);
        ASSERT_FALSE(number.empty()) << "Xvfb did not start";
        display = ":" + number;
        manager = Start({"openbox"}, display);
        ASSERT_TRUE(Until([&] { return CommandOutput(X("xprop -root _NET_SUPPORTING_WM_CHECK")).find("window id") !=
                                       std::string::npos; }))
            << "the window manager did not start";

        folder = std::filesystem::temp_directory_path() / ("velastrom-wm-" + std::to_string(getpid()));
        std::filesystem::create_directories(folder);
        std::filesystem::copy_file(VELASTROM_PROGRAM, folder / "VelastromNavigazione",
                                   std::filesystem::copy_options::overwrite_existing);
    }

    void TearDown() override
    {
        Stop(program);
        Stop(manager);
        Stop(xvfb);
        std::filesystem::remove_all(folder);
    }

    // A command run against our display.
    std::string X(const std::string& command) const { return "DISPLAY=" + display + " " + command; }

    static bool Until(const std::function<bool()>& condition, int seconds = 30)
    {
        const auto deadline = Clock::now() + std::chrono::seconds(seconds);
        while (!condition()) {
            if (Clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return true;
    }

    Frame FrameOf(const std::string& window) const
    {
        Frame f;
        const std::string text = CommandOutput(X("xprop -id " + window + " _NET_FRAME_EXTENTS"));
        std::sscanf(text.c_str(), "_NET_FRAME_EXTENTS(CARDINAL) = %d, %d, %d, %d", &f.left, &f.right, &f.top, &f.bottom);
        return f;
    }

    pid_t xvfb = -1, manager = -1, program = -1;
    std::string display;
    std::filesystem::path folder;
};

TEST_F(UnderAWindowManager, OuterBoundsIncludeTheFrameAndTheMinimumHolds)
{
    program = Start({(folder / "VelastromNavigazione").string()}, display);
    std::string window;
    ASSERT_TRUE(Until([&] {
        std::istringstream found(CommandOutput(X("xdotool search --onlyvisible --name '^TAV ROLENDI$'")));
        std::getline(found, window);
        return !window.empty() && FrameOf(window).top > 0;
    })) << "no framed window";
    const Frame frame = FrameOf(window);

    // Created at left 5, top 5, 1024 x 736, frame included.
    std::string info;
    ASSERT_TRUE(Until([&] {
        info = CommandOutput(X("xwininfo -id " + window));
        return After(info, "Absolute upper-left X:") - frame.left == 5 &&
               After(info, "Width:") + frame.left + frame.right == 1024;
    })) << info;
    EXPECT_EQ(After(info, "Absolute upper-left Y:") - frame.top, 5) << info;
    EXPECT_EQ(After(info, "Height:") + frame.top + frame.bottom, 736) << info;

    // The hints: the minimum in client terms is 800 x 600 outside; no
    // close function, no window menu and no buttons asked for.
    const std::string hints = CommandOutput(X("xprop -id " + window + " WM_NORMAL_HINTS _MOTIF_WM_HINTS"));
    EXPECT_NE(hints.find("minimum size: " + std::to_string(800 - frame.left - frame.right) + " by " +
                         std::to_string(600 - frame.top - frame.bottom)),
              std::string::npos)
        << hints;
    EXPECT_EQ(hints.find("maximum size"), std::string::npos) << hints;
    unsigned flags = 0, functions = 0, decorations = 0;
    ASSERT_EQ(std::sscanf(hints.c_str() + hints.find("_MOTIF_WM_HINTS(_MOTIF_WM_HINTS) = "),
                          "_MOTIF_WM_HINTS(_MOTIF_WM_HINTS) = %x, %x, %x", &flags, &functions, &decorations),
              3)
        << hints;
    EXPECT_EQ(functions & 0x21u, 0u) << "neither all functions nor closing";
    EXPECT_EQ(functions & 0x1Eu, 0x1Eu) << "resize, move, minimise and maximise";
    EXPECT_EQ(decorations & 0x71u, 0u) << "no window menu, minimise or maximise button";

    // Sized from outside below the minimum: the window manager keeps 800 x 600.
    ASSERT_EQ(std::system(X("xdotool windowsize " + window + " 300 200").c_str()), 0);
    ASSERT_TRUE(Until([&] {
        info = CommandOutput(X("xwininfo -id " + window));
        return After(info, "Width:") + frame.left + frame.right == 800 &&
               After(info, "Height:") + frame.top + frame.bottom == 600;
    })) << info;

    // Moved from outside: the window's bounds follow, and closing stores them.
    ASSERT_EQ(std::system(X("xdotool windowmove " + window + " 140 90").c_str()), 0);
    ASSERT_TRUE(Until([&] {
        info = CommandOutput(X("xwininfo -id " + window));
        return After(info, "Absolute upper-left X:") - frame.left != 5;
    })) << info;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    info = CommandOutput(X("xwininfo -id " + window));
    const int left = After(info, "Absolute upper-left X:") - frame.left;
    const int top = After(info, "Absolute upper-left Y:") - frame.top;

    // The stop image ends the program with exit code 0.
    const std::string click = X("xdotool mousemove " + std::to_string(left + frame.left + 800 - frame.left -
                                                                      frame.right - 32) +
                                " " + std::to_string(top + frame.top + 32) + " click 1");
    ASSERT_EQ(std::system(click.c_str()), 0);
    int status = 0;
    ASSERT_TRUE(Until([&] { return waitpid(program, &status, WNOHANG) == program; })) << "still running";
    program = -1;
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);

    // The stored placement is the outer rectangle, frame included, and the
    // next start opens there.
    const std::string stored = CommandOutput("cat '" + (folder / "TavRolendiVelastromRoot.ini").string() + "'");
    EXPECT_EQ(After(stored, "T="), top) << stored;
    EXPECT_EQ(After(stored, "L="), left) << stored;
    EXPECT_EQ(After(stored, "H="), 600) << stored;
    EXPECT_EQ(After(stored, "W="), 800) << stored;

    program = Start({(folder / "VelastromNavigazione").string()}, display);
    std::string again;
    ASSERT_TRUE(Until([&] {
        std::istringstream found(CommandOutput(X("xdotool search --onlyvisible --name '^TAV ROLENDI$'")));
        std::getline(found, again);
        if (again.empty() || FrameOf(again).top <= 0)
            return false;
        info = CommandOutput(X("xwininfo -id " + again));
        return After(info, "Absolute upper-left X:") - frame.left == left &&
               After(info, "Absolute upper-left Y:") - frame.top == top &&
               After(info, "Width:") + frame.left + frame.right == 800 &&
               After(info, "Height:") + frame.top + frame.bottom == 600;
    })) << info;
}

// Minimising and restoring need a window manager: this runs in a process of
// its own on the display of the test below.
constexpr const char* InsideFlag = "VELASTROM_TEST_INSIDE_WINDOW_MANAGER";

struct CountingEvents : IDashboardEvents {
    void FormCreate() override {}
    void FormDestroy() override {}
    void FormShow() override {}
    void FormActivate() override { ++formActivations; }
    void FormCloseQuery(bool&) override {}
    void FormClose(TCloseAction&) override {}
    void WebBrowserBeforeNavigate2(const std::string&, bool&) override {}
    void WebBrowserDocumentComplete(const std::string&) override {}
    void ImageHomeClick() override {}
    void ImageStopClick() override {}
    int formActivations = 0;
};

TEST(InsideAWindowManager, RestoreAndReturnReachTheApplication)
{
    if (!std::getenv(InsideFlag))
        GTEST_SKIP() << "runs inside UnderAWindowManager.MinimisedAndRestored, on a display with a window manager";
    ASSERT_TRUE(testing::OpenDisplay());
    gtk::GtkApplication app;
    app.Initialize();
    CountingEvents events;
    auto view = app.CreateMainWindow(events);
    auto& window = static_cast<gtk::GtkDashboardView&>(*view);
    GtkWindow* gtkWindow = window.Window();
    int activations = 0, restores = 0;
    app.SetOnActivate([&] { ++activations; });
    window.Show();
    ASSERT_TRUE(testing::PumpUntil([&] { return events.formActivations == 1 && app.Active(); }))
        << "the window's first activation";
    const int activationsBefore = activations;

    gtk_window_iconify(gtkWindow);
    ASSERT_TRUE(testing::PumpUntil([&] {
        return (gdk_window_get_state(gtk_widget_get_window(GTK_WIDGET(gtkWindow))) & GDK_WINDOW_STATE_ICONIFIED) &&
               !app.Active();
    })) << "minimised, and the program no longer active";
    app.SetOnRestore([&] { ++restores; });

    gtk_window_present(gtkWindow);
    EXPECT_TRUE(testing::PumpUntil([&] { return restores == 1; })) << "the restore event";
    EXPECT_TRUE(testing::PumpUntil([&] { return activations == activationsBefore + 1; }))
        << "the program became active again";
    EXPECT_EQ(events.formActivations, 1) << "a return from outside is the application's activation";
}

TEST_F(UnderAWindowManager, MinimisedAndRestored)
{
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    const std::string output = CommandOutput(X(std::string(InsideFlag) + "=1 '" + self +
                                       "' --gtest_filter=InsideAWindowManager.RestoreAndReturnReachTheApplication 2>&1"));
    EXPECT_NE(output.find("[  PASSED  ] 1 test"), std::string::npos) << output;
    EXPECT_EQ(output.find("SKIPPED"), std::string::npos) << output;
}

}  // namespace
}  // namespace velastrom
