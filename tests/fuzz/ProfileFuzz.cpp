// The private-profile reader and writer on any bytes as a file: every list
// and value read through every buffer size from 0 up stays within the buffer
// and is the start of what a large buffer gives; a write reads back, and
// every other value of the file reads as before.
#include <string>
#include <tuple>
#include <vector>

#include "FuzzCheck.h"
#include "platform/linux/ProfileFile.h"

namespace {

using namespace velastrom::profile;

constexpr std::size_t Large = 1 << 20;

// Names in a list buffer.
std::vector<std::string> Names(const std::string& list)
{
    std::vector<std::string> names;
    std::size_t start = 0;
    while (start < list.size() && list[start] != '\0') {
        const std::size_t end = std::min(list.find('\0', start), list.size());
        names.push_back(list.substr(start, end - start));
        start = end + 1;
    }
    return names;
}

std::string Trimmed(std::string name)
{
    while (!name.empty() && IsBlank(static_cast<unsigned char>(name.back())))
        name.pop_back();
    std::size_t begin = 0;
    while (begin < name.size() && IsBlank(static_cast<unsigned char>(name[begin])))
        ++begin;
    return name.substr(begin);
}

void CheckBuffers(const Document& doc, const char* section, const char* key, std::size_t limit)
{
    const std::string full = Read(&doc, section, key, "dflt", Large);
    for (std::size_t size = 0; size <= limit; ++size) {
        const std::string part = Read(&doc, section, key, "dflt", size);
        FUZZ_CHECK(size == 0 ? part.empty() : part.size() < size);
        if (key != nullptr)  // a value: the start of the whole value
            FUZZ_CHECK(full.compare(0, part.size(), part) == 0);
    }
}

// A value that reads back as written: no blanks at its ends, no quotes,
// brackets, line ends or NULs.
std::string SafeValue(velastrom::fuzz::Input& in)
{
    std::string value;
    for (char c : in.Text(12)) {
        const auto u = static_cast<unsigned char>(c);
        if (u > ' ' && c != '"' && c != '\'' && c != '[' && c != ']' && u != 0x7F)
            value.push_back(c);
    }
    return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    velastrom::fuzz::Input in(data, size);
    const std::uint8_t choice = in.Byte();
    const std::string value = SafeValue(in);
    const std::string file(in.Rest());
    const Document doc = ParseFile(file);

    const std::string sections = Read(&doc, nullptr, nullptr, "", Large);
    const std::size_t limit = std::min<std::size_t>(file.size() + 3, 64);
    CheckBuffers(doc, nullptr, nullptr, limit);
    std::vector<std::string> names = Names(sections);
    names.push_back("");
    std::vector<std::pair<std::string, std::string>> keys;  // every key a list names, by section
    for (const std::string& s : names) {
        CheckBuffers(doc, s.c_str(), nullptr, limit);
        const std::string list = Read(&doc, s.c_str(), nullptr, "", Large);
        for (const std::string& k : Names(list)) {
            keys.emplace_back(s, k);
            CheckBuffers(doc, s.c_str(), k.c_str(), std::min<std::size_t>(limit, 16));
        }
    }

    // A write: to a key the file has, or a new one.
    std::string section = "S";
    std::string key = "k";
    if (!keys.empty() && choice % 4 != 0) {
        std::tie(section, key) = keys[choice % keys.size()];
    } else if (!names.empty() && choice % 2 != 0) {
        section = names[choice % names.size()];
        key = "new key";
    }
    bool changed = false;
    const std::string written = Write(file, section, key, value, changed);
    const Document after = ParseFile(written);
    FUZZ_CHECK(Read(&after, section.c_str(), key.c_str(), "dflt", Large) == value);
    if (!changed)
        FUZZ_CHECK(written == file);
    for (const auto& [s, k] : keys) {
        // A listed name may end in a blank (one before a NUL byte); a read
        // asks for it without, so it may name the key just written.
        if (NamesEqual(Trimmed(s), Trimmed(section)) && NamesEqual(Trimmed(k), Trimmed(key)))
            continue;
        FUZZ_CHECK(Read(&after, s.c_str(), k.c_str(), "dflt", Large) == Read(&doc, s.c_str(), k.c_str(), "dflt", Large));
    }
    // The file keeps its encoding.
    FUZZ_CHECK(Decode(written).encoding == Decode(file).encoding || file.empty());
    return 0;
}
