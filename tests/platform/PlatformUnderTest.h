// The real platform layer of the build, and small helpers for files in a
// folder of the test's own.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#ifdef _WIN32
#include "platform/win32/Win32Platform.h"
#else
#include "app/BuildSettings.h"
#include "platform/linux/LinuxPlatform.h"
#endif

namespace velastrom::test {

#ifdef _WIN32
using PlatformUnderTest = Win32Platform;
// Wine, which stands in for Windows here, rewrites a whole file in its own
// form on every change; our Linux writer keeps every untouched line.
inline constexpr bool WriterKeepsUntouchedLines = false;
inline const std::string ProgramFilesDir = "C:\\Program Files";
#else
using PlatformUnderTest = LinuxPlatform;
inline constexpr bool WriterKeepsUntouchedLines = true;
inline const std::string ProgramFilesDir = settings::ProgramFilesDir;
#endif

// A new, empty folder, removed with everything in it at the end.
class TempDir {
public:
    TempDir()
    {
        std::random_device random;
        const std::filesystem::path base = std::filesystem::temp_directory_path();
        for (;;) {
            std::ostringstream name;
            name << "velastrom-platform-" << std::hex << random() << random();
            path_ = base / name.str();
            if (std::filesystem::create_directory(path_))
                break;
        }
    }
    ~TempDir()
    {
        std::error_code ignored;
        // Give back what a test took away, so that everything can go.
        for (auto it = std::filesystem::recursive_directory_iterator(path_, ignored);
             it != std::filesystem::recursive_directory_iterator(); it.increment(ignored))
            std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    // The full name of a file in the folder, as the platform spells it.
    std::string File(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

inline void WriteBytes(const std::string& file, const std::string& bytes)
{
    std::ofstream out(std::filesystem::path(file), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string ReadBytes(const std::string& file)
{
    std::ifstream in(std::filesystem::path(file), std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

}  // namespace velastrom::test
