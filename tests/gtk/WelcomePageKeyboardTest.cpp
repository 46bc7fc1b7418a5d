// The welcome page from the keyboard, in the real engine: once it is shown,
// Tab then Enter follows its link to the commercial site.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sstream>

#include "GtkTestSupport.h"
#include "app/PVelastrom.h"
#include "app/gtk/GtkDashboardView.h"
#include "app/gtk/GtkApplication.h"
#include "browser/webkit/WebKitBrowser.h"
#include "startpage/StartPage.h"

namespace velastrom {
namespace {

using testing::CommandOutput;
using testing::LoopbackPort;
using testing::LoopbackServer;
using testing::PumpUntil;
using testing::SandboxPlatform;

TEST(TheWelcomePage, TabThenEnterFollowsItsLinkToTheCommercialSite)
{
    ASSERT_TRUE(testing::OpenDisplay()) << "this test needs an X display";
    std::string sitePath;
    const int sitePort = LoopbackPort(settings::CommercialSite, &sitePath);
    if (sitePort == 0)
        GTEST_SKIP() << "this build's commercial site is not on 127.0.0.1: " << settings::CommercialSite;
    LoopbackServer site(sitePort);
    ASSERT_TRUE(site.Listening()) << "port " << sitePort << " of the commercial site is taken";
    site.Add(sitePath, {"text/html", "<html><body>Il sito commerciale</body></html>"});

    // A start page without the readiness marker.
    LoopbackServer start;
    start.Add("/start.htm", {"text/html", "<!--0002 0002-->\r\n<html><body>In manutenzione</body></html>\r\n"});

    char folder[] = "/tmp/velastrom-welcome-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    gtk::GtkApplication app;
    app.Initialize();
    SandboxPlatform platform(folder);
    TVelastromSettings settings;
    settings.StartPageFetchUrl = start.Url("/start.htm");
    auto form = std::make_unique<TFVelastrom>(app, platform, settings);
    auto& view = static_cast<gtk::GtkDashboardView&>(form->View());
    auto& browser = dynamic_cast<webkit::WebKitBrowser&>(view.WebBrowser());
    view.Show();
    DispatchEvent(app, [&] { form->FormActivate(); });

    auto script = [&](const std::string& text) {
        try {
            return browser.RunScript(text);
        } catch (const std::exception& e) {
            return std::string("failed: ") + e.what();
        }
    };
    ASSERT_TRUE(PumpUntil(
        [&] {
            return browser.ReadyState() == READYSTATE_COMPLETE &&
                   script("document.body.innerText.indexOf('Benvenuto') >= 0 && document.body.style.overflowY") ==
                       "hidden";
        },
        30000))
        << "the welcome page was not shown";

    // The keyboard goes to the dashboard's window, as a click on it would
    // make it; then one Tab and one Enter, as a user types them.
    std::istringstream found(CommandOutput("xdotool search --all --onlyvisible --pid " + std::to_string(getpid()) +
                                           " --name '^TAV ROLENDI$'"));
    std::string window;
    std::getline(found, window);
    ASSERT_FALSE(window.empty()) << "the dashboard's window is not on the display";
    ASSERT_EQ(std::system(("xdotool windowfocus --sync " + window).c_str()), 0);
    testing::PumpFor(300);
    // The page holds the keyboard: the visible view has the window's focus
    // and its document knows it.
    EXPECT_TRUE(gtk_widget_is_focus(browser.Widget()));
    EXPECT_EQ(script("document.hasFocus()"), "true");
    ASSERT_EQ(std::system("xdotool key Tab"), 0);
    testing::PumpFor(300);
    EXPECT_EQ(script("document.activeElement && document.activeElement.localName"), "a")
        << "Tab did not reach the page's link";
    ASSERT_EQ(std::system("xdotool key Return"), 0);

    auto siteAsked = [&] {
        for (const auto& path : site.Requests())
            if (path == sitePath)
                return true;
        return false;
    };
    EXPECT_TRUE(PumpUntil(siteAsked, 20000)) << "the commercial site was never asked for";
    EXPECT_TRUE(PumpUntil([&] { return script("location.href") == settings::CommercialSite; }, 20000))
        << script("location.href");

    form.reset();
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

}  // namespace
}  // namespace velastrom
