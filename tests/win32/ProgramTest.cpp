// The whole program on the real Win32 window framework, with stand-in
// browsers and an in-memory platform: from the entry through the first
// activation and the welcome page to the stop image and the exit code.
#include "Win32TestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "app/PVelastrom.h"

namespace velastrom::win32::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Pair;

long IndexOf(const std::vector<std::string>& log, const std::string& prefix, long from = 0)
{
    for (long i = from; i < static_cast<long>(log.size()); ++i)
        if (log[static_cast<std::size_t>(i)].rfind(prefix, 0) == 0)
            return i;
    return -1;
}

TEST(Win32Program, RunsFromStartToTheStopImageAndEndsWithCodeZero)
{
    fakes::Log platformLog;
    fakes::FakePlatform platform(platformLog);
    PostedBrowsers browsers;
    Win32Application app;
    app.SetShowCommand(SW_SHOWNORMAL);

    // Once the page is shown, the user clicks the stop image.
    int clicks = 0;
    std::function<void()> clickStop = [&] {
        ++clicks;
        HWND stop = app.MainView()->ImageStopControl().Handle();
        SendMessageA(stop, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
        SendMessageA(stop, WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
    };
    app.SetBrowserFactory([&, factory = browsers.Factory()](HWND parent) {
        HostedBrowser hosted = factory(parent);
        if (browsers.made.size() == 2)
            browsers.made[1]->onLoad = [&] {
                if (clicks == 0)
                    PostStep(clickStop);
            };
        return hosted;
    });
    // A failure would show the error box: it is read and dismissed, so the
    // run goes on and the test reports it.
    MessageBoxCatcher boxes;

    const int code = VelastromNavigazione(app, platform, TVelastromSettings{});

    EXPECT_EQ(code, 0);
    EXPECT_TRUE(app.Terminated());
    for (const auto& box : boxes.boxes)
        ADD_FAILURE() << "error box: " << box.text;
    // Every page load in the visible browser was styled.
    EXPECT_GE(std::count(browsers.log.begin(), browsers.log.end(), "Style.OverflowX=hidden"), 2);
    ASSERT_FALSE(platformLog.empty());
    EXPECT_EQ(platformLog.front(), "MaskFloatingPointExceptions");
    EXPECT_EQ(app.Title(), "Velastrom di Navigazione TAV ROLENDI");

    // The start: the visible browser blanked, the start page fetched in the
    // covered one, which is blanked again; the welcome page shown from memory.
    const long blank = IndexOf(browsers.log, "WebBrowser.Navigate(about:blank)");
    const long fetch = IndexOf(browsers.log, "WebBrowserRoot.Navigate(http://");
    const long rootBlank = IndexOf(browsers.log, "WebBrowserRoot.Navigate(about:blank)");
    const long shown = IndexOf(browsers.log, "WebBrowser.Load(");
    ASSERT_GE(blank, 0);
    EXPECT_GT(fetch, blank);
    EXPECT_GT(rootBlank, fetch);
    ASSERT_GT(shown, rootBlank);
    EXPECT_THAT(browsers.log[static_cast<std::size_t>(fetch)], HasSubstr("/TavRolendiVelastromRootOnline.htm"));
    EXPECT_THAT(browsers.log[static_cast<std::size_t>(shown)], HasSubstr("Benvenuto nel velastrom TAV ROLENDI"));

    // The stop: the visible browser blanked once more, then the close.
    EXPECT_GE(IndexOf(browsers.log, "WebBrowser.Navigate(about:blank)", shown + 1), 0);
    EXPECT_EQ(clicks, 1);

    // The close handler wrote the placement: the creation geometry.
    ASSERT_EQ(platform.files.size(), 1u);
    const auto& [path, file] = *platform.files.begin();
    const std::string exe = app.ExeName();
    EXPECT_EQ(path, exe.substr(0, exe.rfind('\\') + 1) + "TavRolendiVelastromRoot.ini");
    ASSERT_EQ(file.size(), 1u);
    EXPECT_EQ(file[0].first, "SCREEN");
    EXPECT_THAT(file[0].second, ElementsAre(Pair("T", "5"), Pair("L", "5"), Pair("H", "736"), Pair("W", "1024")));

    // The window is gone with the dashboard.
    EXPECT_EQ(app.MainView(), nullptr);
}

}  // namespace
}  // namespace velastrom::win32::test
