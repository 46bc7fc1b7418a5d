// The dashboard window: its components, the program's whole state, and its
// event handlers. Portable: it talks only to the window framework, the
// embedded browser and the platform services.
//
// Where things are:
//   src/app/PVelastrom.cpp          construction and destruction, FormCreate,
//                                   FormDestroy, FormCloseQuery, ImageStopClick,
//                                   the entry routine VelastromNavigazione
//   src/app/Placement.cpp           FormShow and FormClose: the window's place
//   src/startpage/StartPage.cpp     FormActivate (the fetch and the snapshot),
//                                   ImageHomeClick, WebBrowserSetFocus
//   src/startpage/Marking.cpp       MarkInstalledProducts
//   src/startpage/Styling.cpp       WebBrowserDocumentComplete (the styling)
//   src/products/LinkInterception.cpp
//                                   WebBrowserBeforeNavigate2 (the product launch)
#pragma once

#include <memory>
#include <string>

#include "app/Framework.h"
#include "browser/Browser.h"
#include "common/MemoryStream.h"
#include "common/StringList.h"
#include "platform/Platform.h"
#include "startpage/StartPage.h"

namespace velastrom {

class TIniFile;

// Texts and colours of the dashboard.
inline constexpr const char* ApplicationTitle = "Velastrom di Navigazione TAV ROLENDI";
inline constexpr const char* WindowCaption = "TAV ROLENDI";
inline constexpr const char* ImageHomeHint = "Torna al velastrom principale";
inline constexpr const char* ImageStopHint = "Chiudi il velastrom";
inline constexpr TColor CommandBarColor = RGBColor(0xF0, 0xF5, 0xD5);  // 14022128
inline constexpr TColor LabelTextColor = RGBColor(0x3D, 0x94, 0x5A);   // 5936189

// The creation geometry, outer bounds.
inline constexpr int DefaultTop = 5;
inline constexpr int DefaultLeft = 5;
inline constexpr int DefaultHeight = 736;
inline constexpr int DefaultWidth = 1024;

// What the window is built with. A default value holds the build settings,
// which the program uses; tests point the fetch at a server of their own or
// shorten its time limit.
struct TVelastromSettings {
    // The address the first activation fetches.
    std::string StartPageFetchUrl = StartPageUrl;
    // How long that fetch may take before the welcome page is shown.
    std::uint64_t StartPageFetchLimitMs = DefaultStartPageFetchLimitMs;
};

class TFVelastrom final : public IDashboardEvents {
public:
    // Creates the window from its layout; FormCreate runs once it is loaded.
    TFVelastrom(IApplication& application, IPlatform& platform, const TVelastromSettings& settings);
    // FormDestroy runs first, then the components go.
    ~TFVelastrom() override;

    TFVelastrom(const TFVelastrom&) = delete;
    TFVelastrom& operator=(const TFVelastrom&) = delete;

    IDashboardView& View() { return *view_; }

    // --- handlers ---------------------------------------------------------------
    void FormCreate() override;
    void FormDestroy() override;
    void FormShow() override;
    void FormActivate() override;
    void FormCloseQuery(bool& canClose) override;
    void FormClose(TCloseAction& action) override;
    void WebBrowserBeforeNavigate2(const std::string& url, bool& cancel) override;
    void WebBrowserDocumentComplete(const std::string& url) override;
    void ImageHomeClick() override;
    void ImageStopClick() override;
    // Moves the keyboard focus into the browser's document window; null or a
    // browser without a document does nothing.
    void WebBrowserSetFocus(IWebBrowser* browser);

    // Rewrites FPageLines for the installed products in FInstalledCodes.
    void MarkInstalledProducts();

    // Read access for tests and the hosts.
    const TMemoryStream* PageStream() const { return FPageStream.get(); }
    const TStringList* PageLines() const { return FPageLines.get(); }
    const TStringList* InstalledCodes() const { return FInstalledCodes.get(); }
    bool Started() const { return FStarted; }
    const std::string& PlacementIniPath() const { return FPlacementIniPath; }
    const std::string& PlacementTop() const { return FPlacementTop; }

private:
    IApplication& Application;
    IPlatform& Platform;
    const TVelastromSettings FSettings;
    std::unique_ptr<IDashboardView> view_;

    // Components, owned by the view.
    IWebBrowser* WebBrowser = nullptr;
    IPanel* PanelComand = nullptr;
    IImage* ImageHome = nullptr;
    IImage* ImageStop = nullptr;
    IPanel* PanelInfo = nullptr;
    ILabel* cxLabelInfo = nullptr;
    IWebBrowser* WebBrowserRoot = nullptr;

    // The program's state.
    std::unique_ptr<TMemoryStream> FPageStream;
    std::unique_ptr<TStringList> FPageLines;
    std::unique_ptr<TStringList> FInstalledCodes;
    bool FStarted = false;
    std::unique_ptr<TIniFile> FPlacementIni;
    std::string FPlacementIniPath;
    std::string FPlacementTop;
};

// The entry routine: floating-point set-up, the application object, the
// dashboard window, the message loop and the shutdown. Returns the exit code.
int VelastromNavigazione(IApplication& application, IPlatform& platform, const TVelastromSettings& settings);

}  // namespace velastrom
