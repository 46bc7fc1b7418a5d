// The conversions at the toolkit's and the engine's boundary.
#include <gtest/gtest.h>

#include "browser/webkit/Windows1252.h"

namespace velastrom::webkit {
namespace {

TEST(Windows1252Text, ConvertsToAndFromUtf8)
{
    const struct {
        const char* name;
        std::string windows1252;
        std::string utf8;
    } cases[] = {
        {"ASCII", "TR-ABC|http://x/", "TR-ABC|http://x/"},
        {"Latin-1 letters", "caff\xE8 citt\xE0 \xFF", "caff\xC3\xA8 citt\xC3\xA0 \xC3\xBF"},
        {"the code page's own 0x80-0x9F", "\x80\x85\x8A\x93\x94\x9F", "\xE2\x82\xAC\xE2\x80\xA6\xC5\xA0\xE2\x80\x9C\xE2\x80\x9D\xC5\xB8"},
        {"unassigned bytes keep their value", "\x81\x8D\x8F\x90\x9D", "\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D"},
        {"empty", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Windows1252ToUtf8(c.windows1252), c.utf8);
        EXPECT_EQ(Utf8ToWindows1252(c.utf8), c.windows1252);
    }
}

TEST(Windows1252Text, WhatTheCodePageCannotHoldBecomesAQuestionMark)
{
    const struct {
        const char* name;
        std::string utf8;
        std::string windows1252;
    } cases[] = {
        {"CJK", "a\xE4\xB8\xAD" "b", "a?b"},
        {"emoji, four bytes", "\xF0\x9F\x98\x80!", "?!"},
        {"Greek", "\xCE\xB1\xCE\xB2", "??"},
        {"lone continuation byte", "a\x80" "b", "a?b"},
        {"cut-off sequence at the end", "a\xE2\x82", "a??"},
        {"lead byte without continuation", "\xC3" "a", "?a"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Utf8ToWindows1252(c.utf8), c.windows1252);
    }
}

TEST(Windows1252Text, EveryByteSurvivesTheRoundTrip)
{
    std::string all;
    for (int b = 1; b < 256; ++b)
        all += static_cast<char>(b);
    EXPECT_EQ(Utf8ToWindows1252(Windows1252ToUtf8(all)), all);
}

}  // namespace
}  // namespace velastrom::webkit
