// The WebKit browser against pages served on 127.0.0.1: loading and ready
// states, the saved bytes, pages shown from memory, link reports, the style
// object and the focus.
#include <gtest/gtest.h>

#include <algorithm>

#include "GtkTestSupport.h"
#include "browser/webkit/WebKitBrowser.h"
#include "common/Error.h"

namespace velastrom {
namespace {

using testing::LoopbackServer;
using testing::OpenDisplay;
using testing::PumpFor;
using testing::PumpUntil;
using webkit::WebKitBrowser;

struct RealBrowser : ::testing::Test {
    void SetUp() override
    {
        ASSERT_TRUE(OpenDisplay()) << "these tests need an X display";
        window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        gtk_window_set_default_size(GTK_WINDOW(window), 800, 600);
        browser = std::make_unique<WebKitBrowser>();
        gtk_container_add(GTK_CONTAINER(window), browser->Widget());
        gtk_widget_show_all(window);
        browser->SetOnBeforeNavigate2([this](const std::string& url, bool& cancel) {
            navigations.push_back(url);
            if (onBeforeNavigate)
                onBeforeNavigate(url, cancel);
        });
        browser->SetOnDocumentComplete([this](const std::string& url) { completed.push_back(url); });
    }

    void TearDown() override
    {
        browser.reset();
        if (window)
            gtk_widget_destroy(window);
    }

    // Waits until the browser is interactive; false at the deadline.
    bool WaitInteractive() { return PumpUntil([&] { return browser->ReadyState() >= READYSTATE_INTERACTIVE; }); }
    bool WaitComplete(std::size_t count = 1)
    {
        return PumpUntil([&] { return completed.size() >= count && browser->ReadyState() == READYSTATE_COMPLETE; });
    }

    std::string Saved()
    {
        TMemoryStream stream;
        browser->Save(stream);
        stream.Seek(0);
        return stream.ReadToEnd();
    }

    void ShowFromMemory(const std::string& html)
    {
        TMemoryStream stream;
        stream.Write(html.data(), html.size());
        stream.Seek(0);
        const std::size_t before = completed.size();
        browser->Load(stream);
        ASSERT_TRUE(WaitComplete(before + 1));
    }

    std::string Script(const std::string& script) { return browser->RunScript(script); }

    // Turns the mouse wheel over the middle of the page.
    void WheelDown()
    {
        ASSERT_TRUE(PumpUntil([&] { return gtk_widget_get_mapped(window); }));
        int x = 0, y = 0;
        gdk_window_get_origin(gtk_widget_get_window(browser->Widget()), &x, &y);
        GtkAllocation area;
        gtk_widget_get_allocation(browser->Widget(), &area);
        const std::string command = "xdotool mousemove " + std::to_string(x + area.x + area.width / 2) + " " +
                                    std::to_string(y + area.y + area.height / 2) + " click --repeat 3 5";
        ASSERT_EQ(std::system(command.c_str()), 0);
    }
    // The body's text without the white space that ends it.
    std::string BodyText() { return Script("document.body.textContent.replace(/\\s+$/, '')"); }

