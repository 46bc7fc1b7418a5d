// The system headers, without the macros that would rename methods of the
// program's own interfaces (IPlatform's CreateDirectory and the like): the
// system functions are called by their full names (CreateDirectoryA, ...).
#pragma once

#include <windows.h>

#undef GetPrivateProfileString
#undef WritePrivateProfileString
#undef CreateDirectory
#undef SetCurrentDirectory
