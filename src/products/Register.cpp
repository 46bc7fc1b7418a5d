#include "products/Register.h"

namespace velastrom {

TStringList::Compare InstalledCodesCompare(IPlatform& platform)
{
    return [&platform](const std::string& a, const std::string& b) { return platform.CompareText(a, b); };
}

std::string GetProgramFilesDir(IPlatform& platform)
{
    (void)platform;
    return {};
}

std::string GetSharedDataBaseDir(IPlatform& platform)
{
    return GetProgramFilesDir(platform);
}

std::string WithTrailingDelimiter(IPlatform& platform, const std::string& path)
{
    return path + platform.PathDelimiter();
}

void LoadInstalledCodes(IPlatform& platform, std::unique_ptr<TStringList>& list)
{
    (void)platform;
    if (!list)
        list = std::make_unique<TStringList>();
}

bool FindInstalledProduct(IPlatform& platform, const std::string& code, TProductEntry& entry)
{
    (void)platform;
    (void)code;
    entry = TProductEntry{};
    return false;
}

}  // namespace velastrom
