// The program's message loops carry characters as UTF-16: a character that
// the ANSI code page lacks, typed into a wide window such as the browser
// control's, arrives intact (an ANSI loop would turn U+0142 into "l" or "?").
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/win32/Win32Application.h"

namespace velastrom::win32 {
namespace {

using ::testing::ElementsAre;

std::vector<WPARAM> charactersSeen;

LRESULT CALLBACK WideProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CHAR) {
        charactersSeen.push_back(wParam);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

struct WideWindow : ::testing::Test {
    HWND window = nullptr;

    void SetUp() override
    {
        charactersSeen.clear();
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = &WideProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"VelastromTestWideWindow";
        RegisterClassW(&windowClass);
        window = CreateWindowExW(0, L"VelastromTestWideWindow", L"", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                                 nullptr, GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(window, nullptr);
        ASSERT_TRUE(IsWindowUnicode(window));
    }
    void TearDown() override { DestroyWindow(window); }

    void PostCharacters()
    {
        for (WPARAM character : {WPARAM{0x0142}, WPARAM{0x0100}, WPARAM{0x4E2D}, WPARAM{0x00E0}, WPARAM{'a'}})
            PostMessageW(window, WM_CHAR, character, 1);
    }
};

TEST_F(WideWindow, CharactersPassThePendingMessagesLoopIntact)
{
    Win32Application app;
    PostCharacters();
    app.ProcessMessages();
    EXPECT_THAT(charactersSeen, ElementsAre(0x0142, 0x0100, 0x4E2D, 0x00E0, 'a'));
}

TEST_F(WideWindow, CharactersPassTheMainLoopIntact)
{
    Win32Application app;
    app.SetShowCommand(SW_SHOWNORMAL);
    PostCharacters();
    PostQuitMessage(0);
    app.Run();
    EXPECT_THAT(charactersSeen, ElementsAre(0x0142, 0x0100, 0x4E2D, 0x00E0, 'a'));
}

}  // namespace
}  // namespace velastrom::win32
