#include "app/win32/Win32Application.h"

#include <ole2.h>

#include "app/win32/Win32DashboardView.h"
#include "platform/win32/SystemError.h"
#include "platform/win32/Win32Platform.h"

namespace velastrom::win32 {

namespace {

constexpr const char* ApplicationClass = "VelastromApplication";

struct ThreadWindows {
    HWND keep;
    std::vector<HWND> disabled;
};

BOOL CALLBACK DisableWindow(HWND window, LPARAM lParam)
{
    auto* windows = reinterpret_cast<ThreadWindows*>(lParam);
    if (window != windows->keep && IsWindowVisible(window) && IsWindowEnabled(window)) {
        EnableWindow(window, FALSE);
        windows->disabled.push_back(window);
    }
    return TRUE;
}

BOOL CALLBACK AddWorkArea(HMONITOR monitor, HDC, LPRECT, LPARAM lParam)
{
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (GetMonitorInfoA(monitor, &info)) {
        const RECT& work = info.rcWork;
        reinterpret_cast<std::vector<TRect>*>(lParam)->push_back(
            TRect{work.left, work.top, work.right - work.left, work.bottom - work.top});
    }
    return TRUE;
}

BOOL CALLBACK HideOwnedPopup(HWND window, LPARAM lParam)
{
    if (GetWindow(window, GW_OWNER) == reinterpret_cast<HWND>(lParam) && (GetWindowLongPtrA(window, GWL_STYLE) & WS_POPUP))
        ShowWindow(window, SW_HIDE);
    return TRUE;
}

int StartupShowCommand()
{
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    return (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : SW_SHOWNORMAL;
}

}  // namespace

Win32Application::Win32Application(HINSTANCE instance) : instance_(instance), showCommand_(StartupShowCommand())
{
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &Win32Application::WindowProc;
    windowClass.hInstance = instance_;
    windowClass.hIcon = LoadIconA(instance_, "MAINICON");
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.lpszClassName = ApplicationClass;
    if (RegisterClassExA(&windowClass) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        ThrowLastError("Window class");

    // The application's own window: the taskbar entry. It is shown with no
    // size, centred on the primary screen, so only its taskbar button is seen.
    const int x = GetSystemMetrics(SM_CXSCREEN) / 2;
    const int y = GetSystemMetrics(SM_CYSCREEN) / 2;
    SetLastError(ERROR_SUCCESS);
    window_ = CreateWindowExA(0, ApplicationClass, "", WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX,
                              x, y, 0, 0, nullptr, nullptr, instance_, this);
    if (window_ == nullptr)
        ThrowLastError("Application window");
    // Its window menu: Restore, Minimize and Close.
    HMENU menu = GetSystemMenu(window_, FALSE);
    if (menu != nullptr) {
        DeleteMenu(menu, SC_MAXIMIZE, MF_BYCOMMAND);
        DeleteMenu(menu, SC_SIZE, MF_BYCOMMAND);
        DeleteMenu(menu, SC_MOVE, MF_BYCOMMAND);
    }
}

Win32Application::~Win32Application()
{
    if (window_ != nullptr) {
        SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
        DestroyWindow(window_);
        window_ = nullptr;
    }
    if (oleInitialized_)
        OleUninitialize();
}

void Win32Application::Initialize()
{
    // The component-object runtime for this thread, as a single-threaded apartment.
    if (!oleInitialized_) {
        const HRESULT result = OleInitialize(nullptr);
        if (SUCCEEDED(result))
            oleInitialized_ = true;
    }
    RegisterControlClasses(instance_);
}

void Win32Application::SetTitle(const std::string& title) { SetWindowTextA(window_, title.c_str()); }

std::string Win32Application::Title() const
{
    char buffer[256];
    const int length = GetWindowTextA(window_, buffer, sizeof buffer);
    return std::string(buffer, static_cast<std::size_t>(length > 0 ? length : 0));
}

std::unique_ptr<IDashboardView> Win32Application::CreateMainWindow(IDashboardEvents& events)
{
    auto view = std::make_unique<Win32DashboardView>(*this, events, browserFactory_);
    if (mainView_ == nullptr)
        mainView_ = view.get();
    return view;
}

void Win32Application::MainViewDestroyed(Win32DashboardView* view)
{
    if (mainView_ == view)
        mainView_ = nullptr;
}

void Win32Application::ShowMainWindow()
{
    if (mainView_ == nullptr || mainShown_)
        return;
    mainShown_ = true;
    // The show handler runs before the window becomes visible.
    DispatchEvent(*this, [this] { mainView_->Events().FormShow(); });
    if (mainView_ != nullptr)
        ShowWindow(mainView_->Handle(), showCommand_ == SW_SHOWMAXIMIZED ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL);
}

void Win32Application::Run()
{
    if (showCommand_ == SW_SHOWMINNOACTIVE) {
        // Starts minimised: the main window is shown when first restored.
        ShowWindow(window_, SW_SHOWMINNOACTIVE);
    } else {
        ShowWindow(window_, SW_SHOWNOACTIVATE);
        ShowMainWindow();
    }
    MSG message;
    while (!terminated_) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0 || got == -1) {
            terminated_ = true;
            break;
        }
        HandleOneMessage(message);
    }
    // Shutdown: the pop-up windows the main window owns (its hints) go out of sight.
    if (mainView_ != nullptr)
        EnumThreadWindows(GetCurrentThreadId(), &HideOwnedPopup, reinterpret_cast<LPARAM>(mainView_->Handle()));
}

bool Win32Application::HandleOneMessage(MSG& message)
{
    if (mainView_ != nullptr && mainView_->TranslateAccelerator(message))
        return true;
    // Taken and dispatched as UTF-16: a character typed into a page's form
    // reaches the control's window intact, whatever the ANSI code page holds.
    // The program's own windows are ANSI windows; the system converts for them.
    TranslateMessage(&message);
    DispatchMessageW(&message);
    return true;
}

void Win32Application::ProcessMessages()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            // Taken here, the quit request only marks the application as terminating.
            terminated_ = true;
            continue;
        }
        HandleOneMessage(message);
    }
}

