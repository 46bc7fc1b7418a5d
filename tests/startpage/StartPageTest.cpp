// The first activation against recording fakes: the order of its calls, the
// snapshot and the welcome page, its failures, activations and home commands
// inside its waits, the fetch's time limit, and the home command.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "app/PVelastrom.h"
#include "fakes/Fakes.h"
#include "startpage/StartPage.h"

namespace velastrom {
namespace {

using fakes::FakeApplication;
using fakes::FakeBrowser;
using fakes::FakePlatform;
using fakes::Log;
using ::testing::ElementsAre;
using namespace std::string_literals;

const std::string Url = "http://" + std::string(settings::StartPageHost) + "/TavRolendiVelastromRootOnline.htm";
const std::string SharedDir = "C:\\Program Files\\TavRolendi\\SharedDataBase";
const std::string RegisterPath = SharedDir + "\\TavRolendiDataBase.INI";
const std::string Marker = "<!-- ####TAV-ROLENDI-VELASTROM-HTML-READY#### -->";
const std::string Welcome =
    "<html><body><center><br><br><br>Benvenuto nel velastrom TAV ROLENDI<br><br>Verificate che il Vostro servizio "
    "internet sia attivo<br><br><a href=\"" + std::string(settings::CommercialSite) +
    "\">Accedi al sito commerciale TAV ROLENDI</a></center></body><html>";

std::string Entry(const std::string& code, const char* block = "imgnav")
{
    return "<p><a href=\"" + code + "|http://127.0.0.1:47800/prodotti/p.htm\">P</a><div id=\"" + block + "\"></div></p>";
}

const std::string A = "TR-0000000000001";
const std::string B = "TR-0000000000002";

// A ready page, CR LF throughout, lines 2 to 4 scanned.
std::string ReadyPage(const char* blockA = "imgnav")
{
    return "<!--0002 0004-->\r\n" + Marker + "\r\n" + Entry(A, blockA) + "\r\n" + Entry(B) + "\r\n</html>\r\n";
}

std::vector<std::string> Starting(const Log& log, std::initializer_list<const char*> prefixes)
{
    std::vector<std::string> out;
    for (const auto& line : log)
        for (const char* prefix : prefixes)
            if (line.rfind(prefix, 0) == 0) {
                out.push_back(line);
                break;
            }
    return out;
}

long Count(const Log& log, const std::string& line) { return std::count(log.begin(), log.end(), line); }

// One dashboard over fresh fakes.
struct World {
    Log log;
    FakeApplication app{log};
    FakePlatform platform{log};
    std::unique_ptr<TFVelastrom> form;

    World()
    {
        platform.directories.insert(SharedDir);
        platform.files[RegisterPath] = {
            {"alpha.exe", {{"INI_REGISTRY_CODE", "tr-0000000000001"}, {"INI_REGISTRY_PATH", "C:\\Alpha"}}},
            {"gamma.exe", {{"INI_REGISTRY_CODE", "TR-0000000000009"}, {"INI_REGISTRY_PATH", "C:\\Gamma"}}},
        };
        form = std::make_unique<TFVelastrom>(app, platform, TVelastromSettings{});
        app.view->webBrowserRoot.pages[Url] = ReadyPage();
        log.clear();
    }
};

struct StartPage : ::testing::Test {
    std::unique_ptr<World> world;
    TFVelastrom* form = nullptr;
    FakeBrowser* browser = nullptr;
    FakeBrowser* root = nullptr;

    // A fresh dashboard, for each case of a table.
    void SetUp() override
    {
        world.reset();
        world = std::make_unique<World>();
        form = world->form.get();
        browser = &world->app.view->webBrowser;
        root = &world->app.view->webBrowserRoot;
    }

    Log& log() { return world->log; }
    FakeApplication& app() { return world->app; }
    FakePlatform& platform() { return world->platform; }
    void Activate() { DispatchEvent(app(), [this] { form->FormActivate(); }); }
    void Home() { DispatchEvent(app(), [this] { form->ImageHomeClick(); }); }

    std::string Snapshot() const
    {
        const auto& bytes = form->PageStream()->Bytes();
        return std::string(bytes.begin(), bytes.end());
    }

