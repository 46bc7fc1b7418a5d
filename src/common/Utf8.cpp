#include "common/Utf8.h"

namespace velastrom {

Utf8Char NextUtf8(std::string_view text, std::size_t at)
{
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[at + k]); };
    const auto continues = [&](std::size_t k) { return at + k < text.size() && (byte(k) & 0xC0) == 0x80; };
    const unsigned char lead = byte(0);
    if (lead < 0x80)
        return {true, lead, 1};

    std::size_t length = 0;
    char32_t value = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07;
    } else {
        return {};  // a continuation byte, or a lead byte no character has
    }
    for (std::size_t k = 1; k < length; ++k) {
        if (!continues(k))
            return {false, 0, k};
        value = value << 6 | (byte(k) & 0x3F);
        if (k == 1) {
            // After two bytes an overlong form, a surrogate or a value past
            // U+10FFFF shows.
            const bool malformed = (length == 3 && (value < 0x20 || (value >= 0x360 && value < 0x380))) ||
                                   (length == 4 && (value < 0x10 || value >= 0x110));
            if (malformed)
                return {false, 0, 2};
        }
    }
    return {true, value, length};
}

}  // namespace velastrom
