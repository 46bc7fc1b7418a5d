#include "platform/IniFile.h"

#include "common/Error.h"

namespace velastrom {

std::string TIniFile::ReadString(const std::string& section, const std::string& key,
                                 const std::string& def) const
{
    return platform_.ReadPrivateProfile(section.c_str(), key.c_str(), def, ValueBufferSize, fileName_);
}

void TIniFile::ReadSections(TStringList& sections) const
{
    const std::string buffer = platform_.ReadPrivateProfile(nullptr, nullptr, "", SectionsBufferSize, fileName_);
    std::size_t start = 0;
    while (start < buffer.size() && buffer[start] != '\0') {
        std::size_t end = buffer.find('\0', start);
        if (end == std::string::npos)
            end = buffer.size();
        sections.Add(buffer.substr(start, end - start));
        start = end + 1;
    }
}

void TIniFile::WriteString(const std::string& section, const std::string& key, const std::string& value)
{
    if (!platform_.WritePrivateProfile(section, key, value, fileName_))
        throw Error("Unable to write to " + fileName_);
}

}  // namespace velastrom
