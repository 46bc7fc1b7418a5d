// The shared product register against the recording platform fake: where the
// file is, the folder it creates, the codes it lists and the lookup.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "common/Error.h"
#include "fakes/Fakes.h"
#include "platform/Paths.h"
#include "products/Register.h"

namespace velastrom {
namespace {

using fakes::FakePlatform;
using fakes::Log;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

const std::string ProgramFiles = "C:\\Program Files";
const std::string SharedDir = "C:\\Program Files\\TavRolendi\\SharedDataBase";
const std::string RegisterFile = SharedDir + "\\TavRolendiDataBase.INI";

std::vector<std::string> Matching(const Log& log, const std::string& prefix)
{
    std::vector<std::string> out;
    std::copy_if(log.begin(), log.end(), std::back_inserter(out),
                 [&](const std::string& line) { return line.rfind(prefix, 0) == 0; });
    return out;
}

TRegistryValue RegistryString(const std::string& text, std::uint32_t type = REG_SZ_TYPE)
{
    return {TRegistryValue::Status::Ok, type, text + '\0'};
}

FakePlatform::Section Product(const std::string& code, const std::string& path = "C:\\Prodotti\\X",
                              const std::string& value9001 = "9001", const std::string& year = "2024")
{
    return {{"INI_REGISTRY_CODE", code}, {"INI_REGISTRY_PATH", path}, {"INI_REGISTRY_9001", value9001},
            {"INI_REGISTRY_YEAR", year}};
}

struct Register : ::testing::Test {
    Log log;
    FakePlatform platform{log};

