// The window's placement through the real program: started from a folder of
// its own on the test's display, moved and resized there, closed with its
// stop image, then started again.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "GtkTestSupport.h"

namespace velastrom {
namespace {

using testing::CommandOutput;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Geometry {
    int left = -1, top = -1, width = -1, height = -1;
    bool operator==(const Geometry&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Geometry& g)
{
    return os << "left " << g.left << ", top " << g.top << ", " << g.width << " x " << g.height;
}

int ShellValue(const std::string& shell, const std::string& name)
{
    const std::size_t at = shell.find("\n" + name + "=");
    return at == std::string::npos ? -1 : std::atoi(shell.c_str() + at + name.size() + 2);
}

// The program, copied into a folder of its own so that its placement file
// is the test's; ended at the latest when the test ends.
class Program {
public:
    explicit Program(const fs::path& folder) : path_(folder / "VelastromNavigazione")
    {
        if (!fs::exists(path_))
            fs::copy_file(VELASTROM_PROGRAM, path_);
    }
    ~Program()
    {
        if (pid_ > 0 && !ended_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }

    void Start()
    {
        pid_ = fork();
        if (pid_ == 0) {
            execl(path_.c_str(), path_.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        ended_ = false;
    }

    // The id of its visible dashboard window, or empty after the deadline.
    std::string Window(Clock::time_point deadline)
    {
        std::string window;
        while (window.empty() && Clock::now() < deadline) {
            std::istringstream found(CommandOutput("xdotool search --all --onlyvisible --pid " + std::to_string(pid_) +
                                            " --name '^TAV ROLENDI$'"));
            std::getline(found, window);
            if (window.empty())
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return window;
    }

    // The window's outer bounds as the X server has them (no frame: there is
    // no window manager on the test display).
    static Geometry Bounds(const std::string& window)
    {
        const std::string shell = "\n" + CommandOutput("xdotool getwindowgeometry --shell " + window);
        return {ShellValue(shell, "X"), ShellValue(shell, "Y"), ShellValue(shell, "WIDTH"), ShellValue(shell, "HEIGHT")};
    }

    // Waits until the bounds settle at the expected ones (the window manager's
    // or the program's own moves arrive a little later).
    static Geometry BoundsWhenSettled(const std::string& window, const Geometry& expected, Clock::time_point deadline)
    {
        Geometry now = Bounds(window);
        while (!(now == expected) && Clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            now = Bounds(window);
        }
        return now;
    }

    // Clicks the stop image (48 x 48 at the command bar's right end, inside its
    // margin of 8) and returns the exit code, or -1 when it did not end in time.
    int Stop(const std::string& window, Clock::time_point deadline)
    {
        const Geometry g = Bounds(window);
        const std::string click = "xdotool mousemove " + std::to_string(g.left + g.width - 8 - 24) + " " +
                                  std::to_string(g.top + 8 + 24) + " click 1";
        if (std::system(click.c_str()) != 0)
            return -1;
        int status = 0;
        while (Clock::now() < deadline) {
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                ended_ = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return -1;
    }

private:
    fs::path path_;
    pid_t pid_ = -1;
    bool ended_ = true;
};

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

struct PlacementOfTheProgram : ::testing::Test {
    fs::path folder;
    fs::path placementFile;

    void SetUp() override
    {
        ASSERT_TRUE(testing::OpenDisplay()) << "this test needs an X display";
        char name[] = "/tmp/velastrom-placement-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        folder = name;
        placementFile = folder / "TavRolendiVelastromRoot.ini";
    }
    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }
};

const Geometry Creation{5, 5, 1024, 736};

TEST_F(PlacementOfTheProgram, WindowReopensWhereItWasClosed)
{
    const auto deadline = Clock::now() + std::chrono::seconds(100);
    Program program(folder);

    program.Start();
    std::string window = program.Window(deadline);
    ASSERT_FALSE(window.empty()) << "no window";
    EXPECT_EQ(Program::BoundsWhenSettled(window, Creation, deadline), Creation) << "no placement file yet";

    const Geometry moved{140, 90, 900, 700};
    ASSERT_EQ(std::system(("xdotool windowmove " + window + " 140 90 windowsize " + window + " 900 700").c_str()), 0);
    ASSERT_EQ(Program::BoundsWhenSettled(window, moved, deadline), moved);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the program takes note of the move
    ASSERT_EQ(program.Stop(window, deadline), 0);
    EXPECT_EQ(ReadFile(placementFile), "[SCREEN]\r\nT=90\r\nL=140\r\nH=700\r\nW=900\r\n");

    program.Start();
    window = program.Window(deadline);
    ASSERT_FALSE(window.empty()) << "no window the second time";
    EXPECT_EQ(Program::BoundsWhenSettled(window, moved, deadline), moved);
    ASSERT_EQ(program.Stop(window, deadline), 0);
    EXPECT_EQ(ReadFile(placementFile), "[SCREEN]\r\nT=90\r\nL=140\r\nH=700\r\nW=900\r\n");
}

TEST_F(PlacementOfTheProgram, WindowStoredOffEveryScreenOpensAtCreationGeometry)
{
    const auto deadline = Clock::now() + std::chrono::seconds(100);
    std::ofstream(placementFile, std::ios::binary) << "[SCREEN]\r\nT=5000\r\nL=6000\r\nH=700\r\nW=900\r\n";
    Program program(folder);

    program.Start();
    const std::string window = program.Window(deadline);
    ASSERT_FALSE(window.empty()) << "no window";
    EXPECT_EQ(Program::BoundsWhenSettled(window, Creation, deadline), Creation);
    ASSERT_EQ(program.Stop(window, deadline), 0);
    EXPECT_EQ(ReadFile(placementFile), "[SCREEN]\r\nT=5\r\nL=5\r\nH=736\r\nW=1024\r\n");
}

}  // namespace
}  // namespace velastrom
