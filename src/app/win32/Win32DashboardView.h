// The dashboard window on Win32: a sizeable top-level window owned by the
// application's window, with the minimise and maximise styles and no system
// menu, at least 800 x 600; the command bar above the visible browser, and
// the covered browser beneath both.
#pragma once

#include <windows.h>

#include <deque>
#include <memory>
#include <string>

#include "app/Framework.h"
#include "app/win32/Win32Controls.h"
#include "browser/win32/Win32WebBrowser.h"

namespace velastrom::win32 {

class Win32Application;

// Layout figures, client pixels.
inline constexpr int CommandBarHeight = 64;
inline constexpr int CommandBarMargin = 8;
inline constexpr int ImageSize = 48;
inline constexpr int PanelInfoBorder = 2;
inline constexpr int MinimumWidth = 800;
inline constexpr int MinimumHeight = 600;

class Win32DashboardView final : public IDashboardView {
public:
    Win32DashboardView(Win32Application& app, IDashboardEvents& events, const BrowserFactory& factory);
    ~Win32DashboardView() override;
    Win32DashboardView(const Win32DashboardView&) = delete;
    Win32DashboardView& operator=(const Win32DashboardView&) = delete;

    int Top() const override { return bounds_.top; }
    int Left() const override { return bounds_.left; }
    int Height() const override { return bounds_.bottom - bounds_.top; }
    int Width() const override { return bounds_.right - bounds_.left; }
    void SetTop(int value) override;
    void SetLeft(int value) override;
    void SetHeight(int value) override;
    void SetWidth(int value) override;
    void SetEnabled(bool enabled) override;
    bool Enabled() const override;
    void Close() override;

    IWebBrowser& WebBrowser() override { return *webBrowser_.browser; }
    IPanel& PanelComand() override { return *panelComand_; }
    IImage& ImageHome() override { return *imageHome_; }
    IImage& ImageStop() override { return *imageStop_; }
    IPanel& PanelInfo() override { return *panelInfo_; }
    ILabel& cxLabelInfo() override { return *label_; }
    IWebBrowser& WebBrowserRoot() override { return *webBrowserRoot_.browser; }

    // --- host side --------------------------------------------------------------
    HWND Handle() const { return window_; }
    HWND WebBrowserWindow() const { return webBrowser_.window; }
    HWND WebBrowserRootWindow() const { return webBrowserRoot_.window; }
    Win32Panel& PanelComandControl() { return *panelComand_; }
    Win32Panel& PanelInfoControl() { return *panelInfo_; }
    Win32Image& ImageHomeControl() { return *imageHome_; }
    Win32Image& ImageStopControl() { return *imageStop_; }
    Win32Label& LabelControl() { return *label_; }
    IDashboardEvents& Events() { return events_; }
    // Lets the browsers see keyboard messages first; true when one took it.
    bool TranslateAccelerator(MSG& message);

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void Layout();
    void SetBounds(int left, int top, int width, int height);
    void RecordBounds();

    Win32Application& app_;
    IDashboardEvents& events_;
    HWND window_ = nullptr;
    RECT bounds_{};
    HostedBrowser webBrowserRoot_;
    HostedBrowser webBrowser_;
    std::unique_ptr<Win32Panel> panelComand_;
    std::unique_ptr<Win32Image> imageHome_;
    std::unique_ptr<Win32Image> imageStop_;
    std::unique_ptr<Win32Panel> panelInfo_;
    std::unique_ptr<Win32Label> label_;
    std::deque<std::string> newWindowAddresses_;
};

}  // namespace velastrom::win32
