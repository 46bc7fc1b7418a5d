// The program's browser host (CreateSystemBrowser) on the stand-in control:
// each operation of the dashboard's browser as it reaches the control, the
// events as they come back, and the teardown.
#include <windows.h>

#include <ole2.h>

#include <gtest/gtest.h>

#include "browser/win32/Win32WebBrowser.h"
#include "common/Error.h"
#include "standin/StandInBrowser.h"

namespace velastrom::win32 {
namespace {

bool PumpFor(const std::function<bool()>& condition)
{
    const DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > 10000)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
    }
    return true;
}

struct HostOnStandIn : ::testing::Test {
    HWND parent = nullptr;
    std::unique_ptr<standin::Registration> registration;
    HostedBrowser hosted;

    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
        registration = std::make_unique<standin::Registration>();
        parent = CreateWindowExA(0, "STATIC", "host", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0, 400, 300, nullptr,
                                 nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(parent, nullptr);
        hosted = CreateSystemBrowser(parent);
        ASSERT_EQ(standin::ControlCount(), 1u);
    }
    void TearDown() override
    {
        hosted.browser.reset();
        DestroyWindow(parent);
        registration.reset();
        OleUninitialize();
    }
    IWebBrowser& Browser() { return *hosted.browser; }
    bool Completed() { return Browser().ReadyState() == READYSTATE_COMPLETE; }
};

TEST_F(HostOnStandIn, NavigateRaisesBeforeNavigate2AtOnceAndCompletesThroughTheQueue)
{
    std::vector<std::string> events;
    Browser().SetOnBeforeNavigate2([&](const std::string& url, bool&) { events.push_back("before " + url); });
    Browser().SetOnDocumentComplete([&](const std::string& url) { events.push_back("complete " + url); });
    EXPECT_FALSE(Browser().HasDocument());

    Browser().Navigate("about:blank");
    EXPECT_EQ(events, std::vector<std::string>{"before about:blank"});
    EXPECT_EQ(Browser().ReadyState(), READYSTATE_LOADING);
    ASSERT_TRUE(PumpFor([&] { return Completed(); }));
    EXPECT_EQ(events, (std::vector<std::string>{"before about:blank", "complete about:blank"}));
    EXPECT_TRUE(Browser().HasDocument());
}

TEST_F(HostOnStandIn, ACancelledNavigationLeavesTheControlAsItWas)
{
    Browser().Navigate("about:blank");
    ASSERT_TRUE(PumpFor([&] { return Completed(); }));
    int completes = 0;
    Browser().SetOnDocumentComplete([&](const std::string&) { ++completes; });
    Browser().SetOnBeforeNavigate2([](const std::string& url, bool& cancel) {
        cancel = url.find('|') != std::string::npos;
    });

    Browser().Navigate("about:TR-X|http://127.0.0.1:9/");
    EXPECT_EQ(Browser().ReadyState(), READYSTATE_COMPLETE);
    EXPECT_EQ(standin::Record(0).events.back(), "BeforeNavigate2(about:TR-X|http://127.0.0.1:9/)=cancelled");
    EXPECT_TRUE(standin::Record(0).fetched.empty());
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&message);
    EXPECT_EQ(completes, 0);
    EXPECT_EQ(standin::DocumentUrl(0), "about:blank");
}

TEST_F(HostOnStandIn, SaveAndLoadGoThroughTheProgramsStreamFromItsPosition)
{
    Browser().Navigate("about:blank");
    ASSERT_TRUE(PumpFor([&] { return Completed(); }));

    const std::string page = "<html><body><a href=\"TR-A|http://h/\">a</a></body></html>";
    TMemoryStream stream;
    stream.Write("xx", 2);
    stream.Write(page.data(), page.size());
    stream.Seek(2);
    Browser().Load(stream);
    ASSERT_EQ(standin::Record(0).loads.size(), 1u);
    EXPECT_EQ(standin::Record(0).loads[0], page);
    EXPECT_EQ(standin::Links(0), std::vector<std::string>{"TR-A|http://h/"});

    // A save writes the page at the stream's position and leaves the rest.
    TMemoryStream saved;
    saved.Write("0123", 4);
    saved.Seek(4);
    Browser().Save(saved);
    saved.Seek(0);
    EXPECT_EQ(saved.ReadToEnd(), "0123" + page);

    // A link of the page from the stream is reported with "about:" in front.
    std::string clicked;
    Browser().SetOnBeforeNavigate2([&](const std::string& url, bool& cancel) {
        clicked = url;
        cancel = true;
    });
    ASSERT_TRUE(standin::ClickLink(0, 0));
    EXPECT_EQ(clicked, "about:TR-A|http://h/");
}

TEST_F(HostOnStandIn, TheStyleIsReachedByNamesInAnyCaseAndUnknownNamesAreReported)
{
    Browser().Navigate("about:blank");
    ASSERT_TRUE(PumpFor([&] { return Completed(); }));
    auto automation = Browser().Automation();
    automation->Get("document")->Get("Body")->Get("Style")->Set("scrollbar3DLIGHTCOLOR", "#F0F5D5");
    automation->Get("Document")->Get("body")->Get("style")->Set("OverflowX", "hidden");
    EXPECT_EQ(standin::Record(0).styles,
              (std::vector<std::pair<std::string, std::string>>{{"scrollbar3dLightColor", "#F0F5D5"},
                                                                {"overflowX", "hidden"}}));
    try {
        automation->Get("Document")->Get("Body")->Get("Style")->Set("NoSuchProperty", "x");
        ADD_FAILURE() << "an unknown property was set";
    } catch (const Error& failure) {
        EXPECT_STREQ(failure.what(), "Method 'NoSuchProperty' not supported by automation object");
    }

    Browser().Focus();
    Browser().Focus();
    EXPECT_EQ(standin::Record(0).focusCalls, 2);
}

TEST_F(HostOnStandIn, TheTeardownGivesBackEveryReferenceBothWays)
{
    Browser().Navigate("about:blank");
    ASSERT_TRUE(PumpFor([&] { return Completed(); }));
    Browser().Automation()->Get("Document")->Get("Body")->Get("Style")->Set("overflowY", "hidden");
    Browser().Focus();
    EXPECT_GT(standin::LiveObjects(), 0);
    EXPECT_GT(standin::HostReferencesHeld(), 0);
    HWND window = hosted.window;

    hosted.browser.reset();
    EXPECT_FALSE(IsWindow(window));
    EXPECT_FALSE(standin::Alive(0));
    EXPECT_EQ(standin::LiveObjects(), 0);
    EXPECT_EQ(standin::OutstandingReferences(), 0);
    EXPECT_EQ(standin::HostReferencesHeld(), 0);
    const auto& events = standin::Record(0).events;
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(events.end() - 3, events.end()),
              (std::vector<std::string>{"Unadvise", "InPlaceDeactivate", "Close"}));
}

}  // namespace
}  // namespace velastrom::win32
