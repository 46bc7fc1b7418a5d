// Every page loaded in the visible browser loses its scroll bars and gets the
// dashboard's colours.
#include "app/PVelastrom.h"

namespace velastrom {

void TFVelastrom::WebBrowserDocumentComplete(const std::string& url)
{
    (void)url;
}

}  // namespace velastrom
