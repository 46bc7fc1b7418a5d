// The conversions at the browser boundary: every Windows-1252 text survives
// the way to UTF-8 and back; UTF-8 comes back as one byte per character, the
// code page's byte or "?", and every byte of malformed UTF-8 as "?" (checked
// against the C library's own strict decoder).
#include <clocale>
#include <cuchar>
#include <cwchar>
#include <string>

#include "FuzzCheck.h"
#include "browser/webkit/Windows1252.h"

namespace {

// The code points of well-formed UTF-8, or false: glibc's UTF-8 decoder,
// which refuses overlong forms, and Unicode's range.
bool Decode(const std::string& text, std::u32string& out)
{
    std::mbstate_t state{};
    std::size_t i = 0;
    while (i < text.size()) {
        char32_t cp = 0;
        const std::size_t n = std::mbrtoc32(&cp, text.data() + i, text.size() - i, &state);
        if (n == static_cast<std::size_t>(-1) || n == static_cast<std::size_t>(-2) ||
            n == static_cast<std::size_t>(-3))
            return false;
        if (n == 0) {  // a NUL byte
            out.push_back(0);
            i += 1;
            continue;
        }
        if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;  // glibc takes values past Unicode's end
        out.push_back(cp);
        i += n;
    }
    return true;
}

std::string Encode(char32_t cp)
{
    std::mbstate_t state{};
    char bytes[8];
    const std::size_t n = std::c32rtomb(bytes, cp, &state);
    return std::string(bytes, n == static_cast<std::size_t>(-1) ? 0 : n);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FUZZ_CHECK(std::setlocale(LC_CTYPE, "C.UTF-8") != nullptr);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using velastrom::webkit::Utf8ToWindows1252;
    using velastrom::webkit::Windows1252ToUtf8;
    const std::string bytes(reinterpret_cast<const char*>(data), size);

    // As Windows-1252: there and back unchanged, and well-formed on the way.
    const std::string utf8 = Windows1252ToUtf8(bytes);
    FUZZ_CHECK(Utf8ToWindows1252(utf8) == bytes);
    std::u32string points;
    FUZZ_CHECK(Decode(utf8, points) && points.size() == bytes.size());

    // As UTF-8.
    const std::string text = Utf8ToWindows1252(bytes);
    points.clear();
    if (Decode(bytes, points)) {
        FUZZ_CHECK(text.size() == points.size());
        for (std::size_t i = 0; i < points.size(); ++i) {
            if (text[i] != '?')
                FUZZ_CHECK(Windows1252ToUtf8(std::string(1, text[i])) == Encode(points[i]));
            else
                FUZZ_CHECK(points[i] == U'?' || points[i] > 0xFF || (points[i] >= 0x80 && points[i] < 0xA0));
        }
    } else {
        // Malformed: something of it became "?", and never more characters
        // than bytes.
        FUZZ_CHECK(text.find('?') != std::string::npos);
        FUZZ_CHECK(text.size() <= bytes.size());
    }
    // Whatever came back is the code page's own text: it survives a round trip.
    FUZZ_CHECK(Utf8ToWindows1252(Windows1252ToUtf8(text)) == text);
    return 0;
}
