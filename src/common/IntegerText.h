// Integers as text, in the platform's integer syntax: optional leading
// blanks, an optional sign, then decimal digits, or hexadecimal digits after
// "$" or "0x".
#pragma once

#include <string>

namespace velastrom {

// False for an empty text, a text without digits, trailing characters, a
// decimal value outside the signed 32-bit range, or more hexadecimal digits
// than 32 bits hold. Hexadecimal values are 32-bit patterns: "$FFFFFFFF" is -1.
bool TryStrToInt(const std::string& text, int& value);

// As TryStrToInt; fails with "'<text>' is not a valid integer value".
int StrToInt(const std::string& text);

// Decimal digits, a leading "-" for negative values, no blanks, no leading zeros.
std::string IntToStr(int value);

}  // namespace velastrom
