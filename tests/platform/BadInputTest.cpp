// Bad and oversized input to the private-profile functions, and the cases
// whose point is a permission (run as an unprivileged user: "Unprivileged*").
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "PlatformUnderTest.h"

namespace velastrom::test {
namespace {

using namespace std::string_literals;

constexpr std::size_t ValueBuffer = 2048;
constexpr std::size_t SectionsBuffer = 16384;

// Section names in file order from a section-names buffer.
std::vector<std::string> SplitNames(const std::string& buffer)
{
    std::vector<std::string> names;
    std::size_t start = 0;
    while (start < buffer.size() && buffer[start] != '\0') {
        std::size_t end = buffer.find('\0', start);
        if (end == std::string::npos)
            end = buffer.size();
        names.push_back(buffer.substr(start, end - start));
        start = end + 1;
    }
    return names;
}

std::string Register(std::size_t products, std::size_t padding = 0)
{
    std::string text;
    for (std::size_t i = 0; i < products; ++i) {
        const std::string n = std::to_string(i);
        text += "[Product" + n + ".exe]\r\nINI_REGISTRY_CODE=CODE" + n + "\r\nINI_REGISTRY_PATH=C:\\Apps\\P" + n +
                "\r\n";
        if (padding)
            text += "INI_REGISTRY_9001=" + std::string(padding, 'x') + "\r\n";
    }
    return text;
}

TEST(BadInput, BinaryFileReadsWithoutHarm)
{
    TempDir dir;
    const std::string file = dir.File("binary.ini");
    // Every byte value, with NULs, lone CRs and brackets among them, but no
    // byte-order mark at the start.
    std::string bytes;
    std::uint32_t x = 12345;
    for (int i = 0; i < 200000; ++i) {
        x = x * 1103515245u + 12345u;
        bytes.push_back(static_cast<char>(x >> 16));
    }
    bytes[0] = 'x';
    bytes[1] = 'y';
    WriteBytes(file, bytes);

    PlatformUnderTest platform;
    const std::string names = platform.ReadPrivateProfile(nullptr, nullptr, "", SectionsBuffer, file);
    EXPECT_LE(names.size(), SectionsBuffer - 2);
    EXPECT_EQ(platform.ReadPrivateProfile("no such section here", "k", "dflt", ValueBuffer, file), "dflt");
    for (const std::string& name : SplitNames(names)) {
        const std::string value = platform.ReadPrivateProfile(name.c_str(), "k", "", ValueBuffer, file);
        EXPECT_LT(value.size(), ValueBuffer);
    }
}

TEST(BadInput, TenMegabyteRegister)
{
    TempDir dir;
    const std::string file = dir.File("big.ini");
    const std::string text = Register(40000, 180);
    ASSERT_GT(text.size(), 10u * 1000 * 1000);
    WriteBytes(file, text);

    PlatformUnderTest platform;
    EXPECT_EQ(platform.ReadPrivateProfile("Product39999.exe", "INI_REGISTRY_CODE", "", ValueBuffer, file),
              "CODE39999");
    const std::string names = platform.ReadPrivateProfile(nullptr, nullptr, "", SectionsBuffer, file);
    EXPECT_EQ(names.size(), SectionsBuffer - 2);
}

TEST(BadInput, FiveThousandSectionsAreCutAt16384Bytes)
{
    TempDir dir;
    const std::string file = dir.File("many.ini");
    WriteBytes(file, Register(5000));

    PlatformUnderTest platform;
    const std::string names = platform.ReadPrivateProfile(nullptr, nullptr, "", SectionsBuffer, file);
    ASSERT_EQ(names.size(), SectionsBuffer - 2);
    // The names that fit whole, in file order, then the cut one.
    std::string expected;
    for (int i = 0; expected.size() < SectionsBuffer - 2; ++i)
        expected += "Product" + std::to_string(i) + ".exe" + '\0';
    expected.resize(SectionsBuffer - 2);
    EXPECT_EQ(names, expected);
    const std::vector<std::string> split = SplitNames(names);
    ASSERT_GT(split.size(), 1000u);
    EXPECT_EQ(split[999], "Product999.exe");
    // The last name that partly fits is cut.
    EXPECT_EQ(std::string("Product" + std::to_string(split.size() - 1) + ".exe").rfind(split.back(), 0), 0u);
}

TEST(BadInput, HundredThousandCharacterValue)
{
    TempDir dir;
    const std::string file = dir.File("long.ini");
    std::string value(100000, 'v');
    for (std::size_t i = 0; i < value.size(); i += 7)
        value[i] = static_cast<char>('a' + i % 26);
    WriteBytes(file, "[S]\r\nk=" + value + "\r\nj=after\r\n");

    PlatformUnderTest platform;
    // (Compared as flags: a failure would print the whole text.)
    EXPECT_TRUE(platform.ReadPrivateProfile("S", "k", "", ValueBuffer, file) == value.substr(0, ValueBuffer - 1));
    EXPECT_TRUE(platform.ReadPrivateProfile("S", "k", "", 200000, file) == value);
    EXPECT_EQ(platform.ReadPrivateProfile("S", "j", "", ValueBuffer, file), "after");

    // Written and read back whole. Wine's writer crashes on values of 32767
    // characters or more, so the Windows layer is held to a shorter one.
#ifdef _WIN32
    const std::size_t length = 30000;
#else
    const std::size_t length = 100000;
#endif
    const std::string other = std::string(length, 'w') + "end";
    EXPECT_TRUE(platform.WritePrivateProfile("T", "k", other, file));
    const std::string back = platform.ReadPrivateProfile("T", "k", "", 200000, file);
    EXPECT_EQ(back.size(), other.size());
    EXPECT_TRUE(back == other);
    EXPECT_EQ(platform.ReadPrivateProfile("S", "j", "", ValueBuffer, file), "after");
}

TEST(BadInput, SharedFolderBlockedByAFile)
{
    TempDir dir;
    const std::string blocker = dir.File("Program Files");
    WriteBytes(blocker, "not a folder");
    const char delimiter = PlatformUnderTest().PathDelimiter();
    const std::string folder = blocker + delimiter + "TavRolendi";

    PlatformUnderTest platform;
    EXPECT_FALSE(platform.DirectoryExists(blocker));
    EXPECT_FALSE(platform.MakeDirectory(folder));
    EXPECT_FALSE(platform.DirectoryExists(folder));
    EXPECT_EQ(platform.ReadPrivateProfile(nullptr, nullptr, "", SectionsBuffer,
                                          folder + delimiter + "TavRolendiDataBase.INI"),
              "");
    EXPECT_FALSE(platform.WritePrivateProfile("S", "k", "v", folder + delimiter + "x.ini"));
}

TEST(BadInput, FoldersAreCreatedOneLevelAtATime)
{
    TempDir dir;
    const char delimiter = PlatformUnderTest().PathDelimiter();
    const std::string parent = dir.File("a");
    const std::string child = parent + delimiter + "b";

    PlatformUnderTest platform;
    EXPECT_FALSE(platform.MakeDirectory(child)) << "the parent must exist";
    EXPECT_TRUE(platform.MakeDirectory(parent));
    EXPECT_TRUE(platform.MakeDirectory(child));
    EXPECT_TRUE(platform.DirectoryExists(child));
    EXPECT_FALSE(platform.MakeDirectory(child)) << "an existing folder is not created again";
    EXPECT_FALSE(platform.DirectoryExists(dir.File("missing")));
}

// --- as an unprivileged user --------------------------------------------------

void MakeReadOnly(const std::string& path)
{
    namespace fs = std::filesystem;
    fs::permissions(path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
}

TEST(UnprivilegedProfile, ReadOnlyFileRefusesWritesAndKeepsItsBytes)
{
    TempDir dir;
    const std::string file = dir.File("placement.ini");
    const std::string original = "[SCREEN]\r\nT=100\r\n";
    WriteBytes(file, original);
    MakeReadOnly(file);

    PlatformUnderTest platform;
    EXPECT_FALSE(platform.WritePrivateProfile("SCREEN", "T", "5", file));
    EXPECT_FALSE(platform.WritePrivateProfile("SCREEN", "L", "5", file));
    EXPECT_FALSE(platform.WritePrivateProfile("OTHER", "k", "v", file));
    EXPECT_EQ(ReadBytes(file), original);
    EXPECT_EQ(platform.ReadPrivateProfile("SCREEN", "T", "", ValueBuffer, file), "100");
}

#ifndef _WIN32
// Folder and read permissions have no counterpart that Wine honours.

TEST(UnprivilegedProfile, ReadOnlyFolderRefusesNewFilesAndLeavesNothing)
{
    TempDir dir;
    const std::string folder = dir.File("ro");
    std::filesystem::create_directory(folder);
    const std::string existing = folder + "/existing.ini";
    WriteBytes(existing, "[S]\r\nk=1\r\n");
    MakeReadOnly(folder);

    PlatformUnderTest platform;
    EXPECT_FALSE(platform.WritePrivateProfile("S", "k", "v", folder + "/new.ini"));
    // The file itself is writable, but it cannot be replaced in a read-only folder.
    EXPECT_FALSE(platform.WritePrivateProfile("S", "k", "2", existing));
    EXPECT_EQ(ReadBytes(existing), "[S]\r\nk=1\r\n");
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(folder))
        ++entries;
    EXPECT_EQ(entries, 1u) << "no temporary file left behind";
}

TEST(UnprivilegedProfile, UnreadableRegisterReadsAsMissing)
{
    TempDir dir;
    const std::string file = dir.File("TavRolendiDataBase.INI");
    WriteBytes(file, "[P.exe]\r\nINI_REGISTRY_CODE=C1\r\n");
    std::filesystem::permissions(file, std::filesystem::perms::none);

    PlatformUnderTest platform;
    EXPECT_EQ(platform.ReadPrivateProfile(nullptr, nullptr, "", SectionsBuffer, file), "");
    EXPECT_EQ(platform.ReadPrivateProfile("P.exe", "INI_REGISTRY_CODE", "", ValueBuffer, file), "");
}

TEST(UnprivilegedProfile, SharedFolderBelowAReadOnlyFolderIsNotCreated)
{
    TempDir dir;
    const std::string programFiles = dir.File("opt");
    std::filesystem::create_directory(programFiles);
    MakeReadOnly(programFiles);

    PlatformUnderTest platform;
    EXPECT_FALSE(platform.MakeDirectory(programFiles + "/TavRolendi"));
    EXPECT_FALSE(platform.DirectoryExists(programFiles + "/TavRolendi"));
}
#endif

}  // namespace
}  // namespace velastrom::test
