// One table of private-profile cases: the bytes of a file, a sequence of
// reads and writes with what each returns, and what the file holds after the
// writes. The same table runs against our Linux reader and writer and against
// the Windows functions (under Wine); the expected values are what Windows
// returns.
#pragma once

#include <cstddef>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace velastrom::test {

using namespace std::string_literals;

struct ProfileOp {
    enum Kind { Read, Sections, Keys, Write } kind = Read;
    std::string section;
    std::string key;
    std::string text;            // the default of a read, the value of a write
    std::size_t buffer = 2048;   // a read's buffer size in bytes
    std::string expected;        // what a read returns
    bool accepted = true;        // whether a write is accepted
};

struct ProfileCase;
void PrintTo(const ProfileCase& c, std::ostream* os);

struct ProfileCase {
    const char* name;
    std::optional<std::string> file;           // nothing: no file at all
    std::vector<ProfileOp> ops;
    // After the writes: the file's entries, one a line, blanks around names
    // and values and blank lines left out ("[S]", "k=v", "k").
    std::optional<std::string> entriesAfter;
    // After the writes, from a writer that keeps untouched lines: every byte.
    std::optional<std::string> bytesAfter;
};

inline void PrintTo(const ProfileCase& c, std::ostream* os) { *os << c.name; }

inline ProfileOp R(std::string section, std::string key, std::string expected, std::string def = "",
                   std::size_t buffer = 2048)
{
    return ProfileOp{ProfileOp::Read, std::move(section), std::move(key), std::move(def), buffer,
                     std::move(expected), true};
}
inline ProfileOp Sections(std::string expected, std::size_t buffer = 16384)
{
    return ProfileOp{ProfileOp::Sections, "", "", "", buffer, std::move(expected), true};
}
inline ProfileOp Keys(std::string section, std::string expected, std::string def = "", std::size_t buffer = 2048)
{
    return ProfileOp{ProfileOp::Keys, std::move(section), "", std::move(def), buffer, std::move(expected), true};
}
inline ProfileOp W(std::string section, std::string key, std::string value, bool accepted = true)
{
    return ProfileOp{ProfileOp::Write, std::move(section), std::move(key), std::move(value), 0, "", accepted};
}

