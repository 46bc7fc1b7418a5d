// The whole Windows program end to end: its entry routine with the real
// application object, window and platform services, the register read with
// GetPrivateProfileStringA below the prefix's Program Files folder, products
// started with ShellExecuteA, the placement file beside the executable, and
// the program's own browser host creating the stand-in control with
// CoCreateInstance. The start page comes from a server of the test's own on
// loopback.
#include "standin/PageServer.h"

#include "Win32TestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "app/PVelastrom.h"
#include "platform/win32/Win32Platform.h"
#include "products/Register.h"
#include "standin/StandInBrowser.h"
#include "startpage/StartPage.h"

namespace velastrom::win32::test {
namespace {

using ::testing::ElementsAreArray;
using ::testing::Pair;

// --- the world the program meets --------------------------------------------------------

constexpr std::size_t Root = 0;     // the covered browser, made first
constexpr std::size_t Visible = 1;  // WebBrowser
constexpr const char* StartPath = "/TavRolendiVelastromRootOnline.htm";
constexpr const char* InstalledCode = "TR-NAV0000000001";
constexpr const char* MissingCode = "TR-CAR0000000002";

std::string Folder(const std::string& path) { return path.substr(0, path.rfind('\\')); }

std::string SelfPath()
{
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    return self;
}

std::string ProgramFilesDir()
{
    HKEY key = nullptr;
    std::string result;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion", 0, KEY_READ, &key) == 0) {
        char value[MAX_PATH] = {};
        DWORD size = sizeof value;
        if (RegQueryValueExA(key, "ProgramFilesDir", nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size) == 0)
            result = value;
        RegCloseKey(key);
    }
    return result;
}

// Processes messages until the condition holds, for at most the given time
// (a bound against a hang, not a measure).
bool WaitFor(const std::function<bool()>& condition, DWORD limitMs = 20000)
{
    const DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > limitMs)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return true;
}

