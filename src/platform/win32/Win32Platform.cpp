#include "platform/win32/Win32Platform.h"

#include <windows.h>
#include <shellapi.h>

#include <float.h>

#include <atomic>
#include <vector>

namespace velastrom {

namespace {

// Set once the program asked for its floating-point set-up; threads started
// afterwards take the same set-up (see the thread-start callback below).
std::atomic<bool> floatingPointSetUp{false};

void ApplyFloatingPointControlWord()
{
    // The run-time library's view: exceptions masked, nearest rounding, and
    // (x87 only) 64-bit precision and affine infinity. _controlfp leaves the
    // precision alone on x64, where it has no meaning for SSE arithmetic.
#if defined(__i386__)
    _control87(_MCW_EM | _RC_NEAR | _PC_64 | _IC_AFFINE, _MCW_EM | _MCW_RC | _MCW_PC | _MCW_IC);
#else
    _controlfp(_MCW_EM | _RC_NEAR, _MCW_EM | _MCW_RC);
#endif
#if defined(__i386__) || defined(__x86_64__)
    // The x87 unit itself, whatever the library made of the flags above: the
    // exact word, so that long double arithmetic and any code that uses the
    // x87 unit see it.
    unsigned short word = Win32Platform::FloatingPointControlWord;
    __asm__ __volatile__("fldcw %0" : : "m"(word));
#endif
}

// Runs in every thread the process starts; the operating system gives a new
// thread its own default floating-point state, so the program's set-up is
// applied again there. This holds on 32-bit Windows, where the thread's
// start keeps the state the callbacks leave; 64-bit Windows restores the
// initial floating-point state after them.
void NTAPI FloatingPointThreadStart(PVOID, DWORD reason, PVOID)
{
    if (reason == DLL_THREAD_ATTACH && floatingPointSetUp.load())
        ApplyFloatingPointControlWord();
}

}  // namespace

}  // namespace velastrom

// The loader calls the functions listed in this section at each thread start.
extern "C" {
__attribute__((section(".CRT$XLF"), used))
const PIMAGE_TLS_CALLBACK velastromFloatingPointThreadStart = velastrom::FloatingPointThreadStart;
}

namespace velastrom {

std::string Win32Platform::ReadPrivateProfile(const char* section, const char* key,
                                              const std::string& def, std::size_t bufferSize,
                                              const std::string& fileName)
{
    if (bufferSize == 0)
        return {};
    std::vector<char> buffer(bufferSize, '\0');
    const DWORD copied = ::GetPrivateProfileStringA(section, key, def.c_str(), buffer.data(),
                                                    static_cast<DWORD>(bufferSize), fileName.c_str());
    return std::string(buffer.data(), std::min<std::size_t>(copied, bufferSize));
}

bool Win32Platform::WritePrivateProfile(const std::string& section, const std::string& key,
                                        const std::string& value, const std::string& fileName)
{
    return ::WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), fileName.c_str()) != FALSE;
}

TRegistryValue Win32Platform::QueryLocalMachineValue(const std::string& key, const std::string& name)
{
    TRegistryValue result;
    HKEY handle = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS)
        return result;
    // The key is closed on every path below.
    struct Closer {
        HKEY h;
        ~Closer() { ::RegCloseKey(h); }
    } closer{handle};

    DWORD type = REG_NONE;
    DWORD size = 0;
    if (::RegQueryValueExA(handle, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
        result.status = TRegistryValue::Status::ValueMissing;
        return result;
    }
    result.type = type;
    if (size == 0) {
        result.status = TRegistryValue::Status::Ok;
        return result;
    }
    std::vector<BYTE> data(size);
    DWORD dataSize = size;
    DWORD dataType = REG_NONE;
    if (::RegQueryValueExA(handle, name.c_str(), nullptr, &dataType, data.data(), &dataSize) != ERROR_SUCCESS) {
        result.status = TRegistryValue::Status::DataFailed;
        return result;
    }
    result.status = TRegistryValue::Status::Ok;
    result.type = dataType;
    result.data.assign(reinterpret_cast<const char*>(data.data()), std::min<DWORD>(dataSize, size));
    return result;
}

bool Win32Platform::DirectoryExists(const std::string& path)
{
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool Win32Platform::MakeDirectory(const std::string& path)
{
    return ::CreateDirectoryA(path.c_str(), nullptr) != FALSE;
}

bool Win32Platform::ChangeDirectory(const std::string& path)
{
    return ::SetCurrentDirectoryA(path.c_str()) != FALSE;
}

bool IsTrailByteWith(const std::string& text, std::size_t index,
                     const std::function<bool(unsigned char)>& isLeadByte)
{
    if (index >= text.size())
        return false;
    std::size_t i = 0;
    while (i < index) {
        if (isLeadByte(static_cast<unsigned char>(text[i])) && text[i + 1] != '\0') {
            if (i + 1 == index)
                return true;
            i += 2;
        } else {
            ++i;
        }
    }
    return false;
}

bool Win32Platform::IsTrailByte(const std::string& text, std::size_t index) const
{
    return IsTrailByteWith(text, index, [](unsigned char c) { return ::IsDBCSLeadByte(c) != FALSE; });
}

void Win32Platform::ShellOpen(std::uintptr_t owner, const std::string& file)
{
    ::ShellExecuteA(reinterpret_cast<HWND>(owner), "open", file.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void Win32Platform::Sleep(unsigned milliseconds)
{
    ::Sleep(milliseconds);
}

std::uint64_t Win32Platform::TickCount() const
{
    return ::GetTickCount64();
}

int Win32Platform::CompareText(const std::string& a, const std::string& b) const
{
    const int result = ::CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()),
                                        b.data(), static_cast<int>(b.size()));
    // CSTR_LESS_THAN, CSTR_EQUAL, CSTR_GREATER_THAN are 1, 2, 3; 0 is a failure,
    // which cannot arise with these arguments.
    return result == 0 ? 0 : result - CSTR_EQUAL;
}

void Win32Platform::MaskFloatingPointExceptions()
{
    floatingPointSetUp.store(true);
    ApplyFloatingPointControlWord();
}

void Win32Platform::RestoreFloatingPointSetUp()
{
    if (floatingPointSetUp.load())
        ApplyFloatingPointControlWord();
}

}  // namespace velastrom
