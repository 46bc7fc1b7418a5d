// The line list: any text splits into the lines the rules give (a break is
// CR LF, a lone CR or a lone LF; the first NUL ends the text; a break at the
// end makes no empty last line) and joins with CR LF after every line.
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "common/StringList.h"

namespace {

// The rules, written another way: cut at the NUL, make every break one LF,
// split at the LFs.
std::vector<std::string> Lines(std::string text)
{
    text = text.substr(0, text.find('\0'));
    std::string plain;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            continue;  // the LF that follows stands for both
        plain.push_back(text[i] == '\r' ? '\n' : text[i]);
    }
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t lf = plain.find('\n'); lf != std::string::npos; lf = plain.find('\n', start)) {
        lines.push_back(plain.substr(start, lf - start));
        start = lf + 1;
    }
    if (start < plain.size())
        lines.push_back(plain.substr(start));
    return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    velastrom::TStringList list;
    list.SetText(text);
    FUZZ_CHECK(list.Items() == Lines(text));

    const std::string joined = list.Text();
    std::string expected;
    for (const std::string& line : list.Items())
        expected += line + "\r\n";
    FUZZ_CHECK(joined == expected);

    // What was written reads back as the same lines.
    velastrom::TStringList again;
    again.SetText(joined);
    FUZZ_CHECK(again.Items() == list.Items());

    // Through a memory stream, from a position inside it.
    velastrom::TMemoryStream stream;
    list.SaveToStream(stream);
    stream.Seek(0);
    velastrom::TStringList loaded;
    loaded.LoadFromStream(stream);
    FUZZ_CHECK(loaded.Items() == list.Items());
    return 0;
}
