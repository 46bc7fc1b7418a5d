// The platform services on Windows: the system's own functions, called with
// single-byte (ANSI) strings.
#pragma once

#include <windows.h>

#include <functional>

#include "platform/Platform.h"

namespace velastrom {

class Win32Platform : public IPlatform {
public:
    Win32Platform() = default;

    std::string ReadPrivateProfile(const char* section, const char* key, const std::string& def,
                                   std::size_t bufferSize, const std::string& fileName) override;
    bool WritePrivateProfile(const std::string& section, const std::string& key,
                             const std::string& value, const std::string& fileName) override;

    TRegistryValue QueryLocalMachineValue(const std::string& key, const std::string& name) override;

    bool DirectoryExists(const std::string& path) override;
    bool MakeDirectory(const std::string& path) override;
    bool ChangeDirectory(const std::string& path) override;
    char PathDelimiter() const override { return '\\'; }
    bool IsDriveDelimiter(char c) const override { return c == ':'; }
    bool IsTrailByte(const std::string& text, std::size_t index) const override;

    void ShellOpen(std::uintptr_t owner, const std::string& file) override;
    void Sleep(unsigned milliseconds) override;
    std::uint64_t TickCount() const override;

    int CompareText(const std::string& a, const std::string& b) const override;

    void MaskFloatingPointExceptions() override;
    // Loads the program's floating-point set-up again, once it has been made:
    // the default exception handler does so for every failure it shows, as a
    // component (the browser control's scripts, say) may have changed it.
    static void RestoreFloatingPointSetUp();

    // The x87 control word the program runs with: every exception masked,
    // 64-bit precision, rounding to nearest, affine infinity.
    static constexpr unsigned short FloatingPointControlWord = 0x133F;
};

// Whether the byte at index is the second byte of a double-byte character,
// walking the text from its start with the given lead-byte test.
bool IsTrailByteWith(const std::string& text, std::size_t index,
                     const std::function<bool(unsigned char)>& isLeadByte);

}  // namespace velastrom