void Win32Application::Terminate() { PostQuitMessage(0); }

std::string Win32Application::ExeName() const
{
    std::string path(MAX_PATH, '\0');
    for (;;) {
        const DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

std::uintptr_t Win32Application::MainWindowHandle() const
{
    return mainView_ ? reinterpret_cast<std::uintptr_t>(mainView_->Handle()) : 0;
}

bool Win32Application::ApplyCursor() const
{
    if (cursor_ != TCursor::HourGlass)
        return false;
    ::SetCursor(LoadCursor(nullptr, IDC_WAIT));
    return true;
}

void Win32Application::SetCursor(TCursor cursor)
{
    cursor_ = cursor;
    ::SetCursor(LoadCursor(nullptr, cursor == TCursor::HourGlass ? IDC_WAIT : IDC_ARROW));
}

std::vector<TRect> Win32Application::WorkAreas() const
{
    std::vector<TRect> areas;
    EnumDisplayMonitors(nullptr, nullptr, &AddWorkArea, reinterpret_cast<LPARAM>(&areas));
    return areas;
}

void Win32Application::ShowErrorBox(const std::string& text)
{
    Win32Platform::RestoreFloatingPointSetUp();
    // Modal to every window of the program: the box's owner is disabled by the
    // box, the program's other windows here.
    HWND owner = window_;
    if (mainView_ != nullptr && IsWindowVisible(mainView_->Handle()))
        owner = mainView_->Handle();
    ThreadWindows windows{owner, {}};
    EnumThreadWindows(GetCurrentThreadId(), &DisableWindow, reinterpret_cast<LPARAM>(&windows));
    const std::string caption = Title();
    MessageBoxA(owner, text.c_str(), caption.c_str(), MB_ICONERROR | MB_OK);
    for (HWND window : windows.disabled)
        if (IsWindow(window))
            EnableWindow(window, TRUE);
}

void Win32Application::Minimize()
{
    // The application's window goes to the taskbar; the main window is hidden
    // with it and comes back when it is restored.
    if (IsIconic(window_))
        return;
    if (mainView_ != nullptr && IsWindowVisible(mainView_->Handle())) {
        hiddenByMinimize_ = true;
        ShowWindow(mainView_->Handle(), SW_HIDE);
    }
    ShowWindow(window_, SW_MINIMIZE);
}

void Win32Application::Restore()
{
    ShowWindow(window_, SW_RESTORE);
    if (!mainShown_) {
        ShowMainWindow();
    } else if (hiddenByMinimize_ && mainView_ != nullptr) {
        ShowWindow(mainView_->Handle(), SW_SHOW);
    }
    hiddenByMinimize_ = false;
    if (mainView_ != nullptr && IsWindowVisible(mainView_->Handle()))
        SetForegroundWindow(mainView_->Handle());
    if (onRestore_) {
        const auto handler = onRestore_;
        DispatchEvent(*this, handler);
    }
}

LRESULT CALLBACK Win32Application::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<Win32Application*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self == nullptr)
        return DefWindowProcA(window, message, wParam, lParam);
    if (message == WM_NCCREATE)
        self->window_ = window;
    return self->HandleMessage(message, wParam, lParam);
}

LRESULT Win32Application::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SYSCOMMAND:
        switch (wParam & 0xFFF0) {
        case SC_CLOSE:
            // The taskbar's close command: the close path of the main window,
            // without blanking the browser.
            if (mainView_ != nullptr)
                DispatchEvent(*this, [this] { mainView_->Close(); });
            return 0;
        case SC_RESTORE:
            // Only a restore from the minimised state is the program's own.
            if (IsIconic(window_)) {
                Restore();
                return 0;
            }
            break;
        case SC_MINIMIZE:
            Minimize();
            return 0;
        default:
            break;
        }
        break;
    case WM_CLOSE:
        if (mainView_ != nullptr)
            DispatchEvent(*this, [this] { mainView_->Close(); });
        return 0;
    case WM_ACTIVATEAPP:
        if (wParam != FALSE && onActivate_) {
            const auto handler = onActivate_;
            DispatchEvent(*this, handler);
        }
        break;
    case WM_SETFOCUS:
        // The application's window never keeps the focus: it goes to the main window.
        if (mainView_ != nullptr && IsWindowVisible(mainView_->Handle()) && IsWindowEnabled(mainView_->Handle())) {
            SetFocus(mainView_->Handle());
            return 0;
        }
        break;
    case WM_SETCURSOR:
        if (ApplyCursor())
            return TRUE;
        break;
    default:
        break;
    }
    return DefWindowProcA(window_, message, wParam, lParam);
}

}  // namespace velastrom::win32
