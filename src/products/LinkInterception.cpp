// Product links: code, "|", address.
#include "app/PVelastrom.h"

namespace velastrom {

void TFVelastrom::WebBrowserBeforeNavigate2(const std::string& url, bool& cancel)
{
    (void)url;
    (void)cancel;
}

}  // namespace velastrom
