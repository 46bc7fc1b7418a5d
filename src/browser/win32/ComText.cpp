#include "browser/win32/ComText.h"

#include <vector>

#include "common/Error.h"

namespace velastrom::win32 {

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

Bstr::Bstr(const std::string& text)
{
    const std::wstring wide = ToWide(text);
    value_ = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    if (value_ == nullptr)
        ThrowOleError(E_OUTOFMEMORY);
}

Bstr::~Bstr() { SysFreeString(value_); }

}  // namespace velastrom::win32
