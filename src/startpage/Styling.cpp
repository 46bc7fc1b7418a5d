// Every page loaded in the visible browser loses its scroll bars and gets the
// dashboard's colours.
#include "app/PVelastrom.h"
#include "common/Error.h"

namespace velastrom {

namespace {

struct TBodyStyleRow {
    const char* Document;
    const char* Body;
    const char* Style;
    const char* Property;
    const char* Value;
};

// The names as the rows pass them; the document model matches any case.
constexpr TBodyStyleRow BodyStyleTable[] = {
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

std::shared_ptr<IAutomationObject> Step(const std::shared_ptr<IAutomationObject>& object, const char* name)
{
    auto next = object->Get(name);
    if (!next)
        throw Error("Variant does not reference an automation object");
    return next;
}

}  // namespace

void TFVelastrom::WebBrowserDocumentComplete(const std::string& url)
{
    (void)url;  // every load, a frame's included, restyles the top-level body
    if (WebBrowser == nullptr || !WebBrowser->HasDocument())
        return;
    for (const TBodyStyleRow& row : BodyStyleTable) {
        auto root = WebBrowser->Automation();
        if (!root)
            throw Error("Variant does not reference an automation object");
        auto style = Step(Step(Step(root, row.Document), row.Body), row.Style);
        style->Set(row.Property, row.Value);
    }
    WebBrowserSetFocus(WebBrowser);
}

}  // namespace velastrom
