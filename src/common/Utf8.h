// UTF-8 read one character at a time, as the Windows conversion reads it:
// only the shortest form of a character up to U+10FFFF counts. A malformed
// piece is the lead byte and the continuation bytes that could still have
// begun a character (an overlong form or a surrogate is known by its second
// byte, which belongs to the piece); every piece stands for one character
// the caller replaces.
#pragma once

#include <cstddef>
#include <string_view>

namespace velastrom {

struct Utf8Char {
    bool valid = false;
    char32_t codePoint = 0;   // when valid
    std::size_t length = 1;   // bytes taken: at least 1
};

// The character, or the malformed piece, that starts at text[at] (at < size).
Utf8Char NextUtf8(std::string_view text, std::size_t at);

}  // namespace velastrom
