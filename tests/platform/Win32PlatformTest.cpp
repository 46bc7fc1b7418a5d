// The Windows services beyond the shared tables: double-byte trail bytes, the
// floating-point set-up, folders and the current directory.
#include <gtest/gtest.h>

#include <windows.h>

#include <float.h>

#include <atomic>

#include "PlatformUnderTest.h"

namespace velastrom::test {
namespace {

TEST(Win32TrailByte, WalksDoubleByteCharactersFromTheStart)
{
    // Shift-JIS: 0x81 to 0x9F and 0xE0 to 0xFC lead a two-byte character.
    const auto sjisLead = [](unsigned char c) { return ::IsDBCSLeadByteEx(932, c) != FALSE; };
    struct Case {
        std::string text;
        std::size_t index;
        bool trail;
    };
    const Case cases[] = {
        {"C:\\\x95\\", 4, true},          // the second byte of 0x95 0x5C is a backslash
        {"C:\\\x95\\\\", 5, false},       // a backslash of its own after it
        {"C:\\ab\\", 5, false},
        {"\x81\x81\x81\\", 3, true},        // lead, trail, lead, trail
        {"\x81\x81\\", 2, false},
        {"\\", 0, false},
        {"", 0, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsTrailByteWith(c.text, c.index, sjisLead), c.trail) << c.text << " at " << c.index;

    // The ANSI code page here is single-byte: nothing is a trail byte.
    ASSERT_FALSE(::IsDBCSLeadByte(0x95));
    PlatformUnderTest platform;
    EXPECT_FALSE(platform.IsTrailByte("C:\\\x95\\", 4));
}

unsigned short X87ControlWord()
{
    unsigned short word = 0;
    __asm__ __volatile__("fnstcw %0" : "=m"(word));
    return word;
}

struct ThreadSeen {
    unsigned word = 0;
    unsigned masks = 0;
};

[[maybe_unused]] DWORD WINAPI LookAtTheUnit(LPVOID p)
{
    auto* seen = static_cast<ThreadSeen*>(p);
    seen->word = X87ControlWord() & 0x1F3F;
    seen->masks = _controlfp(0, 0) & _MCW_EM;
    return 0;
}

// The word a new thread has once the thread-start callbacks have run, the
// program's among them: this callback is listed after the program's.
[[maybe_unused]] std::atomic<DWORD> watchedThread{0};
[[maybe_unused]] std::atomic<unsigned> wordAfterCallbacks{0};

[[maybe_unused]] void NTAPI RecordTheWordAfterTheCallbacks(PVOID, DWORD reason, PVOID)
{
    if (reason == DLL_THREAD_ATTACH && ::GetCurrentThreadId() == watchedThread.load())
        wordAfterCallbacks.store(X87ControlWord() & 0x1F3F);
}

// Wine's 32-bit loader gives a new thread its initial floating-point state
// again after the callbacks have run (as 64-bit Windows does); 32-bit Windows
// keeps what they left.
[[maybe_unused]] bool UnderWine()
{
    HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

TEST(Win32FloatingPoint, EveryExceptionMaskedAndTheExactControlWord)
{
    // Start from a state with exceptions enabled and rounding changed.
    _controlfp(_RC_DOWN, _MCW_RC);
    _controlfp(0, _EM_ZERODIVIDE | _EM_INVALID);
    unsigned short lowPrecision = 0x027F;
    __asm__ __volatile__("fldcw %0" : : "m"(lowPrecision));

    PlatformUnderTest platform;
    platform.MaskFloatingPointExceptions();

    EXPECT_EQ(_controlfp(0, 0) & _MCW_EM, static_cast<unsigned>(_MCW_EM));
    EXPECT_EQ(_controlfp(0, 0) & _MCW_RC, static_cast<unsigned>(_RC_NEAR));
    EXPECT_EQ(X87ControlWord() & 0x1F3F, Win32Platform::FloatingPointControlWord);
    volatile double zero = 0.0;
    EXPECT_TRUE(1.0 / zero > 1e308) << "division by zero gives infinity, no trap";

#if defined(__i386__)
    // On 32-bit Windows a new thread keeps the word its thread-start callback
    // set. (On 64-bit Windows, and under the 64-bit Wine here, the system
    // restores the thread's initial floating-point state after the callbacks,
    // so this holds for the shipped 32-bit program only.)
    ThreadSeen seen;
    DWORD id = 0;
    HANDLE thread = ::CreateThread(nullptr, 0, LookAtTheUnit, &seen, CREATE_SUSPENDED, &id);
    ASSERT_NE(thread, nullptr);
    watchedThread.store(id);
    ::ResumeThread(thread);
    ::WaitForSingleObject(thread, INFINITE);
    ::CloseHandle(thread);
    EXPECT_EQ(wordAfterCallbacks.load(), Win32Platform::FloatingPointControlWord) << "set by the thread-start callback";
    if (!UnderWine()) {
        EXPECT_EQ(seen.word, Win32Platform::FloatingPointControlWord) << "kept into the thread";
        EXPECT_EQ(seen.masks, static_cast<unsigned>(_MCW_EM));
    }
#endif
}

TEST(Win32Folders, CurrentDirectoryAndAttributes)
{
    TempDir dir;
    PlatformUnderTest platform;
    char saved[MAX_PATH] = {};
    ::GetCurrentDirectoryA(MAX_PATH, saved);

    EXPECT_TRUE(platform.ChangeDirectory(dir.Path().string()));
    char now[MAX_PATH] = {};
    ::GetCurrentDirectoryA(MAX_PATH, now);
    EXPECT_EQ(std::filesystem::path(now), dir.Path());
    EXPECT_FALSE(platform.ChangeDirectory(dir.File("missing")));
    EXPECT_TRUE(platform.ChangeDirectory(saved));

    WriteBytes(dir.File("file.txt"), "x");
    EXPECT_FALSE(platform.DirectoryExists(dir.File("file.txt")));
    EXPECT_TRUE(platform.DirectoryExists(dir.Path().string()));
    EXPECT_EQ(platform.PathDelimiter(), '\\');
    EXPECT_TRUE(platform.IsDriveDelimiter(':'));
    EXPECT_FALSE(platform.IsDriveDelimiter('\\'));
}

TEST(Win32Clock, SleepAndTickCount)
{
    PlatformUnderTest platform;
    const std::uint64_t before = platform.TickCount();
    platform.Sleep(50);
    EXPECT_GT(platform.TickCount(), before) << "the clock advances across a sleep";
}

}  // namespace
}  // namespace velastrom::test

#if defined(__i386__)
extern "C" {
__attribute__((section(".CRT$XLG"), used))
const PIMAGE_TLS_CALLBACK velastromTestWordAfterThreadStart = velastrom::test::RecordTheWordAfterTheCallbacks;
}
#endif
