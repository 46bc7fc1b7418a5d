// The document model as late-bound objects: the browser's root gives its
// Document, the document its Body, the body its Style; the style takes
// assignments of its properties. Names match without regard to case.
#pragma once

#include <memory>

#include "browser/Browser.h"

namespace velastrom::webkit {

class WebKitBrowser;

std::shared_ptr<IAutomationObject> MakeAutomationRoot(WebKitBrowser& browser);

// The assignments of IWebBrowser::SetBodyStyles with one script: the names
// are checked here, row by row, as the late-bound chain checks them, and the
// rows before the first refused name go to the page together.
void SetBodyStylesInOneScript(WebKitBrowser& browser, std::span<const TBodyStyleAssignment> rows);

}  // namespace velastrom::webkit
