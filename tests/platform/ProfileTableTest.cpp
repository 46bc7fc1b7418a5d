// The shared table of private-profile cases, and the registry and comparison
// tables, against the real platform layer of the build.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "PlatformUnderTest.h"
#include "ProfileCases.h"

namespace velastrom::test {
namespace {

// The file's entries, one a line: blank lines and blanks around names and
// values left out, whatever form the writer gave the file.
std::string EntriesOf(const std::string& bytes)
{
    auto trim = [](std::string s) {
        const auto blank = [](char c) { return c == ' ' || c == '\t'; };
        while (!s.empty() && blank(s.back()))
            s.pop_back();
        std::size_t b = 0;
        while (b < s.size() && blank(s[b]))
            ++b;
        return s.substr(b);
    };
    std::string out;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        std::size_t end = bytes.find_first_of("\r\n", pos);
        if (end == std::string::npos)
            end = bytes.size();
        std::string line = trim(bytes.substr(pos, end - pos));
        pos = end;
        if (pos < bytes.size() && bytes[pos] == '\r' && pos + 1 < bytes.size() && bytes[pos + 1] == '\n')
            pos += 2;
        else if (pos < bytes.size())
            pos += 1;
        if (line.empty())
            continue;
        const std::size_t eq = line.find('=');
        if (line[0] != '[' && eq != std::string::npos)
            line = trim(line.substr(0, eq)) + "=" + trim(line.substr(eq + 1));
        if (!out.empty())
            out += '\n';
        out += line;
    }
    return out;
}

class ProfileTable : public ::testing::TestWithParam<ProfileCase> {};

TEST_P(ProfileTable, ReadsAndWritesAsWindowsDoes)
{
    const ProfileCase& c = GetParam();
    TempDir dir;
    const std::string file = dir.File(std::string(c.name) + ".ini");
    if (c.file)
        WriteBytes(file, *c.file);

    PlatformUnderTest platform;
    for (std::size_t i = 0; i < c.ops.size(); ++i) {
        const ProfileOp& op = c.ops[i];
        SCOPED_TRACE("operation " + std::to_string(i));
        switch (op.kind) {
        case ProfileOp::Read:
            EXPECT_EQ(platform.ReadPrivateProfile(op.section.c_str(), op.key.c_str(), op.text, op.buffer, file),
                      op.expected)
                << "[" << op.section << "] " << op.key << " buffer " << op.buffer;
            break;
        case ProfileOp::Sections:
            EXPECT_EQ(platform.ReadPrivateProfile(nullptr, nullptr, op.text, op.buffer, file), op.expected)
                << "section names, buffer " << op.buffer;
            break;
        case ProfileOp::Keys:
            EXPECT_EQ(platform.ReadPrivateProfile(op.section.c_str(), nullptr, op.text, op.buffer, file),
                      op.expected)
                << "key names of [" << op.section << "], buffer " << op.buffer;
            break;
        case ProfileOp::Write:
            EXPECT_EQ(platform.WritePrivateProfile(op.section, op.key, op.text, file), op.accepted)
                << "write [" << op.section << "] " << op.key << "=" << op.text;
            break;
        }
    }
    if (c.entriesAfter) {
        EXPECT_EQ(EntriesOf(ReadBytes(file)), *c.entriesAfter);
    }
    if (c.bytesAfter && WriterKeepsUntouchedLines) {
        EXPECT_EQ(ReadBytes(file), *c.bytesAfter);
    }
    if (!c.file && !c.entriesAfter) {
        EXPECT_FALSE(std::filesystem::exists(file)) << "a read created the file";
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, ProfileTable, ::testing::ValuesIn(ProfileCases()),
                         [](const ::testing::TestParamInfo<ProfileCase>& info) { return std::string(info.param.name); });

// --- the registry, read only ------------------------------------------------

struct RegistryCase {
    const char* name;
    const char* key;
    const char* value;
    TRegistryValue::Status status;
};

void PrintTo(const RegistryCase& c, std::ostream* os) { *os << c.name; }

class RegistryTable : public ::testing::TestWithParam<RegistryCase> {};

TEST_P(RegistryTable, QueriesTheLocalMachine)
{
    const RegistryCase& c = GetParam();
    PlatformUnderTest platform;
    const TRegistryValue v = platform.QueryLocalMachineValue(c.key, c.value);
    EXPECT_EQ(static_cast<int>(v.status), static_cast<int>(c.status));
    if (c.status == TRegistryValue::Status::Ok) {
        EXPECT_EQ(v.type, REG_SZ_TYPE);
        ASSERT_FALSE(v.data.empty());
        EXPECT_EQ(v.data.back(), '\0') << "the string's terminating zero is part of the data";
        EXPECT_EQ(v.data.substr(0, v.data.find('\0')), ProgramFilesDir);
    } else {
        EXPECT_TRUE(v.data.empty());
    }
}

const RegistryCase registryCases[] = {
    {"ProgramFilesDir", "SOFTWARE\\Microsoft\\Windows\\CurrentVersion", "ProgramFilesDir",
     TRegistryValue::Status::Ok},
    {"NamesIgnoreLetterCase", "software\\MICROSOFT\\windows\\currentVERSION", "programfilesdir",
     TRegistryValue::Status::Ok},
    {"MissingValue", "SOFTWARE\\Microsoft\\Windows\\CurrentVersion", "NoSuchValueHere",
     TRegistryValue::Status::ValueMissing},
    {"MissingKey", "SOFTWARE\\NoSuchVendorHere\\NoSuchKey", "ProgramFilesDir",
     TRegistryValue::Status::KeyNotOpened},
    {"ParentKeyDoesNotHoldTheValue", "SOFTWARE\\Microsoft\\Windows", "ProgramFilesDir",
     TRegistryValue::Status::ValueMissing},
    {"TrailingBackslash", "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\", "ProgramFilesDir",
     TRegistryValue::Status::Ok},
    {"PartOfAName", "SOFTWARE\\Micro", "ProgramFilesDir", TRegistryValue::Status::KeyNotOpened},
};

INSTANTIATE_TEST_SUITE_P(Cases, RegistryTable, ::testing::ValuesIn(registryCases),
                         [](const ::testing::TestParamInfo<RegistryCase>& info) { return std::string(info.param.name); });

// --- the case-insensitive comparison ------------------------------------------

struct CompareCase {
    const char* a;
    const char* b;
    int sign;  // of CompareText(a, b)
};

const CompareCase compareCases[] = {
    {"", "", 0},
    {"", "a", -1},
    {"abc", "ABC", 0},
    {"ABC", "abd", -1},
    {"b", "A", 1},
    {"abc", "abcd", -1},
    {"a2", "a10", 1},
    {"\xE9", "\xC9", 0},           // e acute, both cases
    {"\xE0\xE8\xEC\xF2\xF9", "\xC0\xC8\xCC\xD2\xD9", 0},
    {"\x9A\x9C\x9E\xFF", "\x8A\x8C\x8E\x9F", 0},  // s caron, oe, z caron, y diaeresis
    {"e", "\xE9", -1},
    {"\xE9", "f", -1},             // accented letters sort beside their base letter
    {"\xE9" "a", "eb", -1},
    {"resume", "r\xE9sum\xE9", -1},
    {"r\xE9sum\xE9", "resumes", -1},
    {"\xF1", "o", -1},
    {"n", "\xF1", -1},
    {"\xFC", "v", -1},
    {"z", "\xC9", 1},
    {"1", "a", -1},
    {"9", "a", -1},
    {"!", "1", -1},
    {" ", "!", -1},
    {"_", "a", -1},
    {"coop", "co-op", -1},
    {"co-op", "cop", -1},
    {"its", "it's", -1},
    {"\xE6", "ae", 0},
    {"ss", "\xDF", 0},
    {"a-b", "ab", 1},
    {"a'b", "a-b", -1},
    {"a\x01" "b", "ab", 1},
    {"a\xAD" "b", "ab", 0},
    {"a b", "ab", -1},
    {"a\tb", "a b", 1},
    {"AB12", "ab12", 0},
    {"ORDINE", "Ordine", 0},
    {"VEL-01", "vel-01", 0},
    {"VEL-01", "VEL-02", -1},
    {"VEL_01", "VEL-01", -1},
    {"VEL-01", "VEL01", 1},
    // The place of a hyphen or an apostrophe: the one further on sorts first.
    {"A-BC", "AB-C", 1},
    {"a-bc", "AB-C", 1},
    {"A-B-C", "AB-C", 1},
    {"A'BC", "AB'C", 1},
    {"a-b", "ab-", 1},
    {"-ab", "a-b", 1},
    {"a'b-", "a-b'", -1},
    // Long common runs, as product codes have, and what follows them.
    {"TR-0000000000123", "TR-0000000004567", -1},
    {"TR-0000000000123", "tr-0000000000123", 0},
    {"TR-000000000012", "TR-0000000000123", -1},
    {"TR-0000000000123", "TR-000000000012-", 1},
    {"x\xE6" "b", "x\xE6" "a", 1},
    {"xaeb", "x\xE6" "a", 1},
    {"Cod\xE6x", "Codaey", -1},
};

int Sign(int v) { return (v > 0) - (v < 0); }

TEST(CompareText, FollowsTheCaseInsensitiveCollation)
{
    PlatformUnderTest platform;
    for (const CompareCase& c : compareCases) {
        EXPECT_EQ(Sign(platform.CompareText(c.a, c.b)), c.sign) << "\"" << c.a << "\" vs \"" << c.b << "\"";
        EXPECT_EQ(Sign(platform.CompareText(c.b, c.a)), -c.sign) << "\"" << c.b << "\" vs \"" << c.a << "\"";
    }
}

// Every single byte followed by "x", sorted: the order and the equal groups
// ("=") as the Windows functions give them.
TEST(CompareText, OrdersEverySingleCharacterAsWindowsDoes)
{
    const std::string expected =
        "20 A0 09 0A 0B 0C 0D 21 22 23 24 25 26 28 29 2A 2C 2E 2F 3A 3B 3F 40 5B 5C 5D 5E=88 5F 60 7B 7C 7D 7E "
        "A1 A6 A8 AF B4 B8 BF 98 91 92 82 93 94 84 8B 9B A2 A3 A4 A5 80 2B 3C 3D 3E B1 AB BB D7 F7 A7 A9 AC AE "
        "B0 B5 B6 B7 85 86 87 95 89 81 8D 8F 90 9D 30 BC BD BE 31 B9 32 B2 33 B3 34 35 36 37 38 39 C6=E6 41=61 "
        "AA C1=E1 C0=E0 C2=E2 C4=E4 C3=E3 C5=E5 42=62 43=63 C7=E7 44=64 D0=F0 45=65 C9=E9 C8=E8 CA=EA CB=EB "
        "46=66 83 47=67 48=68 49=69 CD=ED CC=EC CE=EE CF=EF 4A=6A 4B=6B 4C=6C 4D=6D 4E=6E D1=F1 8C=9C 4F=6F "
        "BA D3=F3 D2=F2 D4=F4 D6=F6 D5=F5 D8=F8 50=70 51=71 52=72 DF 53=73 8A=9A DE=FE 54=74 99 55=75 DA=FA "
        "D9=F9 DB=FB DC=FC 56=76 57=77 AD 01 02 03 04 05 06 07 08 0E 0F 10 11 12 13 14 15 16 17 18 19 1A 1B "
        "1C 1D 1E 1F 7F 27 2D 96 97 58=78 59=79 DD=FD 9F=FF 5A=7A 8E=9E";

    PlatformUnderTest platform;
    std::vector<std::string> texts;
    for (int c = 1; c < 256; ++c)
        texts.push_back(std::string(1, static_cast<char>(c)) + "x");
    std::stable_sort(texts.begin(), texts.end(),
                     [&](const std::string& a, const std::string& b) { return platform.CompareText(a, b) < 0; });
    std::string order;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        if (i > 0)
            order += platform.CompareText(texts[i - 1], texts[i]) == 0 ? "=" : " ";
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02X", static_cast<unsigned char>(texts[i][0]));
        order += hex;
    }
    EXPECT_EQ(order, expected);
}

}  // namespace
}  // namespace velastrom::test
