// The collation behind LinuxPlatform::CompareText: Windows-1252 text compared
// without regard to letter case, in the manner of the Windows default sort.
//
// What was chosen:
// - Three kinds of weight per character: a primary weight (the base letter,
//   digit or symbol), a secondary weight (the accent) and a case, which the
//   comparison ignores. Strings compare first by their primary weights, then
//   by their accents, then by the hyphens and apostrophes they hold: so "e",
//   "E", "é" and "É" sort together, "é" and "É" are equal, "é" follows "e",
//   and "résumé" sorts between "resume" and "resumes".
// - Order of the primary weights: blanks, punctuation, symbols (the micro
//   sign among them), the five unassigned bytes, digits (superscript digits
//   with their digits), then the letters a to z with every accented form of
//   a letter on its base letter ("ª" on a, "º" on o, "ƒ" on f, "™" on t).
// - "æ" and "Æ" weigh as "ae", "œ" and "Œ" as "oe", "þ" and "Þ" as "th",
//   "ß" as "ss".
// - Hyphen, apostrophe, the dashes and the control characters are left out
//   of the first two levels ("co-op" sorts beside "coop") and break ties
//   last; the NUL byte and the soft hyphen are ignored entirely.
// The order of the single characters is the one the Windows functions give
// (checked by the platform tests against them).
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/linux/LinuxPlatform.h"

namespace velastrom {

namespace {

struct Weight {
    std::uint16_t primary = 0;    // 0: ignored
    std::uint8_t secondary = 0;
    std::uint16_t primary2 = 0;   // second element of an expansion, or 0
    std::uint8_t lastLevel = 0;   // hyphens, apostrophe, control characters: weighed last
};

using Table = std::array<Weight, 256>;

Table BuildTable()
{
    Table t{};
    std::uint16_t next = 1;
    auto symbols = [&](const char* list) {
        for (const char* p = list; *p; ++p)
            t[static_cast<unsigned char>(*p)].primary = next++;
    };
    // One primary weight shared by every byte of the group, accents in order.
    auto group = [&](std::initializer_list<const char*> forms) {
        std::uint8_t accent = 0;
        for (const char* form : forms) {
            for (const char* p = form; *p; ++p) {
                Weight& w = t[static_cast<unsigned char>(*p)];
                w.primary = next;
                w.secondary = accent;
            }
            ++accent;
        }
        ++next;
    };

    // Blanks, punctuation, symbols.
    group({" ", "\xA0"});
    symbols("\t\n\v\f\r");
    symbols("!\"#$%&()*,./:;?@[\\]");
    group({"^\x88"});
    symbols("_`{|}~\xA1\xA6\xA8\xAF\xB4\xB8\xBF\x98");
    symbols("\x91\x92\x82\x93\x94\x84\x8B\x9B");
    symbols("\xA2\xA3\xA4\xA5\x80");
    symbols("+<=>\xB1\xAB\xBB\xD7\xF7");
    symbols("\xA7\xA9\xAC\xAE\xB0\xB5\xB6\xB7\x85\x86\x87\x95\x89");
    symbols("\x81\x8D\x8F\x90\x9D");  // the unassigned bytes
    // Digits and the fractions.
    group({"0"});
    symbols("\xBC\xBD\xBE");
    group({"1", "\xB9"});
    group({"2", "\xB2"});
    group({"3", "\xB3"});
    for (const char* d : {"4", "5", "6", "7", "8", "9"})
        group({d});
    // Letters.
    const std::uint16_t letterA = next;
    group({"aA", "\xAA", "\xE1\xC1", "\xE0\xC0", "\xE2\xC2", "\xE4\xC4", "\xE3\xC3", "\xE5\xC5"});
    group({"bB"});
    group({"cC", "\xE7\xC7"});
    group({"dD", "\xF0\xD0"});
    group({"eE", "\xE9\xC9", "\xE8\xC8", "\xEA\xCA", "\xEB\xCB"});
    group({"fF", "\x83"});
    group({"gG"});
    group({"hH"});
    group({"iI", "\xED\xCD", "\xEC\xCC", "\xEE\xCE", "\xEF\xCF"});
    group({"jJ"});
    group({"kK"});
    group({"lL"});
    group({"mM"});
    group({"nN", "\xF1\xD1"});
    group({"oO", "\xBA", "\xF3\xD3", "\xF2\xD2", "\xF4\xD4", "\xF6\xD6", "\xF5\xD5", "\xF8\xD8"});
    group({"pP"});
    group({"qQ"});
    group({"rR"});
    group({"sS", "\x9A\x8A"});
    group({"tT", "\x99"});
    group({"uU", "\xFA\xDA", "\xF9\xD9", "\xFB\xDB", "\xFC\xDC"});
    group({"vV"});
    group({"wW"});
    group({"xX"});
    group({"yY", "\xFD\xDD", "\xFF\x9F"});
    group({"zZ", "\x9E\x8E"});

    auto letter = [&](char c) { return static_cast<std::uint16_t>(letterA + (c - 'a')); };
    for (unsigned char c : {0xE6, 0xC6})  // ae
        t[c] = Weight{letter('a'), 0, letter('e'), 0};
    for (unsigned char c : {0x9C, 0x8C})  // oe
        t[c] = Weight{letter('o'), 0, letter('e'), 0};
    for (unsigned char c : {0xFE, 0xDE})  // thorn: th
        t[c] = Weight{letter('t'), 0, letter('h'), 0};
    t[0xDF] = Weight{letter('s'), 0, letter('s'), 0};  // sharp s

    // Weighed on the last level only, in this order: control characters,
    // apostrophe, hyphen, en dash, em dash.
    std::uint8_t last = 1;
    for (unsigned c = 0x01; c <= 0x7F; ++c)
        if ((c < 0x09 || (c > 0x0D && c < 0x20) || c == 0x7F) && t[c].primary == 0)
            t[c].lastLevel = last++;
    for (unsigned char c : {0x27, 0x2D, 0x96, 0x97})
        t[c].lastLevel = last++;
    // Whatever is left (the NUL byte, the soft hyphen) is ignored.
    return t;
}

const Table& Weights()
{
    static const Table table = BuildTable();
    return table;
}

// Walks the weights of one level of a text, expansions included.
class Cursor {
public:
    explicit Cursor(const std::string& text) : text_(text) {}

