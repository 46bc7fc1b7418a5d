#include "app/gtk/GtkApplication.h"

#include <gdk/gdkx.h>
#include <unistd.h>

#include <climits>

#include "app/gtk/GtkDashboardView.h"
#include "browser/webkit/Windows1252.h"

namespace velastrom::gtk {

using webkit::Windows1252ToUtf8;

GtkApplication::~GtkApplication()
{
    if (quitSource_)
        g_source_remove(quitSource_);
    if (activationSource_)
        g_source_remove(activationSource_);
    for (auto& [window, cursor] : savedCursors_) {
        if (cursor)
            g_object_unref(cursor);
        g_object_unref(window);
    }
}

void GtkApplication::Initialize()
{
    gtk_init(nullptr, nullptr);
}

void GtkApplication::SetTitle(const std::string& title)
{
    title_ = title;
    if (main_)
        main_->TitleChanged(Title());
}

std::string GtkApplication::Title() const
{
    return title_.substr(0, 255);
}

std::unique_ptr<IDashboardView> GtkApplication::CreateMainWindow(IDashboardEvents& events)
{
    auto window = std::make_unique<GtkDashboardView>(*this, events);
    if (!main_) {
        main_ = window.get();
        main_->TitleChanged(Title());
    }
    return window;
}

void GtkApplication::MainWindowGone(GtkDashboardView* window)
{
    if (main_ == window)
        main_ = nullptr;
}

void GtkApplication::Run()
{
    if (main_)
        main_->Show();
    while (!terminated_)
        gtk_main_iteration_do(TRUE);
}

void GtkApplication::ProcessMessages()
{
    // Callers wait by calling this in a loop (for a page, say). With nothing
    // waiting, give the core away for at most a millisecond, or until
    // something arrives, instead of spinning: the web process starting beside
    // us needs it.
    if (!gtk_events_pending()) {
        bool elapsed = false;
        const guint timer = g_timeout_add(1, OnIdleWaitElapsed, &elapsed);
        gtk_main_iteration_do(TRUE);
        if (!elapsed)
            g_source_remove(timer);
    }
    // Everything waiting now, and what that posts; bounded, so a source that
    // is ready again at once cannot hold the caller here for ever.
    for (int pass = 0; pass < 100000 && gtk_events_pending(); ++pass)
        gtk_main_iteration_do(FALSE);
}

gboolean GtkApplication::OnIdleWaitElapsed(gpointer elapsed)
{
    *static_cast<bool*>(elapsed) = true;
    return G_SOURCE_REMOVE;
}

void GtkApplication::Terminate()
{
    // The quit request waits its turn behind the messages already queued.
    if (!quitSource_)
        quitSource_ = g_idle_add(QuitMessage, this);
}

gboolean GtkApplication::QuitMessage(gpointer data)
{
    auto* self = static_cast<GtkApplication*>(data);
    self->quitSource_ = 0;
    self->terminated_ = true;
    return G_SOURCE_REMOVE;
}

std::string GtkApplication::ExeName() const
{
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    return length > 0 ? std::string(path, static_cast<std::size_t>(length)) : std::string();
}

std::uintptr_t GtkApplication::MainWindowHandle() const
{
    if (!main_)
        return 0;
    GdkWindow* window = gtk_widget_get_window(GTK_WIDGET(main_->Window()));
    if (window && GDK_IS_X11_WINDOW(window))
        return static_cast<std::uintptr_t>(gdk_x11_window_get_xid(window));
    return reinterpret_cast<std::uintptr_t>(main_->Window());
}

void GtkApplication::WatchActivation(GtkWindow*)
{
    if (!activationSource_)
        activationSource_ = g_idle_add(CheckActivation, this);
}

gboolean GtkApplication::CheckActivation(gpointer data)
{
    auto* self = static_cast<GtkApplication*>(data);
    self->activationSource_ = 0;
    bool active = false;
    GList* windows = gtk_window_list_toplevels();
    for (GList* item = windows; item; item = item->next)
        active = active || gtk_window_is_active(GTK_WINDOW(item->data));
    g_list_free(windows);
    const bool becameActive = active && !self->active_;
    self->active_ = active;
    if (becameActive && self->onActivate_)
        DispatchEvent(*self, self->onActivate_);
    return G_SOURCE_REMOVE;
}

void GtkApplication::RaiseRestore()
{
    if (onRestore_)
        DispatchEvent(*this, onRestore_);
}

void GtkApplication::ApplyCursor(GdkWindow* window, GdkCursor* cursor)
{
    if (!savedCursors_.count(window)) {
        GdkCursor* own = gdk_window_get_cursor(window);
        savedCursors_[g_object_ref(window)] = own ? static_cast<GdkCursor*>(g_object_ref(own)) : nullptr;
    }
    gdk_window_set_cursor(window, cursor);
    GList* children = gdk_window_get_children(window);
    for (GList* item = children; item; item = item->next)
        ApplyCursor(GDK_WINDOW(item->data), cursor);
    g_list_free(children);
}

void GtkApplication::SetCursor(TCursor cursor)
{
    if (cursor == cursor_)
        return;
    cursor_ = cursor;
    if (cursor == TCursor::HourGlass) {
        // Every window of the program, and every window inside them.
        GdkCursor* watch = gdk_cursor_new_from_name(gdk_display_get_default(), "wait");
        GList* windows = gtk_window_list_toplevels();
        for (GList* item = windows; item; item = item->next)
            if (GdkWindow* window = gtk_widget_get_window(GTK_WIDGET(item->data)))
                ApplyCursor(window, watch);
        g_list_free(windows);
        if (watch)
            g_object_unref(watch);
        return;
    }
    for (auto& [window, own] : savedCursors_) {
        if (!gdk_window_is_destroyed(window))
            gdk_window_set_cursor(window, own);
        if (own)
            g_object_unref(own);
        g_object_unref(window);
    }
    savedCursors_.clear();
}

std::vector<TRect> GtkApplication::WorkAreas() const
{
    std::vector<TRect> areas;
    GdkDisplay* display = gdk_display_get_default();
    if (!display)
        return areas;
    for (int i = 0; i < gdk_display_get_n_monitors(display); ++i) {
        GdkRectangle area;
        gdk_monitor_get_workarea(gdk_display_get_monitor(display, i), &area);
        areas.push_back({area.x, area.y, area.width, area.height});
    }
    return areas;
}

void GtkApplication::ShowErrorBox(const std::string& text)
{
    GtkWindow* parent = main_ && gtk_widget_get_visible(GTK_WIDGET(main_->Window())) ? main_->Window() : nullptr;
    GtkWidget* box = gtk_message_dialog_new(parent, GTK_DIALOG_MODAL, GTK_MESSAGE_ERROR, GTK_BUTTONS_OK, "%s",
                                            Windows1252ToUtf8(text).c_str());
    gtk_window_set_title(GTK_WINDOW(box), Windows1252ToUtf8(Title()).c_str());
    g_signal_connect_swapped(box, "notify::is-active", G_CALLBACK(+[](gpointer self) {
                                 static_cast<GtkApplication*>(self)->WatchActivation(nullptr);
                             }), this);
    gtk_dialog_run(GTK_DIALOG(box));
    g_signal_handlers_disconnect_by_data(box, this);
    gtk_widget_destroy(box);
}

}  // namespace velastrom::gtk
