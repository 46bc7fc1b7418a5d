// The application object on Linux: GTK 3's main loop behind IApplication.
#pragma once

#include <gtk/gtk.h>

#include <map>
#include <string>

#include "app/Framework.h"

namespace velastrom::gtk {

class GtkDashboardView;

class GtkApplication final : public IApplication {
public:
    GtkApplication() = default;
    ~GtkApplication() override;
    GtkApplication(const GtkApplication&) = delete;
    GtkApplication& operator=(const GtkApplication&) = delete;

    // Opens the display (GTK's own start-up); there is no component-object
    // runtime to initialise here.
    void Initialize() override;

    // The taskbar's text for the program. On X11 a taskbar shows a window's
    // title, which is the caption here ("TAV ROLENDI"), so the application
    // title goes where X11 keeps the name of the iconified program: the main
    // window's icon name (WM_ICON_NAME / _NET_WM_ICON_NAME). The window class
    // (WM_CLASS) is the program name set in main, which ties the windows to
    // the desktop entry and so to the application icon.
    void SetTitle(const std::string& title) override;
    std::string Title() const override;

    std::unique_ptr<IDashboardView> CreateMainWindow(IDashboardEvents& events) override;
    void Run() override;
    void ProcessMessages() override;
    bool Terminated() const override { return terminated_; }
    void Terminate() override;

    std::string ExeName() const override;
    // The X11 window id of the main window once it exists on the display.
    std::uintptr_t MainWindowHandle() const override;

    void SetOnActivate(TNotifyEvent handler) override { onActivate_ = std::move(handler); }
    void SetOnRestore(TNotifyEvent handler) override { onRestore_ = std::move(handler); }

    TCursor Cursor() const override { return cursor_; }
    void SetCursor(TCursor cursor) override;

    std::vector<TRect> WorkAreas() const override;

    void ShowErrorBox(const std::string& text) override;

    // --- for the main window -------------------------------------------------
    void MainWindowGone(GtkDashboardView* window);
    // Whether one of the program's windows was active when last looked.
    bool Active() const { return active_; }
    // A window of the program changed its activation; raises the
    // application's activation event once the program as a whole has become
    // active.
    void WatchActivation(GtkWindow* window);
    void RaiseRestore();

private:
    static gboolean QuitMessage(gpointer self);
    static gboolean OnIdleWaitElapsed(gpointer elapsed);
    static gboolean CheckActivation(gpointer self);
    void ApplyCursor(GdkWindow* window, GdkCursor* cursor);

    std::string title_;
    GtkDashboardView* main_ = nullptr;
    bool terminated_ = false;
    guint quitSource_ = 0;
    guint activationSource_ = 0;
    bool active_ = false;
    TNotifyEvent onActivate_;
    TNotifyEvent onRestore_;
    TCursor cursor_ = TCursor::Default;
    std::map<GdkWindow*, GdkCursor*> savedCursors_;
};

}  // namespace velastrom::gtk
