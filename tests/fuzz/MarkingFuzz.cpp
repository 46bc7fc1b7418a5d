// The header numbers and the marking on any page and any installed codes:
// the number of lines and every line's length never change; a line changes
// only inside the header's scan range, only when its first product link
// names an installed code, and then only its first "imgnav" block, which
// becomes "imgrun".
#include <string>

#include "FuzzCheck.h"
#include "common/StringList.h"
#include "platform/linux/LinuxPlatform.h"
#include "startpage/StartPage.h"

namespace {

using namespace velastrom;

__extension__ using Wide = unsigned __int128;

// The header number rule: spaces, then a sign and decimal digits, or "$",
// "x", "X" or "0x"/"0X" and hexadecimal digits; false for what does not fit.
bool Number(const std::string& field, long long& value)
{
    std::size_t i = field.find_first_not_of(' ');
    if (i == std::string::npos)
        return false;
    int base = 10;
    bool negative = false;
    if (field[i] == '$' || field[i] == 'x' || field[i] == 'X') {
        base = 16;
        i += 1;
    } else if (field.compare(i, 2, "0x") == 0 || field.compare(i, 2, "0X") == 0) {
        base = 16;
        i += 2;
    } else if (field[i] == '+' || field[i] == '-') {
        negative = field[i] == '-';
        i += 1;
    }
    if (i >= field.size())
        return false;
    Wide magnitude = 0;
    for (; i < field.size(); ++i) {
        const char c = field[i];
        int d = -1;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (base == 16 && (c | 0x20) >= 'a' && (c | 0x20) <= 'f')
            d = (c | 0x20) - 'a' + 10;
        if (d < 0)
            return false;
        magnitude = magnitude * base + d;
        if (magnitude > 0x7FFFFFFFFFFFFFFFull)
            return false;
    }
    value = negative ? -static_cast<long long>(magnitude) : static_cast<long long>(magnitude);
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Input in(data, size);
    // Any field through the number rule.
    const std::string field = in.Text(40);
    long long expected = 0;
    long long value = 0;
    const bool ok = Number(field, expected);
    FUZZ_CHECK(ParseHeaderNumber(field, value) == ok);
    if (ok)
        FUZZ_CHECK(value == expected);

    // Installed codes: up to four pieces of the input, sorted as the
    // register's list is.
    TStringList codes([](const std::string& a, const std::string& b) { return CompareText1252(a, b); });
    const int count = in.Byte() % 5;
    for (int k = 0; k < count; ++k)
        codes.Add(in.Text(ProductCodeLength));

    TStringList lines;
    lines.SetText(std::string(in.Rest()));
    if (lines.Empty())
        return 0;
    const std::vector<std::string> before = lines.Items();
    const TScanRange range = HeaderScanRange(before[0], static_cast<long long>(before.size()));
    FUZZ_CHECK(range.First >= 0 && range.Last < static_cast<long long>(before.size()));
    MarkInstalledLines(lines, codes);
    const std::vector<std::string>& after = lines.Items();
    FUZZ_CHECK(after.size() == before.size());
    for (std::size_t i = 0; i < before.size(); ++i) {
        FUZZ_CHECK(after[i].size() == before[i].size());
        const std::size_t link = before[i].find(ProductLinkMark);
        const std::size_t block = before[i].find(NotInstalledBlock);
        bool installed = false;
        if (link != std::string::npos) {
            const std::string code = before[i].substr(link + 6, ProductCodeLength);
            for (const std::string& c : codes.Items())
                installed = installed || CompareText1252(c, code) == 0;
        }
        const bool inRange = static_cast<long long>(i) >= range.First && static_cast<long long>(i) <= range.Last;
        std::string marked = before[i];
        if (inRange && installed && block != std::string::npos)
            marked.replace(block, std::char_traits<char>::length(NotInstalledBlock), InstalledBlock);
        FUZZ_CHECK(after[i] == marked);
    }
    return 0;
}
