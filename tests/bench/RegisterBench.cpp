// The product register's two routines, LoadInstalledCodes and
// FindInstalledProduct, on registers of 100, 1 000 and 10 000 products,
// through the real platform layer of the build. Prints milliseconds a call.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "common/StringList.h"
#include "products/Register.h"

#ifdef _WIN32
#include "platform/win32/Win32Platform.h"
using RealPlatform = velastrom::Win32Platform;
static const char* const LayerName = "Windows layer (Win32Platform)";
#else
#include "platform/linux/LinuxPlatform.h"
using RealPlatform = velastrom::LinuxPlatform;
static const char* const LayerName = "Linux layer (LinuxPlatform)";
#endif

namespace fs = std::filesystem;
using namespace velastrom;

namespace {

// The real layer, with the Program Files folder moved to a folder of ours.
class BenchPlatform : public RealPlatform {
public:
    explicit BenchPlatform(std::string programFiles) : programFiles_(std::move(programFiles)) {}
    TRegistryValue QueryLocalMachineValue(const std::string&, const std::string&) override
    {
        TRegistryValue v;
        v.status = TRegistryValue::Status::Ok;
        v.type = REG_SZ_TYPE;
        v.data = programFiles_ + '\0';
        return v;
    }

private:
    std::string programFiles_;
};

std::string Register(std::size_t products)
{
    std::string text;
    for (std::size_t i = 0; i < products; ++i) {
        const std::string n = std::to_string(i);
        text += "[Product" + n + ".exe]\r\n";
        text += "INI_REGISTRY_CODE=CODE" + n + "\r\n";
        text += "INI_REGISTRY_PATH=C:\\Programmi\\TavRolendi\\Product" + n + "\r\n";
        text += "INI_REGISTRY_9001=ISO 9001:2015\r\n";
        text += "INI_REGISTRY_YEAR=2024\r\n\r\n";
    }
    return text;
}

using Clock = std::chrono::steady_clock;

// Milliseconds a call: repeated until at least 300 ms have passed (at most
// 2000 calls).
template <typename F>
double MsPerCall(F&& call)
{
    const auto start = Clock::now();
    int calls = 0;
    do {
        call();
        ++calls;
    } while (calls < 2000 && Clock::now() - start < std::chrono::milliseconds(300));
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count() / calls;
}

template <typename F>
double MsOnce(F&& call)
{
    const auto start = Clock::now();
    call();
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

}  // namespace

int main()
{
    const std::size_t sizes[] = {100, 1000, 10000};
    std::random_device random;
    const fs::path base = fs::temp_directory_path() / ("velastrom-bench-" + std::to_string(random()));
    std::vector<std::string> roots;
    std::vector<std::string> files;
    for (std::size_t n : sizes) {
        const fs::path root = base / ("pf" + std::to_string(n));
        const fs::path shared = root / "TavRolendi" / "SharedDataBase";
        fs::create_directories(shared);
        const std::string text = Register(n);
        const fs::path file = shared / ProductRegisterFile;
        std::ofstream(file, std::ios::binary).write(text.data(), static_cast<std::streamsize>(text.size()));
        roots.push_back(root.string());
        files.push_back(file.string());
    }
    // A register is written when a product is installed, long before it is
    // read; the readers may trust the times of a file that has settled.
    std::this_thread::sleep_for(std::chrono::milliseconds(3000));

    std::printf("%s\n", LayerName);
    std::printf("(The section list is cut at 16384 bytes: about 1 000 products are seen.)\n");
    std::printf("%9s %11s %6s | %13s %13s | %13s %13s %13s\n", "products", "file bytes", "seen", "Load first ms",
                "Load ms/call", "Find seen ms", "Find first ms", "Find none ms");
    for (std::size_t i = 0; i < std::size(sizes); ++i) {
        const std::size_t n = sizes[i];
        BenchPlatform platform(roots[i]);
        std::size_t codes = 0;
        const auto load = [&] {
            std::unique_ptr<TStringList> list = std::make_unique<TStringList>(InstalledCodesCompare(platform));
            LoadInstalledCodes(platform, list);
            codes = list->Count();
        };
        const double first = MsOnce(load);
        const double perLoad = MsPerCall(load);
        TProductEntry entry;
        bool found = false;
        // The last product the section list shows.
        const std::string last = "CODE" + std::to_string(codes - 1);
        const double findLast = MsPerCall([&] { found = FindInstalledProduct(platform, last, entry); });
        const bool foundLast = found && entry.Section == "Product" + std::to_string(codes - 1) + ".exe";
        const double findFirst = MsPerCall([&] { found = FindInstalledProduct(platform, "CODE0", entry); });
        const bool foundFirst = found;
        const double findNone = MsPerCall([&] { found = FindInstalledProduct(platform, "code0", entry); });
        std::printf("%9zu %11ju %6zu | %13.3f %13.3f | %13.3f %13.3f %13.3f%s\n", n,
                    static_cast<std::uintmax_t>(fs::file_size(files[i])), codes, first, perLoad, findLast,
                    findFirst, findNone, foundLast && foundFirst && !found ? "" : "   (WRONG RESULT)");
    }

    // A register that has just changed is read afresh at every call.
    std::printf("\nJust changed (the file's times are within the last two seconds):\n");
    for (std::size_t i = 0; i < std::size(sizes); ++i) {
        const std::string text = Register(sizes[i]);
        std::ofstream(files[i], std::ios::binary).write(text.data(), static_cast<std::streamsize>(text.size()));
        BenchPlatform platform(roots[i]);
        std::unique_ptr<TStringList> list = std::make_unique<TStringList>(InstalledCodesCompare(platform));
        const double ms = MsOnce([&] { LoadInstalledCodes(platform, list); });
        TProductEntry entry;
        const double find = MsOnce([&] { FindInstalledProduct(platform, "CODE" + std::to_string(sizes[i] - 1), entry); });
        std::printf("%9zu products: Load %10.3f ms, Find last %10.3f ms\n", sizes[i], ms, find);
    }
    std::error_code ignored;
    fs::remove_all(base, ignored);
    return 0;
}
