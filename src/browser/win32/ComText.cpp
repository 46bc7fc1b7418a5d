#include "browser/win32/ComText.h"

#include <cstdio>
#include <vector>

#include "common/Error.h"

namespace velastrom {

std::wstring ToWide(const std::string& text)
{
    if (text.empty())
        return {};
    const int size = static_cast<int>(text.size());
    const int count = MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
    std::wstring result(static_cast<std::size_t>(count), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), size, result.data(), count);
    return result;
}

std::string ToAnsi(const wchar_t* text, std::size_t length)
{
    if (text == nullptr || length == 0)
        return {};
    const int size = static_cast<int>(length);
    // Without WC_NO_BEST_FIT_CHARS the system writes a look-alike where the
    // code page has no such character ("l" for U+0142, "A" for U+0100); with
    // it, the code page's default character. A code page that takes no flags
    // (a UTF-8 ANSI code page) represents every character anyway.
    DWORD flags = WC_NO_BEST_FIT_CHARS;
    int count = WideCharToMultiByte(CP_ACP, flags, text, size, nullptr, 0, nullptr, nullptr);
    if (count == 0 && GetLastError() == ERROR_INVALID_FLAGS) {
        flags = 0;
        count = WideCharToMultiByte(CP_ACP, flags, text, size, nullptr, 0, nullptr, nullptr);
    }
    std::string result(static_cast<std::size_t>(count), '\0');
    WideCharToMultiByte(CP_ACP, flags, text, size, result.data(), count, nullptr, nullptr);
    return result;
}

std::string ToAnsi(const std::wstring& text) { return ToAnsi(text.data(), text.size()); }

std::string BstrToAnsi(BSTR text) { return text ? ToAnsi(text, SysStringLen(text)) : std::string(); }

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

Bstr::Bstr(const std::string& text)
{
    const std::wstring wide = ToWide(text);
    value_ = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    if (value_ == nullptr)
        ThrowOleError(E_OUTOFMEMORY);
}

Bstr::~Bstr() { SysFreeString(value_); }

}  // namespace velastrom
