// The body's style assignments in one round trip, in the real engine: the
// same page, the same error, as the same rows made one late-bound chain at
// a time.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "GtkTestSupport.h"
#include "browser/webkit/WebKitBrowser.h"
#include "common/Error.h"

namespace velastrom {
namespace {

using testing::PumpUntil;
using webkit::WebKitBrowser;

const std::vector<TBodyStyleAssignment> Dashboard = {
    {"Document", "Body", "Style", "OverflowX", "hidden"},
    {"Document", "Body", "Style", "OverflowY", "hidden"},
    {"document", "body", "Style", "scrollbarArrowColor", "#000000"},
    {"document", "body", "Style", "scrollbar3DLIGHTCOLOR", "#F0F5D5"},
    {"document", "body", "Style", "scrollbarDarkShadowColor", "#B0D553"},
    {"document", "body", "Style", "scrollbarFaceColor", "#B0D553"},
    {"document", "body", "Style", "scrollbarHighlightColor", "#B0D553"},
    {"Document", "body", "Style", "scrollbarShadowColor", "#B0D553"},
    {"Document", "body", "Style", "scrollbarTrackColor", "#F0F5D5"},
};

// The dashboard's rows with one row replaced.
std::vector<TBodyStyleAssignment> With(std::size_t index, TBodyStyleAssignment row)
{
    auto rows = Dashboard;
    rows[index] = row;
    return rows;
}

struct BodyStyles : ::testing::Test {
    GtkWidget* window = nullptr;
    std::unique_ptr<WebKitBrowser> browser;
    int completed = 0;

    void SetUp() override
    {
        ASSERT_TRUE(testing::OpenDisplay()) << "these tests need an X display";
        window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        gtk_window_set_default_size(GTK_WINDOW(window), 400, 300);
        browser = std::make_unique<WebKitBrowser>();
        gtk_container_add(GTK_CONTAINER(window), browser->Widget());
        gtk_widget_show_all(window);
        browser->SetOnDocumentComplete([this](const std::string&) { ++completed; });
    }

    void TearDown() override
    {
        browser.reset();
        if (window)
            gtk_widget_destroy(window);
    }

    // A new page from memory; without a body when asked.
    void FreshPage(bool withBody)
    {
        const std::string html = "<html><head><title>t</title></head><body style=\"color: red\">x</body></html>";
        TMemoryStream stream;
        stream.Write(html.data(), html.size());
        stream.Seek(0);
        const int before = completed;
        browser->Load(stream);
        ASSERT_TRUE(PumpUntil([&] { return completed > before && browser->ReadyState() == READYSTATE_COMPLETE; }));
        if (!withBody)
            browser->RunScript("document.documentElement.removeChild(document.body); 1");
    }

    // The error the rows ended with, and what the page holds afterwards.
    struct Outcome {
        std::string error;
        std::string page;
    };

    Outcome Apply(const std::vector<TBodyStyleAssignment>& rows, bool oneRoundTrip, bool withBody = true)
    {
        FreshPage(withBody);
        Outcome outcome{"no failure", {}};
        try {
            if (oneRoundTrip)
                browser->SetBodyStyles(rows);
            else
                browser->IWebBrowser::SetBodyStyles(rows);  // one chain per row
        } catch (const Error& failure) {
            outcome.error = failure.what();
        }
        outcome.page = browser->RunScript(
            "(document.body ? document.body.style.cssText : 'no body') + ' | ' +"
            "(document.getElementById('__velastromScrollbar') ? "
            "document.getElementById('__velastromScrollbar').textContent : 'no sheet')");
        return outcome;
    }
};

TEST_F(BodyStyles, OneRoundTripEndsAsTheChainsDo)
{
    const std::string variant = "Variant does not reference an automation object";
    const struct {
        const char* name;
        std::vector<TBodyStyleAssignment> rows;
        bool withBody;
        std::string error;
    } cases[] = {
        {"the dashboard's nine rows", Dashboard, true, "no failure"},
        {"an unknown property on row 3", With(3, {"Document", "Body", "Style", "Bogus", "1"}), true,
         "Method 'Bogus' not supported by automation object"},
        {"a dashed CSS name on row 1", With(1, {"Document", "Body", "Style", "overflow-y", "hidden"}), true,
         "Method 'overflow-y' not supported by automation object"},
        {"an unknown style object on row 5", With(5, {"Document", "Body", "Stile", "scrollbarFaceColor", "#B0D553"}),
         true, "Method 'Stile' not supported by automation object"},
        {"an unknown document on row 0", With(0, {"Documento", "Body", "Style", "OverflowX", "hidden"}), true,
         "Method 'Documento' not supported by automation object"},
        {"an unknown property before an unknown name",
         [] {
             auto rows = With(2, {"Document", "Body", "Style", "Bogus", "1"});
             rows[6] = {"Document", "Corpo", "Style", "scrollbarHighlightColor", "#B0D553"};
             return rows;
         }(),
         true, "Method 'Bogus' not supported by automation object"},
        {"a document without a body", Dashboard, false, variant},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Outcome chains = Apply(c.rows, false, c.withBody);
        const Outcome one = Apply(c.rows, true, c.withBody);
        EXPECT_EQ(chains.error, c.error);
        EXPECT_EQ(one.error, chains.error);
        EXPECT_EQ(one.page, chains.page);
    }
    // The rows before a failure stay made, the ones after it are not.
    const Outcome partial = Apply(With(3, {"Document", "Body", "Style", "Bogus", "1"}), true);
    EXPECT_NE(partial.page.find("overflow: hidden"), std::string::npos) << partial.page;
    EXPECT_NE(partial.page.find("#000000"), std::string::npos) << partial.page;
    EXPECT_EQ(partial.page.find("F0F5D5"), std::string::npos) << partial.page;
}

}  // namespace
}  // namespace velastrom
