// The application object on Win32: its own hidden top-level window (the
// taskbar entry, whose text is the application title), the message loop, the
// application-wide cursor and events, and the default exception handler's box.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "app/Framework.h"
#include "browser/win32/Win32WebBrowser.h"

namespace velastrom::win32 {

class Win32DashboardView;

class Win32Application final : public IApplication {
public:
    // The browsers of the dashboard come from factory (the system's browser
    // control unless told otherwise); the show command is the process's own
    // (STARTUPINFO) unless told otherwise.
    explicit Win32Application(HINSTANCE instance = GetModuleHandleA(nullptr));
    ~Win32Application() override;

    Win32Application(const Win32Application&) = delete;
    Win32Application& operator=(const Win32Application&) = delete;

    void Initialize() override;
    void SetTitle(const std::string& title) override;
    std::string Title() const override;
    std::unique_ptr<IDashboardView> CreateMainWindow(IDashboardEvents& events) override;
    void Run() override;
    void ProcessMessages() override;
    bool Terminated() const override { return terminated_; }
    void Terminate() override;
    std::string ExeName() const override;
    std::uintptr_t MainWindowHandle() const override;
    void SetOnActivate(TNotifyEvent handler) override { onActivate_ = std::move(handler); }
    void SetOnRestore(TNotifyEvent handler) override { onRestore_ = std::move(handler); }
    TCursor Cursor() const override { return cursor_; }
    void SetCursor(TCursor cursor) override;
    std::vector<TRect> WorkAreas() const override;
    void ShowErrorBox(const std::string& text) override;

    // --- host side --------------------------------------------------------------
    HWND Handle() const { return window_; }
    HINSTANCE Instance() const { return instance_; }
    void SetBrowserFactory(BrowserFactory factory) { browserFactory_ = std::move(factory); }
    // The show command Run applies (SW_SHOWMAXIMIZED, SW_SHOWMINNOACTIVE or other).
    int ShowCommand() const { return showCommand_; }
    void SetShowCommand(int command) { showCommand_ = command; }
    // Whether the main window has been shown (and FormShow has run).
    bool MainWindowShown() const { return mainShown_; }
    Win32DashboardView* MainView() const { return mainView_; }

    // Called by the main window: it goes; and when it is being minimised, the
    // whole program is minimised instead.
    void MainViewDestroyed(Win32DashboardView* view);
    void Minimize();
    // Called by the windows of the dashboard on WM_SETCURSOR: true when the
    // application-wide cursor took over.
    bool ApplyCursor() const;

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    bool HandleOneMessage(MSG& message);
    void ShowMainWindow();
    void Restore();

    HINSTANCE instance_;
    HWND window_ = nullptr;
    bool oleInitialized_ = false;
    bool terminated_ = false;
    bool mainShown_ = false;
    bool hiddenByMinimize_ = false;
    int showCommand_ = SW_SHOWNORMAL;
    TCursor cursor_ = TCursor::Default;
    TNotifyEvent onActivate_;
    TNotifyEvent onRestore_;
    BrowserFactory browserFactory_;
    Win32DashboardView* mainView_ = nullptr;
};

}  // namespace velastrom::win32
