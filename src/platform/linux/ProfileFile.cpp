#include "platform/linux/ProfileFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <list>
#include <memory>
#include <mutex>

#include "common/Utf8.h"

namespace velastrom::profile {

bool IsBlank(unsigned char c)
{
    // Space, tab, the line-end and feed characters, and Ctrl-Z; not the
    // no-break space.
    return c == ' ' || (c >= 0x09 && c <= 0x0D) || c == 0x1A;
}

unsigned char FoldCase(unsigned char c)
{
    // A to Z only: accented letters match as they are.
    return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + 0x20) : c;
}

bool NamesEqual(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (FoldCase(static_cast<unsigned char>(a[i])) != FoldCase(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

namespace {

std::string_view CutAtNul(std::string_view s)
{
    const std::size_t nul = s.find('\0');
    return nul == std::string_view::npos ? s : s.substr(0, nul);
}

std::string_view Trim(std::string_view s)
{
    std::size_t b = 0;
    std::size_t e = s.size();
    while (b < e && IsBlank(static_cast<unsigned char>(s[b])))
        ++b;
    while (e > b && IsBlank(static_cast<unsigned char>(s[e - 1])))
        --e;
    return s.substr(b, e - b);
}

// A name given by the caller: surrounding blanks do not count.
std::string_view QueryName(const char* name)
{
    return Trim(CutAtNul(name));
}

std::string Folded(std::string_view name)
{
    std::string out(name);
    for (char& c : out)
        c = static_cast<char>(FoldCase(static_cast<unsigned char>(c)));
    return out;
}

const Section* FindSection(const Document& doc, std::string_view name)
{
    const auto it = doc.index.find(Folded(name));
    return it == doc.index.end() ? nullptr : &doc.sections[it->second];
}

const Entry* FindEntry(const Section& section, std::string_view name)
{
    for (const Entry& e : section.entries)
        if (NamesEqual(e.name, name))
            return &e;
    return nullptr;
}

// Copies at most size - 1 characters, as the system's bounded copy does.
std::string CopyBounded(std::string_view text, std::size_t size)
{
    return std::string(text.substr(0, size == 0 ? 0 : std::min(text.size(), size - 1)));
}

// A value handed to the caller: matching quotes around it are removed, with
// the system's quirk of dropping one more character when the buffer cuts a
// quoted value just before its closing quote.
std::string CopyValue(std::string_view value, std::size_t size)
{
    if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0]) {
        const std::string_view inner = value.substr(1);  // closing quote included
        std::string out = CopyBounded(inner, size);
        if (size >= inner.size() && !out.empty())
            out.pop_back();
        return out;
    }
    return CopyBounded(value, size);
}

std::string SectionNames(const Document& doc, std::size_t size)
{
    if (size <= 1)
        return {};
    std::string out;
    std::size_t room = size - 1;
    for (const Section& s : doc.sections) {
        if (s.name.empty())
            continue;
        const std::size_t need = s.name.size() + 1;
        if (need >= room) {
            // The last name that partly fits is cut; the result counts the
            // buffer less two.
            if (room > 0) {
                out.append(s.name, 0, room - 1);
                out.push_back('\0');
            }
            out.resize(size - 2);
            return out;
        }
        out.append(s.name);
        out.push_back('\0');
        room -= need;
    }
    return out;
}

std::string KeyNames(const Section& section, std::size_t size)
{
    // No name fits with its terminating zero and the list's: no list.
    if (size <= 2)
        return {};
    std::string out;
    std::size_t len = size;
    const std::size_t oldLen = len;
    for (const Entry& e : section.entries) {
        if (len <= 2)
            break;
        if (e.name.empty() && !e.hasValue)
            continue;
        if (!e.name.empty() && e.name[0] == ';')
            continue;
        if (!e.hasValue)
            continue;
        const std::string name = CopyBounded(e.name, len - 1);
        out.append(name);
        out.push_back('\0');
        len -= name.size() + 1;
        if (len < 2)
            break;
    }
    if (len <= 1) {
        out.resize(oldLen - 2);
        return out;
    }
    return out;
}

}  // namespace

Document Parse(std::string_view bytes)
{
    Document doc;
    doc.sections.emplace_back();  // the lines before the first header
    Section* current = &doc.sections.back();
    current->insertAt = 0;

    std::size_t pos = 0;
    while (pos < bytes.size()) {
        const std::size_t lineBegin = pos;
        std::size_t contentEnd = lineBegin;
        while (contentEnd < bytes.size() && bytes[contentEnd] != '\n' && bytes[contentEnd] != '\r')
            ++contentEnd;
        std::size_t lineEnd = contentEnd;
        if (lineEnd < bytes.size()) {
            if (bytes[lineEnd] == '\r' && lineEnd + 1 < bytes.size() && bytes[lineEnd + 1] == '\n')
                lineEnd += 2;
            else
                lineEnd += 1;
        }
        pos = lineEnd;
        const bool terminated = lineEnd > contentEnd;

        std::size_t b = lineBegin;
        std::size_t e = contentEnd;
        while (b < e && IsBlank(static_cast<unsigned char>(bytes[b])))
            ++b;
        while (e > b && IsBlank(static_cast<unsigned char>(bytes[e - 1])))
            --e;
        if (b >= e)
            continue;  // a blank line

        if (bytes[b] == '[') {
            std::size_t close = e - 1;
            while (close > b && bytes[close] != ']')
                --close;
            if (close > b) {
                doc.sections.emplace_back();
                current = &doc.sections.back();
                current->name = std::string(CutAtNul(Trim(bytes.substr(b + 1, close - b - 1))));
                current->hasHeader = true;
                current->insertAt = lineEnd;
                current->insertTerminated = terminated;
                continue;
            }
            // No closing bracket: the line is an entry like any other.
        }

        Entry entry;
        const std::string_view line = bytes.substr(b, e - b);
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos) {
            entry.name = std::string(CutAtNul(line));
            entry.valueBegin = entry.valueEnd = e;
        } else {
            const std::string_view name = Trim(line.substr(0, eq));
            // Of entries without a name one after the other, only the first
            // counts (a name of NUL bytes is not "without a name" here).
            if (name.empty() && !current->entries.empty() && current->entries.back().name.empty()) {
                current->insertAt = lineEnd;
                current->insertTerminated = terminated;
                continue;
            }
            entry.name = std::string(CutAtNul(name));
            entry.hasValue = true;
            std::size_t vb = b + eq + 1;
            while (vb < e && IsBlank(static_cast<unsigned char>(bytes[vb])))
                ++vb;
            entry.valueBegin = vb;
            entry.valueEnd = e;
            entry.value = std::string(CutAtNul(bytes.substr(vb, e - vb)));
        }
        current->insertAt = lineEnd;
        current->insertTerminated = terminated;
        current->entries.push_back(std::move(entry));
    }
    for (std::size_t i = 0; i < doc.sections.size(); ++i)
        doc.index.emplace(Folded(doc.sections[i].name), i);  // the first of duplicates stays
    return doc;
}

