// Product links through the dashboard window's navigation handler, against
// the recording fakes: which links pass, which go to their address, and the
// launch of an installed product with its clean-ups.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/PVelastrom.h"
#include "fakes/Fakes.h"
#include "startpage/StartPage.h"

namespace velastrom {
namespace {

using fakes::FakeApplication;
using fakes::FakePlatform;
using fakes::Log;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

const std::string SharedDir = "C:\\Program Files\\TavRolendi\\SharedDataBase";
const std::string RegisterFile = SharedDir + "\\TavRolendiDataBase.INI";
const std::string ExeName = "C:\\Programmi\\Velastrom\\VelastromNavigazione.exe";
const std::string ExeFolder = "C:\\Programmi\\Velastrom\\";
const std::string ReadyPage = std::string("<html>\r\n<!-- ") + ReadyMarker + " -->\r\n<body>prodotti</body></html>\r\n";
const std::string Registry = "Registry(SOFTWARE\\Microsoft\\Windows\\CurrentVersion,ProgramFilesDir)";
const std::string Owner = "4660";  // the fake main window's handle

FakePlatform::Section Product(const std::string& code, const std::string& path)
{
    return {{"INI_REGISTRY_CODE", code}, {"INI_REGISTRY_PATH", path}};
}

// The launch of alfa.exe from C:\Prodotti\Alfa, every step logged.
const std::vector<std::string> AlfaLaunch = {
    Registry,
    "Cursor=HourGlass",
    "View.Disable",
    "SetCurrentDirectory(C:\\Prodotti\\Alfa)",
    "ShellOpen(" + Owner + ",C:\\Prodotti\\Alfa\\alfa.exe)",
    "Sleep(2000)",
    "SetCurrentDirectory(" + ExeFolder + ")",
    "Sleep(2000)",
    "Cursor=Default",
    "View.Enable",
};

struct LinkInterception : ::testing::Test {
    Log log;
    FakeApplication app{log};
    FakePlatform platform{log};
    std::unique_ptr<TFVelastrom> form;

    LinkInterception()
    {
        app.exeName = ExeName;
        platform.directories = {"C:\\Program Files", "C:\\Program Files\\TavRolendi", SharedDir};
        platform.files[RegisterFile] = {{"alfa.exe", Product("TR-AAA", "C:\\Prodotti\\Alfa")},
                                        {"beta.exe", Product("TR-BBB", "C:\\Prodotti\\Beta\\")},
                                        {"gamma.exe", Product("TR-GGG", "C:\\Prodotti\\Gamma")}};
    }

    // Creates the window and, with a page, runs its first activation, which
    // fills the installed-codes list from the register when the page is ready.
    void Start(const std::string* page)
    {
        form = std::make_unique<TFVelastrom>(app, platform, TVelastromSettings{});
        if (page != nullptr) {
            app.view->webBrowserRoot.pages[StartPageUrl] = *page;
            form->FormActivate();
            while (app.Pending() > 0)
                app.ProcessMessages();
        }
        ASSERT_TRUE(app.errorBoxes.empty()) << app.errorBoxes.front();
        log.clear();
    }
    void StartReady()
    {
        Start(&ReadyPage);
        ASSERT_NE(form->InstalledCodes(), nullptr);
        ASSERT_THAT(form->InstalledCodes()->Items(), ElementsAre("TR-AAA", "TR-BBB", "TR-GGG"));
    }