    // Runs fn inside the pass-th ProcessMessages call from now: each
    // message passes itself on to the next call until the count runs out.
    void PostInPass(int pass, std::function<void()> fn)
    {
        if (pass <= 1) {
            app().Post(std::move(fn));
            return;
        }
        app().Post([this, pass, fn] { PostInPass(pass - 1, fn); });
    }
};

TEST_F(StartPage, TheFixedTexts)
{
    EXPECT_EQ(StartPageUrl, Url);
    EXPECT_EQ(std::string(ReadyMarker), "####TAV-ROLENDI-VELASTROM-HTML-READY####");
    EXPECT_EQ(std::string(ReadyMarker).size(), 40u);
    EXPECT_EQ(FallbackPageHtml, Welcome);
    EXPECT_EQ(FallbackPageHtml.find_first_of("\r\n"), std::string::npos);
    EXPECT_EQ(TVelastromSettings{}.StartPageFetchLimitMs, 30000u);
    EXPECT_EQ(TVelastromSettings{}.StartPageFetchUrl, Url);
}

TEST_F(StartPage, FirstActivationRunsItsStepsInOrder)
{
    Activate();
    EXPECT_THAT(Starting(log(), {"WebBrowser", "Sleep(50)", "Registry", "ErrorBox"}),
                ElementsAre("WebBrowser.Navigate(about:blank)", "WebBrowser.Loaded(about:blank)", "WebBrowser.Focus",
                            "WebBrowserRoot.Navigate(" + Url + ")", "WebBrowserRoot.Loaded(" + Url + ")",
                            "Sleep(50)", "WebBrowserRoot.Save",
                            "Registry(SOFTWARE\\Microsoft\\Windows\\CurrentVersion,ProgramFilesDir)",
                            "WebBrowserRoot.Navigate(about:blank)", "WebBrowserRoot.Loaded(about:blank)",
                            "WebBrowser.Navigate(about:blank)", "WebBrowser.Loaded(about:blank)", "WebBrowser.Focus",
                            "WebBrowser.Load(" + std::to_string(ReadyPage().size()) + " bytes)", "WebBrowser.Focus"));
    EXPECT_TRUE(form->Started());
    EXPECT_TRUE(app().errorBoxes.empty());
    EXPECT_EQ(browser->shownBytes, ReadyPage("imgrun"));
    EXPECT_EQ(Snapshot(), ReadyPage("imgrun"));
    EXPECT_THAT(form->InstalledCodes()->Items(), ElementsAre("tr-0000000000001", "TR-0000000000009"));
    ASSERT_TRUE(app().onActivate && app().onRestore);

    // The application's events only move the focus: nothing is fetched again.
    log().clear();
    app().onActivate();
    app().onRestore();
    form->FormActivate();
    EXPECT_THAT(log(), ElementsAre("WebBrowser.Focus", "WebBrowser.Focus", "WebBrowser.Focus"));
}

TEST_F(StartPage, SnapshotTable)
{
    const struct {
        const char* name;
        std::string saved;
        std::string shown;  // empty: the welcome page
    } cases[] = {
        {"marker with text around it", "h\r\nxx" + Marker + "yy\r\nz\r\n", "h\r\nxx" + Marker + "yy\r\nz\r\n"},
        {"marker only on line 0", Marker + "\r\nb\r\nc\r\n", ""},
        {"marker only on line 2", "a\r\nb\r\n" + Marker + "\r\n", ""},
        {"marker in lower case", "a\r\n<!-- ####tav-rolendi-velastrom-html-ready#### -->\r\n", ""},
        {"marker cut short", "a\r\n####TAV-ROLENDI-VELASTROM-HTML-READY###\r\n", ""},
        {"one line", Marker + "\r\n", ""},
        {"empty save", "", ""},
        {"first byte NUL", "\0a\r\n"s + Marker + "\r\n", ""},
        {"LF line ends", "h\n" + Marker + "\nz", "h\r\n" + Marker + "\r\nz\r\n"},
        {"lone CR line ends", "h\r" + Marker + "\rz\r", "h\r\n" + Marker + "\r\nz\r\n"},
        {"CR LF page comes out the same", ReadyPage(), ReadyPage("imgrun")},
        {"stale bytes after a NUL are cut", "h\r\n" + Marker + "\r\nz\r\n\0<script>stale</script>\r\n"s,
         "h\r\n" + Marker + "\r\nz\r\n"},
        {"NUL inside line 1 before the marker", "h\r\nab\0"s + Marker + "\r\n", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        root->pages[Url] = c.saved;
        Activate();
        const std::string expected = c.shown.empty() ? Welcome + "\r\n" : c.shown;
        EXPECT_TRUE(app().errorBoxes.empty());
        EXPECT_EQ(browser->shownBytes, expected);
        EXPECT_EQ(Snapshot(), expected);
        if (c.shown.empty()) {
            EXPECT_TRUE(form->InstalledCodes()->Empty());
            EXPECT_EQ(Count(log(), "Registry(SOFTWARE\\Microsoft\\Windows\\CurrentVersion,ProgramFilesDir)"), 0);
        } else {
            EXPECT_EQ(form->InstalledCodes()->Count(), 2u);
        }
    }
}

TEST_F(StartPage, FailuresBeforeTheSnapshotLeaveNothingBehind)
{
    const struct {
        const char* name;
        std::function<void(FakeBrowser& browser, FakeBrowser& root)> script;
        std::string message;
    } cases[] = {
        {"visible browser refuses to navigate", [](FakeBrowser& b, FakeBrowser&) { b.navigateError = "Accesso negato"; },
         "Accesso negato."},
        {"covered browser refuses to navigate",
         [](FakeBrowser&, FakeBrowser& r) { r.navigateError = "Indirizzo non valido"; }, "Indirizzo non valido."},
        {"covered browser's ready state unreadable",
         [](FakeBrowser&, FakeBrowser& r) { r.readyStateError = "Errore non specificato"; },
         "Errore non specificato."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        c.script(*browser, *root);
        Activate();
        EXPECT_THAT(app().errorBoxes, ElementsAre(c.message));
        EXPECT_TRUE(form->Started());
        EXPECT_EQ(form->PageStream(), nullptr);
        EXPECT_EQ(form->PageLines(), nullptr);
        EXPECT_EQ(form->InstalledCodes(), nullptr);
        EXPECT_FALSE(app().onActivate);
        EXPECT_FALSE(app().onRestore);
        EXPECT_EQ(Count(log(), "WebBrowserRoot.Navigate(about:blank)"), 0);
        EXPECT_EQ(Count(log(), "Sleep(50)"), 0);
        EXPECT_EQ(browser->loads, 0);

        // Later: activations only move the focus, the home command does nothing.
        browser->navigateError.clear();
        log().clear();
        Activate();
        Home();
        EXPECT_EQ(Starting(log(), {"WebBrowser.Navigate", "WebBrowserRoot.Navigate", "WebBrowser.Load("}).size(), 0u);
        EXPECT_EQ(app().errorBoxes.size(), 1u);
    }
}

TEST_F(StartPage, SaveUnsupportedRunsTheCleanUpAndShowsNothing)
{
    root->saveUnsupported = true;
    Activate();
    EXPECT_THAT(app().errorBoxes, ElementsAre("Interface not supported."));
    EXPECT_THAT(Starting(log(), {"WebBrowserRoot", "WebBrowser.Load(", "ErrorBox"}),
                ElementsAre("WebBrowserRoot.Navigate(" + Url + ")", "WebBrowserRoot.Loaded(" + Url + ")",
                            "WebBrowserRoot.Save", "WebBrowserRoot.Navigate(about:blank)",
                            "WebBrowserRoot.Loaded(about:blank)", "ErrorBox(Interface not supported.)"));
    EXPECT_EQ(browser->loads, 0);
    EXPECT_TRUE(app().onActivate && app().onRestore);
    ASSERT_NE(form->PageStream(), nullptr);
    EXPECT_EQ(form->PageStream()->Size(), 0u);
    // No focus after the clean-up: the last focus was the blank page's own load.
    EXPECT_EQ(Starting(log(), {"WebBrowser.Focus", "WebBrowserRoot.Navigate(about:blank)"}).back(),
              "WebBrowserRoot.Navigate(about:blank)");
}

TEST_F(StartPage, RegisterFailureLeavesTheSavedPageForTheHomeCommand)
{
    platform().programFilesDir = {TRegistryValue::Status::Ok, REG_DWORD_TYPE, "\x01\0\0\0"s};
    Activate();
    EXPECT_THAT(app().errorBoxes, ElementsAre("Invalid data type for 'ProgramFilesDir'"));
    EXPECT_EQ(browser->loads, 0);
    EXPECT_EQ(Count(log(), "WebBrowserRoot.Navigate(about:blank)"), 1);
    EXPECT_TRUE(app().onActivate && app().onRestore);

    Home();
    EXPECT_EQ(browser->loads, 1);
    EXPECT_EQ(browser->shownBytes, ReadyPage());  // saved, not marked
}

TEST_F(StartPage, NegativeFirstIndexStillShowsThePage)
{
    root->pages[Url] = "<!---001 0003-->\r\n" + Marker + "\r\n" + Entry(A) + "\r\n" + Entry(B) + "\r\n";
    Activate();
    EXPECT_TRUE(app().errorBoxes.empty());
    EXPECT_EQ(browser->shownBytes,
              "<!---001 0003-->\r\n" + Marker + "\r\n" + Entry(A, "imgrun") + "\r\n" + Entry(B) + "\r\n");
}

TEST_F(StartPage, ActivationsInsideTheWaitsOnlyMoveTheFocus)
{
    // Passes: 1 blank page wait, 2 fetch wait, 3 and 4 around the pause,
    // 5 the covered browser's blanking wait.
    for (int pass : {1, 2, 3, 4, 5}) {
        PostInPass(pass, [this] { Activate(); });
        PostInPass(pass, [this] { app().onActivate ? app().onActivate() : void(); });
    }
    Activate();
    EXPECT_TRUE(app().errorBoxes.empty());
    EXPECT_EQ(Count(log(), "WebBrowserRoot.Navigate(" + Url + ")"), 1);
    EXPECT_EQ(Count(log(), "WebBrowser.Navigate(about:blank)"), 2);  // step 2 and the home display
    EXPECT_EQ(browser->loads, 1);
    EXPECT_EQ(browser->shownBytes, ReadyPage("imgrun"));
    // Inside the first wait the visible browser has no document yet: those
    // activations do nothing; later ones move the focus.
    EXPECT_GE(Count(log(), "WebBrowser.Focus"), 4 + 2);
}

TEST_F(StartPage, HomeCommandInsideTheCleanUpShowsTheFinishedSnapshot)
{
    PostInPass(5, [this] { Home(); });
    Activate();
    EXPECT_TRUE(app().errorBoxes.empty());
    EXPECT_EQ(browser->loads, 2);
    EXPECT_EQ(browser->shownBytes, ReadyPage("imgrun"));
    EXPECT_THAT(Starting(log(), {"WebBrowser.Load("}),
                ElementsAre("WebBrowser.Load(" + std::to_string(ReadyPage().size()) + " bytes)",
                            "WebBrowser.Load(" + std::to_string(ReadyPage().size()) + " bytes)"));
}

TEST_F(StartPage, HomeCommand)
{
    // Before the snapshot exists: nothing, not even a navigation.
    Home();
    EXPECT_TRUE(log().empty());

    Activate();
    log().clear();
    Home();
    Home();
    EXPECT_THAT(Starting(log(), {"WebBrowser.Navigate", "WebBrowser.Load("}),
                ElementsAre("WebBrowser.Navigate(about:blank)",
                            "WebBrowser.Load(" + std::to_string(ReadyPage().size()) + " bytes)",
                            "WebBrowser.Navigate(about:blank)",
                            "WebBrowser.Load(" + std::to_string(ReadyPage().size()) + " bytes)"));
    EXPECT_EQ(browser->shownBytes, ReadyPage("imgrun"));

    // A home command taken from the queue inside another's wait: both show the
    // whole page.
    PostInPass(1, [this] { Home(); });
    const int before = browser->loads;
    Home();
    EXPECT_EQ(browser->loads, before + 2);
    EXPECT_EQ(browser->shownBytes, ReadyPage("imgrun"));

    // A visible browser without a document: nothing.
    browser->hasDocument = false;
    log().clear();
    Home();
    EXPECT_TRUE(log().empty());
}

TEST_F(StartPage, FetchPastTheTimeLimitIsStoppedAndShowsTheWelcomePage)
{
    root->neverInteractive = true;
    // Once stopped, the covered browser's later blank page loads as usual.
    std::function<void()> watch;
    watch = [&] {
        if (std::find(log().begin(), log().end(), "WebBrowserRoot.Stop") != log().end())
            root->neverInteractive = false;
        else
            app().Post(watch);
    };
    app().Post(watch);
    const std::uint64_t start = platform().ticks;
    std::uint64_t stoppedAt = 0;
    Activate();
    // The Stop comes once the fake clock has run the limit out, not before.
    std::uint64_t clock = start;
    for (const auto& line : log()) {
        if (line.rfind("Sleep(", 0) == 0)
            clock += std::stoul(line.substr(6));
        if (line == "WebBrowserRoot.Stop") {
            stoppedAt = clock;
            break;
        }
    }
    ASSERT_NE(stoppedAt, 0u) << "the fetch was never stopped";
    EXPECT_GE(stoppedAt - start, 30000u);
    EXPECT_LT(stoppedAt - start, 30000u + 50u);
    EXPECT_EQ(Count(log(), "WebBrowserRoot.Stop"), 1);
    // The wait pauses between passes only while nothing has arrived.
    EXPECT_EQ(Count(log(), "Sleep(" + std::to_string(StartPageFetchPollMs) + ")"),
              static_cast<long>(30000 / StartPageFetchPollMs));
    EXPECT_TRUE(app().errorBoxes.empty());
    EXPECT_EQ(browser->shownBytes, Welcome + "\r\n");
    EXPECT_TRUE(form->InstalledCodes()->Empty());
}

TEST_F(StartPage, FetchJustInsideTheTimeLimitIsUsed)
{
    // The page arrives after 29 990 ms of waiting.
    root->neverInteractive = true;
    const std::uint64_t start = platform().ticks;
    std::function<void()> poll;
    poll = [&] {
        if (platform().ticks - start >= 29990) {
            root->neverInteractive = false;
            root->Navigate(Url);  // the fake's completion arrives in the next pass
            return;
        }
        app().Post(poll);
    };
    PostInPass(2, poll);
    Activate();
    EXPECT_EQ(Count(log(), "WebBrowserRoot.Stop"), 0);
    EXPECT_EQ(browser->shownBytes, ReadyPage("imgrun"));
}

TEST_F(StartPage, CoveredBrowserWithoutADocumentGivesTheWelcomePage)
{
    // Between the fetch and the snapshot the covered browser loses its document.
    PostInPass(3, [this] { root->hasDocument = false; });
    Activate();
    EXPECT_TRUE(app().errorBoxes.empty());
    EXPECT_EQ(Count(log(), "WebBrowserRoot.Save"), 0);
    EXPECT_EQ(browser->shownBytes, Welcome + "\r\n");
    EXPECT_EQ(Count(log(), "WebBrowserRoot.Navigate(about:blank)"), 1);
}

TEST_F(StartPage, SetFocus)
{
    form->WebBrowserSetFocus(nullptr);
    form->WebBrowserSetFocus(browser);  // no document yet
    EXPECT_TRUE(log().empty());
    browser->hasDocument = true;
    form->WebBrowserSetFocus(browser);
    EXPECT_THAT(log(), ElementsAre("WebBrowser.Focus"));
    browser->focusError = "Interface not supported";
    EXPECT_THROW(form->WebBrowserSetFocus(browser), std::exception);
}

TEST_F(StartPage, FocusFailureAfterThePageIsShown)
{
    PostInPass(6, [this] { browser->focusError = "Interface not supported"; });
    Activate();
    EXPECT_EQ(browser->loads, 1);
    EXPECT_EQ(browser->shownBytes, ReadyPage("imgrun"));
    // The page is shown, then the focus fails and the failure is reported.
    ASSERT_GE(log().size(), 3u);
    EXPECT_THAT(std::vector<std::string>(log().end() - 3, log().end()),
                ElementsAre("WebBrowser.Load(" + std::to_string(ReadyPage().size()) + " bytes)", "WebBrowser.Focus",
                            "ErrorBox(Interface not supported.)"));
}

}  // namespace
}  // namespace velastrom
