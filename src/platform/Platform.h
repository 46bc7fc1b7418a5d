// The operating system's services that the program needs, behind one seam:
// private-profile (INI) files, the registry (read only), folders, the shell,
// sleeping, locale-aware comparison and the floating-point set-up. Strings are
// single-byte Windows-1252 text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace velastrom {

// Registry value types the program distinguishes.
enum TRegistryType : std::uint32_t {
    REG_NONE_TYPE = 0,
    REG_SZ_TYPE = 1,
    REG_EXPAND_SZ_TYPE = 2,
    REG_BINARY_TYPE = 3,
    REG_DWORD_TYPE = 4,
};

// One value read from HKEY_LOCAL_MACHINE.
struct TRegistryValue {
    enum class Status {
        KeyNotOpened,  // the key could not be opened for reading
        ValueMissing,  // the key opened; the value is not there
        Ok,            // type and data were read
        DataFailed,    // the size and type were read, the data read failed
    };
    Status status = Status::KeyNotOpened;
    std::uint32_t type = REG_NONE_TYPE;
    std::string data;  // the raw bytes, terminating zero bytes included
};

class IPlatform {
public:
    virtual ~IPlatform() = default;

    // --- private-profile files, with the platform's rules ------------------
    // What GetPrivateProfileStringA leaves in a buffer of bufferSize bytes:
    // the characters it reports copied. With section == nullptr: every section
    // name followed by a NUL (the final extra NUL not counted); with key ==
    // nullptr: the section's key names likewise; otherwise the value, or def
    // when the file, section or key is missing.
    virtual std::string ReadPrivateProfile(const char* section, const char* key,
                                           const std::string& def, std::size_t bufferSize,
                                           const std::string& fileName) = 0;
    // WritePrivateProfileStringA with a section, a key and a value; false when
    // the platform refuses the write.
    virtual bool WritePrivateProfile(const std::string& section, const std::string& key,
                                     const std::string& value, const std::string& fileName) = 0;

    // --- registry, read only ------------------------------------------------
    // RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, KEY_READ), RegQueryValueExA for
    // size and type, then for the data; the key is closed on every path.
    virtual TRegistryValue QueryLocalMachineValue(const std::string& key, const std::string& name) = 0;

    // --- files and folders ----------------------------------------------------
    // The platform reports attributes for the path and they hold the directory bit.
    virtual bool DirectoryExists(const std::string& path) = 0;
    // One folder, its parent must exist; default security.
    virtual bool MakeDirectory(const std::string& path) = 0;
    virtual bool ChangeDirectory(const std::string& path) = 0;
    // The separator of folders in a path: '\\' on Windows, '/' on Linux.
    virtual char PathDelimiter() const = 0;
    // Whether c ends a drive part of a path (':' on Windows; nothing on Linux).
    virtual bool IsDriveDelimiter(char c) const = 0;
    // Whether the byte at index is the second byte of a double-byte character
    // in the ANSI code page.
    virtual bool IsTrailByte(const std::string& text, std::size_t index) const = 0;

    // --- shell and time -------------------------------------------------------
    // ShellExecuteA(owner, "open", file, no parameters, no directory,
    // SW_SHOWNORMAL); the result is not examined.
    virtual void ShellOpen(std::uintptr_t owner, const std::string& file) = 0;
    virtual void Sleep(unsigned milliseconds) = 0;
    // Milliseconds from a fixed point, never going back (GetTickCount64).
    virtual std::uint64_t TickCount() const = 0;

    // --- text -----------------------------------------------------------------
    // CompareStringA with the user's default locale and NORM_IGNORECASE:
    // negative, zero or positive.
    virtual int CompareText(const std::string& a, const std::string& b) const = 0;

    // --- process --------------------------------------------------------------
    // Every floating-point exception masked, rounding to nearest (on 32-bit
    // Windows the x87 control word 0x133F, kept as the process default).
    virtual void MaskFloatingPointExceptions() = 0;
};

}  // namespace velastrom
