// The Linux services beyond the shared tables: starting programs and
// documents, folders, the clock, the floating-point set-up, and what the
// private-profile writer does to the file system.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cfenv>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "PlatformUnderTest.h"

namespace velastrom::test {
namespace {

namespace fs = std::filesystem;

// Waits for a file that a started process writes (it renames it into place
// when complete); gives up after a generous while so that a fault fails the
// test instead of hanging it.
bool WaitForFile(const std::string& file)
{
    for (int i = 0; i < 1000; ++i) {
        if (fs::exists(file))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

struct ProcessInfo {
    bool found = false;
    char state = '?';
    pid_t parent = 0;
    pid_t session = 0;
};

ProcessInfo Process(pid_t pid)
{
    ProcessInfo info;
    const std::string stat = ReadBytes("/proc/" + std::to_string(pid) + "/stat");
    const std::size_t close = stat.rfind(')');
    if (close == std::string::npos)
        return info;
    std::istringstream rest(stat.substr(close + 2));
    long ppid = 0, pgrp = 0, sid = 0;
    rest >> info.state >> ppid >> pgrp >> sid;
    info.found = true;
    info.parent = static_cast<pid_t>(ppid);
    info.session = static_cast<pid_t>(sid);
    return info;
}

// Our own child processes, zombies included.
std::vector<pid_t> Children()
{
    std::vector<pid_t> children;
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        const pid_t pid = static_cast<pid_t>(std::stol(name));
        const ProcessInfo info = Process(pid);
        if (info.found && info.parent == ::getpid())
            children.push_back(pid);
    }
    return children;
}

void MakeExecutable(const std::string& file, const std::string& text)
{
    WriteBytes(file, text);
    fs::permissions(file, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec);
}

// Runs the body with the current directory set to dir.
class InDirectory {
public:
    explicit InDirectory(const fs::path& dir) : saved_(fs::current_path()) { fs::current_path(dir); }
    ~InDirectory() { fs::current_path(saved_); }

private:
    fs::path saved_;
};

// Names that a shell would take apart or act on.
const char* const awkwardNames[] = {
    "plain",
    "with spaces",
    "semi;colon; touch INJECTED",
    "quotes 'single' \"double\"",
    "$(touch INJECTED) `touch INJECTED` & | > <",
};

TEST(LinuxShellOpen, StartsAProgramDetachedInTheCurrentDirectory)
{
    for (const char* awkward : awkwardNames) {
        SCOPED_TRACE(awkward);
        TempDir dir;
        const fs::path folder = dir.Path() / (std::string("install ") + awkward);
        fs::create_directory(folder);
        const std::string report = dir.File("report");
        const std::string program = (folder / (std::string(awkward) + ".exe")).string();
        // The program reports its process id and current directory, then
        // stays alive so that its place in the process tree can be seen.
        MakeExecutable(program, "#!/bin/sh\n"
                                "{ echo $$; pwd; } > '" + report + ".part'\n"
                                "mv '" + report + ".part' '" + report + "'\n"
                                "exec sleep 30\n");

        PlatformUnderTest platform;
        {
            InDirectory in(folder);
            platform.ShellOpen(0, program);
        }
        EXPECT_TRUE(Children().empty()) << "nothing of ours is left to reap";
        ASSERT_TRUE(WaitForFile(report));
        const std::vector<std::string> lines = Lines(ReadBytes(report));
        ASSERT_EQ(lines.size(), 2u);
        const pid_t pid = static_cast<pid_t>(std::stol(lines[0]));
        EXPECT_EQ(fs::path(lines[1]), folder);
        const ProcessInfo info = Process(pid);
        ASSERT_TRUE(info.found);
        EXPECT_NE(info.parent, ::getpid()) << "the program is not our child";
        EXPECT_NE(info.session, ::getsid(0)) << "the program has a session of its own";
        ::kill(pid, SIGTERM);
        EXPECT_FALSE(fs::exists(folder / "INJECTED"));
        EXPECT_FALSE(fs::exists(dir.Path() / "INJECTED"));
    }
}

TEST(LinuxShellOpen, RelativeNameIsTakenFromTheCurrentDirectory)
{
    TempDir dir;
    const std::string report = dir.File("report");
    MakeExecutable(dir.File("Prog.exe"), "#!/bin/sh\npwd > '" + report + ".part'\nmv '" + report + ".part' '" +
                                             report + "'\n");
    PlatformUnderTest platform;
    {
        InDirectory in(dir.Path());
        platform.ShellOpen(0, "Prog.exe");
    }
    ASSERT_TRUE(WaitForFile(report));
    EXPECT_EQ(fs::path(Lines(ReadBytes(report)).at(0)), dir.Path());
}

TEST(LinuxShellOpen, TheProgramInheritsNoneOfTheDashboardsDescriptors)
{
    // A descriptor the dashboard holds open without close-on-exec, as the
    // display connection or a browser's sockets may be: a product that
    // outlives the dashboard must not keep it.
    TempDir dir;
    const std::string held = dir.File("held");
    WriteBytes(held, "x");
    const int fd = ::open(held.c_str(), O_RDONLY);
    ASSERT_GE(fd, 3);
    const std::string report = dir.File("report");
    MakeExecutable(dir.File("Prog.exe"), "#!/bin/sh\nls /proc/$$/fd > '" + report + ".part'\nmv '" + report +
                                             ".part' '" + report + "'\n");
    PlatformUnderTest platform;
    {
        InDirectory in(dir.Path());
        platform.ShellOpen(0, "Prog.exe");
    }
    ::close(fd);
    ASSERT_TRUE(WaitForFile(report));
    const std::vector<std::string> open = Lines(ReadBytes(report));
    EXPECT_EQ(std::count(open.begin(), open.end(), std::to_string(fd)), 0) << "descriptor " << fd << " was inherited";
}

TEST(LinuxShellOpen, DocumentOpensWithTheDefaultApplicationAsOneArgument)
{
    for (const char* awkward : awkwardNames) {
        SCOPED_TRACE(awkward);
        TempDir dir;
        // A stand-in for the desktop's opener, found on the search path.
        const fs::path bin = dir.Path() / "bin";
        fs::create_directory(bin);
        const std::string report = dir.File("report");
        MakeExecutable((bin / "xdg-open").string(),
                       "#!/bin/sh\n{ echo $#; for a in \"$@\"; do echo \"$a\"; done; } > '" + report +
                           ".part'\nmv '" + report + ".part' '" + report + "'\n");
        const std::string document = dir.File(std::string(awkward) + ".txt");
        WriteBytes(document, "not a program");

        const char* oldPath = std::getenv("PATH");
        const std::string savedPath = oldPath ? oldPath : "";
        ::setenv("PATH", (bin.string() + ":" + savedPath).c_str(), 1);
        PlatformUnderTest platform;
        {
            InDirectory in(dir.Path());
            platform.ShellOpen(0, document);
        }
        ::setenv("PATH", savedPath.c_str(), 1);

        ASSERT_TRUE(WaitForFile(report));
        const std::vector<std::string> lines = Lines(ReadBytes(report));
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[0], "1");
        EXPECT_EQ(lines[1], document);
        EXPECT_FALSE(fs::exists(dir.Path() / "INJECTED"));
    }
}

TEST(LinuxShellOpen, MissingProgramIsNotReportedAndLeavesNoZombie)
{
    TempDir dir;
    PlatformUnderTest platform;
    {
        InDirectory in(dir.Path());
        platform.ShellOpen(0, dir.File("missing.exe"));
        platform.ShellOpen(0, "missing.exe");
        platform.ShellOpen(0, "");
    }
    EXPECT_TRUE(Children().empty());
}

TEST(LinuxFolders, DirectoriesAndTheCurrentDirectory)
{
    TempDir dir;
    PlatformUnderTest platform;
    WriteBytes(dir.File("file"), "x");
    fs::create_directory_symlink(dir.Path(), dir.File("link"));

    EXPECT_TRUE(platform.DirectoryExists(dir.Path().string()));
    EXPECT_TRUE(platform.DirectoryExists(dir.File("link")));
    EXPECT_FALSE(platform.DirectoryExists(dir.File("file")));
    EXPECT_FALSE(platform.DirectoryExists(dir.File("missing")));
    EXPECT_FALSE(platform.DirectoryExists(""));

    const fs::path saved = fs::current_path();
    EXPECT_TRUE(platform.ChangeDirectory(dir.Path().string()));
    EXPECT_EQ(fs::current_path(), dir.Path());
    EXPECT_FALSE(platform.ChangeDirectory(dir.File("missing")));
    EXPECT_EQ(fs::current_path(), dir.Path());
    EXPECT_TRUE(platform.ChangeDirectory(saved.string()));

    const mode_t mask = ::umask(022);
    EXPECT_TRUE(platform.MakeDirectory(dir.File("made")));
    ::umask(mask);
    EXPECT_EQ(fs::status(dir.File("made")).permissions() & fs::perms::all,
              fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec | fs::perms::others_read |
                  fs::perms::others_exec);

    EXPECT_EQ(platform.PathDelimiter(), '/');
    EXPECT_FALSE(platform.IsDriveDelimiter(':'));
    EXPECT_FALSE(platform.IsTrailByte("a\x95\\", 2));
}

TEST(LinuxClock, TickCountIsSteadyAcrossSleep)
{
    PlatformUnderTest platform;
    const std::uint64_t before = platform.TickCount();
    platform.Sleep(30);
    const std::uint64_t after = platform.TickCount();
    EXPECT_GE(after, before + 30) << "a sleep lasts at least as long as asked";
}

TEST(LinuxFloatingPoint, EveryExceptionMaskedAndRoundingToNearest)
{
    ::feenableexcept(FE_DIVBYZERO | FE_INVALID);
    std::fesetround(FE_UPWARD);
    PlatformUnderTest platform;
    platform.MaskFloatingPointExceptions();
    EXPECT_EQ(::fegetexcept(), 0);
    EXPECT_EQ(std::fegetround(), FE_TONEAREST);
    volatile double zero = 0.0;
    EXPECT_TRUE(1.0 / zero > 1e308) << "division by zero gives infinity, no signal";
}

// --- the private-profile writer and the file system -------------------------

TEST(LinuxProfileWriter, KeepsTheModeAndLeavesNoTemporaryFile)
{
    TempDir dir;
    const std::string file = dir.File("placement.ini");
    WriteBytes(file, "[SCREEN]\r\nT=1\r\n");
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

    PlatformUnderTest platform;
    for (const char* key : {"T", "L", "H", "W"})
        ASSERT_TRUE(platform.WritePrivateProfile("SCREEN", key, "7", file));
    EXPECT_EQ(ReadBytes(file), "[SCREEN]\r\nT=7\r\nL=7\r\nH=7\r\nW=7\r\n");
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir.Path()))
        ++entries;
    EXPECT_EQ(entries, 1u);
}