    // The next primary weight (0 at the end) and its accent.
    bool Next(std::uint16_t& primary, std::uint8_t& secondary)
    {
        const Table& t = Weights();
        if (pending_ != 0) {
            primary = pending_;
            secondary = 0;
            pending_ = 0;
            return true;
        }
        while (pos_ < text_.size()) {
            const Weight& w = t[static_cast<unsigned char>(text_[pos_++])];
            if (w.primary == 0)
                continue;
            primary = w.primary;
            secondary = w.secondary;
            pending_ = w.primary2;
            return true;
        }
        return false;
    }

private:
    const std::string& text_;
    std::size_t pos_ = 0;
    std::uint16_t pending_ = 0;
};

// Compares one level: primary weights (level 1) or accents (level 2).
int CompareLevel(const std::string& a, const std::string& b, int level)
{
    Cursor ca(a);
    Cursor cb(b);
    for (;;) {
        std::uint16_t pa = 0, pb = 0;
        std::uint8_t sa = 0, sb = 0;
        const bool ha = ca.Next(pa, sa);
        const bool hb = cb.Next(pb, sb);
        if (!ha || !hb)
            return ha == hb ? 0 : (ha ? 1 : -1);
        const int va = level == 1 ? pa : sa;
        const int vb = level == 1 ? pb : sb;
        if (va != vb)
            return va < vb ? -1 : 1;
    }
}

// The last level: the hyphens, apostrophes and control characters, each by
// its place among the weighed characters and its own order. Of two such
// characters the one further on sorts first ("AB-C" before "A-BC").
std::vector<std::uint64_t> LastLevel(const std::string& text)
{
    const Table& t = Weights();
    std::vector<std::uint64_t> out;
    std::uint64_t place = 0;
    for (unsigned char c : text) {
        const Weight& w = t[c];
        if (w.lastLevel != 0)
            out.push_back((0xFFFFFFFFull - place) << 8 | w.lastLevel);
        else if (w.primary != 0)
            place += w.primary2 != 0 ? 2 : 1;
    }
    return out;
}

// The first level's weight of each byte for the quick comparison: the
// primary weight, 0 for a byte the first level ignores, Expansion for a byte
// that weighs as two letters.
constexpr std::uint16_t Expansion = 0xFFFF;

std::array<std::uint16_t, 256> BuildQuickTable()
{
    std::array<std::uint16_t, 256> quick{};
    const Table& t = Weights();
    for (std::size_t c = 0; c < quick.size(); ++c)
        quick[c] = t[c].primary2 != 0 ? Expansion : t[c].primary;
    return quick;
}

const std::array<std::uint16_t, 256> QuickWeights = BuildQuickTable();

// The first level alone, as long as it can be decided without expansions:
// 1 or -1 when the primary weights differ, 0 when it cannot tell (equal first
// levels, or an expansion met before the difference). Most comparisons end
// here, at the first byte that differs.
int QuickPrimary(const std::string& a, const std::string& b)
{
    const std::uint16_t* q = QuickWeights.data();
    const auto* pa = reinterpret_cast<const unsigned char*>(a.data());
    const auto* pb = reinterpret_cast<const unsigned char*>(b.data());
    const auto* ea = pa + a.size();
    const auto* eb = pb + b.size();
    // A common run of bytes weighs the same on both sides: start after it.
    while (pa < ea && pb < eb && *pa == *pb) {
        ++pa;
        ++pb;
    }
    for (;;) {
        std::uint16_t wa = 0;
        std::uint16_t wb = 0;
        while (pa < ea && (wa = q[*pa++]) == 0) {
        }
        while (pb < eb && (wb = q[*pb++]) == 0) {
        }
        if (wa == 0 || wb == 0)
            return wa == 0 ? (wb == 0 ? 0 : -1) : 1;
        if (wa == Expansion || wb == Expansion)
            return 0;
        if (wa != wb)
            return wa < wb ? -1 : 1;
    }
}

}  // namespace

int CompareText1252(const std::string& a, const std::string& b)
{
    if (int r = QuickPrimary(a, b))
        return r;
    if (int r = CompareLevel(a, b, 1))
        return r;
    if (int r = CompareLevel(a, b, 2))
        return r;
    const std::vector<std::uint64_t> la = LastLevel(a);
    const std::vector<std::uint64_t> lb = LastLevel(b);
    if (la == lb)
        return 0;
    return la < lb ? -1 : 1;
}

}  // namespace velastrom
