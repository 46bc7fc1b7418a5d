// Faults of the file system around the private-profile files, on Linux: a
// full disk and a file-size limit during a write (the old file stays whole,
// nothing is left behind), and a register that an installer replaces while
// the dashboard reads it (every read sees one whole version).
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <thread>

#include "PlatformUnderTest.h"

namespace velastrom::test {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t ValueBuffer = 2048;
constexpr std::size_t SectionsBuffer = 16384;

std::size_t EntriesIn(const std::string& folder)
{
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(folder))
        ++entries;
    return entries;
}

// A file system of 64 KiB of its own (tmpfs), mounted for the test; the
// administrator's right, and skipped without it.
class SmallDisk {
public:
    explicit SmallDisk(const std::string& folder) : folder_(folder)
    {
        fs::create_directory(folder_);
        mounted_ = ::mount("tmpfs", folder_.c_str(), "tmpfs", 0, "size=64k") == 0;
        error_ = errno;
    }
    ~SmallDisk()
    {
        if (mounted_)
            ::umount2(folder_.c_str(), MNT_DETACH);
    }
    bool Mounted() const { return mounted_; }
    std::string Error() const { return std::strerror(error_); }

private:
    std::string folder_;
    bool mounted_ = false;
    int error_ = 0;
};

TEST(LinuxProfileFaults, FullDiskRefusesTheWriteAndKeepsTheOldFileWhole)
{
    TempDir dir;
    const std::string folder = dir.File("disk");
    SmallDisk disk(folder);
    if (!disk.Mounted())
        GTEST_SKIP() << "no file system of our own to fill: " << disk.Error();

    const std::string file = folder + "/TavRolendiVelastromRoot.ini";
    const std::string original = "[SCREEN]\r\nT=5\r\nL=5\r\nH=736\r\nW=1024\r\n";
    WriteBytes(file, original);
    {
        // Everything else the disk holds.
        std::ofstream filler(folder + "/filler", std::ios::binary);
        const std::string block(4096, 'x');
        while (filler.write(block.data(), block.size()))
            ;
    }
    PlatformUnderTest platform;
    EXPECT_FALSE(platform.WritePrivateProfile("SCREEN", "T", "-8", file));
    EXPECT_FALSE(platform.WritePrivateProfile("SCREEN", "NEW", "1", file));
    EXPECT_EQ(ReadBytes(file), original);
    EXPECT_EQ(platform.ReadPrivateProfile("SCREEN", "T", "", ValueBuffer, file), "5");
    EXPECT_EQ(EntriesIn(folder), 2u) << "no temporary file left behind";

    // Room again: the next write goes through.
    fs::remove(folder + "/filler");
    EXPECT_TRUE(platform.WritePrivateProfile("SCREEN", "T", "-8", file));
    EXPECT_EQ(platform.ReadPrivateProfile("SCREEN", "T", "", ValueBuffer, file), "-8");
}

// The file-size limit stops a write part of the way, as a full disk does,
// without the administrator's rights.
TEST(LinuxProfileFaults, WriteCutShortKeepsTheOldFileWhole)
{
    TempDir dir;
    const std::string file = dir.File("TavRolendiVelastromRoot.ini");
    const std::string original = "[SCREEN]\r\nT=5\r\nL=5\r\nH=736\r\nW=1024\r\n";
    WriteBytes(file, original);

    PlatformUnderTest platform;
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    struct sigaction ignore {};
    struct sigaction savedAction {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGXFSZ, &ignore, &savedAction);
    rlimit limit = saved;
    limit.rlim_cur = original.size() + 2;  // the new file cannot reach its size
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
    const bool written = platform.WritePrivateProfile("SCREEN", "EXTRA", "1234567890", file);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::sigaction(SIGXFSZ, &savedAction, nullptr);

    EXPECT_FALSE(written);
    EXPECT_EQ(ReadBytes(file), original);
    EXPECT_EQ(EntriesIn(dir.Path().string()), 1u) << "no temporary file left behind";
}

// An installer writes the register anew and renames it into place, over and
// over, while the dashboard reads: each read is of the old file or of the new
// one, whole.
TEST(LinuxProfileFaults, RegisterReplacedDuringReadsIsSeenWholeOldOrNew)
{
    TempDir dir;
    const std::string file = dir.File("TavRolendiDataBase.INI");
    const auto version = [](char tag) {
        std::string text;
        for (int i = 0; i < 200; ++i) {
            const std::string n = std::to_string(i);
            text += std::string("[") + tag + n + ".exe]\r\nINI_REGISTRY_CODE=TR-" + tag + n +
                    "\r\nINI_REGISTRY_PATH=/opt/" + tag + n + "\r\n";
        }
        return text;
    };
    const std::string versions[2] = {version('A'), version('B')};
    const auto sections = [](char tag) {
        std::string list;
        for (int i = 0; i < 200; ++i)
            list += std::string(1, tag) + std::to_string(i) + ".exe" + '\0';
        return list;
    };
    const std::string sectionLists[2] = {sections('A'), sections('B')};
    WriteBytes(file, versions[0]);

    std::atomic<bool> stop{false};
    std::atomic<int> replacements{0};
    std::thread installer([&] {
        for (int i = 1; !stop; ++i) {
            const std::string temp = file + ".new";
            WriteBytes(temp, versions[i % 2]);
            fs::rename(temp, file);
            ++replacements;
        }
    });
    PlatformUnderTest platform;
    int seen[2] = {0, 0};
    // Reads until the installer has replaced the file a few hundred times.
    for (int i = 0; replacements < 300 && i < 200000; ++i) {
        const std::string list = platform.ReadPrivateProfile(nullptr, nullptr, "", SectionsBuffer, file);
        const bool old = list == sectionLists[0];
        EXPECT_TRUE(old || list == sectionLists[1]) << "a mix of two versions, read " << i;
        ++seen[old ? 0 : 1];
        const std::string code = platform.ReadPrivateProfile("A17.exe", "INI_REGISTRY_CODE", "-", ValueBuffer, file);
        EXPECT_TRUE(code == "TR-A17" || code == "-") << code;
    }
    stop = true;
    installer.join();
    EXPECT_GE(replacements.load(), 300);
    EXPECT_GT(seen[0], 0);
    EXPECT_GT(seen[1], 0) << "no read met the new version: the test shows nothing";
    std::printf("reads of the old version %d, of the new %d, replacements %d\n", seen[0], seen[1], replacements.load());
}

}  // namespace
}  // namespace velastrom::test
