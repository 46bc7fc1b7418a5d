// The start page: fetched once at the first activation, snapshot in memory,
// shown by the home command.
#include "startpage/StartPage.h"

#include "app/PVelastrom.h"
#include "products/Register.h"

namespace velastrom {

namespace {

// The covered browser's fetch: like WaitUntilInteractive, with a time limit.
// Past the limit the navigation is stopped; returns whether that happened.
// While nothing has arrived a short pause between passes spares the core.
bool WaitForStartPage(IWebBrowser& browser, IMessagePump& pump, IPlatform& platform, std::uint64_t limitMs)
{
    const std::uint64_t start = platform.TickCount();
    while (browser.ReadyState() < READYSTATE_INTERACTIVE && !pump.Terminated()) {
        if (platform.TickCount() - start >= limitMs) {
            browser.Stop();
            return true;
        }
        pump.ProcessMessages();
        if (browser.ReadyState() < READYSTATE_INTERACTIVE && !pump.Terminated())
            platform.Sleep(StartPageFetchPollMs);
    }
    return false;
}

}  // namespace

void TFVelastrom::FormActivate()
{
    if (FStarted) {
        WebBrowserSetFocus(WebBrowser);
        return;
    }
    FStarted = true;
    WebBrowser->Navigate(BlankPageUrl);
    WaitUntilInteractive(*WebBrowser, Application);
    WebBrowserRoot->Navigate(FSettings.StartPageFetchUrl);
    const bool timedOut = WaitForStartPage(*WebBrowserRoot, Application, Platform, FSettings.StartPageFetchLimitMs);
    Application.ProcessMessages();
    Platform.Sleep(50);
    Application.ProcessMessages();

    // Whatever happens in the snapshot, the covered browser is blanked and
    // the application's events come here.
    auto cleanUp = [this] {
        WebBrowserRoot->Navigate(BlankPageUrl);
        WaitUntilInteractive(*WebBrowserRoot, Application);
        Application.SetOnActivate([this] { DispatchEvent(Application, [this] { FormActivate(); }); });
        Application.SetOnRestore([this] { DispatchEvent(Application, [this] { FormActivate(); }); });
    };
    try {
        FPageStream = std::make_unique<TMemoryStream>();
        FPageLines = std::make_unique<TStringList>();
        FInstalledCodes = std::make_unique<TStringList>(InstalledCodesCompare(Platform));
        // A fetch that was stopped, or a covered browser left without a
        // document, counts as an empty page: the welcome page is shown.
        if (!timedOut && WebBrowserRoot->HasDocument())
            WebBrowserRoot->Save(*FPageStream);
        FPageStream->Seek(0);
        FPageLines->LoadFromStream(*FPageStream);
        const bool ready = FPageLines->Count() >= 2 && FPageLines->Get(1).find(ReadyMarker) != std::string::npos;
        if (ready) {
            LoadInstalledCodes(Platform, FInstalledCodes);
            MarkInstalledProducts();
        } else {
            FPageStream->Clear();
            FPageLines->SetText(FallbackPageHtml);
        }
        FPageStream->Seek(0);
        FPageLines->SaveToStream(*FPageStream);
        // Bytes of the saved page past the written lines (after a NUL, say)
        // must not be shown with them.
        FPageStream->SetSize(FPageStream->Position());
    } catch (...) {
        cleanUp();
        throw;
    }
    cleanUp();
    ImageHomeClick();
    WebBrowserSetFocus(WebBrowser);
}

void TFVelastrom::ImageHomeClick()
{
    if (!WebBrowser->HasDocument() || !FPageStream)
        return;
    FPageStream->Seek(0);
    WebBrowser->Navigate(BlankPageUrl);
    WaitUntilInteractive(*WebBrowser, Application);
    Application.ProcessMessages();
    // Again at the start: a home command run inside the wait has read the
    // stream to its end.
    FPageStream->Seek(0);
    WebBrowser->Load(*FPageStream);
}

void TFVelastrom::WebBrowserSetFocus(IWebBrowser* browser)
{
    if (browser == nullptr || !browser->HasDocument())
        return;
    browser->Focus();
}

}  // namespace velastrom
