// The start page in the real engine: a real dashboard window with WebKit and
// the Linux platform services (its register in a folder of the test's own)
// fetching from a server on 127.0.0.1, then showing the snapshot from memory.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "GtkTestSupport.h"
#include "app/PVelastrom.h"
#include "app/gtk/GtkDashboardView.h"
#include "app/gtk/GtkApplication.h"
#include "browser/webkit/WebKitBrowser.h"
#include "platform/linux/LinuxPlatform.h"
#include "startpage/StartPage.h"

namespace velastrom {
namespace {

using testing::LoopbackServer;
using testing::SandboxPlatform;
using testing::OpenDisplay;
using testing::PumpUntil;

// A port where the connection is taken but nothing is ever answered.
class SilentServer {
public:
    SilentServer()
    {
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        listen(fd_, 16);
        socklen_t length = sizeof address;
        getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~SilentServer() { close(fd_); }
    std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }

private:
    int fd_ = -1;
    int port_ = 0;
};

const std::string Marker = "<!-- ####TAV-ROLENDI-VELASTROM-HTML-READY#### -->";
const std::string Installed = "TR-NAVIGA2026001";
const std::string InstalledOtherCase = "TR-Cartogr26a002";  // the register holds it in capitals
const std::string NotInstalled = "TR-METEOMAR26003";

std::string Product(const std::string& code, const std::string& name, const char* block = "imgnav")
{
    return "<a href=\"" + code + "|http://127.0.0.1:1/prodotti/p.htm\">" + name + "</a> <div id=\"" + block +
           "\">" + name + "</div>";
}

// The page's lines; products on lines 3 to 5.
std::vector<std::string> ReadyLines(const char* first = "imgnav", const char* second = "imgnav",
                                    const std::string& firstName = "Naviga Rotte")
{
    return {"<!--0003 0005 prodotti-->",
            Marker,
            "<html><head><title>Velastrom</title></head><body style=\"height: 3000px\">",
            Product(Installed, firstName, first),
            Product(InstalledOtherCase, "Cartografo", second),
            Product(NotInstalled, "Meteo Mare"),
            "</body></html>"};
}

std::string Join(const std::vector<std::string>& lines, const std::string& end)
{
    std::string text;
    for (const auto& line : lines)
        text += line + end;
    return text;
}

struct StartPageInTheEngine : ::testing::Test {
    std::filesystem::path sandbox;
    std::unique_ptr<gtk::GtkApplication> app;
    std::unique_ptr<SandboxPlatform> platform;
    TVelastromSettings settings;
    std::unique_ptr<TFVelastrom> form;
    std::vector<std::string> errorBoxes;
    guint dialogWatch = 0;

    void SetUp() override
    {
        ASSERT_TRUE(OpenDisplay()) << "these tests need an X display";
        char folder[] = "/tmp/velastrom-startpage-XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        sandbox = folder;
        const auto shared = sandbox / "TavRolendi" / "SharedDataBase";
        std::filesystem::create_directories(shared);
        std::ofstream(shared / "TavRolendiDataBase.INI", std::ios::binary)
            << "[navigarotte]\r\nINI_REGISTRY_CODE=TR-NAVIGA2026001\r\nINI_REGISTRY_PATH=/nowhere/NavigaRotte\r\n"
               "[cartografo]\r\nINI_REGISTRY_CODE=TR-CARTOGR26A002\r\nINI_REGISTRY_PATH=/nowhere/Cartografo\r\n";
        app = std::make_unique<gtk::GtkApplication>();
        app->Initialize();
        platform = std::make_unique<SandboxPlatform>(sandbox.string());
        // An error box would wait for a click: each one is taken down and
        // counted as a failure instead.
        dialogWatch = g_timeout_add(100, &StartPageInTheEngine::CloseErrorBoxes, this);
    }

    void TearDown() override
    {
        form.reset();
        if (dialogWatch)
            g_source_remove(dialogWatch);
        std::error_code ignored;
        std::filesystem::remove_all(sandbox, ignored);
    }

