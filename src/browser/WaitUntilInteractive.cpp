#include "browser/Browser.h"

namespace velastrom {

void WaitUntilInteractive(IWebBrowser& browser, IMessagePump& pump)
{
    while (browser.ReadyState() < READYSTATE_INTERACTIVE && !pump.Terminated())
        pump.ProcessMessages();
}

}  // namespace velastrom
