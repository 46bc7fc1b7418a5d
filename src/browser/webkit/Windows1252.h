// The program's strings are single-byte Windows-1252 text; the toolkit and the
// web engine speak UTF-8. These convert at that boundary.
#pragma once

#include <string>

namespace velastrom::webkit {

// Every byte becomes its code point: 0x80-0x9F through the code page's table,
// its five unassigned bytes to the C1 controls of the same value.
std::string Windows1252ToUtf8(const std::string& text);

// Code points the code page cannot represent become '?', the code page's
// default character; so does every byte of malformed UTF-8 (overlong forms,
// surrogates, values past U+10FFFF, stray and missing continuation bytes).
std::string Utf8ToWindows1252(const std::string& text);

}  // namespace velastrom::webkit