std::string Read(const Document* doc, const char* section, const char* key, const std::string& defIn,
                 std::size_t bufferSize)
{
    if (bufferSize == 0)
        return {};
    if (section == nullptr)
        return doc ? SectionNames(*doc, bufferSize) : std::string();

    // Trailing spaces of the default do not count.
    std::string_view def = CutAtNul(defIn);
    while (!def.empty() && def.back() == ' ')
        def.remove_suffix(1);

    if (doc == nullptr)
        return CopyBounded(def, bufferSize);

    if (key != nullptr) {
        const Section* s = FindSection(*doc, QueryName(section));
        const Entry* e = s ? FindEntry(*s, QueryName(key)) : nullptr;
        return CopyValue(e && e->hasValue ? std::string_view(e->value) : def, bufferSize);
    }

    for (const Section& s : doc->sections) {
        if (!NamesEqual(s.name, CutAtNul(section)))
            continue;
        std::string names = KeyNames(s, bufferSize);
        if (names.empty() || names[0] == '\0')
            return CopyValue(def, bufferSize);
        return names;
    }
    return CopyValue(def, bufferSize);
}

// --- text encodings -----------------------------------------------------------

namespace {

// Windows-1252 bytes 0x80 to 0x9F as Unicode; the rest map to themselves.
constexpr char16_t HighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

char32_t ToUnicode(unsigned char c)
{
    return c >= 0x80 && c <= 0x9F ? HighControls[c - 0x80] : c;
}

// The Windows-1252 byte of a character; "?" for one the code page lacks.
char FromUnicode(char32_t u)
{
    if (u < 0x80 || (u >= 0xA0 && u <= 0xFF))
        return static_cast<char>(u);
    for (int i = 0; i < 32; ++i)
        if (HighControls[i] == u)
            return static_cast<char>(0x80 + i);
    return '?';
}

void AppendUnits(std::string& out, char32_t u, Encoding encoding)
{
    auto unit16 = [&](char16_t w) {
        if (encoding == Encoding::Utf16LE) {
            out.push_back(static_cast<char>(w & 0xFF));
            out.push_back(static_cast<char>(w >> 8));
        } else {
            out.push_back(static_cast<char>(w >> 8));
            out.push_back(static_cast<char>(w & 0xFF));
        }
    };
    switch (encoding) {
    case Encoding::Ansi:
        out.push_back(FromUnicode(u));
        break;
    case Encoding::Utf8:
        if (u < 0x80) {
            out.push_back(static_cast<char>(u));
        } else if (u < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (u >> 6)));
            out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xE0 | (u >> 12)));
            out.push_back(static_cast<char>(0x80 | ((u >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
        }
        break;
    case Encoding::Utf16LE:
    case Encoding::Utf16BE:
        unit16(static_cast<char16_t>(u));
        break;
    }
}

}  // namespace

