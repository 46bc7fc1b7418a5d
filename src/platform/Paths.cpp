#include "platform/Paths.h"

namespace velastrom {

std::string FolderPart(const IPlatform& platform, const std::string& path)
{
    for (std::size_t i = path.size(); i > 0; --i) {
        const char c = path[i - 1];
        if ((c == platform.PathDelimiter() || platform.IsDriveDelimiter(c)) && !platform.IsTrailByte(path, i - 1))
            return path.substr(0, i);
    }
    return {};
}

}  // namespace velastrom