    Register()
    {
        platform.directories = {ProgramFiles, ProgramFiles + "\\TavRolendi", SharedDir};
    }
    std::unique_ptr<TStringList> SortedList() { return std::make_unique<TStringList>(InstalledCodesCompare(platform)); }
};

// --- the Program Files folder -----------------------------------------------------

struct RegistryCase {
    const char* name;
    TRegistryValue value;
    const char* result;  // nullptr: fails with error
    const char* error;
};

void PrintTo(const RegistryCase& c, std::ostream* os) { *os << c.name; }

class ProgramFilesDirFromRegistry : public ::testing::TestWithParam<RegistryCase> {};

TEST_P(ProgramFilesDirFromRegistry, ReadsTheValueOnce)
{
    Log log;
    FakePlatform platform(log);
    platform.programFilesDir = GetParam().value;
    if (GetParam().result != nullptr) {
        EXPECT_EQ(GetProgramFilesDir(platform), GetParam().result);
    } else {
        try {
            GetProgramFilesDir(platform);
            ADD_FAILURE() << "no failure";
        } catch (const Error& e) {
            EXPECT_STREQ(e.what(), GetParam().error);
        }
    }
    EXPECT_THAT(log, ElementsAre("Registry(SOFTWARE\\Microsoft\\Windows\\CurrentVersion,ProgramFilesDir)"));
}

const TRegistryValue KeyNotOpened{TRegistryValue::Status::KeyNotOpened, REG_NONE_TYPE, ""};
const TRegistryValue ValueMissing{TRegistryValue::Status::ValueMissing, REG_NONE_TYPE, ""};

INSTANTIATE_TEST_SUITE_P(
    Cases, ProgramFilesDirFromRegistry,
    ::testing::Values(
        RegistryCase{"KeyNotOpened", KeyNotOpened, "", nullptr},
        RegistryCase{"ValueMissing", ValueMissing, "", nullptr},
        RegistryCase{"String", RegistryString("C:\\Program Files"), "C:\\Program Files", nullptr},
        RegistryCase{"ExpandableStringStaysUnexpanded", RegistryString("%SystemDrive%\\Programmi", REG_EXPAND_SZ_TYPE),
                     "%SystemDrive%\\Programmi", nullptr},
        RegistryCase{"TextEndsAtFirstZeroByte",
                     {TRegistryValue::Status::Ok, REG_SZ_TYPE, std::string("D:\\Apps\0junk\0", 13)}, "D:\\Apps",
                     nullptr},
        RegistryCase{"StringWithoutTerminator", {TRegistryValue::Status::Ok, REG_SZ_TYPE, "E:\\P"}, "E:\\P", nullptr},
        RegistryCase{"EmptyData", {TRegistryValue::Status::Ok, REG_SZ_TYPE, ""}, "", nullptr},
        RegistryCase{"EmptyDataOfOtherType", {TRegistryValue::Status::Ok, REG_DWORD_TYPE, ""}, "", nullptr},
        RegistryCase{"Dword", {TRegistryValue::Status::Ok, REG_DWORD_TYPE, std::string("\x01\0\0\0", 4)}, nullptr,
                     "Invalid data type for 'ProgramFilesDir'"},
        RegistryCase{"Binary", {TRegistryValue::Status::Ok, REG_BINARY_TYPE, "C:\\x"}, nullptr,
                     "Invalid data type for 'ProgramFilesDir'"},
        RegistryCase{"DataReadFails", {TRegistryValue::Status::DataFailed, REG_SZ_TYPE, ""}, nullptr,
                     "Failed to get data for 'ProgramFilesDir'"},
        RegistryCase{"DataReadFailsOnOtherType", {TRegistryValue::Status::DataFailed, REG_DWORD_TYPE, ""}, nullptr,
                     "Failed to get data for 'ProgramFilesDir'"}),
    [](const auto& info) { return std::string(info.param.name); });

// --- the trailing delimiter ----------------------------------------------------------

struct DelimiterCase {
    std::string path;
    std::string leadBytes;
    std::string expected;
};

class TrailingDelimiter : public ::testing::TestWithParam<DelimiterCase> {};

TEST_P(TrailingDelimiter, AppendsOneUnlessThere)
{
    Log log;
    FakePlatform platform(log);
    platform.leadBytes = GetParam().leadBytes;
    EXPECT_EQ(WithTrailingDelimiter(platform, GetParam().path), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TrailingDelimiter,
    ::testing::Values(DelimiterCase{"", "", "\\"}, DelimiterCase{"C:\\Dati", "", "C:\\Dati\\"},
                      DelimiterCase{"C:\\Dati\\", "", "C:\\Dati\\"}, DelimiterCase{"C:\\Dati\\\\", "", "C:\\Dati\\\\"},
                      DelimiterCase{"C:", "", "C:\\"}, DelimiterCase{"\\", "", "\\"},
                      // the backslash is the second byte of a double-byte character
                      DelimiterCase{"C:\\\x81\\", "\x81", "C:\\\x81\\\\"},
                      // a double-byte character, then a backslash of its own
                      DelimiterCase{"C:\\\x81\\\\", "\x81", "C:\\\x81\\\\"},
                      // the same bytes, in a code page without double-byte characters
                      DelimiterCase{"C:\\\x81\\", "", "C:\\\x81\\"}));

TEST(FolderPartOfPath, EndsAtLastDelimiterOrDriveColon)
{
    Log log;
    FakePlatform platform(log);
    EXPECT_EQ(FolderPart(platform, "C:\\Programmi\\Velastrom\\V.exe"), "C:\\Programmi\\Velastrom\\");
    EXPECT_EQ(FolderPart(platform, "C:V.exe"), "C:");
    EXPECT_EQ(FolderPart(platform, "V.exe"), "");
    EXPECT_EQ(FolderPart(platform, "C:\\Dati\\"), "C:\\Dati\\");
    platform.leadBytes = "\x81";
    EXPECT_EQ(FolderPart(platform, "C:\\A\\B\x81\\C"), "C:\\A\\") << "a trail byte is no delimiter";
}

// --- the shared folder and its creation ---------------------------------------------

struct FolderCase {
    const char* name;
    TRegistryValue programFiles;
    std::set<std::string> existing;
    std::set<std::string> uncreatable;
    std::string expectedDir;
    std::vector<std::string> expectedCreations;
};

void PrintTo(const FolderCase& c, std::ostream* os) { *os << c.name; }

class SharedFolder : public ::testing::TestWithParam<FolderCase> {};

TEST_P(SharedFolder, IsCreatedWithItsParents)
{
    Log log;
    FakePlatform platform(log);
    platform.programFilesDir = GetParam().programFiles;
    platform.directories = GetParam().existing;
    platform.uncreatableDirectories = GetParam().uncreatable;

    EXPECT_EQ(GetSharedDataBaseDir(platform), GetParam().expectedDir);

    std::vector<std::string> expected;
    for (const auto& folder : GetParam().expectedCreations)
        expected.push_back("CreateDirectory(" + folder + ")");
    EXPECT_THAT(Matching(log, "CreateDirectory("), ElementsAreArray(expected));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SharedFolder,
    ::testing::Values(
        FolderCase{"Existing", RegistryString(ProgramFiles), {ProgramFiles, ProgramFiles + "\\TavRolendi", SharedDir},
                   {}, SharedDir, {}},
        FolderCase{"ParentExists", RegistryString(ProgramFiles), {ProgramFiles}, {}, SharedDir,
                   {ProgramFiles + "\\TavRolendi", SharedDir}},
        FolderCase{"NothingExists", RegistryString(ProgramFiles), {}, {}, SharedDir,
                   {ProgramFiles, ProgramFiles + "\\TavRolendi", SharedDir}},
        FolderCase{"NoProgramFilesFolder", KeyNotOpened, {}, {}, "\\TavRolendi\\SharedDataBase",
                   {"\\TavRolendi", "\\TavRolendi\\SharedDataBase"}},
        FolderCase{"ValueWithTrailingBackslash", RegistryString("C:\\Program Files\\"), {ProgramFiles}, {},
                   "C:\\Program Files\\\\TavRolendi\\SharedDataBase",
                   {"C:\\Program Files\\\\TavRolendi", "C:\\Program Files\\\\TavRolendi\\SharedDataBase"}},
        FolderCase{"ParentUncreatable", RegistryString(ProgramFiles), {ProgramFiles}, {ProgramFiles + "\\TavRolendi"},
                   SharedDir, {ProgramFiles + "\\TavRolendi"}},
        FolderCase{"FolderUncreatable", RegistryString(ProgramFiles), {ProgramFiles}, {SharedDir}, SharedDir,
                   {ProgramFiles + "\\TavRolendi", SharedDir}},
        FolderCase{"RelativeValue", RegistryString("Programmi"), {}, {}, "Programmi\\TavRolendi\\SharedDataBase",
                   {"Programmi", "Programmi\\TavRolendi", "Programmi\\TavRolendi\\SharedDataBase"}},
        FolderCase{"DriveRelativeValue", RegistryString("D:Programmi"), {}, {}, "D:Programmi\\TavRolendi\\SharedDataBase",
                   {"D:Programmi", "D:Programmi\\TavRolendi", "D:Programmi\\TavRolendi\\SharedDataBase"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Register, FolderCreationFailureThatRaisesReachesTheCaller)
{
    platform.directories = {ProgramFiles};
    platform.failures["CreateDirectory(" + ProgramFiles + "\\TavRolendi)"] = "Accesso negato";
    std::unique_ptr<TStringList> list;
    EXPECT_THROW(LoadInstalledCodes(platform, list), Error);
}

// --- the installed codes ---------------------------------------------------------------

TEST_F(Register, NullListBecomesPlainListInFileOrderWithDuplicates)
{
    platform.files[RegisterFile] = {{"zeta.exe", Product("TR-ZZZ")},
                                    {"alfa.exe", Product("TR-AAA")},
                                    {"zeta2.exe", Product("TR-ZZZ")},
                                    {"Zeta3.exe", Product("tr-zzz")}};
    std::unique_ptr<TStringList> list;
    LoadInstalledCodes(platform, list);
    ASSERT_NE(list, nullptr);
    EXPECT_FALSE(list->Sorted());
    EXPECT_THAT(list->Items(), ElementsAre("TR-ZZZ", "TR-AAA", "TR-ZZZ", "tr-zzz"));
}

TEST_F(Register, SortedListKeepsFirstSpellingAndIgnoresDuplicates)
{
    platform.files[RegisterFile] = {{"b.exe", Product("tr-bbb")},
                                    {"a.exe", Product("TR-AAA")},
                                    {"b2.exe", Product("TR-BBB")},
                                    {"a2.exe", Product("TR-AAA")},
                                    {"c.exe", Product("TR-CCC")}};
    auto list = SortedList();
    LoadInstalledCodes(platform, list);
    EXPECT_THAT(list->Items(), ElementsAre("TR-AAA", "tr-bbb", "TR-CCC"));
}

TEST_F(Register, CodesAreAddedToWhatTheListHolds)
{
    platform.files[RegisterFile] = {{"b.exe", Product("TR-BBB")}, {"d.exe", Product("TR-DDD")}};
    auto list = SortedList();
    list->Add("tr-ddd");
    list->Add("TR-CCC");
    LoadInstalledCodes(platform, list);
    EXPECT_THAT(list->Items(), ElementsAre("TR-BBB", "TR-CCC", "tr-ddd"));

    LoadInstalledCodes(platform, list);
    EXPECT_THAT(list->Items(), ElementsAre("TR-BBB", "TR-CCC", "tr-ddd")) << "a second call adds nothing new";
}

TEST_F(Register, SectionsWithoutCodeAddNothing)
{
    platform.files[RegisterFile] = {{"nocode.exe", {{"INI_REGISTRY_PATH", "C:\\X"}}},
                                    {"empty.exe", {{"INI_REGISTRY_CODE", ""}}},
                                    {"ok.exe", Product("TR-OK")},
                                    {"keyless", {}}};
    std::unique_ptr<TStringList> list;
    LoadInstalledCodes(platform, list);
    EXPECT_THAT(list->Items(), ElementsAre("TR-OK"));
}

TEST_F(Register, MissingOrEmptyRegisterAddsNothing)
{
    auto list = SortedList();
    list->Add("TR-KEPT");
    LoadInstalledCodes(platform, list);
    EXPECT_THAT(list->Items(), ElementsAre("TR-KEPT"));

    platform.files[RegisterFile] = {};
    LoadInstalledCodes(platform, list);
    EXPECT_THAT(list->Items(), ElementsAre("TR-KEPT"));

    TProductEntry entry{"s", "p", "v", "c", "y"};
    EXPECT_FALSE(FindInstalledProduct(platform, "TR-KEPT", entry));
    EXPECT_EQ(entry.Section + entry.Path + entry.Value9001 + entry.Code + entry.Year, "");
}

TEST_F(Register, ValuesAreCutTo2047Characters)
{
    const std::string longCode = "TR-" + std::string(3000, 'X');
    const std::string longPath = "C:\\" + std::string(2100, 'p');
    platform.files[RegisterFile] = {{"long.exe", Product(longCode, longPath)}};
    std::unique_ptr<TStringList> list;
    LoadInstalledCodes(platform, list);
    ASSERT_EQ(list->Count(), 1u);
    EXPECT_EQ(list->Get(0), longCode.substr(0, 2047));

    TProductEntry entry;
    EXPECT_FALSE(FindInstalledProduct(platform, longCode, entry)) << "the register's code is seen cut";
    ASSERT_TRUE(FindInstalledProduct(platform, longCode.substr(0, 2047), entry));
    EXPECT_EQ(entry.Path, longPath.substr(0, 2047));
}

TEST_F(Register, SectionNamesBeyondTheListBufferAreNotSeen)
{
    // 400 sections of 40-byte names plus their NULs: 16400 bytes, more than 16384.
    FakePlatform::File file;
    for (int i = 0; i < 400; ++i) {
        std::string name = "section-" + std::to_string(1000 + i);
        name.resize(40, '_');
        file.push_back({name, Product("TR-" + std::to_string(1000 + i))});
    }
    platform.files[RegisterFile] = file;
    std::unique_ptr<TStringList> list;
    LoadInstalledCodes(platform, list);
    // 399 names fill 16359 bytes; the 400th is cut short and names no section.
    ASSERT_EQ(list->Count(), 399u);
    EXPECT_EQ(list->Get(398), "TR-1398");
}

TEST_F(Register, RegistryFailureLeavesTheNewListAndPropagates)
{
    platform.programFilesDir = {TRegistryValue::Status::Ok, REG_DWORD_TYPE, std::string("\x01\0\0\0", 4)};
    std::unique_ptr<TStringList> list;
    try {
        LoadInstalledCodes(platform, list);
        ADD_FAILURE() << "no failure";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Invalid data type for 'ProgramFilesDir'");
    }
    ASSERT_NE(list, nullptr);
    EXPECT_TRUE(list->Empty());

    platform.programFilesDir = {TRegistryValue::Status::DataFailed, REG_SZ_TYPE, ""};
    TProductEntry entry{"s", "p", "v", "c", "y"};
    try {
        FindInstalledProduct(platform, "TR-X", entry);
        ADD_FAILURE() << "no failure";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Failed to get data for 'ProgramFilesDir'");
    }
    EXPECT_EQ(entry.Section + entry.Path + entry.Value9001 + entry.Code + entry.Year, "");
}

TEST_F(Register, EveryCallReadsRegistryAndFileAgain)
{
    auto list = SortedList();
    LoadInstalledCodes(platform, list);
    EXPECT_TRUE(list->Empty());

    platform.files[RegisterFile] = {{"new.exe", Product("TR-NEW", "C:\\Nuovo")}};
    TProductEntry entry;
    EXPECT_TRUE(FindInstalledProduct(platform, "TR-NEW", entry)) << "installed after the list was filled";
    platform.files[RegisterFile] = {};
    EXPECT_FALSE(FindInstalledProduct(platform, "TR-NEW", entry)) << "removed since";

    platform.programFilesDir = RegistryString("D:\\Altrove");
    platform.directories.insert("D:\\Altrove\\TavRolendi\\SharedDataBase");
    platform.files["D:\\Altrove\\TavRolendi\\SharedDataBase\\TavRolendiDataBase.INI"] = {{"d.exe", Product("TR-D")}};
    EXPECT_TRUE(FindInstalledProduct(platform, "TR-D", entry)) << "the registry moved the register";
    EXPECT_EQ(Matching(log, "Registry(").size(), 4u);
}

// --- the lookup ----------------------------------------------------------------------------

TEST_F(Register, LookupIsExactAndTakesFirstSectionInFileOrder)
{
    platform.files[RegisterFile] = {
        {"nocode.exe", {{"INI_REGISTRY_PATH", "C:\\Senza"}}},
        {"first.exe", Product("TR-ABC", "C:\\Primo", "v1", "2021")},
        {"lower.exe", Product("tr-abc", "C:\\Minuscolo", "v2", "2022")},
        {"second.exe", Product("TR-ABC", "C:\\Secondo", "v3", "2023")},
        {"partial.exe", {{"INI_REGISTRY_CODE", "TR-P"}}},
    };
    struct Case {
        std::string code;
        bool found;
        std::string section, path, value9001, year;
    };
    const Case cases[] = {
        {"TR-ABC", true, "first.exe", "C:\\Primo", "v1", "2021"},
        {"tr-abc", true, "lower.exe", "C:\\Minuscolo", "v2", "2022"},
        {"Tr-Abc", false, "", "", "", ""},
        {"TR-AB", false, "", "", "", ""},
        {"TR-ABC ", false, "", "", "", ""},
        {"TR-P", true, "partial.exe", "", "", ""},
        // an empty code matches the first section without one
        {"", true, "nocode.exe", "C:\\Senza", "", ""},
    };
    for (const Case& c : cases) {
        TProductEntry entry{"old", "old", "old", "old", "old"};
        EXPECT_EQ(FindInstalledProduct(platform, c.code, entry), c.found) << c.code;
        EXPECT_EQ(entry.Section, c.section) << c.code;
        EXPECT_EQ(entry.Path, c.path) << c.code;
        EXPECT_EQ(entry.Value9001, c.value9001) << c.code;
        EXPECT_EQ(entry.Code, c.found ? c.code : "") << c.code;
        EXPECT_EQ(entry.Year, c.year) << c.code;
    }
}

TEST_F(Register, LookupOnMissingSharedFolderCreatesIt)
{
    platform.directories = {ProgramFiles};
    TProductEntry entry;
    EXPECT_FALSE(FindInstalledProduct(platform, "TR-X", entry));
    EXPECT_THAT(Matching(log, "CreateDirectory("),
                ElementsAre("CreateDirectory(" + ProgramFiles + "\\TavRolendi)", "CreateDirectory(" + SharedDir + ")"));
    EXPECT_THAT(Matching(log, "WriteProfile("), IsEmpty()) << "the register is only read";
}

}  // namespace
}  // namespace velastrom
