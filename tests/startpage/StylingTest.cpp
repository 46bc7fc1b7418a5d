// The body style table applied after every load of the visible browser, and
// what each failure leaves behind.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

#include "app/PVelastrom.h"
#include "fakes/Fakes.h"

namespace velastrom {
namespace {

using fakes::FakeApplication;
using fakes::FakeAutomationObject;
using fakes::FakePlatform;
using fakes::Log;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

const std::vector<std::string> AllRows = {
    "Style.OverflowX=hidden",
    "Style.OverflowY=hidden",
    "Style.scrollbarArrowColor=#000000",
    "Style.scrollbar3DLIGHTCOLOR=#F0F5D5",
    "Style.scrollbarDarkShadowColor=#B0D553",
    "Style.scrollbarFaceColor=#B0D553",
    "Style.scrollbarHighlightColor=#B0D553",
    "Style.scrollbarShadowColor=#B0D553",
    "Style.scrollbarTrackColor=#F0F5D5",
};

struct Styling : ::testing::Test {
    Log log;
    FakeApplication app{log};
    FakePlatform platform{log};
    TFVelastrom form{app, platform, TVelastromSettings{}};
    fakes::FakeBrowser& browser = app.view->webBrowser;

    void SetUp() override
    {
        browser.hasDocument = true;
        log.clear();
    }

    void Complete() { DispatchEvent(app, [this] { form.WebBrowserDocumentComplete("about:blank"); }); }

    // A document model of our own: the style knows only the given names.
    std::shared_ptr<FakeAutomationObject> StyleKnowing(const std::vector<std::string>& names)
    {
        browser.automation = std::make_shared<FakeAutomationObject>(log, "WebBrowser");
        auto body = browser.automation->AddChild("Document", "WebBrowser.Document")->AddChild("Body", "Body");
        auto style = body->AddChild("Style", "Style");
        for (const auto& name : names)
            style->AddSettable(name);
        return style;
    }
};

TEST_F(Styling, AppliesTheNineRowsInOrderThenFocuses)
{
    Complete();
    std::vector<std::string> expected = AllRows;
    expected.push_back("WebBrowser.Focus");
    EXPECT_THAT(log, ElementsAreArray(expected));
    EXPECT_TRUE(app.errorBoxes.empty());
}

TEST_F(Styling, EveryEventRestylesTheTopLevelBody)
{
    for (const char* url : {"http://127.0.0.1/frames.htm", "http://127.0.0.1/a.htm", "http://127.0.0.1/b.htm"})
        DispatchEvent(app, [&] { form.WebBrowserDocumentComplete(url); });
    std::vector<std::string> expected;
    for (int i = 0; i < 3; ++i) {
        expected.insert(expected.end(), AllRows.begin(), AllRows.end());
        expected.push_back("WebBrowser.Focus");
    }
    EXPECT_THAT(log, ElementsAreArray(expected));
}

TEST_F(Styling, NoDocumentNoStyleNoFocus)
{
    browser.hasDocument = false;
    Complete();
    EXPECT_TRUE(log.empty());
    EXPECT_TRUE(app.errorBoxes.empty());
}

TEST_F(Styling, TheFirstFailureEndsTheHandler)
{
    const struct {
        const char* name;
        std::function<void(Styling&)> model;
        std::size_t rowsApplied;
        std::string message;
    } cases[] = {
        {"no OverflowX",
         [](Styling& t) {
             t.StyleKnowing({"OverflowY", "scrollbarArrowColor", "scrollbar3dLightColor", "scrollbarDarkShadowColor",
                             "scrollbarFaceColor", "scrollbarHighlightColor", "scrollbarShadowColor",
                             "scrollbarTrackColor"});
         },
         0, "Method 'OverflowX' not supported by automation object."},
        {"overflow but no scroll-bar colours",
         [](Styling& t) { t.StyleKnowing({"overflowx", "OVERFLOWY"}); }, 2,
         "Method 'scrollbarArrowColor' not supported by automation object."},
        {"a document without a body",
         [](Styling& t) {
             t.browser.automation = std::make_shared<FakeAutomationObject>(t.log, "WebBrowser");
             t.browser.automation->AddChild("Document", "WebBrowser.Document")->AddEmptyChild("Body");
         },
         0, "Variant does not reference an automation object."},
        {"the style refuses one assignment",
         [](Styling& t) { t.browser.style->AddRefusing("scrollbarFaceColor", "Argomento non valido"); }, 5,
         "Argomento non valido."},
        {"the last row refused",
         [](Styling& t) { t.browser.style->AddRefusing("SCROLLBARTRACKCOLOR", "OLE error 80020009"); }, 8,
         "OLE error 80020009."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        log.clear();
        app.errorBoxes.clear();
        fakes::FakeBrowser fresh(log, "WebBrowser", app);  // a complete model to start from
        browser.automation = fresh.automation;
        browser.style = fresh.style;
        c.model(*this);
        log.clear();
        Complete();
        std::vector<std::string> expected(AllRows.begin(), AllRows.begin() + static_cast<long>(c.rowsApplied));
        expected.push_back("ErrorBox(" + c.message + ")");
        EXPECT_THAT(log, ElementsAreArray(expected));  // no focus after a failure
    }
}

TEST_F(Styling, FocusFailureIsReportedAfterAllRows)
{
    browser.focusError = "Interface not supported";
    Complete();
    std::vector<std::string> expected = AllRows;
    expected.push_back("WebBrowser.Focus");
    expected.push_back("ErrorBox(Interface not supported.)");
    EXPECT_THAT(log, ElementsAreArray(expected));
}

}  // namespace
}  // namespace velastrom
