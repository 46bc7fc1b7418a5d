// The shared product register: an INI file below the Program Files folder,
// one section per installed product. Read only; every call reads the
// registry and the file again.
#pragma once

#include <memory>
#include <string>

#include "common/StringList.h"
#include "platform/Platform.h"

namespace velastrom {

inline constexpr const char* ProductRegisterFile = "TavRolendiDataBase.INI";
inline constexpr const char* INI_REGISTRY_CODE = "INI_REGISTRY_CODE";
inline constexpr const char* INI_REGISTRY_PATH = "INI_REGISTRY_PATH";
inline constexpr const char* INI_REGISTRY_9001 = "INI_REGISTRY_9001";
inline constexpr const char* INI_REGISTRY_YEAR = "INI_REGISTRY_YEAR";

// What the lookup hands back for one product.
struct TProductEntry {
    std::string Section;    // the product program's file name
    std::string Path;       // its installation folder
    std::string Value9001;
    std::string Code;
    std::string Year;
};

// The comparison of the installed-codes list: locale-aware, letter case ignored.
TStringList::Compare InstalledCodesCompare(IPlatform& platform);

// The Program Files folder from the registry, or the empty string.
std::string GetProgramFilesDir(IPlatform& platform);
// The shared folder, created with its parents when missing.
std::string GetSharedDataBaseDir(IPlatform& platform);
// The path with one path delimiter appended unless it already ends in one.
std::string WithTrailingDelimiter(IPlatform& platform, const std::string& path);

// Appends the register's product codes to the list; a null list becomes a new
// plain list.
void LoadInstalledCodes(IPlatform& platform, std::unique_ptr<TStringList>& list);
// The first section whose code equals code exactly; false and an empty entry
// when none does.
bool FindInstalledProduct(IPlatform& platform, const std::string& code, TProductEntry& entry);

}  // namespace velastrom
