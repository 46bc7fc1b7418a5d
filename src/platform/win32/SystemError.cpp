#include "platform/win32/SystemError.h"

#include <cstdio>

#include "common/Error.h"

namespace velastrom {

std::string SystemErrorText(HRESULT code)
{
    char* buffer = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        static_cast<DWORD>(code), 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
    std::string text;
    if (buffer != nullptr) {
        text.assign(buffer, length);
        LocalFree(buffer);
    }
    while (!text.empty() && (static_cast<unsigned char>(text.back()) <= ' ' || text.back() == '.'))
        text.pop_back();
    return text;
}

std::string OleErrorText(HRESULT code)
{
    std::string text = SystemErrorText(code);
    if (text.empty()) {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "OLE error %.8lX", static_cast<unsigned long>(code));
        text = buffer;
    }
    return text;
}

void ThrowOleError(HRESULT code) { throw Error(OleErrorText(code)); }

void ThrowLastError(const char* what)
{
    const DWORD error = GetLastError();
    if (error == ERROR_SUCCESS)
        throw Error(std::string(what) + " could not be created");
    ThrowOleError(HRESULT_FROM_WIN32(error));
}

void OleCheck(HRESULT code)
{
    if (FAILED(code))
        ThrowOleError(code);
}

}  // namespace velastrom
