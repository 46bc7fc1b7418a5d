// The product register's routines on the real platform layer (natively the
// Linux one, in the Windows build the system's functions under Wine), with
// the Program Files folder moved to a folder of the test's own.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "PlatformUnderTest.h"
#include "products/Register.h"

namespace velastrom::test {
namespace {

class RedirectedPlatform : public PlatformUnderTest {
public:
    explicit RedirectedPlatform(std::string programFiles) : programFiles_(std::move(programFiles)) {}
    TRegistryValue QueryLocalMachineValue(const std::string& key, const std::string& name) override
    {
        // The real key and value are looked up, and only their text replaced.
        TRegistryValue v = PlatformUnderTest::QueryLocalMachineValue(key, name);
        if (v.status == TRegistryValue::Status::Ok)
            v.data = programFiles_ + '\0';
        return v;
    }

private:
    std::string programFiles_;
};

struct RegisterCase {
    const char* name;
    const char* file;                  // nullptr: no register file
    std::vector<std::string> codes;    // the sorted installed-codes list afterwards
    std::string findCode;
    bool found;
    TProductEntry entry;
};

void PrintTo(const RegisterCase& c, std::ostream* os) { *os << c.name; }

const RegisterCase registerCases[] = {
    {"MissingRegister", nullptr, {}, "A1", false, {}},
    {"EmptyRegister", "", {}, "A1", false, {}},
    {"OneProduct",
     "[Prog.exe]\r\nINI_REGISTRY_CODE=A1\r\nINI_REGISTRY_PATH=C:\\Apps\\Prog\r\nINI_REGISTRY_9001=9001\r\n"
     "INI_REGISTRY_YEAR=2024\r\n",
     {"A1"}, "A1", true, {"Prog.exe", "C:\\Apps\\Prog", "9001", "A1", "2024"}},
    {"SameCodeTwiceFirstSectionWins",
     "[One.exe]\r\nINI_REGISTRY_CODE=X\r\nINI_REGISTRY_PATH=p1\r\n[Two.exe]\r\nINI_REGISTRY_CODE=X\r\n"
     "INI_REGISTRY_PATH=p2\r\n",
     {"X"}, "X", true, {"One.exe", "p1", "", "X", ""}},
    {"CodesDifferingInCaseOnlyListedOnce",
     "[Low.exe]\r\nINI_REGISTRY_CODE=abc\r\n[Up.exe]\r\nINI_REGISTRY_CODE=ABC\r\nINI_REGISTRY_PATH=up\r\n",
     {"abc"}, "ABC", true, {"Up.exe", "up", "", "ABC", ""}},
    {"LookupIsCaseSensitive", "[Low.exe]\r\nINI_REGISTRY_CODE=abc\r\n", {"abc"}, "ABC", false, {}},
    {"SectionsWithoutCodeAreSkipped",
     "[None.exe]\r\nINI_REGISTRY_PATH=x\r\n[Empty.exe]\r\nINI_REGISTRY_CODE=\r\n[B.exe]\r\nINI_REGISTRY_CODE=B\r\n"
     "[A.exe]\r\n INI_REGISTRY_CODE = \"A\" \r\n",
     {"A", "B"}, "", true, {"None.exe", "x", "", "", ""}},  // a missing code reads as empty
    {"AccentedCodesSortBesideTheirLetter",
     "[1.exe]\r\nINI_REGISTRY_CODE=f\r\n[2.exe]\r\nINI_REGISTRY_CODE=\xC9t\xE9\r\n[3.exe]\r\nINI_REGISTRY_CODE=e\r\n"
     "[4.exe]\r\nINI_REGISTRY_CODE=\xE9T\xC9\r\n",
     {"e", "\xC9t\xE9", "f"}, "\xE9T\xC9", true, {"4.exe", "", "", "\xE9T\xC9", ""}},
};

class RegisterOnPlatform : public ::testing::TestWithParam<RegisterCase> {};

TEST_P(RegisterOnPlatform, ListsAndFindsProducts)
{
    const RegisterCase& c = GetParam();
    TempDir dir;
    const char d = PlatformUnderTest().PathDelimiter();
    const std::string programFiles = dir.File("Program Files");
    const std::string shared = programFiles + d + "TavRolendi" + d + "SharedDataBase";
    RedirectedPlatform platform(programFiles);
    ASSERT_EQ(GetProgramFilesDir(platform), programFiles);

    if (c.file) {
        std::filesystem::create_directories(shared);
        WriteBytes(shared + d + ProductRegisterFile, c.file);
    }
    auto list = std::make_unique<TStringList>(InstalledCodesCompare(platform));
    LoadInstalledCodes(platform, list);
    EXPECT_EQ(list->Items(), c.codes);
    EXPECT_TRUE(platform.DirectoryExists(shared)) << "the shared folder is created with its parents";

    TProductEntry entry;
    entry.Section = "left over";
    EXPECT_EQ(FindInstalledProduct(platform, c.findCode, entry), c.found);
    EXPECT_EQ(entry.Section, c.entry.Section);
    EXPECT_EQ(entry.Path, c.entry.Path);
    EXPECT_EQ(entry.Value9001, c.entry.Value9001);
    EXPECT_EQ(entry.Code, c.entry.Code);
    EXPECT_EQ(entry.Year, c.entry.Year);
}

INSTANTIATE_TEST_SUITE_P(Cases, RegisterOnPlatform, ::testing::ValuesIn(registerCases),
                         [](const ::testing::TestParamInfo<RegisterCase>& info) { return std::string(info.param.name); });

TEST(RegisterOnPlatformEdges, LongValueIsCutAndAProgramFilesFolderEndingInTheDelimiterIsUsedAsItIs)
{
    TempDir dir;
    const char d = PlatformUnderTest().PathDelimiter();
    std::filesystem::create_directory(dir.File("PF"));
    const std::string programFiles = dir.File("PF") + d;  // ends in the delimiter
    const std::string shared = programFiles + d + "TavRolendi" + d + "SharedDataBase";
    RedirectedPlatform platform(programFiles);
    EXPECT_EQ(GetSharedDataBaseDir(platform), shared);
    ASSERT_TRUE(platform.DirectoryExists(shared));

    const std::string path(3000, 'p');
    WriteBytes(shared + d + ProductRegisterFile, "[P.exe]\r\nINI_REGISTRY_CODE=C\r\nINI_REGISTRY_PATH=" + path + "\r\n");
    TProductEntry entry;
    ASSERT_TRUE(FindInstalledProduct(platform, "C", entry));
    EXPECT_EQ(entry.Path, path.substr(0, 2047));
}

TEST(RegisterOnPlatformEdges, SharedFolderThatCannotBeCreatedGivesAnEmptyList)
{
    TempDir dir;
    const std::string blocker = dir.File("PF");
    WriteBytes(blocker, "a file where the Program Files folder should be");
    RedirectedPlatform platform(blocker);

    auto list = std::make_unique<TStringList>(InstalledCodesCompare(platform));
    LoadInstalledCodes(platform, list);
    EXPECT_EQ(list->Count(), 0u);
    TProductEntry entry;
    EXPECT_FALSE(FindInstalledProduct(platform, "A1", entry));
}

}  // namespace
}  // namespace velastrom::test