Decoded Decode(std::string_view bytes)
{
    Decoded d;
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        d.encoding = Encoding::Utf8;
        d.bomSize = 3;
    } else if (bytes.size() >= 2 && bytes.substr(0, 2) == "\xFF\xFE") {
        d.encoding = Encoding::Utf16LE;
        d.bomSize = 2;
    } else if (bytes.size() >= 2 && bytes.substr(0, 2) == "\xFE\xFF") {
        d.encoding = Encoding::Utf16BE;
        d.bomSize = 2;
    } else {
        d.encoding = Encoding::Ansi;
        d.text.assign(bytes);
        return d;
    }
    d.text.reserve(bytes.size());
    d.origin.reserve(bytes.size() + 1);
    std::size_t i = d.bomSize;
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(bytes[k]); };
    while (i < bytes.size()) {
        const std::size_t start = i;
        char32_t u = 0xFFFD;
        if (d.encoding == Encoding::Utf8) {
            const Utf8Char c = NextUtf8(bytes, i);
            if (c.valid)
                u = c.codePoint;
            i += c.length;
        } else if (i + 1 < bytes.size()) {
            // Each 16-bit unit is a character: the two halves of a surrogate
            // pair are two characters the code page lacks.
            u = d.encoding == Encoding::Utf16LE ? static_cast<char16_t>(byte(i) | byte(i + 1) << 8)
                                                : static_cast<char16_t>(byte(i) << 8 | byte(i + 1));
            i += 2;
        } else {
            // An odd last byte is half a character: not part of the text,
            // and the end of the text is before it.
            break;
        }
        if (u >= 0x10000) {
            // Beyond the 16-bit units too, as a pair of them.
            d.text.push_back('?');
            d.origin.push_back(start);
        }
        d.text.push_back(FromUnicode(u));
        d.origin.push_back(start);
    }
    d.origin.push_back(i);
    return d;
}

std::string Encode(std::string_view text, Encoding encoding)
{
    if (encoding == Encoding::Ansi)
        return std::string(text);
    std::string out;
    out.reserve(text.size() * 2);
    for (unsigned char c : text)
        AppendUnits(out, ToUnicode(c), encoding);
    return out;
}

Document ParseFile(std::string_view bytes)
{
    return Parse(Decode(bytes).text);
}