    static gboolean CloseErrorBoxes(gpointer data)
    {
        auto* self = static_cast<StartPageInTheEngine*>(data);
        GList* windows = gtk_window_list_toplevels();
        for (GList* w = windows; w; w = w->next) {
            if (!GTK_IS_MESSAGE_DIALOG(w->data) || !gtk_widget_get_visible(GTK_WIDGET(w->data)))
                continue;
            gchar* text = nullptr;
            g_object_get(w->data, "text", &text, nullptr);
            self->errorBoxes.push_back(text ? text : "");
            g_free(text);
            gtk_dialog_response(GTK_DIALOG(w->data), GTK_RESPONSE_OK);
        }
        g_list_free(windows);
        return G_SOURCE_CONTINUE;
    }

    webkit::WebKitBrowser& Browser() { return dynamic_cast<webkit::WebKitBrowser&>(form->View().WebBrowser()); }

    // The first activation against the address, with a hard deadline: past
    // it the application is made to terminate, which ends every wait.
    void ActivateAgainst(const std::string& url)
    {
        settings.StartPageFetchUrl = url;
        form = std::make_unique<TFVelastrom>(*app, *platform, settings);
        static_cast<gtk::GtkDashboardView&>(form->View()).Show();
        bool deadlinePassed = false;
        struct Watchdog {
            gtk::GtkApplication* app;
            bool* passed;
        } watchdog{app.get(), &deadlinePassed};
        const guint deadline = g_timeout_add_seconds(
            60,
            [](gpointer data) -> gboolean {
                auto* w = static_cast<Watchdog*>(data);
                *w->passed = true;
                w->app->Terminate();
                return G_SOURCE_REMOVE;
            },
            &watchdog);
        DispatchEvent(*app, [this] { form->FormActivate(); });
        if (!deadlinePassed)
            g_source_remove(deadline);
        ASSERT_FALSE(deadlinePassed) << "the first activation did not end within 60 s";
        ASSERT_TRUE(form->Started());
        ASSERT_NE(form->PageStream(), nullptr);
        // The snapshot loads into the visible browser and is styled.
        ASSERT_TRUE(PumpUntil([&] { return Browser().ReadyState() == READYSTATE_COMPLETE; }, 20000));
        ASSERT_TRUE(PumpUntil([&] { return Script("document.body.style.overflowY") == "hidden"; }, 20000));
    }

    std::string Script(const std::string& script)
    {
        try {
            return Browser().RunScript(script);
        } catch (const std::exception& e) {
            return std::string("failed: ") + e.what();
        }
    }

    std::string Snapshot() const
    {
        const auto& bytes = form->PageStream()->Bytes();
        return std::string(bytes.begin(), bytes.end());
    }

    void ExpectShownAndFocused()
    {
        EXPECT_EQ(Script("getComputedStyle(document.body).overflowX"), "hidden");
        EXPECT_EQ(Script("getComputedStyle(document.body).overflowY"), "hidden");
        EXPECT_EQ(Script("document.documentElement.scrollHeight > window.innerHeight"), "true")
            << "the page should be taller than the view, with no scroll bars to reach the rest";
        EXPECT_TRUE(gtk_widget_is_focus(Browser().Widget()));
        EXPECT_TRUE(errorBoxes.empty()) << errorBoxes.front();
    }

