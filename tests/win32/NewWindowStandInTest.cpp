// The dashboard window on the stand-in control (see standin/): a link opened
// in a new window stays in the dashboard and reaches the link interception
// through WebBrowser's BeforeNavigate2, from the message loop; moving the
// focus into the page makes the control UI-active.
#include <windows.h>

#include <ole2.h>

#include <gtest/gtest.h>

#include "Win32TestSupport.h"
#include "standin/StandInBrowser.h"

namespace velastrom::win32::test {
namespace {

constexpr std::size_t Visible = 1;  // WebBrowserRoot is made first

TEST(DashboardOnStandIn, ALinkOpenedInANewWindowNavigatesWebBrowserThroughTheInterception)
{
    ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
    {
        standin::Registration registration;
        Win32Application app;
        app.Initialize();
        RecordingEvents events;
        // The interception's part: product links are cancelled.
        events.onBeforeNavigate2 = [&](bool& cancel) { cancel = events.calls.back().find('|') != std::string::npos; };
        auto view = app.CreateMainWindow(events);
        ASSERT_EQ(standin::ControlCount(), 2u);
        IWebBrowser& browser = view->WebBrowser();

        browser.Navigate("about:blank");
        ASSERT_TRUE(PumpUntil([&] { return browser.ReadyState() == READYSTATE_COMPLETE; }));
        const std::string page = "<html><body><a href=\"TR001|http://127.0.0.1:9/p\">Naviga Rotte</a></body></html>";
        TMemoryStream stream;
        stream.Write(page.data(), page.size());
        stream.Seek(0);
        browser.Load(stream);
        ASSERT_EQ(standin::Links(Visible).size(), 1u);

        const std::string link = "BeforeNavigate2(about:TR001|http://127.0.0.1:9/p)";
        EXPECT_FALSE(standin::OpenLinkInNewWindow(Visible, 0));
        EXPECT_TRUE(standin::Record(Visible).newWindows.empty());
        // Not from inside the control's event: the navigation waits for the loop.
        EXPECT_EQ(events.Count(link), 0);
        EXPECT_TRUE(PumpUntil([&] { return events.Count(link) == 1; }));
        EXPECT_EQ(standin::DocumentUrl(Visible), "about:blank");
        EXPECT_TRUE(standin::Record(Visible).fetched.empty());

        browser.Focus();
        EXPECT_TRUE(standin::Record(Visible).uiActive);
        view.reset();
    }
    OleUninitialize();
}

}  // namespace
}  // namespace velastrom::win32::test
