// Every page loaded in the visible browser loses its scroll bars and gets the
// dashboard's colours.
#include "app/PVelastrom.h"

namespace velastrom {

namespace {

// The names as the rows pass them; the document model matches any case.
constexpr TBodyStyleAssignment BodyStyleTable[] = {
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

}  // namespace

void TFVelastrom::WebBrowserDocumentComplete(const std::string& url)
{
    (void)url;  // every load, a frame's included, restyles the top-level body
    if (WebBrowser == nullptr || !WebBrowser->HasDocument())
        return;
    WebBrowser->SetBodyStyles(BodyStyleTable);
    WebBrowserSetFocus(WebBrowser);
}

}  // namespace velastrom
