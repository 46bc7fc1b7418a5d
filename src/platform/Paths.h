// Path helpers over the platform's delimiters.
#pragma once

#include <string>

#include "platform/Platform.h"

namespace velastrom {

// Everything up to and including the last path delimiter (or drive
// delimiter) of path; empty when it holds none. A byte that is the second
// half of a double-byte character is no delimiter.
std::string FolderPart(const IPlatform& platform, const std::string& path);

}  // namespace velastrom