    void ExpectWelcomePage()
    {
        EXPECT_EQ(Snapshot(), FallbackPageHtml + "\r\n");
        EXPECT_TRUE(form->InstalledCodes()->Empty());
        EXPECT_EQ(Script("document.body.innerText.indexOf('Benvenuto nel velastrom TAV ROLENDI') >= 0"), "true");
        EXPECT_EQ(Script("document.querySelector('a').getAttribute('href')"), settings::CommercialSite);
        EXPECT_EQ(Script("getComputedStyle(document.body).overflowY"), "hidden");
        EXPECT_TRUE(gtk_widget_is_focus(Browser().Widget()));
        EXPECT_TRUE(errorBoxes.empty()) << errorBoxes.front();
    }
};

TEST_F(StartPageInTheEngine, ReadyPageSwitchesOnlyTheInstalledEntries)
{
    LoopbackServer server;
    server.Add("/TavRolendiVelastromRootOnline.htm", {"text/html", Join(ReadyLines(), "\r\n")});
    ActivateAgainst(server.Url("/TavRolendiVelastromRootOnline.htm"));
    EXPECT_EQ(Snapshot(), Join(ReadyLines("imgrun", "imgrun"), "\r\n"));
    EXPECT_EQ(Script("Array.from(document.querySelectorAll('div')).map(function (d) { return d.id; }).join()"),
              "imgrun,imgrun,imgnav");
    EXPECT_EQ(server.Requests().size(), 1u);
    ExpectShownAndFocused();

    // The home command shows the same page again, from memory, in a new
    // document (the mark set on this one goes).
    EXPECT_EQ(Script("window.seen = 'old'; document.title"), "Velastrom");
    DispatchEvent(*app, [this] { form->ImageHomeClick(); });
    EXPECT_TRUE(PumpUntil(
        [&] {
            return Script("String(window.seen) + ' ' + document.querySelectorAll('div').length + ' ' +"
                          "document.body.style.overflowX") == "undefined 3 hidden";
        },
        20000));
    EXPECT_EQ(Script("Array.from(document.querySelectorAll('div')).map(function (d) { return d.id; }).join()"),
              "imgrun,imgrun,imgnav");
    EXPECT_EQ(server.Requests().size(), 1u);
    EXPECT_TRUE(gtk_widget_is_focus(Browser().Widget()));
}

TEST_F(StartPageInTheEngine, LfLineEndsComeOutAsCrLf)
{
    LoopbackServer server;
    server.Add("/start.htm", {"text/html", Join(ReadyLines(), "\n")});
    ActivateAgainst(server.Url("/start.htm"));
    EXPECT_EQ(Snapshot(), Join(ReadyLines("imgrun", "imgrun"), "\r\n"));
    ExpectShownAndFocused();
}

TEST_F(StartPageInTheEngine, Windows1252PageKeepsItsBytes)
{
    LoopbackServer server;
    const std::string name = "Caff\xE8 di bordo \x80 5";  // è and the euro sign in Windows-1252
    server.Add("/start.htm", {"text/html; charset=windows-1252", Join(ReadyLines("imgnav", "imgnav", name), "\r\n")});
    ActivateAgainst(server.Url("/start.htm"));
    EXPECT_EQ(Snapshot(), Join(ReadyLines("imgrun", "imgrun", name), "\r\n"));
    EXPECT_EQ(Script("document.querySelector('a').textContent"), "Caff\xC3\xA8 di bordo \xE2\x82\xAC 5");
    ExpectShownAndFocused();
}

TEST_F(StartPageInTheEngine, PageWithoutTheMarkerGivesTheWelcomePage)
{
    LoopbackServer server;
    auto lines = ReadyLines();
    lines[1] = "<!-- ####tav-rolendi-velastrom-html-ready#### -->";
    server.Add("/start.htm", {"text/html", Join(lines, "\r\n")});
    ActivateAgainst(server.Url("/start.htm"));
    ExpectWelcomePage();
}

TEST_F(StartPageInTheEngine, NotFoundGivesTheWelcomePage)
{
    LoopbackServer server;
    ActivateAgainst(server.Url("/TavRolendiVelastromRootOnline.htm"));
    ExpectWelcomePage();
    EXPECT_EQ(server.Requests().size(), 1u);
}

TEST_F(StartPageInTheEngine, RefusedConnectionGivesTheWelcomePage)
{
    ActivateAgainst("http://127.0.0.1:" + std::to_string(testing::RefusingPort()) + "/start.htm");
    ExpectWelcomePage();
}

TEST_F(StartPageInTheEngine, ServerThatNeverAnswersIsGivenUpAtTheTimeLimit)
{
    SilentServer server;
    settings.StartPageFetchLimitMs = 1500;
    ActivateAgainst(server.Url("/start.htm"));
    ExpectWelcomePage();
}

}  // namespace
}  // namespace velastrom
