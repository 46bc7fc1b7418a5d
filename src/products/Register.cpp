#include "products/Register.h"

#include "common/Error.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"

namespace velastrom {

namespace {

constexpr const char* CurrentVersionKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
constexpr const char* ProgramFilesDirValue = "ProgramFilesDir";

// Whether the byte at index is a path delimiter standing as a character of its own.
bool IsDelimiterAt(const IPlatform& platform, const std::string& path, std::size_t index)
{
    return path[index] == platform.PathDelimiter() && !platform.IsTrailByte(path, index);
}

std::string WithoutTrailingDelimiter(const IPlatform& platform, const std::string& path)
{
    if (!path.empty() && IsDelimiterAt(platform, path, path.size() - 1))
        return path.substr(0, path.size() - 1);
    return path;
}

// Creates the folder and every missing parent. An existing folder, a path of
// fewer than three characters and a path that is its own parent (a root)
// count as done. A parent that cannot be created leaves the folder alone.
bool ForceDirectories(IPlatform& platform, std::string path)
{
    if (path.empty())
        throw Error("Unable to create directory");
    path = WithoutTrailingDelimiter(platform, path);
    if (path.size() < 3 || platform.DirectoryExists(path))
        return true;
    const std::string parent = FolderPart(platform, path);
    if (parent == path)
        return true;
    // A relative name without any delimiter has no parent to create: it is
    // made in the current directory.
    if (parent.empty())
        return platform.MakeDirectory(path);
    return ForceDirectories(platform, parent) && platform.MakeDirectory(path);
}

// The register file's full path; creates the shared folder when missing.
std::string RegisterFilePath(IPlatform& platform)
{
    return WithTrailingDelimiter(platform, GetSharedDataBaseDir(platform)) + ProductRegisterFile;
}

}  // namespace

TStringList::Compare InstalledCodesCompare(IPlatform& platform)
{
    return [&platform](const std::string& a, const std::string& b) { return platform.CompareText(a, b); };
}

std::string GetProgramFilesDir(IPlatform& platform)
{
    const TRegistryValue value = platform.QueryLocalMachineValue(CurrentVersionKey, ProgramFilesDirValue);
    switch (value.status) {
    case TRegistryValue::Status::KeyNotOpened:
    case TRegistryValue::Status::ValueMissing:
        return {};
    case TRegistryValue::Status::DataFailed:
        throw Error(std::string("Failed to get data for '") + ProgramFilesDirValue + "'");
    case TRegistryValue::Status::Ok:
        break;
    }
    if (value.data.empty())
        return {};
    if (value.type != REG_SZ_TYPE && value.type != REG_EXPAND_SZ_TYPE)
        throw Error(std::string("Invalid data type for '") + ProgramFilesDirValue + "'");
    return value.data.substr(0, value.data.find('\0'));
}

std::string GetSharedDataBaseDir(IPlatform& platform)
{
    const char delimiter = platform.PathDelimiter();
    const std::string dir =
        GetProgramFilesDir(platform) + delimiter + "TavRolendi" + delimiter + "SharedDataBase";
    (void)ForceDirectories(platform, dir);  // nothing to do when it exists
    return dir;
}

std::string WithTrailingDelimiter(IPlatform& platform, const std::string& path)
{
    if (!path.empty() && IsDelimiterAt(platform, path, path.size() - 1))
        return path;
    return path + platform.PathDelimiter();
}

void LoadInstalledCodes(IPlatform& platform, std::unique_ptr<TStringList>& list)
{
    if (!list)
        list = std::make_unique<TStringList>();
    TStringList sections;
    const TIniFile ini(platform, RegisterFilePath(platform));
    ini.ReadSections(sections);
    for (const std::string& section : sections.Items()) {
        const std::string code = ini.ReadString(section, INI_REGISTRY_CODE, "");
        if (!code.empty())
            list->Add(code);
    }
}

bool FindInstalledProduct(IPlatform& platform, const std::string& code, TProductEntry& entry)
{
    entry = TProductEntry{};
    TStringList sections;
    const TIniFile ini(platform, RegisterFilePath(platform));
    ini.ReadSections(sections);
    for (const std::string& section : sections.Items()) {
        if (ini.ReadString(section, INI_REGISTRY_CODE, "") != code)
            continue;
        entry.Section = section;
        entry.Path = ini.ReadString(section, INI_REGISTRY_PATH, "");
        entry.Value9001 = ini.ReadString(section, INI_REGISTRY_9001, "");
        entry.Code = ini.ReadString(section, INI_REGISTRY_CODE, "");
        entry.Year = ini.ReadString(section, INI_REGISTRY_YEAR, "");
        return true;
    }
    return false;
}

}  // namespace velastrom
