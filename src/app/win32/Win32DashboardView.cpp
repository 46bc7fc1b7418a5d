#include "app/win32/Win32DashboardView.h"

#include <algorithm>

#include "app/PVelastrom.h"
#include "app/win32/Win32Application.h"
#include "platform/win32/SystemError.h"

namespace velastrom::win32 {

namespace {

constexpr const char* FormClass = "VelastromDashboard";

// Posted to the window: navigate WebBrowser to the next address of a refused
// new window.
constexpr UINT NavigateNewWindow = WM_APP + 1;

// Design bounds of the window, replaced at creation by the program.
constexpr int DesignLeft = 852;
constexpr int DesignTop = 177;
constexpr int DesignWidth = 1024;
constexpr int DesignHeight = 736;

// The covered browser's fixed place.
constexpr RECT RootBrowserBounds{72, 16, 72 + 55, 16 + 55};

constexpr TColor Silver = RGBColor(0xC0, 0xC0, 0xC0);

void RegisterFormClass(HINSTANCE instance, WNDPROC procedure)
{
    static bool registered = false;
    if (registered)
        return;
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_DBLCLKS;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = FormClass;
    if (RegisterClassExA(&windowClass) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        ThrowLastError("Window class");
    registered = true;
}

void Place(HWND window, int left, int top, int width, int height)
{
    if (window != nullptr)
        SetWindowPos(window, nullptr, left, top, std::max(0, width), std::max(0, height),
                     SWP_NOZORDER | SWP_NOACTIVATE);
}

// Later siblings lie above earlier ones.
void RaiseToTop(HWND window)
{
    if (window != nullptr)
        SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

HostedBrowser MakeBrowser(const BrowserFactory& factory, HWND parent, TCacheReads cacheReads)
{
    HostedBrowser hosted = factory ? factory(parent) : CreateSystemBrowser(parent, cacheReads);
    if (hosted.window != nullptr)
        SetWindowLongPtrA(hosted.window, GWL_STYLE,
                          GetWindowLongPtrA(hosted.window, GWL_STYLE) | WS_CLIPSIBLINGS);
    return hosted;
}

}  // namespace

Win32DashboardView::Win32DashboardView(Win32Application& app, IDashboardEvents& events, const BrowserFactory& factory)
    : app_(app), events_(events)
{
    RegisterFormClass(app_.Instance(), &Win32DashboardView::WindowProc);
    RegisterControlClasses(app_.Instance());
    // A sizeable frame with a caption bar, the minimise and maximise styles and
    // no system menu; owned by the application's window, so no taskbar entry
    // of its own.
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_CLIPCHILDREN;
    SetLastError(ERROR_SUCCESS);
    window_ = CreateWindowExA(WS_EX_WINDOWEDGE, FormClass, WindowCaption, style, DesignLeft, DesignTop, DesignWidth,
                              DesignHeight, app_.Handle(), nullptr, app_.Instance(), this);
    if (window_ == nullptr)
        ThrowLastError("Dashboard window");
    RecordBounds();

    try {
        webBrowserRoot_ = MakeBrowser(factory, window_, TCacheReads::Forbidden);
        webBrowser_ = MakeBrowser(factory, window_, TCacheReads::Allowed);
        panelComand_ = std::make_unique<Win32Panel>(app_, window_, nullptr, Silver);
        imageHome_ = std::make_unique<Win32Image>(app_, *panelComand_, "HOME", ImageHomeHint, [this] {
            DispatchEvent(app_, [this] { events_.ImageHomeClick(); });
        });
        imageStop_ = std::make_unique<Win32Image>(app_, *panelComand_, "STOP", ImageStopHint, [this] {
            DispatchEvent(app_, [this] { events_.ImageStopClick(); });
        });
        panelInfo_ = std::make_unique<Win32Panel>(app_, panelComand_->Handle(), panelComand_.get(), Silver);
        label_ = std::make_unique<Win32Label>(app_, *panelInfo_);
    } catch (...) {
        label_.reset();
        panelInfo_.reset();
        imageStop_.reset();
        imageHome_.reset();
        panelComand_.reset();
        webBrowser_ = {};
        webBrowserRoot_ = {};
        SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
        DestroyWindow(window_);
        throw;
    }
    for (HWND window : {webBrowserRoot_.window, webBrowser_.window, panelComand_->Handle()})
        RaiseToTop(window);
    for (HWND window : {imageHome_->Handle(), imageStop_->Handle(), panelInfo_->Handle()})
        RaiseToTop(window);

    // The event binding: a failure that leaves a handler is shown, and the
    // control gets a normal return.
    webBrowser_.browser->SetOnBeforeNavigate2([this](const std::string& url, bool& cancel) {
        DispatchEvent(app_, [&] { events_.WebBrowserBeforeNavigate2(url, cancel); });
    });
    webBrowser_.browser->SetOnDocumentComplete([this](const std::string& url) {
        DispatchEvent(app_, [&] { events_.WebBrowserDocumentComplete(url); });
    });
    // A page that asks for a new window opens in WebBrowser instead, through
    // its BeforeNavigate2 like any other navigation. The control raises the
    // request from inside its own click or script, so the navigation waits
    // for the message loop rather than re-entering the control there.
    if (webBrowser_.setOnNewWindow)
        webBrowser_.setOnNewWindow([this](const std::string& url) {
            newWindowAddresses_.push_back(url);
            PostMessageA(window_, NavigateNewWindow, 0, 0);
        });
    Layout();
}

Win32DashboardView::~Win32DashboardView()
{
    // The components first, then the window itself.
    webBrowser_ = {};
    webBrowserRoot_ = {};
    label_.reset();
    panelInfo_.reset();
    imageStop_.reset();
    imageHome_.reset();
    panelComand_.reset();
    app_.MainViewDestroyed(this);
    if (window_ != nullptr) {
        SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
        DestroyWindow(window_);
        window_ = nullptr;
    }
}

void Win32DashboardView::Layout()
{
    if (!label_)
        return;
    RECT client;
    GetClientRect(window_, &client);
    const int width = client.right - client.left;
    const int height = client.bottom - client.top;
    Place(webBrowserRoot_.window, RootBrowserBounds.left, RootBrowserBounds.top,
          RootBrowserBounds.right - RootBrowserBounds.left, RootBrowserBounds.bottom - RootBrowserBounds.top);
    Place(webBrowser_.window, 0, CommandBarHeight, width, height - CommandBarHeight);
    Place(panelComand_->Handle(), 0, 0, width, CommandBarHeight);
    Place(imageHome_->Handle(), CommandBarMargin, CommandBarMargin, ImageSize, ImageSize);
    Place(imageStop_->Handle(), width - CommandBarMargin - ImageSize, CommandBarMargin, ImageSize, ImageSize);
    const int infoWidth = width - 2 * (CommandBarMargin + ImageSize);
    Place(panelInfo_->Handle(), CommandBarMargin + ImageSize, CommandBarMargin, infoWidth, ImageSize);
    Place(label_->Handle(), PanelInfoBorder, PanelInfoBorder, infoWidth - 2 * PanelInfoBorder,
          ImageSize - 2 * PanelInfoBorder);
}

void Win32DashboardView::RecordBounds()
{
    // While minimised the window keeps the bounds it had before.
    if (!IsIconic(window_))
        GetWindowRect(window_, &bounds_);
}

void Win32DashboardView::SetBounds(int left, int top, int width, int height)
{
    SetWindowPos(window_, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    RecordBounds();
}

void Win32DashboardView::SetTop(int value) { SetBounds(Left(), value, Width(), Height()); }
void Win32DashboardView::SetLeft(int value) { SetBounds(value, Top(), Width(), Height()); }
void Win32DashboardView::SetHeight(int value) { SetBounds(Left(), Top(), Width(), value); }
void Win32DashboardView::SetWidth(int value) { SetBounds(Left(), Top(), value, Height()); }

void Win32DashboardView::SetEnabled(bool enabled) { EnableWindow(window_, enabled ? TRUE : FALSE); }

bool Win32DashboardView::Enabled() const { return IsWindowEnabled(window_) != FALSE; }

void Win32DashboardView::Close() { RunClosePath(app_, events_); }

bool Win32DashboardView::TranslateAccelerator(MSG& message)
{
    for (HostedBrowser* hosted : {&webBrowser_, &webBrowserRoot_})
        if (hosted->translateAccelerator && hosted->translateAccelerator(message))
            return true;
    return false;
}

LRESULT CALLBACK Win32DashboardView::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<Win32DashboardView*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self == nullptr)
        return DefWindowProcA(window, message, wParam, lParam);
    if (message == WM_NCCREATE)
        self->window_ = window;
    return self->HandleMessage(message, wParam, lParam);
}

LRESULT Win32DashboardView::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    HWND const window = window_;
    switch (message) {
    case WM_GETMINMAXINFO: {
        auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
        info->ptMinTrackSize.x = MinimumWidth;
        info->ptMinTrackSize.y = MinimumHeight;
        return 0;
    }
    case WM_WINDOWPOSCHANGED:
        RecordBounds();
        break;  // the default sends WM_SIZE and WM_MOVE
    case WM_SIZE:
        Layout();
        return 0;
    case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE && HIWORD(wParam) == 0) {
            const LRESULT result = DefWindowProcA(window, message, wParam, lParam);
            DispatchEvent(app_, [this] { events_.FormActivate(); });
            return result;
        }
        break;
    case WM_SETCURSOR:
        if (app_.ApplyCursor())
            return TRUE;
        break;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_MINIMIZE) {
            app_.Minimize();
            return 0;
        }
        break;
    case WM_CLOSE:
        DispatchEvent(app_, [this] { Close(); });
        return 0;
    case WM_QUERYENDSESSION: {
        // The platform asks whether the program may end: the close query answers.
        bool canClose = true;
        DispatchEvent(app_, [&] { events_.FormCloseQuery(canClose); });
        return canClose ? TRUE : FALSE;
    }
    case WM_ENDSESSION:
        // Logging off or shutting down: the message loop ends, the close
        // handler does not run.
        if (wParam != FALSE)
            app_.Terminate();
        return 0;
    case NavigateNewWindow:
        if (!newWindowAddresses_.empty()) {
            const std::string url = newWindowAddresses_.front();
            newWindowAddresses_.pop_front();
            DispatchEvent(app_, [&] { webBrowser_.browser->Navigate(url); });
        }
        return 0;
    case WM_NCDESTROY:
        SetWindowLongPtrA(window, GWLP_USERDATA, 0);
        window_ = nullptr;
        break;
    default:
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace velastrom::win32
