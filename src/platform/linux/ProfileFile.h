// Private-profile (INI) files on Linux: a reader and a writer that behave as
// the Windows functions do, byte for byte in what a read returns.
//
// Reading: a line ends at LF, CR LF or a lone CR; blanks (space, tab, the
// other control blanks and Ctrl-Z, not the no-break space) around names and
// values are ignored; a section header is "[" up to the line's last "]",
// blanks inside the brackets removed; lines before the first header belong
// to a nameless section; a line without "=" is an entry with a name and no
// value (it reads as missing); names match without regard to letter case,
// for A to Z only; of duplicate sections and keys the first one counts (and
// of entries without a name one after the other, only the first is there at
// all); a value in matching single or double quotes loses them; a NUL byte ends a
// name or value; reads are cut to the caller's buffer as the Windows
// functions cut them.
//
// A file that starts with a byte-order mark is read as UTF-8 or UTF-16 and
// converted; writes keep its encoding.
//
// Writing: replaces the value of an existing key in place; a new key goes
// after the last entry of its section, a new section at the end of the file;
// every other byte of the file stays as it was. The file is written whole to
// a temporary file in the same folder, which is then renamed over it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace velastrom::profile {

// One entry line of a section: a key with or without a value.
struct Entry {
    std::string name;      // blanks removed, cut at a NUL byte
    bool hasValue = false; // the line holds "="
    std::string value;     // blanks removed (quotes kept), cut at a NUL byte
    std::size_t valueBegin = 0;  // offsets of the value in the text
    std::size_t valueEnd = 0;
};

struct Section {
    std::string name;            // between "[" and the last "]"; "" for the lines before the first header
    bool hasHeader = false;
    std::vector<Entry> entries;
    std::size_t insertAt = 0;    // offset after the header or the section's last entry line
    bool insertTerminated = true;// the line before insertAt ends in a line end
};

struct Document {
    std::vector<Section> sections;  // the nameless section first, then file order
    // The first section of each name, by its letter-case-folded name.
    std::unordered_map<std::string, std::size_t> index;
};

Document Parse(std::string_view text);
// A file's bytes, in memory, decoded and parsed as a read of the file does.
Document ParseFile(std::string_view bytes);

// What GetPrivateProfileStringA returns in a buffer of bufferSize bytes, as
// the characters it reports copied (see IPlatform::ReadPrivateProfile).
// doc is null for a file that does not exist.
std::string Read(const Document* doc, const char* section, const char* key, const std::string& def,
                 std::size_t bufferSize);

// A file's text: Windows-1252 as it stands, or, after a byte-order mark,
// UTF-8 or UTF-16 converted to Windows-1252 ("?" for what it lacks and for
// malformed UTF-8, overlong forms included). The odd last byte of a UTF-16
// file is no character: the text, and origin, end before it.
enum class Encoding { Ansi, Utf8, Utf16LE, Utf16BE };
struct Decoded {
    Encoding encoding = Encoding::Ansi;
    std::size_t bomSize = 0;
    std::string text;
    std::vector<std::size_t> origin;  // byte offset of each character, then the size; empty for Ansi
};
Decoded Decode(std::string_view bytes);
std::string Encode(std::string_view text, Encoding encoding);

// The file's new bytes after writing value to section/key (changed lines in
// the file's own encoding), or changed false when the file already holds
// that value.
std::string Write(std::string_view bytes, const std::string& section, const std::string& key,
                  const std::string& value, bool& changed);

// Whether c counts as a blank around names and values.
bool IsBlank(unsigned char c);
// Letter case folding for name matching: A to Z only.
unsigned char FoldCase(unsigned char c);
bool NamesEqual(std::string_view a, std::string_view b);

// Reads and writes of files, with a small cache of parsed files that is
// checked against the file's identity and times at every call.
class ProfileStore {
public:
    std::string GetString(const char* section, const char* key, const std::string& def, std::size_t bufferSize,
                          const std::string& fileName);
    bool WriteString(const std::string& section, const std::string& key, const std::string& value,
                     const std::string& fileName);
};

}  // namespace velastrom::profile
