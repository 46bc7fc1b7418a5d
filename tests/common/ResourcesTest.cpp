// The committed pictures, icons, desktop entry and resource script: their
// formats, what the pictures show, and that the generator reproduces them.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace velastrom {
namespace {

namespace fs = std::filesystem;

const fs::path kRoot = VELASTROM_SOURCE_DIR;
const fs::path kResources = kRoot / "resources";
const fs::path kGenerator = kRoot / "tools" / "make-resources.py";

using Bytes = std::vector<std::uint8_t>;

Bytes ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        ADD_FAILURE() << "cannot open " << path;
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string ReadText(const fs::path& path)
{
    Bytes b = ReadFile(path);
    return std::string(b.begin(), b.end());
}

std::uint32_t U16(const Bytes& b, std::size_t at) { return b.at(at) | (b.at(at + 1) << 8); }
std::uint32_t U32(const Bytes& b, std::size_t at) { return U16(b, at) | (U16(b, at + 2) << 16); }
std::int32_t I32(const Bytes& b, std::size_t at) { return static_cast<std::int32_t>(U32(b, at)); }
std::uint32_t BE32(const Bytes& b, std::size_t at)
{
    return (std::uint32_t{b.at(at)} << 24) | (b.at(at + 1) << 16) | (b.at(at + 2) << 8) | b.at(at + 3);
}

// A temporary folder removed at the end of the test.
struct TempDir {
    fs::path path;
    TempDir()
    {
        std::string pattern = (fs::temp_directory_path() / "velastrom-res-XXXXXX").string();
        path = mkdtemp(pattern.data());
    }
    ~TempDir() { fs::remove_all(path); }
};

std::string Quote(const fs::path& p) { return "'" + p.string() + "'"; }

// ---------------------------------------------------------------------------
// The command bar's pictures.

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb&) const = default;
};
constexpr Rgb kCrimson{186, 31, 57};

// A 48x48 picture read from its bottom-up rows; (x, y) with y downwards.
struct Picture {
    Bytes file;
    Rgb At(int x, int y) const
    {
        std::size_t at = 54 + static_cast<std::size_t>(47 - y) * 144 + static_cast<std::size_t>(x) * 3;
        return Rgb{file.at(at + 2), file.at(at + 1), file.at(at)};
    }
};

bool White(Rgb c) { return c.r >= 235 && c.g >= 235 && c.b >= 235; }
bool Black(Rgb c) { return c.r <= 40 && c.g <= 40 && c.b <= 40; }
bool Grey(Rgb c)
{
    return c.r >= 90 && c.r <= 180 && std::abs(c.r - c.g) <= 12 && std::abs(c.g - c.b) <= 12;
}
bool Green(Rgb c) { return c.g > c.r + 20 && c.g > c.b + 20; }

class PictureTest : public ::testing::TestWithParam<const char*> {};

TEST_P(PictureTest, IsA48By48BottomUpUncompressed24BitBitmap)
{
    Bytes b = ReadFile(kResources / GetParam());
    ASSERT_EQ(b.size(), 6966u);
    EXPECT_EQ(b[0], 'B');
    EXPECT_EQ(b[1], 'M');
    EXPECT_EQ(U32(b, 2), 6966u);   // file size
    EXPECT_EQ(U32(b, 10), 54u);    // pixel offset
    EXPECT_EQ(U32(b, 14), 40u);    // info header size
    EXPECT_EQ(I32(b, 18), 48);     // width
    EXPECT_EQ(I32(b, 22), 48);     // positive height: bottom-up rows
    EXPECT_EQ(U16(b, 26), 1u);     // planes
    EXPECT_EQ(U16(b, 28), 24u);    // bits per pixel
    EXPECT_EQ(U32(b, 30), 0u);     // uncompressed
    EXPECT_EQ(U32(b, 46), 0u);     // no palette
}

