// An INI file object over the platform's private-profile functions. Creating
// it only records the path; every read and write goes to the file itself.
#pragma once

#include <string>

#include "common/StringList.h"
#include "platform/Platform.h"

namespace velastrom {

class TIniFile {
public:
    TIniFile(IPlatform& platform, std::string fileName)
        : platform_(platform), fileName_(std::move(fileName)) {}

    const std::string& FileName() const { return fileName_; }

    // The value as the private-profile reader gives it, through a 2048-byte
    // buffer (at most 2047 characters); def when file, section or key is missing.
    std::string ReadString(const std::string& section, const std::string& key, const std::string& def) const;

    // Appends the section names to the list, in file order, read through a
    // 16384-byte buffer; names that do not fit are not seen.
    void ReadSections(TStringList& sections) const;

    // Fails with "Unable to write to <file>" when the platform refuses.
    void WriteString(const std::string& section, const std::string& key, const std::string& value);

    static constexpr std::size_t ValueBufferSize = 2048;
    static constexpr std::size_t SectionsBufferSize = 16384;

private:
    IPlatform& platform_;
    std::string fileName_;
};

}  // namespace velastrom