void Click(HWND window)
{
    SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
    SendMessageA(window, WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
}

// The start page as the maker publishes it: header (scan lines 2 to 6), the
// marker, an installed product, a product that is not installed, an
// ordinary link.
std::string StartPage(const PageServer& server)
{
    return "<!--0002-0006-->\r\n"
           "<!--####TAV-ROLENDI-VELASTROM-HTML-READY####-->\r\n"
           "<html><head><title>Velastrom</title></head><body>\r\n"
           "<p><a href=\"" + std::string(InstalledCode) + "|" + server.Url("/naviga.htm") +
           "\">Naviga Rotte</a><div id=\"imgnav\">Avvia</div></p>\r\n"
           "<p><a href=\"" + MissingCode + "|" + server.Url("/cartografo.htm") +
           "\">Cartografo</a><div id=\"imgnav\">Scopri</div></p>\r\n"
           "<p><a href=\"" + server.Url("/notizie.htm") + "\">Notizie</a></p>\r\n"
           "</body></html>\r\n";
}

// The nine rows every loaded page gets on its body's style.
const std::vector<std::pair<std::string, std::string>> StyleRows = {
    {"overflowX", "hidden"},
    {"overflowY", "hidden"},
    {"scrollbarArrowColor", "#000000"},
    {"scrollbar3dLightColor", "#F0F5D5"},
    {"scrollbarDarkShadowColor", "#B0D553"},
    {"scrollbarFaceColor", "#B0D553"},
    {"scrollbarHighlightColor", "#B0D553"},
    {"scrollbarShadowColor", "#B0D553"},
    {"scrollbarTrackColor", "#F0F5D5"},
};

struct ProgramEndToEnd : ::testing::Test {
    std::string placement = Folder(SelfPath()) + "\\TavRolendiVelastromRoot.ini";
    std::string productFolder;
    std::string productNote;
    // The start page's address and time limit that Start passes.
    TVelastromSettings settings;

    void SetUp() override
    {
        // The test's own apartment, so the stand-in's class stays registered
        // while the program initialises and uninitialises its own.
        ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
        DeleteFileA(placement.c_str());

        // The register below the prefix's Program Files folder, with one
        // installed product: a program of the test's own in its folder.
        const std::string programFiles = ProgramFilesDir();
        ASSERT_FALSE(programFiles.empty());
        const std::string shared = programFiles + "\\TavRolendi\\SharedDataBase";
        productFolder = programFiles + "\\TavRolendi\\NavigaRotte";
        CreateDirectoryA((programFiles + "\\TavRolendi").c_str(), nullptr);
        CreateDirectoryA(shared.c_str(), nullptr);
        CreateDirectoryA(productFolder.c_str(), nullptr);
        const std::string product = VELASTROM_TEST_PRODUCT;
        ASSERT_TRUE(CopyFileA((Folder(SelfPath()) + "\\" + product).c_str(), (productFolder + "\\" + product).c_str(),
                              FALSE));
        productNote = productFolder + "\\avvio.txt";
        DeleteFileA(productNote.c_str());
        const std::string registerFile = shared + "\\" + ProductRegisterFile;
        DeleteFileA(registerFile.c_str());
        WritePrivateProfileStringA(product.c_str(), INI_REGISTRY_CODE, InstalledCode, registerFile.c_str());
        WritePrivateProfileStringA(product.c_str(), INI_REGISTRY_PATH, productFolder.c_str(), registerFile.c_str());
        WritePrivateProfileStringA(product.c_str(), INI_REGISTRY_YEAR, "2026", registerFile.c_str());
    }
    void TearDown() override
    {
        OleUninitialize();
    }

    // One start of the program as the user starts it: the entry routine on
    // the real application object and platform, the system's browser control
    // (here the stand-in) made by the host. Once the start page is shown the
    // scenario runs from the message loop; it ends with the stop image.
    int Start(const std::function<void(Win32Application&)>& scenario, std::vector<std::string>& boxes)
    {
        Win32Platform platform;
        Win32Application app(GetModuleHandleA(nullptr));
        app.SetShowCommand(SW_SHOWNORMAL);
        MessageBoxCatcher catcher;
        bool started = false;
        standin::SetOnLoad([&](std::size_t control) {
            if (control == Visible && !started) {
                started = true;
                PostStep([&] { scenario(app); });
            }
        });
        const int code = VelastromNavigazione(app, platform, settings);
        standin::SetOnLoad(nullptr);
        for (const auto& box : catcher.boxes)
            boxes.push_back(box.text);
        return code;
    }

    static void ExpectEveryReferenceBack()
    {
        // The host released every object the control handed out, and the
        // control let go of the host's site, frame and event receiver.
        EXPECT_EQ(standin::OutstandingReferences(), 0);
        EXPECT_EQ(standin::LiveObjects(), 0);
        EXPECT_EQ(standin::HostReferencesHeld(), 0);
    }
};

TEST_F(ProgramEndToEnd, FetchesOnceMarksLaunchesNavigatesStylesAndKeepsThePlace)
{
    PageServer server;
    const std::string page = StartPage(server);
    server.Put(StartPath, page);
    server.Put("/cartografo.htm", "<html><body>Cartografo</body></html>");
    server.Put("/notizie.htm", "<html><body>Notizie</body></html>");
    settings.StartPageFetchUrl = server.Url(StartPath);
    // The marked page: the installed product's block switched, nothing else.
    std::string marked = page;
    const std::size_t installedLine = marked.find(InstalledCode);
    marked.replace(marked.find("<div id=\"imgnav\">", installedLine), 17, "<div id=\"imgrun\">");

    std::vector<std::string> boxes;
    RECT movedTo{40, 30, 40 + 900, 30 + 700};
    {
        standin::Registration registration;
        const int code = Start(
            [&](Win32Application& app) {
                // The start page fetched once by the covered browser, saved,
                // marked and shown from memory: byte for byte.
                ASSERT_EQ(standin::ControlCount(), 2u);
                EXPECT_EQ(server.Requests(StartPath), 1);
                EXPECT_EQ(standin::Record(Root).fetched, std::vector<std::string>{server.Url(StartPath)});
                ASSERT_EQ(standin::Record(Root).saves.size(), 1u);
                EXPECT_EQ(standin::Record(Root).saves[0], page);
                ASSERT_EQ(standin::Record(Visible).loads.size(), 1u);
                EXPECT_EQ(standin::Record(Visible).loads[0], marked);
                EXPECT_EQ(standin::DocumentUrl(Root), "about:blank");

                // A click on the installed product: cancelled, and its program
                // started in its installation folder.
                const std::size_t before = standin::Record(Visible).events.size();
                ASSERT_TRUE(standin::ClickLink(Visible, 0));
                const auto& events = standin::Record(Visible).events;
                ASSERT_GT(events.size(), before + 1);
                EXPECT_EQ(events[before + 1],
                          "BeforeNavigate2(about:" + std::string(InstalledCode) + "|" + server.Url("/naviga.htm") +
                              ")=cancelled");
                EXPECT_TRUE(WaitFor([&] { return !ReadWholeFile(productNote).empty(); }));
                const std::string note = ReadWholeFile(productNote);
                EXPECT_EQ(note.substr(0, note.find("\r\n")), productFolder);
                EXPECT_NE(note.find(VELASTROM_TEST_PRODUCT), std::string::npos) << note;
                EXPECT_EQ(server.Requests("/naviga.htm"), 0);
                EXPECT_TRUE(IsWindowEnabled(app.MainView()->Handle()));

                // A product that is not installed: cancelled, and its address
                // opened in the visible browser.
                ASSERT_TRUE(standin::ClickLink(Visible, 1));
                EXPECT_TRUE(WaitFor([&] {
                    return standin::DocumentUrl(Visible) == server.Url("/cartografo.htm") &&
                           standin::ReadyState(Visible) == READYSTATE_COMPLETE;
                }));
                EXPECT_EQ(server.Requests("/cartografo.htm"), 1);
                EXPECT_THAT(standin::Record(Visible).events,
                            ::testing::Contains("BeforeNavigate2(about:" + std::string(MissingCode) + "|" +
                                                server.Url("/cartografo.htm") + ")=cancelled"));

                // The home image: the snapshot again, without a fetch.
                const int completes = standin::Record(Visible).documentCompletes;
                Click(app.MainView()->ImageHomeControl().Handle());
                ASSERT_EQ(standin::Record(Visible).loads.size(), 2u);
                EXPECT_EQ(standin::Record(Visible).loads[1], marked);
                EXPECT_EQ(server.Requests(StartPath), 1);
                // The blank page and the page from memory, each completed.
                EXPECT_TRUE(WaitFor([&] { return standin::Record(Visible).documentCompletes == completes + 2; }));

                // An ordinary link on the page shown from memory proceeds.
                ASSERT_TRUE(standin::ClickLink(Visible, 2));
                EXPECT_TRUE(WaitFor([&] {
                    return standin::DocumentUrl(Visible) == server.Url("/notizie.htm") &&
                           standin::ReadyState(Visible) == READYSTATE_COMPLETE;
                }));
                EXPECT_THAT(standin::Record(Visible).events,
                            ::testing::Contains("BeforeNavigate2(" + server.Url("/notizie.htm") + ")"));

                // The user moves the window; the stop image closes the program.
                MoveWindow(app.MainView()->Handle(), movedTo.left, movedTo.top, movedTo.right - movedTo.left,
                           movedTo.bottom - movedTo.top, TRUE);
                Click(app.MainView()->ImageStopControl().Handle());
            },
            boxes);

        EXPECT_EQ(code, 0);
        EXPECT_THAT(boxes, ::testing::IsEmpty());
        // The stop image blanked the visible browser before the close.
        const auto& events = standin::Record(Visible).events;
        ASSERT_FALSE(events.empty());
        EXPECT_THAT(std::vector<std::string>(events.end() - std::min<std::ptrdiff_t>(events.size(), 8), events.end()),
                    ::testing::Contains("Navigate(about:blank)"));

        // Every document complete of the visible browser styled its body with
        // the nine rows and moved the focus; the covered browser is never styled.
        const auto& visible = standin::Record(Visible);
        EXPECT_GE(visible.documentCompletes, 8);
        std::vector<std::pair<std::string, std::string>> expected;
        for (int i = 0; i < visible.documentCompletes; ++i)
            expected.insert(expected.end(), StyleRows.begin(), StyleRows.end());
        EXPECT_THAT(visible.styles, ElementsAreArray(expected));
        EXPECT_GE(visible.focusCalls, visible.documentCompletes);
        EXPECT_TRUE(standin::Record(Root).styles.empty());

        EXPECT_FALSE(standin::Alive(Root));
        EXPECT_FALSE(standin::Alive(Visible));
        ExpectEveryReferenceBack();
    }

    // The placement written at the close.
    char value[32] = {};
    GetPrivateProfileStringA("SCREEN", "L", "", value, sizeof value, placement.c_str());
    EXPECT_STREQ(value, "40");
    GetPrivateProfileStringA("SCREEN", "W", "", value, sizeof value, placement.c_str());
    EXPECT_STREQ(value, "900");

    // The second start: the window where it was left; the page fetched anew.
    {
        standin::Registration registration;
        RECT seen{};
        const int code = Start(
            [&](Win32Application& app) {
                GetWindowRect(app.MainView()->Handle(), &seen);
                Click(app.MainView()->ImageStopControl().Handle());
            },
            boxes);
        EXPECT_EQ(code, 0);
        EXPECT_EQ(seen.left, movedTo.left);
        EXPECT_EQ(seen.top, movedTo.top);
        EXPECT_EQ(seen.right - seen.left, movedTo.right - movedTo.left);
        EXPECT_EQ(seen.bottom - seen.top, movedTo.bottom - movedTo.top);
        EXPECT_EQ(server.Requests(StartPath), 2);
        ExpectEveryReferenceBack();
    }
    EXPECT_THAT(boxes, ::testing::IsEmpty());
}

TEST_F(ProgramEndToEnd, WithoutAReadyStartPageTheWelcomePageIsShown)
{
    enum class Server { Down, Answers, NeverAnswers };
    struct Case {
        const char* name;
        Server server;
        std::string page;
    };
    const Case cases[] = {
        {"server down", Server::Down, ""},
        {"server that never answers", Server::NeverAnswers, ""},
        {"page without the marker", Server::Answers,
         "<!--0002-0006-->\r\n<html><body>Manutenzione</body></html>\r\n"},
        {"marker on the first line only", Server::Answers,
         "<!--####TAV-ROLENDI-VELASTROM-HTML-READY####-->\r\n<html><body>Manutenzione</body></html>\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PageServer server;
        server.Put(StartPath, c.page);
        settings.StartPageFetchUrl = server.Url(StartPath);
        if (c.server == Server::Down)
            server.Close();
        if (c.server == Server::NeverAnswers) {
            server.Hang();
            settings.StartPageFetchLimitMs = 1000;
        }
        standin::Registration registration;
        std::vector<std::string> boxes;
        const int code = Start(
            [&](Win32Application& app) {
                ASSERT_EQ(standin::Record(Visible).loads.size(), 1u);
                EXPECT_EQ(standin::Record(Visible).loads[0], FallbackPageHtml + "\r\n");
                // The covered browser's fetch was stopped at the time limit,
                // and nothing of it was saved.
                const auto& root = standin::Record(Root);
                EXPECT_EQ(std::count(root.events.begin(), root.events.end(), "Stop"),
                          c.server == Server::NeverAnswers ? 1 : 0);
                if (c.server == Server::NeverAnswers) {
                    EXPECT_TRUE(root.saves.empty());
                }
                // The fetch still waiting on the server ends with it.
                server.Close();
                Click(app.MainView()->ImageStopControl().Handle());
            },
            boxes);
        settings.StartPageFetchLimitMs = DefaultStartPageFetchLimitMs;
        EXPECT_EQ(code, 0);
        EXPECT_THAT(boxes, ::testing::IsEmpty());
        EXPECT_EQ(standin::Record(Root).fetched, std::vector<std::string>{server.Url(StartPath)});
        // The welcome page was styled like any page.
        EXPECT_GE(standin::Record(Visible).styles.size(), StyleRows.size());
        ExpectEveryReferenceBack();
    }
}

}  // namespace
}  // namespace velastrom::win32::test