inline const std::vector<ProfileCase>& ProfileCases()
{
    static const std::vector<ProfileCase> cases = {
        // --- reading ----------------------------------------------------------
        {"PlainValue", "[S]\r\nk=v\r\n",
         {R("S", "k", "v"), R("S", "missing", "dflt", "dflt"), R("T", "k", "dflt", "dflt"), Sections("S\0"s)},
         {}, {}},
        {"MissingFile", std::nullopt,
         {R("S", "k", "dflt", "dflt"), R("S", "k", ""), Sections(""), Keys("S", "dflt", "dflt")}, {}, {}},
        {"EmptyFile", "",
         {R("S", "k", "dflt", "dflt"), Sections("")}, {}, {}},
        {"EmptyValueIsNotTheDefault", "[S]\r\nk=\r\nb=   \r\n",
         {R("S", "k", "", "dflt"), R("S", "b", "", "dflt")}, {}, {}},
        {"BlanksAroundNamesAndValues", "  [S]  \r\n \t k \t =  \t v  v \t \r\n",
         {R("S", "k", "v  v"), R(" S ", "  k\t", "v  v"), Sections("S\0"s)}, {}, {}},
        {"BlanksInsideTheBrackets", "[ S ]\r\nk=v\r\n[\tT U\t]\r\nk=w\r\n",
         {R("S", "k", "v", "x"), R(" S ", "k", "v", "x"), R("T U", "k", "w"), Sections("S\0T U\0"s)}, {}, {}},
        {"QuotesAroundValues",
         "[S]\r\nd=\"v w\"\r\ns='v w'\r\nm=\"v w'\r\no=\"\r\ne=\"\"\r\ni=a\"b\"\r\nb= \" v \" \r\n",
         {R("S", "d", "v w"), R("S", "s", "v w"), R("S", "m", "\"v w'"), R("S", "o", "\""), R("S", "e", ""),
          R("S", "i", "a\"b\""), R("S", "b", " v ")},
         {}, {}},
        {"QuotedValueCutByTheBuffer", "[S]\r\nq=\"abcdef\"\r\np=abcdef\r\n",
         {R("S", "q", "abcd", "", 5), R("S", "q", "abcde", "", 6), R("S", "q", "abcde", "", 7),
          R("S", "q", "abcdef", "", 8), R("S", "p", "abcd", "", 5), R("S", "p", "", "", 1)},
         {}, {}},
        {"DefaultLosesTrailingSpacesAndQuotes", "[S]\r\n",
         {R("S", "k", "  d", "  d  "), R("S", "k", "d", "\"d\""), R("S", "k", "d\t", "d\t ")}, {}, {}},
        {"CommentLines", "[S]\r\n;k=1\r\nk=2\r\n#j=3\r\n",
         {R("S", "k", "2"), R("S", ";k", "1"), R("S", "#j", "3"), Keys("S", "k\0#j\0"s)}, {}, {}},
        {"LinesWithoutEquals", "[S]\r\nk\r\nj = \r\nthe end\r\n",
         {R("S", "k", "dflt", "dflt"), R("S", "j", "", "dflt"), R("S", "the end", "dflt", "dflt"),
          Keys("S", "j\0"s)},
         {}, {}},
        {"DuplicateSections", "[S]\r\na=1\r\n[T]\r\nt=1\r\n[s]\r\na=2\r\nb=3\r\n",
         {R("S", "a", "1"), R("S", "b", "dflt", "dflt"), Sections("S\0T\0s\0"s)}, {}, {}},
        {"DuplicateKeys", "[S]\r\na=1\r\nA=2\r\n",
         {R("S", "a", "1"), R("S", "A", "1"), Keys("S", "a\0A\0"s)}, {}, {}},
        // Letter case is ignored for A to Z only: accented letters match as they are.
        {"NamesIgnoreLetterCase", "[SeCtIoN]\r\nKeY=v\r\n[\xC9t\xE9]\r\n\xC0=w\r\n",
         {R("section", "KEY", "v"), R("\xC9T\xE9", "\xC0", "w"), R("\xE9t\xE9", "\xC0", "d", "d"),
          R("\xC9t\xE9", "\xE0", "d", "d")},
         {}, {}},
        {"LineEndsLfOnly", "[S]\nk=v\nj=w\n",
         {R("S", "k", "v"), R("S", "j", "w")}, {}, {}},
        {"LineEndsCrOnly", "[S]\rk=v\rj=w\r",
         {R("S", "k", "v"), R("S", "j", "w")}, {}, {}},
        {"LineEndsMixed", "[S]\r\nk=v\rj=w\n\n\r\ri=x",
         {R("S", "k", "v"), R("S", "j", "w"), R("S", "i", "x")}, {}, {}},
        {"NulBytes", "[S]\r\nk=a\0b\r\nn\0x=1\r\nj=w\r\n[T\0U]\r\nt=2\r\n"s,
         {R("S", "k", "a"), R("S", "n", "1"), R("S", "j", "w"), R("T", "t", "2"), Sections("S\0T\0"s)}, {}, {}},
        {"BytesAbove127", "[Caf\xE9]\r\nCl\xE9=\x80\xFF\xA9 \xE8\r\n",
         {R("Caf\xE9", "Cl\xE9", "\x80\xFF\xA9 \xE8"), Sections("Caf\xE9\0"s)}, {}, {}},
        {"KeysBeforeTheFirstSection", "k=0\r\n[S]\r\nk=1\r\n",
         {R("S", "k", "1"), R("", "k", "0"), Sections("S\0"s)}, {}, {}},
        {"HeaderWithoutClosingBracket", "[S\r\nk=v\r\n[T] comment\r\nt=1\r\n[U]]\r\nu=2\r\n",
         {R("S", "k", "dflt", "dflt"), R("T", "t", "1"), R("U]", "u", "2"), Sections("T\0U]\0"s)}, {}, {}},
        {"EmptyName", "[S]\r\n=v\r\n[]\r\nk=w\r\n",
         {R("S", "", "v", "d"), R("", "k", "d", "d"), Sections("S\0"s)}, {}, {}},
        {"SectionNamesCutByTheBuffer", "[abc]\r\n[defgh]\r\n[ij]\r\n",
         {Sections("abc\0def"s, 9), Sections("abc\0defgh"s, 11), Sections("abc\0defgh\0"s, 12),
          Sections("abc\0defgh\0ij"s, 14), Sections("abc\0defgh\0ij\0"s, 15), Sections("ab"s, 4),
          Sections(""s, 2), Sections(""s, 1)},
         {}, {}},
        {"KeyNamesCutByTheBuffer", "[S]\r\nabc=1\r\ndefgh=2\r\n",
         {Keys("S", "abc\0def"s, "", 9), Keys("S", "abc\0defgh\0"s, "", 12)}, {}, {}},
        {"KeyNamesThroughTinyBuffers", "[S]\r\nabc=1\r\ndefgh=2\r\n",
         {Keys("S", ""s, "dflt", 0), Keys("S", ""s, "dflt", 1), Keys("S", "d"s, "dflt", 2), Keys("S", "a"s, "dflt", 3),
          Keys("S", "ab"s, "dflt", 4), Keys("S", "abc"s, "dflt", 5), Keys("S", ""s, "", 1), Keys("S", ""s, "", 2)},
         {}, {}},
        // Of empty names one after the other only the first counts; a list
        // that starts with an empty name reads as no list.
        {"KeyNamesWithEmptyNames", "[S]\r\n=novalue\r\n = spacedempty\r\nk=v\r\n[T]\r\nk=v\r\n=x\r\n=y\r\nj=w\r\n",
         {Keys("S", "dflt"s, "dflt"), Keys("T", "k\0\0j\0"s, "dflt"), R("S", "", "novalue"), R("T", "", "x")},
         {}, {}},
        {"ControlZIsABlankNoBreakSpaceIsNot", "[S]\r\nk=\x1Av\xA0\r\n\x1Aj\x1A=w\r\n\xA0i=x\r\n",
         {R("S", "k", "v\xA0"), R("S", "j", "w"), R("S", "i", "d", "d"), R("S", "\xA0i", "x")}, {}, {}},

        // A byte-order mark makes the file UTF-8 or UTF-16; reads come back in
        // Windows-1252, "?" for what it lacks; writes keep the encoding.
        {"Utf8WithByteOrderMark", "\xEF\xBB\xBF[S\xC3\xA9]\r\nk=caf\xC3\xA9 \xE2\x82\xAC \xE2\x98\x83\r\n",
         {Sections("S\xE9\0"s), R("S\xE9", "k", "caf\xE9 \x80 ?"), R("S", "k", "d", "d"), W("S", "new", "\xE9\x80"),
          R("S", "new", "\xE9\x80"), W("S\xE9", "k", "\x80!")},
         "\xEF\xBB\xBF[S\xC3\xA9]\nk=\xE2\x82\xAC!\n[S]\nnew=\xC3\xA9\xE2\x82\xAC",
         "\xEF\xBB\xBF[S\xC3\xA9]\r\nk=\xE2\x82\xAC!\r\n[S]\r\nnew=\xC3\xA9\xE2\x82\xAC\r\n"},
        {"Utf16LittleEndianWithByteOrderMark", "\xFF\xFE[\0S\0]\0\r\0\n\0k\0=\0\xE9\0\xAC\x20\x03\x26\r\0\n\0"s,
         {Sections("S\0"s), R("S", "k", "\xE9\x80?"), W("S", "new", "\xE9\x80"), R("S", "new", "\xE9\x80")},
         {},
         "\xFF\xFE[\0S\0]\0\r\0\n\0k\0=\0\xE9\0\xAC\x20\x03\x26\r\0\n\0n\0e\0w\0=\0\xE9\0\xAC\x20\r\0\n\0"s},
        {"Utf16BigEndianWithByteOrderMark", "\xFE\xFF\0[\0S\0]\0\r\0\n\0k\0=\0\xE9\x20\xAC\x26\x03\0\r\0\n"s,
         {Sections("S\0"s), R("S", "k", "\xE9\x80?"), W("S", "new", "\xE9\x80"), R("S", "new", "\xE9\x80")},
         {},
         "\xFE\xFF\0[\0S\0]\0\r\0\n\0k\0=\0\xE9\x20\xAC\x26\x03\0\r\0\n\0n\0e\0w\0=\0\xE9\x20\xAC\0\r\0\n"s},
        // A UTF-16 file cut short by one byte: the half character is no
        // text; what is written reads back.
        {"Utf16OddLengthMinimal", "\xFE\xFF\xFF",
         {Sections(""), W("SCREEN", "T", "5"), R("SCREEN", "T", "5"), W("SCREEN", "T", "6"), R("SCREEN", "T", "6")},
         {}, "\xFE\xFF\0[\0S\0C\0R\0E\0E\0N\0]\0\r\0\n\0T\0=\0\x36\0\r\0\n"s},
        {"Utf16OddLength", "\xFF\xFE[\0S\0]\0\r\0\n\0k\0=\0v\0\r\0\n\0x"s,
         {R("S", "k", "v"), W("S", "k", "w"), R("S", "k", "w"), W("S", "n", "1"), R("S", "n", "1"),
          W("T", "t", "2"), R("T", "t", "2")},
         {},
         "\xFF\xFE[\0S\0]\0\r\0\n\0k\0=\0w\0\r\0\n\0n\0=\0\x31\0\r\0\n\0[\0T\0]\0\r\0\n\0t\0=\0\x32\0\r\0\n\0"s},
        // Overlong forms, surrogates and values past U+10FFFF are malformed
        // UTF-8, not the characters they spell: each malformed piece reads as
        // one "?" (an overlong form or a surrogate shows at its second byte).
        {"Utf8OverlongForms",
         "\xEF\xBB\xBF[S]\r\na=a\xC0\xAF\r\nb=b\xE0\x80\xBC\r\nc=c\xED\xA0\x80\r\nd=d\xF4\x90\x80\x80\r\ne=e\xE2\x82x\r\nf=f\xC1\xBF\r\ng=g\xF0\x80\x80\xAF\r\n",
         {R("S", "a", "a??"), R("S", "b", "b??"), R("S", "c", "c??"), R("S", "d", "d???"), R("S", "e", "e?x"),
          R("S", "f", "f??"), R("S", "g", "g???")},
         {}, {}},
        // A character beyond the 16-bit units is two the code page lacks.
        {"Utf16BeyondTheBasicPlane",
         "\xFF\xFE[\0S\0]\0\r\0\n\0k\0=\0a\0\x3D\xD8\x00\xDE\x62\0\r\0\n\0l\0=\0\x3D\xD8\x62\0\r\0\n\0"s,
         {R("S", "k", "a??b"), R("S", "l", "?b"), W("S", "k", "c")}, {},
         "\xFF\xFE[\0S\0]\0\r\0\n\0k\0=\0\x63\0\r\0\n\0l\0=\0\x3D\xD8\x62\0\r\0\n\0"s},
        {"Utf8BeyondTheBasicPlane", "\xEF\xBB\xBF[S]\r\nk=a\xF0\x9F\x98\x80" "b\r\nl=\xF0\x9F\x98\x80\r\n",
         {R("S", "k", "a??b"), W("S", "l", "x"), R("S", "l", "x")}, {},
         "\xEF\xBB\xBF[S]\r\nk=a\xF0\x9F\x98\x80" "b\r\nl=x\r\n"},
        {"ByteOrderMarkOnly", "\xEF\xBB\xBF",
         {Sections(""), R("S", "k", "d", "d"), W("S", "new", "\xE9"), R("S", "new", "\xE9")},
         "\xEF\xBB\xBF[S]\nnew=\xC3\xA9", "\xEF\xBB\xBF[S]\r\nnew=\xC3\xA9\r\n"},
        {"SecondByteOrderMarkIsText", "\xEF\xBB\xBF\xEF\xBB\xBF[S]\r\nk=v\r\n",
         {Sections(""), R("S", "k", "d", "d")}, {}, {}},
        {"Utf8WithoutByteOrderMarkIsWindows1252", "[S]\r\nk=caf\xC3\xA9\r\n",
         {R("S", "k", "caf\xC3\xA9")}, {}, {}},

        // --- writing ----------------------------------------------------------
        {"WriteReplacesInPlace", "; head\r\n[S]\r\n  k = old  \r\nz=1\r\n\r\n[T]\r\nk=t\r\n",
         {W("S", "k", "new"), R("S", "k", "new"), R("T", "k", "t")},
         "; head\n[S]\nk=new\nz=1\n[T]\nk=t",
         "; head\r\n[S]\r\n  k = new  \r\nz=1\r\n\r\n[T]\r\nk=t\r\n"},
        {"WriteNewKeyAfterTheLastEntryOfItsSection", "[A]\r\na=1\r\n; note\r\n\r\n[B]\r\nb=1\r\n",
         {W("A", "c", "3"), R("A", "c", "3"), R("B", "b", "1"), Keys("A", "a\0c\0"s)},
         "[A]\na=1\n; note\nc=3\n[B]\nb=1",
         "[A]\r\na=1\r\n; note\r\nc=3\r\n\r\n[B]\r\nb=1\r\n"},
        {"WriteNewKeyIntoAnEmptySection", "[A]\n[B]\nb=1\n",
         {W("a", "k", "v"), R("A", "k", "v")},
         "[A]\nk=v\n[B]\nb=1",
         "[A]\nk=v\r\n[B]\nb=1\n"},
        {"WriteNewKeyAtTheEndWithoutLineEnd", "[A]\r\na=1",
         {W("A", "b", "2"), R("A", "a", "1"), R("A", "b", "2")},
         "[A]\na=1\nb=2",
         "[A]\r\na=1\r\nb=2\r\n"},
        {"WriteNewSectionAtTheEnd", "[A]\r\na=1\r\n\r\n",
         {W("B", "b", "2"), R("B", "b", "2"), Sections("A\0B\0"s)},
         "[A]\na=1\n[B]\nb=2",
         "[A]\r\na=1\r\n\r\n[B]\r\nb=2\r\n"},
        {"WriteCreatesTheFile", std::nullopt,
         {W("SCREEN", "T", "5"), W("SCREEN", "L", "-3"), R("SCREEN", "T", "5"), R("screen", "l", "-3")},
         "[SCREEN]\nT=5\nL=-3",
         "[SCREEN]\r\nT=5\r\nL=-3\r\n"},
        {"WriteIntoAnEmptyFile", "",
         {W("S", "k", "v")}, "[S]\nk=v", "[S]\r\nk=v\r\n"},
        {"WriteTheSameValueChangesNothing", "[S]\r\n k = v \r\n",
         {W("S", "k", "v"), R("S", "k", "v")}, "[S]\nk=v", "[S]\r\n k = v \r\n"},
        {"WriteDropsLeadingBlanksOfTheValue", "[S]\r\nk=1\r\n",
         {W("S", "k", "  v  "), R("S", "k", "v")}, "[S]\nk=v", "[S]\r\nk=v  \r\n"},
        {"WriteTrimsNewNames", "[S]\r\n",
         {W(" S ", " k ", "v"), R("S", "k", "v"), Sections("S\0"s)}, "[S]\nk=v", "[S]\r\nk=v\r\n"},
        {"WriteTrimsBlanksAroundNewNames", "[S]\r\nk=v\r\n",
         {W("Spaced Sec ", "sp key ", "v"), W("S", "new key  ", "w"), W(" Lead", " lk", "x"),
          R("Spaced Sec", "sp key", "v"), R("S", "new key", "w"), Sections("S\0Spaced Sec\0Lead\0"s)},
         "[S]\nk=v\nnew key=w\n[Spaced Sec]\nsp key=v\n[Lead]\nlk=x",
         "[S]\r\nk=v\r\nnew key=w\r\n[Spaced Sec]\r\nsp key=v\r\n[Lead]\r\nlk=x\r\n"},
        {"WriteGoesToTheFirstOfDuplicates", "[S]\r\na=1\r\na=2\r\n[S]\r\na=3\r\n",
         {W("s", "A", "9"), R("S", "a", "9")},
         "[S]\na=9\na=2\n[S]\na=3",
         "[S]\r\na=9\r\na=2\r\n[S]\r\na=3\r\n"},
        {"WriteGivesALineWithoutEqualsItsValue", "[S]\r\nk\r\n",
         {W("S", "K", "v"), R("S", "k", "v")}, "[S]\nk=v", "[S]\r\nk=v\r\n"},
        {"WriteKeepsOtherLineEnds", "[S]\nk=1\nj=2\n",
         {W("S", "k", "x"), W("S", "n", "3"), R("S", "k", "x"), R("S", "j", "2"), R("S", "n", "3")},
         "[S]\nk=x\nj=2\nn=3",
         "[S]\nk=x\nj=2\nn=3\r\n"},
        {"WriteBytesAbove127", "[S]\r\n",
         {W("S", "\xC9t\xE9", "\xE0\x80\xFF"), R("s", "\xC9T\xE9", "\xE0\x80\xFF")},
         "[S]\n\xC9t\xE9=\xE0\x80\xFF", "[S]\r\n\xC9t\xE9=\xE0\x80\xFF\r\n"},
        {"WriteIntoTheNamelessSectionBeforeTheFirstHeader", "k=0\r\n[S]\r\nk=1\r\n",
         {W("S", "j", "2"), R("S", "j", "2"), R("", "k", "0")},
         "k=0\n[S]\nk=1\nj=2", "k=0\r\n[S]\r\nk=1\r\nj=2\r\n"},
        {"WriteThenReadSequence", "[SCREEN]\r\nT=5\r\nL=5\r\nH=736\r\nW=1024\r\n",
         {W("SCREEN", "T", "-8"), W("SCREEN", "L", "-8"), W("SCREEN", "H", "1096"), W("SCREEN", "W", "1936"),
          R("SCREEN", "T", "-8"), R("SCREEN", "L", "-8"), R("SCREEN", "H", "1096"), R("SCREEN", "W", "1936")},
         "[SCREEN]\nT=-8\nL=-8\nH=1096\nW=1936",
         "[SCREEN]\r\nT=-8\r\nL=-8\r\nH=1096\r\nW=1936\r\n"},
    };
    return cases;
}

}  // namespace velastrom::test
