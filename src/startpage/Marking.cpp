// Marks the installed products on the start page: within the header's scan
// range, a line whose first product link names an installed code gets its
// first "imgnav" block switched to "imgrun".
#include <cstring>
#include <limits>

#include "app/PVelastrom.h"
#include "startpage/StartPage.h"

namespace velastrom {

namespace {

int DigitValue(char c, bool hex)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (hex && c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (hex && c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

}  // namespace

bool ParseHeaderNumber(const std::string& field, long long& value)
{
    std::size_t i = 0;
    while (i < field.size() && field[i] == ' ')
        ++i;
    bool hex = false;
    bool negative = false;
    if (i < field.size() && (field[i] == '$' || field[i] == 'x' || field[i] == 'X')) {
        hex = true;
        ++i;
    } else if (i + 1 < field.size() && field[i] == '0' && (field[i + 1] == 'x' || field[i + 1] == 'X')) {
        hex = true;
        i += 2;
    } else if (i < field.size() && (field[i] == '+' || field[i] == '-')) {
        negative = field[i] == '-';
        ++i;
    }
    if (i >= field.size())
        return false;  // nothing, or a sign or prefix without digits
    const long long base = hex ? 16 : 10;
    long long result = 0;
    for (; i < field.size(); ++i) {
        const int digit = DigitValue(field[i], hex);
        if (digit < 0)
            return false;
        // A number too large for the type is no number at all.
        if (result > (std::numeric_limits<long long>::max() - digit) / base)
            return false;
        result = result * base + digit;
    }
    value = negative ? -result : result;
    return true;
}

TScanRange HeaderScanRange(const std::string& header, long long lineCount)
{
    // Characters 5 to 8 and 10 to 13, fewer when the header is shorter.
    const std::string firstField = header.size() > 4 ? header.substr(4, 4) : std::string();
    const std::string lastField = header.size() > 9 ? header.substr(9, 4) : std::string();
    TScanRange range;
    long long first = 0;
    long long last = 0;
    if (!ParseHeaderNumber(firstField, first) || !ParseHeaderNumber(lastField, last)) {
        range.First = 0;
        range.Last = lineCount - 1;
        return range;
    }
    // A first index outside the page, past its end or below its start, reads
    // as the page's start, so a wrong header cannot keep the page from showing.
    if (first > lineCount - 1 || first < 0)
        first = 0;
    if (last > lineCount - 1)
        last = lineCount - 1;
    range.First = first;
    range.Last = last;
    return range;
}

void MarkInstalledLines(TStringList& lines, const TStringList& installedCodes)
{
    const long long count = static_cast<long long>(lines.Count());
    const TScanRange range = HeaderScanRange(lines.Get(0), count);
    const std::size_t markLength = std::strlen(ProductLinkMark);
    const std::size_t blockLength = std::strlen(NotInstalledBlock);
    static_assert(std::char_traits<char>::length(NotInstalledBlock) ==
                  std::char_traits<char>::length(InstalledBlock));
    long long found = 0;
    for (long long i = range.First; i <= range.Last; ++i) {
        const std::string& line = lines.Get(i);
        const std::size_t mark = line.find(ProductLinkMark, 0, markLength);
        if (mark == std::string::npos)
            continue;
        const std::string code = line.substr(mark + 6, ProductCodeLength);  // from the "T" of "TR-"
        if (!installedCodes.Find(code, found))
            continue;
        const std::size_t block = line.find(NotInstalledBlock, 0, blockLength);
        if (block == std::string::npos)
            continue;
        std::string marked = line;
        marked.replace(block, blockLength, InstalledBlock);
        lines.Put(i, marked);
    }
}

void TFVelastrom::MarkInstalledProducts()
{
    MarkInstalledLines(*FPageLines, *FInstalledCodes);
}

}  // namespace velastrom
