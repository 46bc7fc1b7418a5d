// The marking of installed products: the header's number rule, the scan
// range, and which lines switch from "imgnav" to "imgrun".
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>

#include "common/Error.h"
#include "startpage/StartPage.h"

namespace velastrom {
namespace {

using ::testing::ElementsAreArray;

// --- the number rule ---------------------------------------------------------------

TEST(HeaderNumber, Table)
{
    const struct {
        std::string field;
        bool ok;
        long long value;
    } cases[] = {
        {"0012", true, 12},  {"  12", true, 12},  {"12", true, 12},     {"0", true, 0},
        {"   0", true, 0},   {"0000", true, 0},   {"+012", true, 12},   {"-001", true, -1},
        {"-999", true, -999}, {"9999", true, 9999}, {"$00C", true, 12},  {"0x0C", true, 12},
        {"0X0c", true, 12},  {"x00C", true, 12},  {"X00c", true, 12},   {"$FFF", true, 4095},
        {" $0a", true, 10},  {"  x1", true, 1},   {" 0x1", true, 1},
        // failures
        {"12  ", false, 0},  {"", false, 0},      {"    ", false, 0},   {"+", false, 0},
        {"-", false, 0},     {"$", false, 0},     {"x", false, 0},      {"0x", false, 0},
        {"  0X", false, 0},  {"12a3", false, 0},  {"1 2", false, 0},    {"-$1", false, 0},
        {"+0x1", false, 0},  {"$-1", false, 0},   {"0x-1", false, 0},   {"\t012", false, 0},
        {"00x1", false, 0},  {"FFFF", false, 0},  {"00C", false, 0},    {"$00G", false, 0},
        {"+-1", false, 0},   {"--1", false, 0},   {"1.0", false, 0},    {"1e2", false, 0},
        // The type's limits: what does not fit is no number (and never overflows).
        {"9223372036854775807", true, 9223372036854775807LL},
        {"-9223372036854775807", true, -9223372036854775807LL},
        {"$7FFFFFFFFFFFFFFF", true, 9223372036854775807LL},
        {"0000000000000000000000000012", true, 12},
        {"9223372036854775808", false, 0},  {"-9223372036854775808", false, 0},
        {"99999999999999999999", false, 0}, {"$8000000000000000", false, 0},
        {"$FFFFFFFFFFFFFFFFF", false, 0},   {"x10000000000000000", false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("field '" + c.field + "'");
        long long value = 424242;
        EXPECT_EQ(ParseHeaderNumber(c.field, value), c.ok);
        if (c.ok) {
            EXPECT_EQ(value, c.value);
        }
    }
}

// --- the scan range ------------------------------------------------------------------

TEST(ScanRange, Table)
{
    const struct {
        std::string header;
        long long lines;
        long long first;
        long long last;
    } cases[] = {
        {"<!--0002 0010-->", 50, 2, 10},
        {"<!--0002Z0010", 50, 2, 10},                 // character 9 is not read
        {"<!--0002 0010 and then 9999", 50, 2, 10},   // nor 14 onwards
        {"<!--0100 0010-->", 50, 0, 10},              // first past the end: the start
        {"<!--0049 0049-->", 50, 49, 49},
        {"<!--0050 0049-->", 50, 0, 49},
        {"<!--0002 0100-->", 50, 2, 49},              // last past the end: the end
        {"<!--0002 0050-->", 50, 2, 49},
        {"<!--  12 0020-->", 50, 12, 20},
        {"<!--12   0020-->", 50, 0, 49},              // trailing spaces fail: the whole page
        {"<!--$00C 0x0F-->", 50, 12, 15},
        {"<!--0002 00z0-->", 50, 0, 49},              // the second field alone fails
        {"<!--abcd 0010-->", 50, 0, 49},
        {"<!-", 50, 0, 49},                           // shorter than 5: empty first field
        {"<!--0002", 50, 0, 49},                      // no second field
        {"<!--0002 ", 50, 0, 49},
        {"<!--0002 001", 50, 2, 1},                   // a short second field: fewer characters
        {"<!--0010 0002-->", 50, 10, 2},
        {"<!--0000 0000-->", 50, 0, 0},
        {"<!--0003 0007-->", 2, 0, 1},
        // a negative first index reads as the start; a negative last still scans nothing
        {"<!---001 0010-->", 50, 0, 10},
        {"<!---001 -005-->", 50, 0, -5},
        {"<!--0003 -001-->", 50, 3, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("header '" + c.header + "' over " + std::to_string(c.lines) + " lines");
        const TScanRange range = HeaderScanRange(c.header, c.lines);
        EXPECT_EQ(range.First, c.first);
        EXPECT_EQ(range.Last, c.last);
    }
}

// --- the marking ------------------------------------------------------------------------

int Caseless(const std::string& a, const std::string& b)
{
    std::string la = a, lb = b;
    for (auto& c : la)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (auto& c : lb)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return la.compare(lb);
}

std::string Entry(const std::string& code)
{
    return "<tr><td><a href=\"" + code + "|http://127.0.0.1:47800/prodotti/x.htm\">Prodotto</a></td>"
           "<td><div id=\"imgnav\"></div></td></tr>";
}

std::string Marked(const std::string& code)
{
    return "<tr><td><a href=\"" + code + "|http://127.0.0.1:47800/prodotti/x.htm\">Prodotto</a></td>"
           "<td><div id=\"imgrun\"></div></td></tr>";
}

const std::string Marker = "<!-- ####TAV-ROLENDI-VELASTROM-HTML-READY#### -->";
const std::string A = "TR-0000000000001";
const std::string B = "TR-0000000000002";
const std::string C = "TR-0000000000003";

struct MarkCase {
    const char* name;
    std::vector<std::string> page;
    std::vector<std::string> installed;
    std::vector<std::string> expected;
};

std::vector<std::string> Mark(const std::vector<std::string>& page, const std::vector<std::string>& installed)
{
    TStringList lines;
    for (const auto& line : page)
        lines.Add(line);
    TStringList codes(Caseless);
    for (const auto& code : installed)
        codes.Add(code);
    MarkInstalledLines(lines, codes);
    return lines.Items();
}

TEST(Marking, Table)
{
    const std::string h = "<!--0002 0010-->";
    const MarkCase cases[] = {
        {"installed and not installed",
         {h, Marker, Entry(A), Entry(B), Entry(C)}, {A, C},
         {h, Marker, Marked(A), Entry(B), Marked(C)}},
        {"code in other letter case than the register",
         {h, Marker, Entry("TR-00000000000AB")}, {"tr-00000000000ab"},
         {h, Marker, Marked("TR-00000000000AB")}},
        {"link mark in lower case is no product link",
         {h, Marker, "<a href=\"tr-0000000000001|x\"><div id=\"imgnav\">"}, {A},
         {h, Marker, "<a href=\"tr-0000000000001|x\"><div id=\"imgnav\">"}},
        {"attribute name in capitals is no product link",
         {h, Marker, "<a HREF=\"TR-0000000000001|x\"><div id=\"imgnav\">"}, {A},
         {h, Marker, "<a HREF=\"TR-0000000000001|x\"><div id=\"imgnav\">"}},
        {"tag in other case or spacing is not changed",
         {h, Marker, "<a href=\"TR-0000000000001|x\"><DIV id=\"imgnav\">",
          "<a href=\"TR-0000000000001|x\"><div id = \"imgnav\">", "<a href=\"TR-0000000000001|x\"><div id='imgnav'>",
          "<a href=\"TR-0000000000001|x\"><div id=\"IMGNAV\">"},
         {A},
         {h, Marker, "<a href=\"TR-0000000000001|x\"><DIV id=\"imgnav\">",
          "<a href=\"TR-0000000000001|x\"><div id = \"imgnav\">", "<a href=\"TR-0000000000001|x\"><div id='imgnav'>",
          "<a href=\"TR-0000000000001|x\"><div id=\"IMGNAV\">"}},
        {"only the first link decides",
         {h, Marker,
          "<a href=\"TR-0000000000002|x\"><div id=\"imgnav\"></div><a href=\"TR-0000000000001|y\"><div id=\"imgnav\">",
          "<a href=\"TR-0000000000001|x\"><div id=\"imgnav\"></div><a href=\"TR-0000000000002|y\"><div id=\"imgnav\">"},
         {A},
         {h, Marker,
          "<a href=\"TR-0000000000002|x\"><div id=\"imgnav\"></div><a href=\"TR-0000000000001|y\"><div id=\"imgnav\">",
          "<a href=\"TR-0000000000001|x\"><div id=\"imgrun\"></div><a href=\"TR-0000000000002|y\"><div id=\"imgnav\">"}},
        {"the tag may stand before the link",
         {h, Marker, "<div id=\"imgnav\"></div><a href=\"TR-0000000000001|x\">"}, {A},
         {h, Marker, "<div id=\"imgrun\"></div><a href=\"TR-0000000000001|x\">"}},
        {"an installed link without the tag stays",
         {h, Marker, "<a href=\"TR-0000000000001|x\">", "<div id=\"imgnav\"> no link"}, {A},
         {h, Marker, "<a href=\"TR-0000000000001|x\">", "<div id=\"imgnav\"> no link"}},
        {"a short code takes in what follows it",
         {h, Marker, "<a href=\"TR-12|http://a.b/c\"><div id=\"imgnav\">",
          "<a href=\"TR-12|http://a.b/d\"><div id=\"imgnav\">"},
         {"TR-12", "TR-12|HTTP://A.B"},  // 16 characters from the T
         {h, Marker, "<a href=\"TR-12|http://a.b/c\"><div id=\"imgrun\">",
          "<a href=\"TR-12|http://a.b/d\"><div id=\"imgrun\">"}},
        {"a short code with no match",
         {h, Marker, "<a href=\"TR-12|http://a.b/c\"><div id=\"imgnav\">"}, {"TR-12"},
         {h, Marker, "<a href=\"TR-12|http://a.b/c\"><div id=\"imgnav\">"}},
        {"a code cut by the line's end",
         {h, Marker, "<div id=\"imgnav\"><a href=\"TR-99"}, {"TR-99"},
         {h, Marker, "<div id=\"imgrun\"><a href=\"TR-99"}},
        {"a long code compares its first 16 characters",
         {h, Marker, Entry("TR-0000000000001XYZ"), Entry("TR-000000000000")}, {A},
         {h, Marker, Marked("TR-0000000000001XYZ"), Entry("TR-000000000000")}},
        {"installed lines outside the range stay",
         {h, Marker, Entry(A), Entry(A), Entry(A), Entry(A), Entry(A), Entry(A), Entry(A), Entry(A), Entry(A),
          Entry(A), Entry(A)},
         {A},
         {h, Marker, Marked(A), Marked(A), Marked(A), Marked(A), Marked(A), Marked(A), Marked(A), Marked(A),
          Marked(A), Entry(A), Entry(A)}},
        {"header and marker lines are scanned when the range takes them in",
         {"<!--0000 0001--><a href=\"TR-0000000000001|x\"><div id=\"imgnav\">",
          Marker + "<a href=\"TR-0000000000001|x\"><div id=\"imgnav\">", Entry(A)},
         {A},
         {"<!--0000 0001--><a href=\"TR-0000000000001|x\"><div id=\"imgrun\">",
          Marker + "<a href=\"TR-0000000000001|x\"><div id=\"imgrun\">", Entry(A)}},
        {"a header that does not parse scans the whole page",
         {"<!--0002 0x0-->" "<a href=\"TR-0000000000001|x\"><div id=\"imgnav\">", Marker, Entry(A)},
         {A},
         {"<!--0002 0x0-->" "<a href=\"TR-0000000000001|x\"><div id=\"imgrun\">", Marker, Marked(A)}},
        {"first greater than last changes nothing",
         {"<!--0003 0002-->", Marker, Entry(A), Entry(A)}, {A},
         {"<!--0003 0002-->", Marker, Entry(A), Entry(A)}},
        {"a negative first index scans from the start",
         {"<!---001 0002--><a href=\"TR-0000000000001|x\"><div id=\"imgnav\">", Marker, Entry(A), Entry(A)},
         {A},
         {"<!---001 0002--><a href=\"TR-0000000000001|x\"><div id=\"imgrun\">", Marker, Marked(A), Entry(A)}},
        {"a negative last index scans nothing",
         {"<!---001 -005-->", Marker, Entry(A)}, {A},
         {"<!---001 -005-->", Marker, Entry(A)}},
        {"no installed codes",
         {h, Marker, Entry(A)}, {},
         {h, Marker, Entry(A)}},
        {"a single line",
         {"<!--0000 0000--><a href=\"TR-0000000000001|x\"><div id=\"imgnav\">"}, {A},
         {"<!--0000 0000--><a href=\"TR-0000000000001|x\"><div id=\"imgrun\">"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto result = Mark(c.page, c.installed);
        EXPECT_THAT(result, ElementsAreArray(c.expected));
        ASSERT_EQ(result.size(), c.page.size());
        for (std::size_t i = 0; i < result.size(); ++i)
            EXPECT_EQ(result[i].size(), c.page[i].size()) << "line " << i;
    }
}

TEST(Marking, FiftyLinePageChangesOnlyTheRange)
{
    std::vector<std::string> page{"<!--0002 0010-->", Marker};
    while (page.size() < 50)
        page.push_back(Entry(A));
    const auto result = Mark(page, {A});
    for (std::size_t i = 2; i < 50; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(result[i], i <= 10 ? Marked(A) : Entry(A));
    }
}

// A page of binary noise, with product links and blocks strewn in, and
// installed codes of noise: nothing but the blocks of listed codes changes.
TEST(Marking, BinaryNoisePageKeepsEveryLineLength)
{
    std::uint32_t x = 2463534242u;
    const auto next = [&] {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        return x;
    };
    std::string text;
    while (text.size() < 1 << 20) {
        const std::uint32_t r = next();
        if (r % 97 == 0)
            text += "href=\"" + A + "|x\">";
        else if (r % 89 == 0)
            text += "<div id=\"imgnav\">";
        else
            text += static_cast<char>(r >> 24 ? r >> 24 : 1);  // no NUL: it would end the page
    }
    TStringList lines;
    lines.SetText(text);
    const std::vector<std::string> before = lines.Items();
    TStringList codes(Caseless);
    codes.Add(A);
    for (int i = 0; i < 50; ++i) {
        std::string noise;
        for (int k = 0; k < 16; ++k)
            noise += static_cast<char>(next() >> 24);
        codes.Add(noise);
    }
    MarkInstalledLines(lines, codes);
    ASSERT_EQ(lines.Count(), before.size());
    std::size_t changed = 0;
    for (std::size_t i = 0; i < before.size(); ++i) {
        const std::string& after = lines.Items()[i];
        ASSERT_EQ(after.size(), before[i].size()) << "line " << i;
        if (after != before[i]) {
            ++changed;
            std::string expected = before[i];
            expected.replace(expected.find("<div id=\"imgnav\">"), 17, "<div id=\"imgrun\">");
            EXPECT_EQ(after, expected) << "line " << i;
        }
    }
    EXPECT_GT(changed, 0u) << "the noise held no marked line: the test shows nothing";
}

TEST(Marking, AnEmptyListFailsOnItsHeader)
{
    TStringList lines;
    TStringList codes(Caseless);
    try {
        MarkInstalledLines(lines, codes);
        ADD_FAILURE() << "no failure";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "List index out of bounds (0)");
    }
}

}  // namespace
}  // namespace velastrom