    // Raises the visible browser's before-navigation event as a click does;
    // a navigation left uncancelled goes on (and is logged as one).
    bool Click(const std::string& url) { return app.view->webBrowser.ClickLink(url); }
};

// --- which navigations are touched --------------------------------------------------

struct UrlCase {
    const char* name;
    std::string url;
    bool cancel;
    std::vector<std::string> log;
};

void PrintTo(const UrlCase& c, std::ostream* os) { *os << c.name; }

class LinkInterceptionOfUrl : public LinkInterception, public ::testing::WithParamInterface<UrlCase> {};

TEST_P(LinkInterceptionOfUrl, CancelsAndActsAsTheLinkSays)
{
    StartReady();
    EXPECT_EQ(Click(GetParam().url), GetParam().cancel);
    EXPECT_THAT(log, ElementsAreArray(GetParam().log));
    EXPECT_TRUE(app.errorBoxes.empty());
    EXPECT_TRUE(app.view->Enabled());
    EXPECT_EQ(app.Cursor(), TCursor::Default);
}

std::vector<std::string> Goes(const std::string& address) { return {"WebBrowser.Navigate(" + address + ")"}; }

INSTANTIATE_TEST_SUITE_P(
    Urls, LinkInterceptionOfUrl,
    ::testing::Values(
        UrlCase{"BlankPageProceeds", "about:blank", false, Goes("about:blank")},
        UrlCase{"WebAddressProceeds", "http://127.0.0.1/prodotti.htm", false, Goes("http://127.0.0.1/prodotti.htm")},
        UrlCase{"InstalledProductStarts", "about:TR-AAA|http://127.0.0.1/alfa", true, AlfaLaunch},
        UrlCase{"InstalledWithoutAboutStarts", "TR-AAA|http://127.0.0.1/alfa", true, AlfaLaunch},
        UrlCase{"PathEndingInDelimiterJoinedAsItIs", "about:TR-BBB|http://x/", true,
                {Registry, "Cursor=HourGlass", "View.Disable", "SetCurrentDirectory(C:\\Prodotti\\Beta\\)",
                 "ShellOpen(" + Owner + ",C:\\Prodotti\\Beta\\\\beta.exe)", "Sleep(2000)",
                 "SetCurrentDirectory(" + ExeFolder + ")", "Sleep(2000)", "Cursor=Default", "View.Enable"}},
        UrlCase{"NotInstalledGoesToAddress", "about:TR-NNN|http://127.0.0.1/nnn", true,
                Goes("http://127.0.0.1/nnn")},
        UrlCase{"EmptyCodeGoesToAddress", "about:|http://127.0.0.1/vuoto", true, Goes("http://127.0.0.1/vuoto")},
        UrlCase{"WebAddressWithBarIsSplitToo", "http://127.0.0.1/a|b/c", true, Goes("b/c")},
        UrlCase{"AddressMayHoldBar", "about:TR-NNN|http://127.0.0.1/?q=a|b", true,
                Goes("http://127.0.0.1/?q=a|b")},
        UrlCase{"AboutRemovedFromAddressPart", "TR-NNN|http://127.0.0.1/about:x", true, Goes("http://127.0.0.1/x")},
        UrlCase{"AboutRemovedOnlyOnce", "about:TR-NNN|about:blank", true, Goes("about:blank")},
        UrlCase{"AboutRemovedCaseSensitively", "ABOUT:TR-AAA|http://x/", true, Goes("http://x/")},
        UrlCase{"EmptyAddressPassedOn", "about:TR-NNN|", true, Goes("")},
        UrlCase{"LongAddressCut", "about:TR-NNN|http://127.0.0.1/" + std::string(1500, 'a'), true,
                Goes("http://127.0.0.1/" + std::string(999 - 17, 'a'))},
        UrlCase{"AddressOf999Kept", "about:TR-NNN|" + std::string(999, 'b'), true, Goes(std::string(999, 'b'))},
        // in the list (letter case ignored) but not in the register (exact)
        UrlCase{"ListedButNotRegisteredCancelsOnly", "about:tr-aaa|http://x/", true, {Registry}}),
    [](const auto& info) { return std::string(info.param.name); });

// --- failures on the way ------------------------------------------------------------------

struct FailureCase {
    const char* name;
    std::string failingCall;
    bool cancel;
    std::vector<std::string> log;
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

class LinkInterceptionFailure : public LinkInterception, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(LinkInterceptionFailure, CleansUpAndReports)
{
    StartReady();
    const std::string url = "about:TR-AAA|http://127.0.0.1/alfa";
    if (GetParam().failingCall.rfind("View.", 0) == 0)
        app.view->failures[GetParam().failingCall] = "Guasto";
    else if (GetParam().failingCall.rfind("Cursor=", 0) == 0)
        app.failures[GetParam().failingCall] = "Guasto";
    else
        platform.failures[GetParam().failingCall] = "Guasto";

