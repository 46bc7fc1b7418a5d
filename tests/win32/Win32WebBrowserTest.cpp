// The system's browser control hosted in place, as far as it goes without an
// HTML engine (the emulator here has none, and the tests keep it from
// fetching one): creation, in-place activation, the event connection, the
// ready state, the empty document and the teardown.
#include <windows.h>

#include <ole2.h>

#include <gtest/gtest.h>

#include "browser/win32/Win32WebBrowser.h"
#include "common/Error.h"

namespace velastrom::win32 {
namespace {

struct SystemBrowserHost : ::testing::Test {
    HWND parent = nullptr;

    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
        parent = CreateWindowExA(0, "STATIC", "host", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0, 400, 300,
                                 nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(parent, nullptr);
    }
    void TearDown() override
    {
        DestroyWindow(parent);
        OleUninitialize();
    }
};

TEST_F(SystemBrowserHost, HostsTheControlInAChildWindowAndTearsItDown)
{
    HostedBrowser hosted;
    try {
        hosted = CreateSystemBrowser(parent);
    } catch (const Error& failure) {
        FAIL() << "the control could not be hosted: " << failure.what();
    }
    ASSERT_TRUE(hosted.browser);
    ASSERT_NE(hosted.window, nullptr);
    EXPECT_EQ(GetParent(hosted.window), parent);
    EXPECT_NE(GetWindowLongPtrA(hosted.window, GWL_STYLE) & WS_CHILD, 0);
    EXPECT_TRUE(hosted.translateAccelerator);

    // The host window follows the size it is given.
    SetWindowPos(hosted.window, nullptr, 0, 64, 300, 200, SWP_NOZORDER);
    RECT area;
    GetClientRect(hosted.window, &area);
    EXPECT_EQ(area.right, 300);
    EXPECT_EQ(area.bottom, 200);

    IWebBrowser& browser = *hosted.browser;
    int navigations = 0;
    browser.SetOnBeforeNavigate2([&](const std::string&, bool&) { ++navigations; });
    browser.SetOnDocumentComplete([](const std::string&) {});
    const int state = browser.ReadyState();
    EXPECT_GE(state, READYSTATE_UNINITIALIZED);
    EXPECT_LE(state, READYSTATE_COMPLETE);
    EXPECT_FALSE(browser.HasDocument());

    // Without a document: nothing is saved or loaded, the focus stays.
    TMemoryStream stream;
    stream.Write("keep", 4);
    EXPECT_NO_THROW(browser.Save(stream));
    EXPECT_NO_THROW(browser.Load(stream));
    EXPECT_EQ(stream.Size(), 4u);
    EXPECT_NO_THROW(browser.Focus());

    // The control's own automation object knows its Document, which is none.
    auto automation = browser.Automation();
    ASSERT_TRUE(automation);
    try {
        automation->Get("Document");
        ADD_FAILURE() << "a document where there is none";
    } catch (const Error& failure) {
        EXPECT_STREQ(failure.what(), "Variant does not reference an automation object");
    }
    try {
        automation->Get("NoSuchMember");
        ADD_FAILURE() << "an unknown member was found";
    } catch (const Error& failure) {
        EXPECT_STREQ(failure.what(), "Method 'NoSuchMember' not supported by automation object");
    }

    // Keys meant for other windows are not the control's.
    MSG key{};
    key.hwnd = parent;
    key.message = WM_KEYDOWN;
    key.wParam = VK_TAB;
    EXPECT_FALSE(hosted.translateAccelerator(key));

    HWND window = hosted.window;
    automation.reset();
    hosted.browser.reset();
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(navigations, 0);
}

}  // namespace
}  // namespace velastrom::win32
