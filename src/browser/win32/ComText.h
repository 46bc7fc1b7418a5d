// Text at the boundary of the system's component objects: the program's
// single-byte ANSI strings against the objects' UTF-16 strings.
#pragma once

#include <windows.h>

#include <string>

#include "platform/win32/SystemError.h"

namespace velastrom::win32 {

// ANSI code page to UTF-16.
std::wstring ToWide(const std::string& text);
// UTF-16 to the ANSI code page; characters the code page cannot represent
// become its default character.
std::string ToAnsi(const wchar_t* text, std::size_t length);
std::string ToAnsi(const std::wstring& text);
// A BSTR (null is the empty text).
std::string BstrToAnsi(BSTR text);

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

}  // namespace velastrom::win32
