#include "common/IntegerText.h"

#include <cstdint>

#include "common/Error.h"

namespace velastrom {

namespace {

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

}  // namespace

bool TryStrToInt(const std::string& text, int& value)
{
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }

    bool hex = false;
    if (i < text.size() && text[i] == '$') {
        hex = true;
        i += 1;
    } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }
    if (i == text.size())
        return false;  // no digits at all

    if (hex) {
        std::uint64_t bits = 0;
        for (; i < text.size(); ++i) {
            const int digit = HexDigit(text[i]);
            if (digit < 0)
                return false;
            bits = bits * 16 + static_cast<std::uint64_t>(digit);
            if (bits > 0xFFFFFFFFull)
                return false;
        }
        const auto pattern = static_cast<std::uint32_t>(bits);
        const auto magnitude = static_cast<std::int32_t>(pattern);
        // Negation of a 32-bit pattern wraps, as the pattern itself does.
        value = negative ? static_cast<int>(static_cast<std::int32_t>(0u - pattern)) : magnitude;
        return true;
    }

    std::int64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9')
            return false;
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > 2147483648LL)
            return false;
    }
    const std::int64_t signedValue = negative ? -magnitude : magnitude;
    if (signedValue > 2147483647LL)
        return false;
    value = static_cast<int>(signedValue);
    return true;
}

int StrToInt(const std::string& text)
{
    int value = 0;
    if (!TryStrToInt(text, value))
        throw Error("'" + text + "' is not a valid integer value");
    return value;
}

std::string IntToStr(int value) { return std::to_string(value); }

}  // namespace velastrom