// Crimson is the transparent colour: it must fill everything outside the
// disc and must appear nowhere on it, or holes would show in the button.
TEST_P(PictureTest, CrimsonExactlyAroundTheDisc)
{
    Picture p{ReadFile(kResources / GetParam())};
    ASSERT_EQ(p.file.size(), 6966u);
    EXPECT_EQ(p.file[54], 57);  // first stored pixel is the bottom-left one
    EXPECT_EQ(p.file[55], 31);
    EXPECT_EQ(p.file[56], 186);
    for (auto [x, y] : {std::pair{0, 47}, std::pair{0, 0}, std::pair{47, 0}, std::pair{47, 47}})
        EXPECT_EQ(p.At(x, y), kCrimson) << x << "," << y;

    const double centre = 24.0, radius = 23.0;
    int outside = 0, inside = 0;
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 48; ++x) {
            // nearest and farthest points of the pixel's square from the centre
            double nx = std::max({x - centre, 0.0, centre - (x + 1)});
            double ny = std::max({y - centre, 0.0, centre - (y + 1)});
            double fx = std::max(std::abs(x - centre), std::abs(x + 1 - centre));
            double fy = std::max(std::abs(y - centre), std::abs(y + 1 - centre));
            if (nx * nx + ny * ny > radius * radius) {
                ++outside;
                EXPECT_EQ(p.At(x, y), kCrimson) << "outside the disc at " << x << "," << y;
            } else if (fx * fx + fy * fy < radius * radius) {
                ++inside;
                EXPECT_NE(p.At(x, y), kCrimson) << "transparent hole at " << x << "," << y;
            }
        }
    EXPECT_GT(outside, 400);
    EXPECT_GT(inside, 1500);
}

// A green disc, lighter at the top (the gloss) than at the bottom.
TEST_P(PictureTest, GlossyGreenDisc)
{
    Picture p{ReadFile(kResources / GetParam())};
    ASSERT_EQ(p.file.size(), 6966u);
    auto brightness = [&](int y0, int y1) {
        int sum = 0, n = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = 16; x < 32; ++x)
                if (Green(p.At(x, y))) {
                    Rgb c = p.At(x, y);
                    sum += c.r + c.g + c.b;
                    ++n;
                }
        EXPECT_GT(n, 0) << "no green between rows " << y0 << " and " << y1;
        return n ? sum / n : 0;
    };
    EXPECT_GT(brightness(2, 8), brightness(40, 46) + 60);
    for (auto [x, y] : {std::pair{6, 24}, std::pair{41, 24}, std::pair{24, 43}})
        EXPECT_TRUE(Green(p.At(x, y))) << x << "," << y;
}

INSTANTIATE_TEST_SUITE_P(Buttons, PictureTest, ::testing::Values("home.bmp", "stop.bmp"),
                         [](const auto& info) { return std::string(info.param).substr(0, 4); });

TEST(HomePicture, WhiteHouseWithChimneyOnTheRightGreyWindowAndBlackDoor)
{
    Picture p{ReadFile(kResources / "home.bmp")};
    ASSERT_EQ(p.file.size(), 6966u);
    int white = 0, whiteRightTop = 0, whiteLeftTop = 0;
    int black = 0, grey = 0, lowestGrey = -1, highestBlack = 48;
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 48; ++x) {
            Rgb c = p.At(x, y);
            if (White(c)) {
                ++white;
                // above the eaves the house is symmetric but for the chimney
                if (y < 20 && x >= 28) ++whiteRightTop;
                if (y < 20 && x <= 47 - 28) ++whiteLeftTop;
            }
            if (Black(c)) {
                ++black;
                EXPECT_LE(std::abs(x - 24), 5) << "black off the door at " << x << "," << y;
                highestBlack = std::min(highestBlack, y);
            }
            if (Grey(c) && std::abs(x - 24) <= 4 && y >= 12 && y <= 26) {
                ++grey;
                lowestGrey = std::max(lowestGrey, y);
            }
        }
    EXPECT_GT(white, 300);
    EXPECT_GT(whiteRightTop, whiteLeftTop + 10);
    EXPECT_GT(black, 30);
    EXPECT_GT(highestBlack, 24);  // the door stands in the lower half
    EXPECT_GT(grey, 8);
    EXPECT_LT(lowestGrey, highestBlack);  // the window is above the door
    EXPECT_TRUE(White(p.At(16, 30)));     // the wall beside the door
    EXPECT_TRUE(White(p.At(31, 30)));
}

TEST(StopPicture, LargeWhiteX)
{
    Picture p{ReadFile(kResources / "stop.bmp")};
    ASSERT_EQ(p.file.size(), 6966u);
    for (int k = 14; k <= 33; ++k) {
        EXPECT_TRUE(White(p.At(k, k))) << "falling stroke at " << k;
        EXPECT_TRUE(White(p.At(47 - k, k))) << "rising stroke at " << k;
    }
    // Between the arms the disc shows.
    for (auto [x, y] : {std::pair{24, 10}, std::pair{24, 38}, std::pair{10, 24}, std::pair{38, 24}})
        EXPECT_TRUE(Green(p.At(x, y))) << x << "," << y;
}

