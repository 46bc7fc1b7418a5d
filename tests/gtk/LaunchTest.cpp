// Product links on the real dashboard: the GTK window, WebKit showing the
// start page from memory, the Linux platform with a register of the test's
// own, and real mouse clicks on the display.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "GtkTestSupport.h"
#include "app/PVelastrom.h"
#include "app/gtk/GtkDashboardView.h"
#include "app/gtk/GtkApplication.h"
#include "browser/webkit/WebKitBrowser.h"
#include "platform/linux/LinuxPlatform.h"
#include "startpage/StartPage.h"

namespace velastrom {
namespace {

namespace fs = std::filesystem;
using testing::LoopbackServer;
using testing::SandboxPlatform;
using testing::OpenDisplay;
using testing::PumpFor;
using testing::PumpUntil;


std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void WriteFile(const fs::path& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

const std::string AlfaCode = "TR-ALFA000000001";  // installed
const std::string BetaCode = "TR-BETA000000002";  // not installed

// The dashboard on the display, showing a start page with three links, each
// a block 400 x 80 at a known place in the visible browser.
struct ProductLinks : ::testing::Test {
    fs::path sandbox;
    fs::path productFolder;
    LoopbackServer products;  // the start page and the products' pages
    std::unique_ptr<SandboxPlatform> platform;
    gtk::GtkApplication app;
    std::unique_ptr<TFVelastrom> form;

    void SetUp() override
    {
        ASSERT_TRUE(OpenDisplay()) << "these tests need an X display";
        char folder[] = "/tmp/velastrom-launch-XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        sandbox = folder;

        // The product: a program of the test's own in a folder whose name
        // holds a blank, recording where it runs and what it was given.
        productFolder = sandbox / "Alfa Prodotti";
        fs::create_directories(productFolder);
        const fs::path program = productFolder / "avvia alfa.sh";
        WriteFile(program, "#!/bin/sh\n{ pwd; echo \"$#\"; for a in \"$@\"; do echo \"$a\"; done; } > \"" +
                               (sandbox / "avviato.tmp").string() + "\"\nmv \"" + (sandbox / "avviato.tmp").string() +
                               "\" \"" + (sandbox / "avviato.txt").string() + "\"\n");
        fs::permissions(program, fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read);

        const fs::path programFiles = sandbox / "Programmi";
        const fs::path shared = programFiles / "TavRolendi" / "SharedDataBase";
        fs::create_directories(shared);
        WriteFile(shared / "TavRolendiDataBase.INI",
                  "[avvia alfa.sh]\r\nINI_REGISTRY_CODE=" + AlfaCode + "\r\nINI_REGISTRY_PATH=" + productFolder.string() +
                      "\r\nINI_REGISTRY_9001=1\r\nINI_REGISTRY_YEAR=2024\r\n");
        platform = std::make_unique<SandboxPlatform>(programFiles.string());

        products.Add("/prodotti/alfa.htm", {"text/html", "<html><body>Alfa in vendita</body></html>", 200, 0});
        products.Add("/prodotti/beta.htm", {"text/html", "<html><body>Beta in vendita</body></html>", 200, 0});
        products.Add("/ordinario.htm", {"text/html", "<html><body>Pagina ordinaria</body></html>", 200, 0});
        const std::string style = "position:absolute;left:0px;width:400px;height:80px;display:block;";
        const std::string page =
            "<!--0000 0099 intestazione-->\r\n"
            "<!-- " + std::string(ReadyMarker) + " -->\r\n"
            "<html><head><style>#imgnav{color:gray} #imgrun{color:green}</style></head><body>\r\n"
            "<a href=\"" + AlfaCode + "|" + products.Url("/prodotti/alfa.htm") + "\" style=\"" + style +
            "top:0px\">Alfa</a><div id=\"imgnav\">Installa</div>\r\n"
            "<a href=\"" + BetaCode + "|" + products.Url("/prodotti/beta.htm") + "\" style=\"" + style +
            "top:100px\">Beta</a><div id=\"imgnav\">Installa</div>\r\n"
            "<a href=\"" + products.Url("/ordinario.htm") + "\" style=\"" + style + "top:200px\">Ordinario</a>\r\n"
            "</body></html>\r\n";
        products.Add("/TavRolendiVelastromRootOnline.htm", {"text/html", page, 200, 0});
        TVelastromSettings settings;
        settings.StartPageFetchUrl = products.Url("/TavRolendiVelastromRootOnline.htm");

        app.Initialize();
        form = std::make_unique<TFVelastrom>(app, *platform, settings);
        View().Show();
        // The window's activation runs the first activation; without one
        // (no window manager to give the focus) the test activates it.
        if (!PumpUntil([&] { return form->Started(); }, 3000))
            DispatchEvent(app, [&] { form->FormActivate(); });
        ASSERT_TRUE(PumpUntil([&] { return form->PageStream() != nullptr && Browser().ReadyState() >= 4; }, 30000));
        ASSERT_NE(form->InstalledCodes(), nullptr);
        ASSERT_EQ(form->InstalledCodes()->Count(), 1u);
        ASSERT_TRUE(Requested("/TavRolendiVelastromRootOnline.htm"));
        PumpFor(500);  // the page's layout settles
        shownUri_ = Uri();
    }

    void TearDown() override
    {
        form.reset();
        std::error_code ignored;
        fs::remove_all(sandbox, ignored);
    }

    gtk::GtkDashboardView& View() { return static_cast<gtk::GtkDashboardView&>(form->View()); }
    IWebBrowser& Browser() { return form->View().WebBrowser(); }
    std::string Uri()
    {
        auto* view = WEBKIT_WEB_VIEW(static_cast<webkit::WebKitBrowser&>(Browser()).Widget());
        const char* uri = webkit_web_view_get_uri(view);
        return uri ? uri : "";
    }

    // A real click of the first mouse button inside the visible browser.
    void ClickInBrowser(int x, int y)
    {
        GtkWidget* widget = static_cast<webkit::WebKitBrowser&>(Browser()).Widget();
        GtkWidget* toplevel = gtk_widget_get_toplevel(widget);
        int wx = 0, wy = 0, ox = 0, oy = 0;
        ASSERT_TRUE(gtk_widget_translate_coordinates(widget, toplevel, 0, 0, &wx, &wy));
        gdk_window_get_origin(gtk_widget_get_window(toplevel), &ox, &oy);
        const std::string command = "xdotool mousemove " + std::to_string(ox + wx + x) + " " +
                                    std::to_string(oy + wy + y) + " click 1";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
    }

    bool Requested(const std::string& path)
    {
        const auto requests = products.Requests();
        return std::find(requests.begin(), requests.end(), path) != requests.end();
    }

    std::string shownUri_;
};

TEST_F(ProductLinks, InstalledProductStartsAndThePageStays)
{
    const fs::path record = sandbox / "avviato.txt";
    ClickInBrowser(200, 40);
    ASSERT_TRUE(PumpUntil([&] { return fs::exists(record); }, 20000)) << "the product did not start";

    std::istringstream lines(ReadFile(record));
    std::string workingDirectory, argumentCount;
    std::getline(lines, workingDirectory);
    std::getline(lines, argumentCount);
    EXPECT_EQ(workingDirectory, productFolder.string()) << "started in its installation folder";
    EXPECT_EQ(argumentCount, "0") << "started without arguments";

    // Back to normal once both pauses have passed; the page is the same one.
    ASSERT_TRUE(PumpUntil([&] { return View().Enabled(); }, 20000));
    EXPECT_EQ(app.Cursor(), TCursor::Default);
    PumpFor(500);
    EXPECT_EQ(Uri(), shownUri_);
    EXPECT_FALSE(Requested("/prodotti/alfa.htm")) << "the product's address was not opened";
    const fs::path exe = fs::read_symlink("/proc/self/exe");
    EXPECT_EQ(fs::current_path(), exe.parent_path()) << "the executable's folder is current again";
}

TEST_F(ProductLinks, NotInstalledProductOpensItsAddress)
{
    ClickInBrowser(200, 140);
    ASSERT_TRUE(PumpUntil([&] { return Requested("/prodotti/beta.htm"); }, 15000));
    ASSERT_TRUE(PumpUntil([&] { return Uri() == products.Url("/prodotti/beta.htm"); }, 15000)) << Uri();
    EXPECT_FALSE(fs::exists(sandbox / "avviato.txt"));
}

TEST_F(ProductLinks, OrdinaryLinkProceeds)
{
    ClickInBrowser(200, 240);
    ASSERT_TRUE(PumpUntil([&] { return Uri() == products.Url("/ordinario.htm"); }, 15000)) << Uri();
    EXPECT_TRUE(Requested("/ordinario.htm"));
    EXPECT_FALSE(fs::exists(sandbox / "avviato.txt"));
}

}  // namespace
}  // namespace velastrom