TEST(LinuxProfileWriter, WritesThroughASymbolicLink)
{
    TempDir dir;
    const std::string target = dir.File("real.ini");
    WriteBytes(target, "[S]\r\nk=1\r\n");
    fs::create_symlink(target, dir.File("link.ini"));

    PlatformUnderTest platform;
    ASSERT_TRUE(platform.WritePrivateProfile("S", "k", "2", dir.File("link.ini")));
    EXPECT_TRUE(fs::is_symlink(dir.File("link.ini")));
    EXPECT_EQ(ReadBytes(target), "[S]\r\nk=2\r\n");
}

TEST(LinuxProfileWriter, ReadOnlyFileIsRefusedEvenToTheAdministrator)
{
    TempDir dir;
    const std::string file = dir.File("ro.ini");
    WriteBytes(file, "[S]\r\nk=1\r\n");
    fs::permissions(file, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);

    PlatformUnderTest platform;
    EXPECT_FALSE(platform.WritePrivateProfile("S", "k", "2", file));
    EXPECT_EQ(ReadBytes(file), "[S]\r\nk=1\r\n");
}

// Every read sees the file as it is now, also a file that another program
// changed in place without changing its size, long after it was last read.
TEST(LinuxProfileReader, SeesChangesMadeByOtherPrograms)
{
    TempDir dir;
    const std::string file = dir.File("register.ini");
    WriteBytes(file, "[P.exe]\r\nINI_REGISTRY_CODE=AAAA\r\n");
    // Let the file age, so that the reader has no reason to distrust its times.
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));

    PlatformUnderTest platform;
    EXPECT_EQ(platform.ReadPrivateProfile("P.exe", "INI_REGISTRY_CODE", "", 2048, file), "AAAA");
    EXPECT_EQ(platform.ReadPrivateProfile("P.exe", "INI_REGISTRY_CODE", "", 2048, file), "AAAA");
    {
        const int fd = ::open(file.c_str(), O_WRONLY);
        ASSERT_GE(fd, 0);
        const std::string now = "BBBB";
        ASSERT_EQ(::pwrite(fd, now.data(), now.size(), 27), static_cast<ssize_t>(now.size()));
        ::close(fd);
    }
    EXPECT_EQ(platform.ReadPrivateProfile("P.exe", "INI_REGISTRY_CODE", "", 2048, file), "BBBB");
    fs::remove(file);
    EXPECT_EQ(platform.ReadPrivateProfile("P.exe", "INI_REGISTRY_CODE", "gone", 2048, file), "gone");
}

}  // namespace
}  // namespace velastrom::test