// ---------------------------------------------------------------------------
// The application icon.

TEST(ApplicationIcon, FiveDibImagesAt32BitsWithAlphaAndMask)
{
    Bytes b = ReadFile(kResources / "VelastromNavigazione.ico");
    ASSERT_GE(b.size(), 6u);
    EXPECT_EQ(U16(b, 0), 0u);
    EXPECT_EQ(U16(b, 2), 1u);  // icon
    ASSERT_EQ(U16(b, 4), 5u);
    const std::array<int, 5> sizes{16, 32, 48, 64, 128};
    for (std::size_t e = 0; e < sizes.size(); ++e) {
        SCOPED_TRACE("entry " + std::to_string(e));
        const int n = sizes[e];
        std::size_t d = 6 + 16 * e;
        EXPECT_EQ(b.at(d), n);
        EXPECT_EQ(b.at(d + 1), n);
        EXPECT_EQ(U16(b, d + 4), 1u);
        EXPECT_EQ(U16(b, d + 6), 32u);
        const std::uint32_t bytes = U32(b, d + 8), offset = U32(b, d + 12);
        ASSERT_LE(std::size_t{offset} + bytes, b.size());

        const std::size_t maskStride = ((n + 31) / 32) * 4;
        ASSERT_EQ(bytes, 40 + 4u * n * n + maskStride * n);
        EXPECT_EQ(U32(b, offset), 40u);
        EXPECT_EQ(I32(b, offset + 4), n);
        EXPECT_EQ(I32(b, offset + 8), 2 * n);  // colour rows and mask rows
        EXPECT_EQ(U16(b, offset + 12), 1u);
        EXPECT_EQ(U16(b, offset + 14), 32u);
        EXPECT_EQ(U32(b, offset + 16), 0u);

        const std::size_t pixels = offset + 40, mask = pixels + 4u * n * n;
        int clear = 0, partial = 0, opaque = 0;
        for (int row = 0; row < n; ++row)
            for (int x = 0; x < n; ++x) {
                const int alpha = b.at(pixels + 4u * (row * n + x) + 3);
                const bool masked = b.at(mask + row * maskStride + x / 8) & (0x80 >> (x % 8));
                ASSERT_EQ(masked, alpha == 0) << "mask disagrees with alpha at " << x << "," << row;
                (alpha == 0 ? clear : alpha == 255 ? opaque : partial)++;
            }
        EXPECT_GT(clear, 0);    // the corners are see-through
        EXPECT_GT(partial, 0);  // a smooth edge
        EXPECT_GT(opaque, n * n / 2);
        EXPECT_EQ(b.at(pixels + 3), 0);  // a corner
        EXPECT_EQ(b.at(pixels + 4u * ((n / 2) * n + n / 2) + 3), 255);  // the middle
    }
}

