// Malformed UTF-8 at the browser boundary: every byte of it becomes "?",
// overlong forms (which would spell "/" or "<") and surrogates included.
#include <gtest/gtest.h>

#include "browser/webkit/Windows1252.h"

namespace velastrom::webkit {
namespace {

TEST(Windows1252Malformed, EveryByteOfMalformedUtf8BecomesAQuestionMark)
{
    const struct {
        const char* name;
        std::string utf8;
        std::string windows1252;
    } cases[] = {
        {"overlong slash", "a\xC0\xAF" "b", "a??b"},
        {"overlong less-than", "\xE0\x80\xBC", "???"},
        {"overlong NUL", "\xC0\x80", "??"},
        {"overlong in four bytes", "\xF0\x80\x80\xAF", "????"},
        {"surrogate", "\xED\xA0\x80", "???"},
        {"past U+10FFFF", "\xF4\x90\x80\x80", "????"},
        {"bytes no character starts with", "\xC1\xBF\xF5\xFF", "????"},
        {"shortest forms stay", "\xC2\xA0\xE2\x82\xAC\xC5\xB8", "\xA0\x80\x9F"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Utf8ToWindows1252(c.utf8), c.windows1252);
    }
}

}  // namespace
}  // namespace velastrom::webkit
