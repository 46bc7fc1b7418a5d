// The texts of the system's failure codes and the failures raised from them,
// for every Windows layer of the program.
#pragma once

#include <windows.h>

#include <string>

namespace velastrom {

// The system's message for a failure code, without trailing blanks, line
// breaks and full stops; empty when the system has none.
std::string SystemErrorText(HRESULT code);
// The system's message, or "OLE error %.8X" when it has none.
std::string OleErrorText(HRESULT code);
// Raises velastrom::Error with OleErrorText(code).
[[noreturn]] void ThrowOleError(HRESULT code);
// Raises velastrom::Error with the system's text for the calling thread's last
// error; when the system recorded none, with "<what> could not be created".
[[noreturn]] void ThrowLastError(const char* what);
// Raises for a failed code; succeeds silently otherwise.
void OleCheck(HRESULT code);

}  // namespace velastrom