    EXPECT_EQ(Click(url), GetParam().cancel);
    std::vector<std::string> expected = GetParam().log;
    expected.push_back("ErrorBox(Guasto.)");
    if (!GetParam().cancel)
        expected.push_back("WebBrowser.Navigate(" + url + ")");
    EXPECT_THAT(log, ElementsAreArray(expected));
    EXPECT_THAT(app.errorBoxes, ElementsAre("Guasto."));
    EXPECT_TRUE(app.view->Enabled());
    EXPECT_EQ(app.Cursor(), TCursor::Default);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, LinkInterceptionFailure,
    ::testing::Values(
        FailureCase{"RegisterBeforeLaunch", Registry, false, {Registry}},
        FailureCase{"HourGlass", "Cursor=HourGlass", false,
                    {Registry, "Cursor=HourGlass", "Cursor=Default", "View.Enable"}},
        FailureCase{"Disable", "View.Disable", false,
                    {Registry, "Cursor=HourGlass", "View.Disable", "Cursor=Default", "View.Enable"}},
        FailureCase{"InstallationFolder", "SetCurrentDirectory(C:\\Prodotti\\Alfa)", true,
                    {Registry, "Cursor=HourGlass", "View.Disable", "SetCurrentDirectory(C:\\Prodotti\\Alfa)",
                     "Cursor=Default", "View.Enable"}},
        FailureCase{"Shell", "ShellOpen(" + Owner + ",C:\\Prodotti\\Alfa\\alfa.exe)", true,
                    {Registry, "Cursor=HourGlass", "View.Disable", "SetCurrentDirectory(C:\\Prodotti\\Alfa)",
                     "ShellOpen(" + Owner + ",C:\\Prodotti\\Alfa\\alfa.exe)", "SetCurrentDirectory(" + ExeFolder + ")",
                     "Sleep(2000)", "Cursor=Default", "View.Enable"}},
        // both pauses fail: the inner clean-up ends early, the outer one still runs
        FailureCase{"Pauses", "Sleep(2000)", true,
                    {Registry, "Cursor=HourGlass", "View.Disable", "SetCurrentDirectory(C:\\Prodotti\\Alfa)",
                     "ShellOpen(" + Owner + ",C:\\Prodotti\\Alfa\\alfa.exe)", "Sleep(2000)",
                     "SetCurrentDirectory(" + ExeFolder + ")", "Sleep(2000)", "Cursor=Default", "View.Enable"}},
        FailureCase{"ExecutableFolder", "SetCurrentDirectory(" + ExeFolder + ")", true,
                    {Registry, "Cursor=HourGlass", "View.Disable", "SetCurrentDirectory(C:\\Prodotti\\Alfa)",
                     "ShellOpen(" + Owner + ",C:\\Prodotti\\Alfa\\alfa.exe)", "Sleep(2000)",
                     "SetCurrentDirectory(" + ExeFolder + ")", "Cursor=Default", "View.Enable"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(LinkInterception, RefusedNavigationToAddressKeepsThePage)
{
    StartReady();
    app.view->webBrowser.navigateError = "Navigazione rifiutata";
    EXPECT_TRUE(Click("about:TR-NNN|http://127.0.0.1/nnn"));
    EXPECT_THAT(log, ElementsAre("WebBrowser.Navigate(http://127.0.0.1/nnn)", "ErrorBox(Navigazione rifiutata.)"));
}

// --- the installed-codes list as the first activation left it --------------------------

TEST_F(LinkInterception, BeforeFirstActivationNoProductCountsAsInstalled)
{
    Start(nullptr);
    ASSERT_EQ(form->InstalledCodes(), nullptr);
    EXPECT_TRUE(Click("about:TR-AAA|http://127.0.0.1/alfa"));
    EXPECT_THAT(log, ElementsAre("WebBrowser.Navigate(http://127.0.0.1/alfa)"));
}

TEST_F(LinkInterception, WelcomePageLeavesEveryProductUninstalled)
{
    const std::string unready = "<html>\r\n<body>niente</body></html>\r\n";
    Start(&unready);
    ASSERT_NE(form->InstalledCodes(), nullptr);
    EXPECT_TRUE(Click("about:TR-AAA|http://127.0.0.1/alfa"));
    EXPECT_THAT(log, ElementsAre("WebBrowser.Navigate(http://127.0.0.1/alfa)"));
}

TEST_F(LinkInterception, RegisterChangesAfterActivation)
{
    StartReady();
    // Installed since: not in the list, so its address opens.
    platform.files[RegisterFile].push_back({"nuovo.exe", Product("TR-NEW", "C:\\Nuovo")});
    EXPECT_TRUE(Click("about:TR-NEW|http://127.0.0.1/nuovo"));
    // Removed since: in the list, not in the register, so nothing happens.
    platform.files[RegisterFile].erase(platform.files[RegisterFile].begin());
    EXPECT_TRUE(Click("about:TR-AAA|http://127.0.0.1/alfa"));
    EXPECT_THAT(log, ElementsAre("WebBrowser.Navigate(http://127.0.0.1/nuovo)", Registry));
}

TEST_F(LinkInterception, LaunchRestoresTheCursorItFound)
{
    StartReady();
    app.SetCursor(TCursor::HourGlass);
    log.clear();
    EXPECT_TRUE(Click("about:TR-GGG|http://x/"));
    EXPECT_EQ(log.at(1), "Cursor=HourGlass");
    EXPECT_EQ(log.at(log.size() - 2), "Cursor=HourGlass") << "the saved cursor comes back";
    EXPECT_EQ(app.Cursor(), TCursor::HourGlass);
    EXPECT_EQ(platform.currentDirectory, ExeFolder);
}

TEST_F(LinkInterception, EachClickStartsTheProductAgain)
{
    StartReady();
    const auto ticks = platform.ticks;
    EXPECT_TRUE(Click("about:TR-AAA|http://x/"));
    EXPECT_TRUE(Click("about:TR-AAA|http://x/"));
    std::vector<std::string> twice = AlfaLaunch;
    twice.insert(twice.end(), AlfaLaunch.begin(), AlfaLaunch.end());
    EXPECT_THAT(log, ElementsAreArray(twice));
    EXPECT_EQ(platform.ticks - ticks, 8000u) << "four pauses of 2000 ms in all";
}

TEST_F(LinkInterception, ExecutableFolderMayEndAtDriveColon)
{
    app.exeName = "D:VelastromNavigazione.exe";
    StartReady();
    EXPECT_TRUE(Click("about:TR-GGG|http://x/"));
    EXPECT_EQ(platform.currentDirectory, "D:");
}

}  // namespace
}  // namespace velastrom