    LoopbackServer server;
    GtkWidget* window = nullptr;
    std::unique_ptr<WebKitBrowser> browser;
    std::vector<std::string> navigations;
    std::vector<std::string> completed;
    std::function<void(const std::string&, bool&)> onBeforeNavigate;
};

struct ServedPage {
    const char* name;
    const char* contentType;
    std::string body;
    std::string text;  // the body's text as the engine shows it, UTF-8
};

TEST_F(RealBrowser, NavigateReturnsAtOnceAndSaveGivesTheBytesAsServed)
{
    const ServedPage pages[] = {
        {"utf8-crlf", "text/html; charset=utf-8",
         "<html>\r\n<!-- line two -->\r\n<body>Perch\xC3\xA9 s\xC3\xAC</body></html>\r\n", "Perch\xC3\xA9 s\xC3\xAC"},
        {"cp1252-lf", "text/html",
         "<html>\n<meta charset=windows-1252>\n<body>caff\xE8 \x80 5 \xE0 te</body></html>\n",
         "caff\xC3\xA8 \xE2\x82\xAC 5 \xC3\xA0 te"},
        {"no-charset-cr", "text/html", "<html>\r<body>citt\xE0</body>\r</html>", "citt\xC3\xA0"},
    };
    for (const auto& page : pages) {
        SCOPED_TRACE(page.name);
        const std::string path = std::string("/") + page.name;
        server.Add(path, {page.contentType, page.body});
        const std::size_t before = completed.size();

        browser->Navigate(server.Url(path));
        EXPECT_EQ(browser->ReadyState(), READYSTATE_LOADING) << "Navigate must return before the page loads";

        ASSERT_TRUE(WaitInteractive());
        EXPECT_TRUE(browser->HasDocument());
        EXPECT_EQ(Saved(), page.body);
        ASSERT_TRUE(WaitComplete(before + 1));
        EXPECT_EQ(completed.back(), server.Url(path));
        EXPECT_EQ(BodyText(), page.text);
    }
}

TEST_F(RealBrowser, InteractiveOnlyOnceTheMainResourceHasArrivedInFull)
{
    std::string body = "<html>\n<body>\n";
    while (body.size() < 300000)
        body += "<p>riga di prova della pagina iniziale</p>\n";
    body += "<p id=end>fine</p></body></html>\n";
    server.Add("/slow", {"text/html", body, 200, 4096});

    browser->Navigate(server.Url("/slow"));
    ASSERT_TRUE(PumpUntil([&] { return browser->HasDocument(); })) << "the first part commits the document";
    PumpFor(300);
    EXPECT_LT(browser->ReadyState(), READYSTATE_INTERACTIVE) << "the rest has not been sent yet";

    server.Release();
    ASSERT_TRUE(WaitInteractive());
    EXPECT_EQ(Saved(), body);
}

TEST_F(RealBrowser, EveryFrameCompletesAheadOfItsPage)
{
    server.Add("/frames", {"text/html", "<html><body><iframe src=\"/left\"></iframe>"
                                        "<iframe src=\"/right\"></iframe></body></html>"});
    server.Add("/left", {"text/html", "<html><body>sinistra</body></html>"});
    server.Add("/right", {"text/html", "<html><body>destra</body></html>"});
    browser->Navigate(server.Url("/frames"));
    ASSERT_TRUE(WaitComplete(3));
    PumpFor(200);
    ASSERT_EQ(completed.size(), 3u);
    std::vector<std::string> frames(completed.begin(), completed.begin() + 2);
    std::sort(frames.begin(), frames.end());
    EXPECT_EQ(frames, (std::vector<std::string>{server.Url("/left"), server.Url("/right")}));
    EXPECT_EQ(completed.back(), server.Url("/frames")) << "the page itself comes last";
    EXPECT_EQ(navigations.size(), 3u) << "frames navigate too";
}

TEST_F(RealBrowser, SaveWithoutADocumentIsNotSupported)
{
    TMemoryStream stream;
    try {
        browser->Save(stream);
        FAIL() << "Save gave bytes without a document";
    } catch (const Error& failure) {
        EXPECT_STREQ(failure.what(), "Interface not supported");
    }
    EXPECT_EQ(stream.Size(), 0u);
}

TEST_F(RealBrowser, FailedLoadsStillEndWithADocument)
{
    server.Add("/missing-page-body", {"text/html", "unused"});
    const struct {
        const char* name;
        std::string url;
        bool refused;
    } cases[] = {
        {"connection refused", "http://127.0.0.1:" + std::to_string(testing::RefusingPort()) + "/start.html", true},
        {"404 is an ordinary page", server.Url("/nowhere"), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::size_t before = completed.size();
        const std::size_t asked = navigations.size();
        browser->Navigate(c.url);
        ASSERT_TRUE(WaitInteractive());
        EXPECT_TRUE(browser->HasDocument());
        ASSERT_TRUE(WaitComplete(before + 1));
        EXPECT_EQ(completed.back(), c.url);
        if (c.refused)
            EXPECT_NE(Saved().find(c.url), std::string::npos) << "a page of the browser's own names the address";
        else
            EXPECT_EQ(Saved(), "<html><body>Not found</body></html>") << "the 404 page's own bytes";
        PumpFor(200);
        EXPECT_EQ(completed.size(), before + 1) << "one completed document per navigation";
        EXPECT_EQ(navigations.size(), asked + 1) << "one BeforeNavigate2 per navigation";
    }
}

TEST_F(RealBrowser, StopLeavesADocument)
{
    std::string body(100000, 'x');
    body = "<html><body>" + body + "</body></html>";
    server.Add("/held", {"text/html", body, 200, 10});
    server.Add("/first", {"text/html", "<html><body>prima</body></html>"});

    for (const bool earlierPage : {false, true}) {
        SCOPED_TRACE(earlierPage ? "after an earlier page" : "as the first load");
        if (earlierPage) {
            browser->Navigate(server.Url("/first"));
            ASSERT_TRUE(WaitComplete(completed.size() + 1));
        }
        const std::size_t requests = server.Requests().size();
        browser->Navigate(server.Url("/held"));
        ASSERT_TRUE(PumpUntil([&] { return server.Requests().size() > requests; }));
        browser->Stop();
        EXPECT_GE(browser->ReadyState(), READYSTATE_INTERACTIVE);
        EXPECT_TRUE(browser->HasDocument());
        PumpFor(200);
        EXPECT_GE(browser->ReadyState(), READYSTATE_INTERACTIVE) << "late events of the stopped load";
    }
    server.Release();
}

struct MemoryPage {
    const char* name;
    std::string bytes;
    std::size_t skip;  // bytes before the stream's position
    std::string text;  // the body's text as shown, UTF-8
};

TEST_F(RealBrowser, LoadShowsTheBytesInTheCharsetThePageNames)
{
    const MemoryPage pages[] = {
        {"names none: Windows-1252", "<html><body>caf\xE9 \x80 \x93x\x94</body></html>", 0,
         "caf\xC3\xA9 \xE2\x82\xAC \xE2\x80\x9Cx\xE2\x80\x9D"},
        {"meta charset", "<html><head><meta charset=\"utf-8\"></head><body>caf\xC3\xA9</body></html>", 0,
         "caf\xC3\xA9"},
        {"meta charset without quotes", "<html><head><meta charset=utf-8></head><body>TR-\xC3\xA8|x</body></html>", 0,
         "TR-\xC3\xA8|x"},
        {"meta http-equiv", "<html><head><meta http-equiv=Content-Type content='text/html; charset=UTF-8'>"
                            "</head><body>\xE2\x82\xAC</body></html>", 0, "\xE2\x82\xAC"},
        {"UTF-8 mark", "\xEF\xBB\xBF<html><body>citt\xC3\xA0</body></html>", 0, "citt\xC3\xA0"},
        {"UTF-16 mark", std::string("\xFF\xFE<\0b\0>\0\xE8\0<\0/\0b\0>\0", 20), 0, "\xC3\xA8"},
        {"from the stream's position", "GARBAGE<html><body>ok \xE8</body></html>", 7, "ok \xC3\xA8"},
    };
    for (const auto& page : pages) {
        SCOPED_TRACE(page.name);
        TMemoryStream stream;
        stream.Write(page.bytes.data(), page.bytes.size());
        stream.Seek(page.skip);
        const std::size_t before = completed.size();
        const std::size_t asked = navigations.size();
        browser->Load(stream);
        ASSERT_TRUE(WaitComplete(before + 1));
        EXPECT_EQ(BodyText(), page.text);
        EXPECT_EQ(completed.back(), "about:blank");
        EXPECT_EQ(navigations.size(), asked) << "showing from memory is no navigation";
        EXPECT_EQ(Saved(), page.bytes.substr(page.skip));
    }
}

struct LinkCase {
    const char* name;
    std::string href;      // as written in the page
    std::string target;    // the link's target attribute
    std::string reported;  // what BeforeNavigate2 gets
    bool cancel;
    const char* served;    // the path the server then sees, if any
};

TEST_F(RealBrowser, LinksOfAPageFromMemoryReportTheirHrefAsWritten)
{
    server.Add("/next", {"text/html", "<html><body>dopo</body></html>"});
    const std::string host = "127.0.0.1:" + std::to_string(server.Port());
    const LinkCase cases[] = {
        {"product link", "TR-ABCDEFGHIJKLM|http://" + host + "/product", "",
         "about:TR-ABCDEFGHIJKLM|http://" + host + "/product", true, nullptr},
        {"spaces, query and fragment", "TR-X|http://" + host + "/a b?c=1&d=%41#frag", "",
         "about:TR-X|http://" + host + "/a b?c=1&d=%41#frag", true, nullptr},
        {"accented and non-Windows-1252 letters", "TR-\xC3\xA8|http://" + host + "/\xE4\xB8\xAD", "",
         "about:TR-\xE8|http://" + host + "/?", true, nullptr},
        {"product link for a new window", "TR-NEW|http://" + host + "/product", "_blank",
         "about:TR-NEW|http://" + host + "/product", true, nullptr},
        {"ordinary absolute link", "http://" + host + "/next", "", "http://" + host + "/next", false, "/next"},
        {"ordinary link for a new window", "http://" + host + "/next", "_blank", "http://" + host + "/next", false,
         "/next"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ShowFromMemory("<html><head><meta charset=utf-8></head><body><a id=l href=\"" + c.href + "\" target=\"" +
                       c.target + "\">link</a></body></html>");
        onBeforeNavigate = [&](const std::string&, bool& cancel) { cancel = c.cancel; };
        const std::size_t asked = navigations.size();
        const std::size_t before = completed.size();
        const std::size_t requests = server.Requests().size();

        Script("document.getElementById('l').click(); 'clicked'");
        ASSERT_TRUE(PumpUntil([&] { return navigations.size() > asked; }));
        EXPECT_EQ(navigations.back(), c.reported);
        if (c.served) {
            ASSERT_TRUE(WaitComplete(before + 1));
            EXPECT_EQ(completed.back(), "http://" + host + c.served);
            EXPECT_EQ(server.Requests().back(), c.served);
            EXPECT_EQ(navigations.size(), asked + 1) << "one report per navigation";
        } else {
            PumpFor(300);
            EXPECT_EQ(server.Requests().size(), requests) << "a cancelled link loads nothing";
            EXPECT_EQ(Script("document.getElementById('l') ? 'still here' : 'gone'"), "still here");
            EXPECT_EQ(browser->ReadyState(), READYSTATE_COMPLETE);
        }
        onBeforeNavigate = nullptr;
    }
}

TEST_F(RealBrowser, AHandlerMayCancelAndNavigateTheSameBrowser)
{
    server.Add("/product-site", {"text/html", "<html><body>prodotto</body></html>"});
    const std::string address = server.Url("/product-site");
    ShowFromMemory("<html><body><a id=l href=\"TR-CODE|" + address + "\">p</a></body></html>");
    onBeforeNavigate = [&](const std::string& url, bool& cancel) {
        if (url.rfind("about:TR-CODE|", 0) == 0) {
            cancel = true;
            browser->Navigate(url.substr(url.find('|') + 1));
        }
    };
    const std::size_t before = completed.size();
    Script("document.getElementById('l').click(); 1");
    ASSERT_TRUE(WaitComplete(before + 1));
    EXPECT_EQ(completed.back(), address);
    ASSERT_GE(navigations.size(), 2u);
    EXPECT_EQ(navigations[navigations.size() - 2], "about:TR-CODE|" + address);
    EXPECT_EQ(navigations.back(), address) << "Navigate raises BeforeNavigate2 as well";
    EXPECT_EQ(BodyText(), "prodotto");
}

TEST_F(RealBrowser, ARealMouseClickOnAProductLinkIsReported)
{
    ShowFromMemory("<html><body style='margin:0'><a id=l href=\"TR-MOUSE|http://127.0.0.1:9/x\" "
                   "style='display:block;width:200px;height:100px;background:#ccc'>p</a></body></html>");
    ASSERT_TRUE(PumpUntil([&] { return gtk_widget_get_mapped(window); }));
    PumpFor(200);
    onBeforeNavigate = [](const std::string&, bool& cancel) { cancel = true; };
    int x = 0, y = 0;
    gdk_window_get_origin(gtk_widget_get_window(browser->Widget()), &x, &y);
    GtkAllocation area;
    gtk_widget_get_allocation(browser->Widget(), &area);
    const std::string command = "xdotool mousemove " + std::to_string(x + area.x + 50) + " " +
                                std::to_string(y + area.y + 50) + " click 1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    ASSERT_TRUE(PumpUntil([&] { return !navigations.empty(); }));
    EXPECT_EQ(navigations.back(), "about:TR-MOUSE|http://127.0.0.1:9/x");
}

TEST_F(RealBrowser, StyleAssignmentsReachTheLiveDocument)
{
    std::string tall = "<html><body><div style='height:5000px;width:5000px'>alto</div></body></html>";
    server.Add("/tall", {"text/html", tall});
    browser->Navigate(server.Url("/tall"));
    ASSERT_TRUE(WaitComplete());
    // The user can scroll the tall page with the wheel before it is styled.
    WheelDown();
    ASSERT_TRUE(PumpUntil([&] { return Script("String(window.scrollY)") != "0"; })) << "the wheel scrolls";
    Script("window.scrollTo(0, 0); 1");
    ASSERT_TRUE(PumpUntil([&] { return Script("String(window.scrollY)") == "0"; }));
    const struct {
        const char* document;
        const char* body;
        const char* style;
        const char* name;
        const char* value;
    } rows[] = {
        {"Document", "Body", "Style", "OverflowX", "hidden"},
        {"Document", "Body", "Style", "OverflowY", "hidden"},
        {"document", "body", "Style", "scrollbarArrowColor", "#000000"},
        {"document", "body", "Style", "scrollbar3DLIGHTCOLOR", "#F0F5D5"},
        {"document", "body", "Style", "scrollbarDarkShadowColor", "#B0D553"},
        {"document", "body", "Style", "scrollbarFaceColor", "#B0D553"},
        {"DOCUMENT", "BODY", "STYLE", "backgroundColor", "#F0F5D5"},
        {"Document", "body", "style", "SCROLLBARTRACKCOLOR", "#F0F5D5"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_NO_THROW(browser->Automation()->Get(row.document)->Get(row.body)->Get(row.style)->Set(row.name, row.value));
    }
    EXPECT_EQ(Script("getComputedStyle(document.body).overflowX + ' ' + getComputedStyle(document.body).overflowY"),
              "hidden hidden");
    EXPECT_EQ(Script("getComputedStyle(document.body).backgroundColor"), "rgb(240, 245, 213)");
    // Overflow hidden on the body is the viewport's: nothing can be scrolled by the user.
    EXPECT_EQ(Script("getComputedStyle(document.scrollingElement || document.documentElement).overflow === 'hidden' "
                     "|| getComputedStyle(document.body).overflow === 'hidden' ? 'no scroll bars' : 'scroll bars'"),
              "no scroll bars");
    WheelDown();
    PumpFor(500);
    EXPECT_EQ(Script("String(window.scrollY)"), "0") << "after styling the wheel scrolls nothing";
    EXPECT_NE(Script("document.getElementById('__velastromScrollbar').textContent").find("#B0D553"), std::string::npos)
        << "the scroll-bar colours become the page's scroll-bar rules";
}

TEST_F(RealBrowser, TheDocumentModelNamesItsFailures)
{
    const std::string variant = "Variant does not reference an automation object";
    auto message = [](const std::function<void()>& action) -> std::string {
        try {
            action();
        } catch (const Error& failure) {
            return failure.what();
        }
        return "no failure";
    };
    EXPECT_EQ(message([&] { browser->Automation()->Get("Document"); }), variant) << "no document yet";

    ShowFromMemory("<html><body>x</body></html>");
    auto style = [&] { return browser->Automation()->Get("Document")->Get("Body")->Get("Style"); };
    const struct {
        const char* name;
        std::function<void()> action;
        std::string expected;
    } cases[] = {
        {"unknown style property", [&] { style()->Set("Bogus", "1"); },
         "Method 'Bogus' not supported by automation object"},
        {"dashed CSS name", [&] { style()->Set("overflow-x", "hidden"); },
         "Method 'overflow-x' not supported by automation object"},
        {"unknown document property", [&] { browser->Automation()->Get("Document")->Get("Corpo"); },
         "Method 'Corpo' not supported by automation object"},
        {"unknown root property", [&] { browser->Automation()->Get("Documento"); },
         "Method 'Documento' not supported by automation object"},
        {"reading a style property as an object", [&] { style()->Get("overflowX"); },
         "Method 'overflowX' not supported by automation object"},
        {"document without a body",
         [&] {
             Script("document.documentElement.removeChild(document.body); 1");
             style()->Set("overflowX", "hidden");
         },
         variant},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(message(c.action), c.expected);
    }
}

TEST_F(RealBrowser, FocusMovesTheKeyboardIntoTheDocument)
{
    gtk_container_remove(GTK_CONTAINER(window), browser->Widget());
    GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    GtkWidget* entry = gtk_entry_new();
    gtk_box_pack_start(GTK_BOX(box), entry, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(box), browser->Widget(), TRUE, TRUE, 0);
    gtk_container_add(GTK_CONTAINER(window), box);
    gtk_widget_show_all(window);
    gtk_window_present(GTK_WINDOW(window));
    ShowFromMemory("<html><body>testo</body></html>");
    gtk_widget_grab_focus(entry);
    ASSERT_TRUE(gtk_widget_has_focus(entry));

    browser->Focus();
    EXPECT_TRUE(gtk_widget_has_focus(browser->Widget()));
    EXPECT_FALSE(gtk_widget_has_focus(entry));
}

}  // namespace
}  // namespace velastrom
