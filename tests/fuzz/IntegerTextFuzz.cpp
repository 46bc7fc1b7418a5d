// The integer text of the placement file against its rule: leading spaces,
// an optional sign, then decimal digits in the signed 32-bit range, or up to
// 32 bits of hexadecimal digits after "$" or "0x" (a 32-bit pattern, negated
// as a pattern after "-"). Every int's text reads back as that int.
#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "common/IntegerText.h"

namespace {

// Wide enough that no digit string of the rule's range overflows it.
__extension__ using Wide = __int128;

bool Rule(const std::string& text, int& value)
{
    std::size_t i = text.find_first_not_of(' ');
    if (i == std::string::npos)
        return false;
    const bool negative = text[i] == '-';
    if (text[i] == '+' || text[i] == '-')
        ++i;
    int base = 10;
    if (text.compare(i, 1, "$") == 0) {
        base = 16;
        i += 1;
    } else if (text.compare(i, 2, "0x") == 0 || text.compare(i, 2, "0X") == 0) {
        base = 16;
        i += 2;
    }
    const std::string digits = text.substr(i);
    if (digits.empty())
        return false;
    const std::string allowed = base == 16 ? "0123456789abcdefABCDEF" : "0123456789";
    if (digits.find_first_not_of(allowed) != std::string::npos)
        return false;
    Wide magnitude = 0;
    for (char c : digits) {
        const int d = c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
        magnitude = magnitude * base + d;
        if (magnitude > (static_cast<Wide>(1) << 40))
            return false;  // far past any limit below
    }
    if (base == 16) {
        if (magnitude > 0xFFFFFFFF)
            return false;
        const auto pattern = static_cast<std::uint32_t>(magnitude);
        value = static_cast<int>(negative ? 0u - pattern : pattern);
        return true;
    }
    const Wide v = negative ? -magnitude : magnitude;
    if (v < INT32_MIN || v > INT32_MAX)
        return false;
    value = static_cast<int>(v);
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    int expected = 0;
    const bool valid = Rule(text, expected);
    int value = 0;
    FUZZ_CHECK(velastrom::TryStrToInt(text, value) == valid);
    if (valid)
        FUZZ_CHECK(value == expected);

    if (size >= 4) {
        std::int32_t n = 0;
        for (int k = 0; k < 4; ++k)
            n = static_cast<std::int32_t>(static_cast<std::uint32_t>(n) << 8 | data[k]);
        const std::string written = velastrom::IntToStr(n);
        FUZZ_CHECK(velastrom::TryStrToInt(written, value) && value == n);
        FUZZ_CHECK(velastrom::StrToInt(written) == n);
    }
    return 0;
}
