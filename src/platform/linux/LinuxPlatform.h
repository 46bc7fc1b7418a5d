// The platform services on Linux: our own private-profile files, the Program
// Files folder from the build settings, POSIX folders, processes and clocks,
// and a Windows-1252 collation.
#pragma once

#include "platform/Platform.h"
#include "platform/linux/ProfileFile.h"

namespace velastrom {

class LinuxPlatform : public IPlatform {
public:
    LinuxPlatform() = default;

    std::string ReadPrivateProfile(const char* section, const char* key, const std::string& def,
                                   std::size_t bufferSize, const std::string& fileName) override;
    bool WritePrivateProfile(const std::string& section, const std::string& key,
                             const std::string& value, const std::string& fileName) override;

    // Only "SOFTWARE\Microsoft\Windows\CurrentVersion" and the keys above it
    // exist; it holds "ProgramFilesDir" as REG_SZ: the build setting
    // VELASTROM_PROGRAM_FILES_DIR. Names match without regard to letter case.
    TRegistryValue QueryLocalMachineValue(const std::string& key, const std::string& name) override;

    bool DirectoryExists(const std::string& path) override;
    bool MakeDirectory(const std::string& path) override;
    bool ChangeDirectory(const std::string& path) override;
    char PathDelimiter() const override { return '/'; }
    bool IsDriveDelimiter(char) const override { return false; }
    bool IsTrailByte(const std::string&, std::size_t) const override { return false; }

    // Starts the file as a new process in the current directory, detached
    // from this one; a file that is not executable opens with the desktop's
    // default application (xdg-open). Nothing goes through a shell.
    void ShellOpen(std::uintptr_t owner, const std::string& file) override;
    void Sleep(unsigned milliseconds) override;
    std::uint64_t TickCount() const override;

    int CompareText(const std::string& a, const std::string& b) const override;

    void MaskFloatingPointExceptions() override;

private:
    profile::ProfileStore profiles_;
};

// The case-insensitive collation of Windows-1252 text (see Collation1252.cpp).
int CompareText1252(const std::string& a, const std::string& b);

}  // namespace velastrom