std::uint32_t Crc32(const Bytes& b, std::size_t from, std::size_t count)
{
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = from; i < from + count; ++i) {
        crc ^= b.at(i);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

class IconPngTest : public ::testing::TestWithParam<int> {};

TEST_P(IconPngTest, RgbaPngOfItsSizeWithSoundChunks)
{
    const int n = GetParam();
    const std::string dir = std::to_string(n) + "x" + std::to_string(n);
    Bytes b = ReadFile(kResources / "icons" / "hicolor" / dir / "apps" / "velastrom-navigazione.png");
    const Bytes signature{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    ASSERT_GE(b.size(), 8u);
    ASSERT_EQ(Bytes(b.begin(), b.begin() + 8), signature);
    std::vector<std::string> kinds;
    for (std::size_t at = 8; at < b.size();) {
        ASSERT_LE(at + 12, b.size());
        const std::uint32_t length = BE32(b, at);
        ASSERT_LE(at + 12 + length, b.size());
        kinds.emplace_back(b.begin() + at + 4, b.begin() + at + 8);
        EXPECT_EQ(BE32(b, at + 8 + length), Crc32(b, at + 4, length + 4)) << kinds.back();
        if (kinds.size() == 1) {
            ASSERT_EQ(kinds[0], "IHDR");
            EXPECT_EQ(BE32(b, at + 8), std::uint32_t(n));   // width
            EXPECT_EQ(BE32(b, at + 12), std::uint32_t(n));  // height
            EXPECT_EQ(b.at(at + 16), 8);                    // bits per channel
            EXPECT_EQ(b.at(at + 17), 6);                    // RGBA
        }
        at += 12 + length;
    }
    ASSERT_FALSE(kinds.empty());
    EXPECT_EQ(kinds.back(), "IEND");
    EXPECT_NE(std::find(kinds.begin(), kinds.end(), "IDAT"), kinds.end());
}

INSTANTIATE_TEST_SUITE_P(Hicolor, IconPngTest, ::testing::Values(16, 32, 48, 64, 128));

// ---------------------------------------------------------------------------
// Desktop entry and resource script.

TEST(DesktopEntry, LaunchesTheProgramWithItsIcon)
{
    std::istringstream in(ReadText(kResources / "velastrom-navigazione.desktop"));
    std::string line;
    ASSERT_TRUE(std::getline(in, line));
    EXPECT_EQ(line, "[Desktop Entry]");
    std::map<std::string, std::string> keys;
    while (std::getline(in, line)) {
        ASSERT_NE(line.find('='), std::string::npos) << line;
        keys[line.substr(0, line.find('='))] = line.substr(line.find('=') + 1);
    }
    EXPECT_EQ(keys["Type"], "Application");
    EXPECT_EQ(keys["Name"], "Velastrom di Navigazione");
    EXPECT_EQ(keys["Exec"], "VelastromNavigazione");
    EXPECT_EQ(keys["Icon"], "velastrom-navigazione");
    EXPECT_EQ(keys["Terminal"], "false");
    EXPECT_FALSE(keys["Comment"].empty());
    ASSERT_FALSE(keys["Categories"].empty());
    EXPECT_EQ(keys["Categories"].back(), ';');
}

// The script compiled by the real resource compiler: the pictures and the
// icon go in unchanged and the version block carries the right texts.
TEST(ResourceScript, CompilesWithTheVersionBlockPicturesAndIcon)
{
    const char* compiler = "i686-w64-mingw32-windres";
    if (std::system((std::string("command -v ") + compiler + " >/dev/null 2>&1").c_str()) != 0)
        GTEST_SKIP() << compiler << " not installed";
    TempDir tmp;
    // Run from another folder, as a build does: names resolve beside the script.
    const std::string command = "cd " + Quote(tmp.path) + " && " + compiler + " " +
                                Quote(kResources / "VelastromNavigazione.rc") +
                                " -O res -o out.res";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    Bytes res = ReadFile(tmp.path / "out.res");

    // Walk the compiled resources: type and name are a number or a UTF-16 name.
    struct Entry {
        std::string type, name;
        std::uint16_t language;
        Bytes data;
    };
    std::vector<Entry> entries;
    auto ident = [&](std::size_t& at) {
        if (U16(res, at) == 0xFFFF) {
            at += 4;
            return "#" + std::to_string(U16(res, at - 2));
        }
        std::string s;
        for (; U16(res, at) != 0; at += 2) s += static_cast<char>(U16(res, at));
        at += 2;
        return s;
    };
    for (std::size_t at = 0; at + 8 <= res.size();) {
        const std::uint32_t dataSize = U32(res, at), headerSize = U32(res, at + 4);
        std::size_t p = at + 8;
        Entry e;
        e.type = ident(p);
        e.name = ident(p);
        p = (p + 3) & ~std::size_t{3};
        e.language = static_cast<std::uint16_t>(U16(res, p + 6));
        ASSERT_LE(at + headerSize + dataSize, res.size());
        e.data.assign(res.begin() + at + headerSize, res.begin() + at + headerSize + dataSize);
        if (dataSize != 0) entries.push_back(e);
        at = (at + headerSize + dataSize + 3) & ~std::size_t{3};
    }
    auto find = [&](const std::string& type, const std::string& name) -> const Entry* {
        for (const Entry& e : entries)
            if (e.type == type && e.name == name) return &e;
        return nullptr;
    };

    for (auto [name, file] : {std::pair{"HOME", "home.bmp"}, std::pair{"STOP", "stop.bmp"}}) {
        const Entry* e = find("#2", name);
        ASSERT_NE(e, nullptr) << name;
        Bytes bmp = ReadFile(kResources / file);
        EXPECT_EQ(e->data, Bytes(bmp.begin() + 14, bmp.end())) << name;  // without the file header
    }

    const Entry* group = find("#14", "MAINICON");
    ASSERT_NE(group, nullptr);
    ASSERT_GE(group->data.size(), 6u);
    ASSERT_EQ(U16(group->data, 4), 5u);
    Bytes ico = ReadFile(kResources / "VelastromNavigazione.ico");
    for (std::size_t i = 0; i < 5; ++i) {
        // group entries are 14 bytes, ending in the icon's resource number
        const std::size_t g = 6 + 14 * i;
        EXPECT_EQ(group->data.at(g), ico.at(6 + 16 * i));  // width
        EXPECT_EQ(U16(group->data, g + 6), 32u);
        const Entry* image = find("#3", "#" + std::to_string(U16(group->data, g + 12)));
        ASSERT_NE(image, nullptr);
        const std::uint32_t offset = U32(ico, 6 + 16 * i + 12), size = U32(ico, 6 + 16 * i + 8);
        EXPECT_EQ(image->data, Bytes(ico.begin() + offset, ico.begin() + offset + size));
    }

    const Entry* version = find("#16", "#1");
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(version->language, 0x0410);
    // Fixed part: signature, then file and product versions as 16-bit halves.
    std::size_t fixed = 0;
    while (fixed + 4 <= version->data.size() && U32(version->data, fixed) != 0xFEEF04BDu) ++fixed;
    ASSERT_LT(fixed + 24, version->data.size());
    EXPECT_EQ(U32(version->data, fixed + 8), (4u << 16) | 0u);    // 4.0
    EXPECT_EQ(U32(version->data, fixed + 12), (0u << 16) | 174u); // .0.174
    EXPECT_EQ(U32(version->data, fixed + 16), (1u << 16) | 0u);   // 1.0
    EXPECT_EQ(U32(version->data, fixed + 20), 0u);                // .0.0

    std::string text;  // the UTF-16 block narrowed, NULs kept as '|'
    for (std::size_t i = 0; i + 1 < version->data.size(); i += 2) {
        const std::uint16_t c = static_cast<std::uint16_t>(U16(version->data, i));
        text += c == 0 ? '|' : c < 128 ? static_cast<char>(c) : '?';
    }
    for (const char* expected : {"041004E4", "CompanyName||TAV ROLENDI|", "FileVersion||4.0.0.174|",
                                 "ProductVersion|1.0.0.0|", "VarFileInfo", "Translation"})
        EXPECT_NE(text.find(expected), std::string::npos) << expected << " in " << text;
    for (const char* empty : {"FileDescription", "InternalName", "LegalCopyright", "LegalTrademarks",
                              "OriginalFilename", "ProductName", "Comments"}) {
        const std::size_t at = text.find(empty);
        ASSERT_NE(at, std::string::npos) << empty;
        // The value's length word sits two words before the key; an empty
        // text is stored as nothing or as its terminating NUL alone.
        const std::uint32_t valueLength = U16(version->data, 2 * at - 4);
        EXPECT_LE(valueLength, 1u) << empty;
        const std::size_t value = (2 * (at + std::string(empty).size() + 1) + 3) & ~std::size_t{3};
        if (valueLength == 1) {
            EXPECT_EQ(U16(version->data, value), 0u) << empty;
        }
    }
    // Translation: Italian, code page 1252.
    const std::size_t tr = text.find("Translation");
    ASSERT_NE(tr, std::string::npos);
    std::size_t value = (2 * (tr + 12) + 3) & ~std::size_t{3};
    EXPECT_EQ(U16(version->data, value), 0x0410u);
    EXPECT_EQ(U16(version->data, value + 2), 1252u);
}

// ---------------------------------------------------------------------------
// The generator.

TEST(ResourceGenerator, ReproducesTheCommittedFilesByteForByte)
{
    TempDir tmp;
    const std::string command = "python3 " + Quote(kGenerator) + " --out " + Quote(tmp.path);
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    int files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(tmp.path)) {
        if (!entry.is_regular_file()) continue;
        ++files;
        const fs::path relative = fs::relative(entry.path(), tmp.path);
        EXPECT_TRUE(ReadFile(entry.path()) == ReadFile(kResources / relative))
            << relative << " differs from the committed file";
    }
    EXPECT_EQ(files, 10);  // two pictures, five PNGs, icon, desktop entry, script
}

TEST(ResourceGenerator, CheckModeFindsAChangedFile)
{
    TempDir tmp;
    fs::copy(kResources, tmp.path, fs::copy_options::recursive);
    {
        std::fstream f(tmp.path / "stop.bmp", std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(54 + 24 * 144 + 24 * 3);
        f.put('\x01');
    }
    const std::string check = "python3 " + Quote(kGenerator) + " --check --out " + Quote(tmp.path) +
                              " >/dev/null";
    EXPECT_NE(std::system(check.c_str()), 0);
}

}  // namespace
}  // namespace velastrom
