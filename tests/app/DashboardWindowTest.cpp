// The dashboard window against recording fakes: entry, creation, the stop
// command, the close path and the default exception handler.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>

#include "app/PVelastrom.h"
#include "common/Error.h"
#include "fakes/Fakes.h"

namespace velastrom {
namespace {

using fakes::FakeApplication;
using fakes::FakePlatform;
using fakes::Log;
using ::testing::ElementsAre;

std::vector<std::string> Matching(const Log& log, const std::string& prefix)
{
    std::vector<std::string> out;
    std::copy_if(log.begin(), log.end(), std::back_inserter(out),
                 [&](const std::string& line) { return line.rfind(prefix, 0) == 0; });
    return out;
}

// Index of the first line equal to text at or after from; -1 when absent.
long Find(const Log& log, const std::string& text, long from = 0)
{
    for (long i = from; i < static_cast<long>(log.size()); ++i)
        if (log[static_cast<std::size_t>(i)] == text)
            return i;
    return -1;
}

struct DashboardWindow : ::testing::Test {
    Log log;
    FakeApplication app{log};
    FakePlatform platform{log};
};

TEST_F(DashboardWindow, CreationSetsTitleColoursAndGeometryInOrder)
{
    TFVelastrom form(app, platform, TVelastromSettings{});
    auto& view = *app.view;
    EXPECT_EQ(app.Title(), "Velastrom di Navigazione TAV ROLENDI");
    EXPECT_EQ(view.label.Caption(), "Velastrom di Navigazione TAV ROLENDI");
    EXPECT_EQ(view.label.FontColor(), 5936189u);
    EXPECT_EQ(view.panelComand.Color(), 14022128u);
    EXPECT_FALSE(form.Started());
    EXPECT_EQ(form.PageStream(), nullptr);
    EXPECT_EQ(form.PageLines(), nullptr);
    EXPECT_EQ(form.InstalledCodes(), nullptr);
    EXPECT_THAT(Matching(log, "View."),
                ElementsAre("View.Top=5", "View.Left=5", "View.Height=736", "View.Width=1024"));
    EXPECT_EQ(view.imageHome.Hint(), "Torna al velastrom principale");
    EXPECT_EQ(view.imageStop.Hint(), "Chiudi il velastrom");
}

TEST_F(DashboardWindow, EntryRunsSetUpWindowLoopAndShutdownInOrder)
{
    app.afterShow = [&] { app.Post([&] { DispatchEvent(app, [&] { app.view->events.ImageStopClick(); }); }); };

    const int code = VelastromNavigazione(app, platform, TVelastromSettings{});

    EXPECT_EQ(code, 0);
    const std::vector<std::string> milestones{
        "MaskFloatingPointExceptions",
        "Application.Initialize",
        "Application.Title=",
        "Application.CreateMainWindow",
        "Application.Title=Velastrom di Navigazione TAV ROLENDI",
        "View.Width=1024",
        "Application.Run",
        "WebBrowser.Navigate(about:blank)",
        "View.Close",
        "Application.Terminate",
        "Application.RunEnded",
        "View.Destroyed",
    };
    long at = 0;
    for (const auto& milestone : milestones) {
        const long found = Find(log, milestone, at);
        ASSERT_GE(found, 0) << milestone << " missing or out of order";
        at = found + 1;
    }
}

TEST_F(DashboardWindow, StopBlanksTheBrowserWaitsThenClosesAndRequestsTermination)
{
    TFVelastrom form(app, platform, TVelastromSettings{});
    log.clear();

    DispatchEvent(app, [&] { form.ImageStopClick(); });

    const long navigate = Find(log, "WebBrowser.Navigate(about:blank)");
    const long loaded = Find(log, "WebBrowser.Loaded(about:blank)");
    const long close = Find(log, "View.Close");
    const long terminate = Find(log, "Application.Terminate");
    ASSERT_GE(navigate, 0);
    EXPECT_LT(navigate, loaded) << "the wait must process the load before closing";
    EXPECT_LT(loaded, close);
    EXPECT_LT(close, terminate);
    EXPECT_TRUE(app.errorBoxes.empty());
    EXPECT_FALSE(app.Terminated()) << "the quit is only posted; the loop takes it";
    app.ProcessMessages();
    EXPECT_TRUE(app.Terminated());
}

TEST_F(DashboardWindow, StopOnABlankPageBlanksAgainAndCloses)
{
    TFVelastrom form(app, platform, TVelastromSettings{});
    app.view->webBrowser.Navigate("about:blank");
    app.ProcessMessages();
    log.clear();

    DispatchEvent(app, [&] { form.ImageStopClick(); });

    EXPECT_THAT(Matching(log, "WebBrowser.Navigate"), ElementsAre("WebBrowser.Navigate(about:blank)"));
    EXPECT_GE(Find(log, "Application.Terminate"), 0);
}

TEST_F(DashboardWindow, FailuresInTheStopCommandShowTheBoxAndKeepTheWindowOpen)
{
    struct Case {
        const char* what;
        std::function<void(fakes::FakeBrowser&)> arrange;
        const char* box;
    };
    const Case cases[] = {
        {"navigation refused", [](auto& b) { b.navigateError = "Accesso negato"; }, "Accesso negato."},
        {"ready state unreadable", [](auto& b) { b.readyStateError = "Errore non specificato."; },
         "Errore non specificato."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Log caseLog;
        FakeApplication caseApp(caseLog);
        FakePlatform casePlatform(caseLog);
        TFVelastrom form(caseApp, casePlatform, TVelastromSettings{});
        c.arrange(caseApp.view->webBrowser);

        DispatchEvent(caseApp, [&] { form.ImageStopClick(); });

        EXPECT_THAT(caseApp.errorBoxes, ElementsAre(c.box));
        EXPECT_EQ(Find(caseLog, "View.Close"), -1);
        EXPECT_EQ(Find(caseLog, "Application.Terminate"), -1);
    }
}

TEST_F(DashboardWindow, SecondStopDuringTheWaitRunsTheClosePathTwiceAndEndsOnce)
{
    TFVelastrom form(app, platform, TVelastromSettings{});
    log.clear();
    app.Post([&] { DispatchEvent(app, [&] { form.ImageStopClick(); }); });

    DispatchEvent(app, [&] { form.ImageStopClick(); });

    EXPECT_THAT(Matching(log, "View.Close"), ElementsAre("View.Close", "View.Close"));
    EXPECT_THAT(Matching(log, "Application.Terminate"),
                ElementsAre("Application.Terminate", "Application.Terminate"));
    app.ProcessMessages();
    EXPECT_TRUE(app.Terminated());
    EXPECT_EQ(app.Pending(), 0u) << "one quit message only";
}

TEST_F(DashboardWindow, StopInsideAnotherHandlersWaitEndsTheProgramOnlyAfterThatHandler)
{
    // A handler that waits for the covered browser; the stop comes as a
    // message processed inside that wait.
    app.afterShow = [&] {
        DispatchEvent(app, [&] {
            auto& root = app.view->webBrowserRoot;
            root.neverInteractive = true;  // only the quit request can end this wait
            app.Post([&] { DispatchEvent(app, [&] { app.view->events.ImageStopClick(); }); });
            root.Navigate("http://example.invalid/");
            WaitUntilInteractive(root, app);
            log.push_back("waiting handler ended");
        });
    };

    EXPECT_EQ(VelastromNavigazione(app, platform, TVelastromSettings{}), 0);

    const long terminate = Find(log, "Application.Terminate");
    const long handlerEnd = Find(log, "waiting handler ended");
    const long runEnd = Find(log, "Application.RunEnded");
    ASSERT_GE(terminate, 0);
    EXPECT_LT(terminate, handlerEnd);
    EXPECT_LT(handlerEnd, runEnd);
}

TEST_F(DashboardWindow, ClosingIsAlwaysAllowedAndTheCloseHandlerRunsBeforeTermination)
{
    struct Recorder : IDashboardEvents {
        Log& log;
        explicit Recorder(Log& l) : log(l) {}
        void FormCreate() override {}
        void FormDestroy() override {}
        void FormShow() override {}
        void FormActivate() override {}
        void FormCloseQuery(bool& canClose) override { log.push_back(canClose ? "query(true)" : "query(false)"); }
        void FormClose(TCloseAction& action) override
        {
            log.push_back(action == TCloseAction::Hide ? "close(Hide)" : "close(other)");
        }
        void WebBrowserBeforeNavigate2(const std::string&, bool&) override {}
        void WebBrowserDocumentComplete(const std::string&) override {}
        void ImageHomeClick() override {}
        void ImageStopClick() override {}
    } recorder(log);

    EXPECT_TRUE(RunClosePath(app, recorder));
    EXPECT_THAT(log, ElementsAre("query(true)", "close(Hide)", "Application.Terminate"));

    TFVelastrom form(app, platform, TVelastromSettings{});
    bool canClose = true;
    form.FormCloseQuery(canClose);
    EXPECT_TRUE(canClose);
}

TEST(DefaultExceptionHandler, AppendsAFullStopOnlyAfterBytesSortingAfterIt)
{
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},
        {"Accesso negato", "Accesso negato."},
        {"Fine.", "Fine."},
        {"Errore!", "Errore!"},             // '!' sorts before '.'
        {"List index out of bounds (3)", "List index out of bounds (3)"},
        {"C:\\Programmi\\", "C:\\Programmi\\."},
        {"Percorso /", "Percorso /."},      // '/' sorts after '.'
        {"Perch\xE9", "Perch\xE9."},        // bytes above 127 sort after '.'
        {"-", "-"},
    };
    for (const auto& [message, shown] : cases)
        EXPECT_EQ(ExceptionText(message), shown) << message;
}

TEST(DefaultExceptionHandler, DispatchShowsTheFailureAndGoesOn)
{
    Log log;
    FakeApplication app(log);
    app.SetTitle("Velastrom di Navigazione TAV ROLENDI");
    bool after = false;
    DispatchEvent(app, [] { throw Error("Interface not supported"); });
    DispatchEvent(app, [&] { after = true; });
    EXPECT_THAT(app.errorBoxes, ElementsAre("Interface not supported."));
    EXPECT_TRUE(after);
}

}  // namespace
}  // namespace velastrom