std::string Write(std::string_view file, const std::string& sectionIn, const std::string& keyIn,
                  const std::string& valueIn, bool& changed)
{
    const Decoded decoded = Decode(file);
    // The bytes that hold the text: a write drops what cannot be read (the
    // odd last byte of a UTF-16 file), for a line spliced in after it would
    // be out of step with every character that follows.
    const std::string_view bytes = decoded.origin.empty() ? file : file.substr(0, decoded.origin.back());
    const Document doc = Parse(decoded.text);
    const std::string_view text = decoded.text;
    // Offsets into the file's bytes of offsets into its text.
    const auto at = [&](std::size_t offset) { return decoded.origin.empty() ? offset : decoded.origin[offset]; };
    const auto encode = [&](std::string_view piece) { return Encode(piece, decoded.encoding); };

    const std::string_view sectionName = QueryName(sectionIn.c_str());
    const std::string_view keyName = QueryName(keyIn.c_str());
    std::string_view value = CutAtNul(valueIn);
    while (!value.empty() && IsBlank(static_cast<unsigned char>(value.front())))
        value.remove_prefix(1);

    std::string out;
    changed = true;
    const Section* section = FindSection(doc, sectionName);
    if (section != nullptr) {
        if (const Entry* entry = FindEntry(*section, keyName)) {
            if (entry->hasValue && entry->value == value) {
                changed = false;
                return std::string(file);
            }
            out.append(bytes.substr(0, at(entry->valueBegin)));
            out.append(encode(std::string(entry->hasValue ? "" : "=") + std::string(value)));
            out.append(bytes.substr(at(entry->valueEnd)));
            return out;
        }
        std::string line;
        if (!section->insertTerminated && section->insertAt > 0)
            line.append("\r\n");
        line.append(keyName).append("=").append(value).append("\r\n");
        const std::size_t insertAt = section->insertAt == 0 ? decoded.bomSize : at(section->insertAt);
        out.append(bytes.substr(0, insertAt));
        out.append(encode(line));
        out.append(bytes.substr(insertAt));
        return out;
    }
    std::string lines;
    if (!text.empty() && text.back() != '\n' && text.back() != '\r')
        lines.append("\r\n");
    lines.append("[").append(sectionName).append("]\r\n");
    lines.append(keyName).append("=").append(value).append("\r\n");
    out.append(bytes);
    out.append(encode(lines));
    return out;
}

// --- files ------------------------------------------------------------------

namespace {

struct FileIdentity {
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    timespec mtime{};
    timespec ctime{};

    bool operator==(const FileIdentity& o) const
    {
        return dev == o.dev && ino == o.ino && size == o.size && mtime.tv_sec == o.mtime.tv_sec &&
               mtime.tv_nsec == o.mtime.tv_nsec && ctime.tv_sec == o.ctime.tv_sec &&
               ctime.tv_nsec == o.ctime.tv_nsec;
    }
};

FileIdentity IdentityOf(const struct stat& st)
{
    return FileIdentity{st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
}

// A file changed this recently may change again within the resolution of the
// file system's clock without its times showing it: it is parsed afresh.
constexpr double SettleSeconds = 2.0;

class ParsedFiles {
public:
    // The parsed file, or nothing when it does not exist or cannot be read.
    std::shared_ptr<const Document> Get(const std::string& path)
    {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            return nullptr;
        std::shared_ptr<Entry> cached = Find(path);
        // A file whose times had settled when it was read shows any change
        // since in its times.
        if (cached && cached->settled && cached->identity == IdentityOf(st))
            return cached->doc;

        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return nullptr;
        std::string bytes;
        const bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ReadAll(fd, bytes);
        ::close(fd);
        if (!ok)
            return nullptr;
        const FileIdentity id = IdentityOf(st);
        // A file changed a moment ago is compared byte for byte.
        if (cached && cached->identity == id && cached->bytes == bytes)
            return cached->doc;

        auto entry = std::make_shared<Entry>();
        entry->identity = id;
        entry->doc = std::make_shared<const Document>(ParseFile(bytes));
        timespec now{};
        ::clock_gettime(CLOCK_REALTIME, &now);
        const auto age = [&](const timespec& t) {
            return static_cast<double>(now.tv_sec - t.tv_sec) + static_cast<double>(now.tv_nsec - t.tv_nsec) / 1e9;
        };
        entry->settled = age(id.ctime) > SettleSeconds && age(id.mtime) > SettleSeconds;
        if (!entry->settled)
            entry->bytes = std::move(bytes);
        Store(path, entry);
        return entry->doc;
    }

    void Forget(const std::string& path)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        cache_.remove_if([&](const auto& item) { return item.first == path; });
    }

    static bool ReadAll(int fd, std::string& bytes)
    {
        char buffer[65536];
        for (;;) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                return false;
            }
            if (n == 0)
                return true;
            bytes.append(buffer, static_cast<std::size_t>(n));
        }
    }

