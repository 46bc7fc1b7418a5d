// The in-memory byte stream: writes at the position, growth, seeking,
// emptying, cutting and reading.
#include <gtest/gtest.h>

#include <functional>

#include "common/MemoryStream.h"

namespace velastrom {
namespace {

void Put(TMemoryStream& s, const std::string& bytes) { s.Write(bytes.data(), bytes.size()); }

std::string Bytes(const TMemoryStream& s) { return std::string(s.Bytes().begin(), s.Bytes().end()); }

using namespace std::string_literals;

TEST(MemoryStream, OperationSequences)
{
    const struct {
        const char* name;
        std::function<void(TMemoryStream&)> steps;
        std::string bytes;
        std::size_t position;
    } cases[] = {
        {"new", [](TMemoryStream&) {}, "", 0},
        {"write", [](TMemoryStream& s) { Put(s, "abc"); }, "abc", 3},
        {"two writes append", [](TMemoryStream& s) { Put(s, "abc"); Put(s, "de"); }, "abcde", 5},
        {"write over the start never shrinks",
         [](TMemoryStream& s) { Put(s, "abcdef"); s.Seek(0); Put(s, "XY"); }, "XYcdef", 2},
        {"write across the end grows",
         [](TMemoryStream& s) { Put(s, "abcd"); s.Seek(2); Put(s, "XYZ"); }, "abXYZ", 5},
        {"write past the end fills zeros", [](TMemoryStream& s) { Put(s, "ab"); s.Seek(4); Put(s, "c"); },
         "ab\0\0c"s, 5},
        {"empty write changes nothing", [](TMemoryStream& s) { Put(s, "ab"); s.Seek(7); Put(s, ""); }, "ab", 7},
        {"clear", [](TMemoryStream& s) { Put(s, "abc"); s.Clear(); }, "", 0},
        {"write after clear", [](TMemoryStream& s) { Put(s, "abcdef"); s.Clear(); Put(s, "x"); }, "x", 1},
        {"cut keeps the position inside", [](TMemoryStream& s) { Put(s, "abcdef"); s.Seek(2); s.SetSize(4); },
         "abcd", 2},
        {"cut moves a position past the end",
         [](TMemoryStream& s) { Put(s, "abcdef"); s.SetSize(3); }, "abc", 3},
        {"extend with zeros", [](TMemoryStream& s) { Put(s, "ab"); s.SetSize(4); }, "ab\0\0"s, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TMemoryStream s;
        c.steps(s);
        EXPECT_EQ(Bytes(s), c.bytes);
        EXPECT_EQ(s.Size(), c.bytes.size());
        EXPECT_EQ(s.Position(), c.position);
    }
}

TEST(MemoryStream, ReadsFromThePosition)
{
    TMemoryStream s;
    Put(s, "abcdef");
    s.Seek(1);
    char buffer[8] = {};
    EXPECT_EQ(s.Read(buffer, 3), 3u);
    EXPECT_EQ(std::string(buffer, 3), "bcd");
    EXPECT_EQ(s.Position(), 4u);
    EXPECT_EQ(s.Read(buffer, 8), 2u);  // only what is left
    EXPECT_EQ(std::string(buffer, 2), "ef");
    EXPECT_EQ(s.Read(buffer, 8), 0u);
    s.Seek(20);
    EXPECT_EQ(s.Read(buffer, 8), 0u);
    EXPECT_EQ(s.Position(), 20u);
    EXPECT_EQ(s.ReadToEnd(), "");
    s.Seek(3);
    EXPECT_EQ(s.ReadToEnd(), "def");
    EXPECT_EQ(s.Position(), 6u);
    EXPECT_EQ(s.ReadToEnd(), "");
}

TEST(MemoryStream, ClearReleasesTheMemory)
{
    TMemoryStream s;
    const std::string big(1 << 20, 'x');
    Put(s, big);
    s.Clear();
    EXPECT_EQ(s.Bytes().capacity(), 0u);
}

}  // namespace
}  // namespace velastrom
