// The document model as late-bound objects: the browser's root gives its
// Document, the document its Body, the body its Style; the style takes
// assignments of its properties. Names match without regard to case.
#pragma once

#include <memory>

#include "browser/Browser.h"

namespace velastrom::webkit {

class WebKitBrowser;

std::shared_ptr<IAutomationObject> MakeAutomationRoot(WebKitBrowser& browser);

}  // namespace velastrom::webkit
