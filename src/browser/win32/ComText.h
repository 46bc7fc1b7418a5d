// Text at the boundary of the system's component objects: the program's
// single-byte ANSI strings against the objects' UTF-16 strings, and the texts
// of failure codes.
#pragma once

#include "browser/win32/WindowsHeaders.h"

#include <string>

namespace velastrom {

// ANSI code page to UTF-16.
std::wstring ToWide(const std::string& text);
// UTF-16 to the ANSI code page; characters the code page cannot represent
// become its default character.
std::string ToAnsi(const wchar_t* text, std::size_t length);
std::string ToAnsi(const std::wstring& text);
// A BSTR (null is the empty text).
std::string BstrToAnsi(BSTR text);

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

// A BSTR owned for the length of a scope.
class Bstr {
public:
    explicit Bstr(const std::string& text);
    ~Bstr();
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    BSTR get() const { return value_; }

private:
    BSTR value_;
};

// A reference-counted interface pointer released at the end of its scope.
template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr() { reset(); }
    ComPtr(const ComPtr& other) : p_(other.p_)
    {
        if (p_)
            p_->AddRef();
    }
    ComPtr& operator=(const ComPtr& other)
    {
        if (other.p_)
            other.p_->AddRef();
        reset();
        p_ = other.p_;
        return *this;
    }
    // Takes over a reference the caller already holds.
    static ComPtr Attach(T* p)
    {
        ComPtr result;
        result.p_ = p;
        return result;
    }
    void reset()
    {
        if (p_) {
            T* p = p_;
            p_ = nullptr;
            p->Release();
        }
    }
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // For calls that hand out a new reference.
    T** put()
    {
        reset();
        return &p_;
    }
    void** put_void() { return reinterpret_cast<void**>(put()); }

private:
    T* p_ = nullptr;
};

}  // namespace velastrom
