#include "browser/webkit/Windows1252.h"

#include <cstdint>

#include "common/Utf8.h"

namespace velastrom::webkit {
namespace {

// Code points of the bytes 0x80-0x9F.
constexpr char32_t HighTable[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

char32_t CodePoint(unsigned char byte)
{
    return byte >= 0x80 && byte < 0xA0 ? HighTable[byte - 0x80] : byte;
}

char ToByte(char32_t cp)
{
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF))
        return static_cast<char>(cp);
    for (unsigned i = 0; i < 32; ++i)
        if (HighTable[i] == cp)
            return static_cast<char>(0x80 + i);
    return '?';
}

void AppendUtf8(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

}  // namespace

std::string Windows1252ToUtf8(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text)
        AppendUtf8(out, CodePoint(c));
    return out;
}

std::string Utf8ToWindows1252(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const Utf8Char c = NextUtf8(text, i);
        if (c.valid)
            out += ToByte(c.codePoint);
        else
            out.append(c.length, '?');
        i += c.length;
    }
    return out;
}

}  // namespace velastrom::webkit