private:
    struct Entry {
        FileIdentity identity;
        bool settled = false;
        std::string bytes;  // kept while the file has not settled
        std::shared_ptr<const Document> doc;
    };

    std::shared_ptr<Entry> Find(const std::string& path)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto it = cache_.begin(); it != cache_.end(); ++it) {
            if (it->first == path) {
                cache_.splice(cache_.begin(), cache_, it);
                return cache_.front().second;
            }
        }
        return nullptr;
    }

    void Store(const std::string& path, std::shared_ptr<Entry> entry)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        cache_.remove_if([&](const auto& item) { return item.first == path; });
        cache_.emplace_front(path, std::move(entry));
        if (cache_.size() > MaxFiles)
            cache_.pop_back();
    }

    static constexpr std::size_t MaxFiles = 8;
    std::mutex mutex_;
    std::list<std::pair<std::string, std::shared_ptr<Entry>>> cache_;
};

ParsedFiles& Files()
{
    static ParsedFiles files;
    return files;
}

bool WriteAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

std::string FolderOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

}  // namespace

std::string ProfileStore::GetString(const char* section, const char* key, const std::string& def,
                                    std::size_t bufferSize, const std::string& fileName)
{
    const std::shared_ptr<const Document> doc = Files().Get(fileName);
    return Read(doc.get(), section, key, def, bufferSize);
}

bool ProfileStore::WriteString(const std::string& section, const std::string& key, const std::string& value,
                               const std::string& fileName)
{
    if (fileName.empty())
        return false;
    // Write through a symbolic link to the file it names.
    std::string path = fileName;
    if (char* real = ::realpath(fileName.c_str(), nullptr)) {
        path = real;
        std::free(real);
    }

    std::string bytes;
    mode_t mode = 0666;
    bool existed = false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || !ParsedFiles::ReadAll(fd, bytes)) {
            ::close(fd);
            return false;
        }
        ::close(fd);
        existed = true;
        mode = st.st_mode & 07777;
        // A file without write permission is read-only, for its owner and
        // for the administrator alike.
        if ((mode & 0222) == 0 || ::access(path.c_str(), W_OK) != 0)
            return false;
    } else if (errno != ENOENT) {
        return false;
    }

    bool changed = false;
    const std::string updated = Write(bytes, section, key, value, changed);
    if (!changed)
        return true;

    std::string temp = FolderOf(path) + "/.~" + path.substr(path.rfind('/') + 1) + ".XXXXXX";
    std::vector<char> name(temp.begin(), temp.end());
    name.push_back('\0');
    const int out = ::mkostemp(name.data(), O_CLOEXEC);
    if (out < 0)
        return false;
    temp.assign(name.data());
    bool ok = WriteAll(out, updated);
    if (ok) {
        if (existed) {
            ok = ::fchmod(out, mode) == 0;
        } else {
            const mode_t mask = ::umask(0);
            ::umask(mask);
            ok = ::fchmod(out, 0666 & ~mask) == 0;
        }
    }
    ok = ::fsync(out) == 0 && ok;
    ok = ::close(out) == 0 && ok;
    if (ok)
        ok = ::rename(temp.c_str(), path.c_str()) == 0;
    if (!ok)
        ::unlink(temp.c_str());
    Files().Forget(path);
    Files().Forget(fileName);
    return ok;
}

}  // namespace velastrom::profile
