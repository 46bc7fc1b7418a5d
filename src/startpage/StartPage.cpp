// The start page: fetched once at the first activation, snapshot in memory,
// shown by the home command.
#include "app/PVelastrom.h"

namespace velastrom {

void TFVelastrom::FormActivate()
{
}

void TFVelastrom::ImageHomeClick()
{
}

void TFVelastrom::WebBrowserSetFocus(IWebBrowser* browser)
{
    (void)browser;
}

}  // namespace velastrom
