// The line list: how text splits into lines, how lines join, reading and
// writing through a stream, bounds, and the sorted list's rules.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cctype>

#include "common/Error.h"
#include "common/StringList.h"

namespace velastrom {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

struct SplitCase {
    const char* name;
    std::string text;
    std::vector<std::string> lines;
};

std::ostream& operator<<(std::ostream& out, const SplitCase& c) { return out << c.name; }

class LineSplitting : public ::testing::TestWithParam<SplitCase> {};

TEST_P(LineSplitting, SetTextGivesTheLines)
{
    TStringList list;
    list.Add("left over");
    list.SetText(GetParam().text);
    EXPECT_THAT(list.Items(), ElementsAreArray(GetParam().lines));
}

TEST_P(LineSplitting, LoadFromStreamGivesTheSameLines)
{
    TMemoryStream stream;
    stream.Write(GetParam().text.data(), GetParam().text.size());
    stream.Seek(0);
    TStringList list;
    list.LoadFromStream(stream);
    EXPECT_THAT(list.Items(), ElementsAreArray(GetParam().lines));
    EXPECT_EQ(stream.Position(), stream.Size());
}

using namespace std::string_literals;

INSTANTIATE_TEST_SUITE_P(
    Rules, LineSplitting,
    ::testing::Values(
        SplitCase{"Empty", "", {}},
        SplitCase{"OneLineNoBreak", "abc", {"abc"}},
        SplitCase{"CrLf", "a\r\nb", {"a", "b"}},
        SplitCase{"LoneCr", "a\rb", {"a", "b"}},
        SplitCase{"LoneLf", "a\nb", {"a", "b"}},
        SplitCase{"LfCrIsTwoBreaks", "a\n\rb", {"a", "", "b"}},
        SplitCase{"CrCrLfIsTwoBreaks", "a\r\r\nb", {"a", "", "b"}},
        SplitCase{"FinalBreakMakesNoEmptyLine", "a\r\nb\r\n", {"a", "b"}},
        SplitCase{"FinalLoneCr", "a\r", {"a"}},
        SplitCase{"EmptyLinesBetweenBreaks", "a\n\n\nb", {"a", "", "", "b"}},
        SplitCase{"OnlyABreak", "\r\n", {""}},
        SplitCase{"TwoBreaksAtTheEnd", "a\r\n\r\n", {"a", ""}},
        SplitCase{"MixedBreaks", "1\r\n2\n3\r4\r\n", {"1", "2", "3", "4"}},
        SplitCase{"NulEndsTheText", "a\r\nb\0c\r\nd"s, {"a", "b"}},
        SplitCase{"NulRightAfterABreak", "a\r\n\0b"s, {"a"}},
        SplitCase{"NulFirst", "\0a\r\nb"s, {}},
        SplitCase{"HighBytesKept", "caff\xE8\r\n\x80\xFF", {"caff\xE8", "\x80\xFF"}},
        SplitCase{"SpacesAndTabsKept", " \t a \r\n", {" \t a "}}),
    [](const ::testing::TestParamInfo<SplitCase>& info) { return std::string(info.param.name); });

TEST(LineJoining, EveryLineEndsInCrLf)
{
    const struct {
        std::vector<std::string> lines;
        std::string text;
    } cases[] = {
        {{}, ""},
        {{""}, "\r\n"},
        {{"a"}, "a\r\n"},
        {{"a", "", "b"}, "a\r\n\r\nb\r\n"},
    };
    for (const auto& c : cases) {
        TStringList list;
        for (const auto& line : c.lines)
            list.Add(line);
        EXPECT_EQ(list.Text(), c.text);
    }
}

TEST(LineJoining, StreamRoundTrip)
{
    // Text read from the stream's position onwards; written at the position
    // without cutting what lies beyond.
    TMemoryStream stream;
    const std::string bytes = "skip|one\ntwo\rthree";
    stream.Write(bytes.data(), bytes.size());
    stream.Seek(5);
    TStringList list;
    list.LoadFromStream(stream);
    EXPECT_THAT(list.Items(), ElementsAre("one", "two", "three"));

    TMemoryStream out;
    const std::string old(40, 'x');
    out.Write(old.data(), old.size());
    out.Seek(2);
    list.SaveToStream(out);
    EXPECT_EQ(out.Position(), 2u + 17u);
    EXPECT_EQ(out.Size(), 40u);
    EXPECT_EQ(std::string(out.Bytes().begin(), out.Bytes().end()),
              "xxone\r\ntwo\r\nthree\r\n" + std::string(21, 'x'));
}

TEST(LineIndexes, OutsideTheListFailWithTheIndex)
{
    TStringList list;
    list.SetText("a\nb");
    for (long long index : {-1LL, 2LL, 100LL, -5000LL}) {
        SCOPED_TRACE(index);
        try {
            (void)list.Get(index);
            ADD_FAILURE() << "Get did not fail";
        } catch (const Error& e) {
            EXPECT_STREQ(e.what(), ("List index out of bounds (" + std::to_string(index) + ")").c_str());
        }
        EXPECT_THROW(list.Put(index, "x"), Error);
    }
    EXPECT_EQ(list.Get(1), "b");
    list.Put(0, "z");
    EXPECT_THAT(list.Items(), ElementsAre("z", "b"));
}

int Caseless(const std::string& a, const std::string& b)
{
    std::string la = a, lb = b;
    for (auto& c : la)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (auto& c : lb)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return la.compare(lb);
}

TEST(SortedList, InsertsInOrderIgnoresDuplicatesAndKeepsTheFirstCase)
{
    TStringList list(Caseless);
    for (const char* code : {"TR-0000000000003", "tr-0000000000001", "TR-0000000000002", "TR-0000000000001",
                             "TR-0000000000003"})
        list.Add(code);
    EXPECT_THAT(list.Items(), ElementsAre("tr-0000000000001", "TR-0000000000002", "TR-0000000000003"));

    long long index = -7;
    EXPECT_TRUE(list.Find("TR-0000000000002", index));
    EXPECT_EQ(index, 1);
    EXPECT_TRUE(list.Find("Tr-0000000000001", index));
    EXPECT_EQ(index, 0);
    EXPECT_FALSE(list.Find("TR-00000000000025", index));
    EXPECT_EQ(index, 2);  // where it would go
    EXPECT_FALSE(list.Find("TR-000000000000", index));
    EXPECT_EQ(index, 0);
}

TEST(PlainList, KeepsDuplicatesAndComparesExactly)
{
    TStringList list;
    list.Add("A");
    list.Add("a");
    list.Add("A");
    EXPECT_THAT(list.Items(), ElementsAre("A", "a", "A"));
    EXPECT_EQ(list.IndexOf("a"), 1);
    EXPECT_EQ(list.IndexOf("b"), -1);
}

}  // namespace
}  // namespace velastrom
