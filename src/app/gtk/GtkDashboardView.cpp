#include "app/gtk/GtkDashboardView.h"

#include <algorithm>
#include <cstdio>

#include "app/gtk/GtkApplication.h"
#include "browser/webkit/Windows1252.h"

namespace velastrom::gtk {
namespace {

using webkit::Windows1252ToUtf8;

std::string CssColor(TColor color)
{
    char text[8];
    std::snprintf(text, sizeof text, "#%02X%02X%02X", color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
    return text;
}

GtkCssProvider* AttachCss(GtkWidget* widget)
{
    GtkCssProvider* css = gtk_css_provider_new();
    gtk_style_context_add_provider(gtk_widget_get_style_context(widget), GTK_STYLE_PROVIDER(css),
                                   GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    return css;
}

void SetHandCursor(GtkWidget* widget, gpointer)
{
    GdkCursor* hand = gdk_cursor_new_from_name(gtk_widget_get_display(widget), "pointer");
    gdk_window_set_cursor(gtk_widget_get_window(widget), hand);
    if (hand)
        g_object_unref(hand);
}

}  // namespace

// --- Panel ------------------------------------------------------------------------

Panel::Panel(GtkWidget* widget, const Panel* parent)
    : widget_(widget), parent_(parent), ownColor_(parent == nullptr), css_(AttachCss(widget))
{
    gtk_event_box_set_visible_window(GTK_EVENT_BOX(widget_), TRUE);
    if (ownColor_)
        SetColor(color_);
}

Panel::~Panel()
{
    g_object_unref(css_);
}

void Panel::SetColor(TColor color)
{
    color_ = color;
    ownColor_ = true;
    // The event box paints its window with the style's background; a panel
    // without a rule of its own is transparent and shows its parent.
    const std::string rule = "* { background-color: " + CssColor(color) + "; }";
    gtk_css_provider_load_from_data(css_, rule.c_str(), -1, nullptr);
    gtk_widget_queue_draw(widget_);
}

TColor Panel::Color() const
{
    return ownColor_ || !parent_ ? color_ : parent_->Color();
}

// --- Picture ----------------------------------------------------------------------

GdkPixbuf* LoadTransparentPicture(const unsigned char* bytes, std::size_t size)
{
    if (size == 0)
        return nullptr;
    GdkPixbufLoader* loader = gdk_pixbuf_loader_new();
    GdkPixbuf* picture = nullptr;
    if (gdk_pixbuf_loader_write(loader, bytes, size, nullptr) && gdk_pixbuf_loader_close(loader, nullptr))
        picture = gdk_pixbuf_loader_get_pixbuf(loader);
    else
        gdk_pixbuf_loader_close(loader, nullptr);
    GdkPixbuf* result = nullptr;
    if (picture && gdk_pixbuf_get_height(picture) > 0) {
        const int height = gdk_pixbuf_get_height(picture);
        const guchar* corner = gdk_pixbuf_read_pixels(picture) +
                               static_cast<std::size_t>(height - 1) * gdk_pixbuf_get_rowstride(picture);
        result = gdk_pixbuf_add_alpha(picture, TRUE, corner[0], corner[1], corner[2]);
    }
    g_object_unref(loader);
    return result;
}

Picture::Picture(const EmbeddedPicture& picture, const std::string& hint) : box_(gtk_event_box_new()), hint_(hint)
{
    GtkWidget* image = gtk_image_new();
    if (GdkPixbuf* pixbuf = LoadTransparentPicture(picture.bytes, picture.size)) {
        gtk_image_set_from_pixbuf(GTK_IMAGE(image), pixbuf);
        g_object_unref(pixbuf);
    }
    gtk_container_add(GTK_CONTAINER(box_), image);
    gtk_event_box_set_visible_window(GTK_EVENT_BOX(box_), TRUE);
    gtk_widget_set_size_request(box_, 48, 48);
    gtk_widget_set_halign(box_, GTK_ALIGN_CENTER);
    gtk_widget_set_valign(box_, GTK_ALIGN_CENTER);
    gtk_widget_set_tooltip_text(box_, Windows1252ToUtf8(hint).c_str());
    gtk_widget_add_events(box_, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK);
    g_signal_connect_after(box_, "realize", G_CALLBACK(SetHandCursor), nullptr);
    g_signal_connect(box_, "button-press-event", G_CALLBACK(OnPress), this);
    g_signal_connect(box_, "button-release-event", G_CALLBACK(OnRelease), this);
}

gboolean Picture::OnPress(GtkWidget*, GdkEventButton* event, gpointer data)
{
    if (event->button == 1 && event->type == GDK_BUTTON_PRESS)
        static_cast<Picture*>(data)->pressed_ = true;
    return TRUE;
}

gboolean Picture::OnRelease(GtkWidget* widget, GdkEventButton* event, gpointer data)
{
    auto* self = static_cast<Picture*>(data);
    if (event->button != 1 || !self->pressed_)
        return TRUE;
    self->pressed_ = false;
    GtkAllocation area;
    gtk_widget_get_allocation(widget, &area);
    const bool inside = event->x >= 0 && event->y >= 0 && event->x < area.width && event->y < area.height;
    if (inside && self->onClick_)
        self->onClick_();
    return TRUE;
}

// --- Label ------------------------------------------------------------------------

Label::Label() : label_(gtk_label_new("cxLabelInfo")), css_(AttachCss(label_))
{
    gtk_label_set_line_wrap(GTK_LABEL(label_), TRUE);
    gtk_label_set_line_wrap_mode(GTK_LABEL(label_), PANGO_WRAP_WORD_CHAR);
    gtk_label_set_justify(GTK_LABEL(label_), GTK_JUSTIFY_CENTER);
    gtk_label_set_xalign(GTK_LABEL(label_), 0.5f);
    gtk_label_set_yalign(GTK_LABEL(label_), 0.5f);
    // Wrapping labels ask for little width; the width is the panel's.
    gtk_label_set_width_chars(GTK_LABEL(label_), 1);
    gtk_widget_set_hexpand(label_, TRUE);
    gtk_widget_set_vexpand(label_, TRUE);
    SetFontColor(color_);
}

Label::~Label()
{
    g_object_unref(css_);
}

void Label::SetCaption(const std::string& caption)
{
    caption_ = caption;
    gtk_label_set_text(GTK_LABEL(label_), Windows1252ToUtf8(caption).c_str());
}

void Label::SetFontColor(TColor color)
{
    color_ = color;
    // Bold, 16 pixels high (12 point at 96 dpi), in the plain sans face that
    // stands for MS Sans Serif where it is not installed.
    const std::string rule = "label { font-family: \"MS Sans Serif\", \"Microsoft Sans Serif\", sans-serif;"
                             " font-weight: bold; font-size: 16px; color: " +
                             CssColor(color) + "; }";
    gtk_css_provider_load_from_data(css_, rule.c_str(), -1, nullptr);
}

// --- GtkDashboardView --------------------------------------------------------------

GtkDashboardView::GtkDashboardView(GtkApplication& app, IDashboardEvents& events)
    : app_(app),
      events_(events),
      window_(gtk_window_new(GTK_WINDOW_TOPLEVEL)),
      webBrowser_(),
      webBrowserRoot_(&webBrowser_),
      panelComand_(gtk_event_box_new(), nullptr),
      imageHome_(HomePicture, "Torna al velastrom principale"),
      imageStop_(StopPicture, "Chiudi il velastrom"),
      panelInfo_(gtk_event_box_new(), &panelComand_)
{
    gtk_window_set_title(GTK_WINDOW(window_), "TAV ROLENDI");
    gtk_window_set_deletable(GTK_WINDOW(window_), FALSE);
    gtk_window_set_position(GTK_WINDOW(window_), GTK_WIN_POS_NONE);
    gtk_window_set_gravity(GTK_WINDOW(window_), GDK_GRAVITY_NORTH_WEST);

    // The covered browser lies at 72,16, 55 x 55, beneath everything else: the
    // overlay's main child is drawn first and the layout above it covers it.
    GtkWidget* overlay = gtk_overlay_new();
    GtkWidget* under = gtk_fixed_new();
    GtkWidget* covered = webBrowserRoot_.Widget();
    gtk_widget_set_size_request(covered, 55, 55);
    gtk_fixed_put(GTK_FIXED(under), covered, 72, 16);
    gtk_container_add(GTK_CONTAINER(overlay), under);

    GtkWidget* column = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    gtk_overlay_add_overlay(GTK_OVERLAY(overlay), column);

    // The command bar: 64 high, an inner margin of 8 on every side.
    GtkWidget* bar = panelComand_.Widget();
    gtk_widget_set_size_request(bar, -1, BarHeight);
    gtk_widget_set_vexpand(bar, FALSE);
    GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 0);
    gtk_container_set_border_width(GTK_CONTAINER(row), 8);
    gtk_container_add(GTK_CONTAINER(bar), row);
    gtk_box_pack_start(GTK_BOX(row), imageHome_.Widget(), FALSE, FALSE, 0);
    GtkWidget* info = panelInfo_.Widget();
    gtk_container_set_border_width(GTK_CONTAINER(info), 2);
    gtk_container_add(GTK_CONTAINER(info), label_.Widget());
    gtk_box_pack_start(GTK_BOX(row), info, TRUE, TRUE, 0);
    gtk_box_pack_end(GTK_BOX(row), imageStop_.Widget(), FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(column), bar, FALSE, FALSE, 0);

    GtkWidget* visible = webBrowser_.Widget();
    gtk_widget_set_vexpand(visible, TRUE);
    gtk_widget_set_hexpand(visible, TRUE);
    gtk_box_pack_start(GTK_BOX(column), visible, TRUE, TRUE, 0);
    gtk_container_add(GTK_CONTAINER(window_), overlay);

    imageHome_.SetOnClick([this] { Dispatch([this] { events_.ImageHomeClick(); }); });
    imageStop_.SetOnClick([this] { Dispatch([this] { events_.ImageStopClick(); }); });
    webBrowser_.SetOnBeforeNavigate2([this](const std::string& url, bool& cancel) {
        Dispatch([&] { events_.WebBrowserBeforeNavigate2(url, cancel); });
    });
    webBrowser_.SetOnDocumentComplete(
        [this](const std::string& url) { Dispatch([&] { events_.WebBrowserDocumentComplete(url); }); });

    g_signal_connect(window_, "delete-event", G_CALLBACK(OnDelete), this);
    g_signal_connect(window_, "configure-event", G_CALLBACK(OnConfigure), this);
    g_signal_connect(window_, "window-state-event", G_CALLBACK(OnWindowState), this);
    g_signal_connect_after(window_, "realize", G_CALLBACK(OnRealize), this);
    g_signal_connect(window_, "notify::is-active", G_CALLBACK(OnActiveChanged), this);
    ApplyMinimum();
    ApplySize();
    ApplyPosition();

    // Realized now, so the covered browser can load before the window shows.
    gtk_widget_show_all(overlay);
    gtk_widget_realize(window_);
}

GtkDashboardView::~GtkDashboardView()
{
    g_signal_handlers_disconnect_by_data(window_, this);
    app_.MainWindowGone(this);
    // The browsers leave the layout first: they outlive the window's widgets.
    for (GtkWidget* view : {webBrowser_.Widget(), webBrowserRoot_.Widget()})
        if (GtkWidget* parent = gtk_widget_get_parent(view))
            gtk_container_remove(GTK_CONTAINER(parent), view);
    gtk_widget_destroy(window_);
}

void GtkDashboardView::Dispatch(const std::function<void()>& handler)
{
    DispatchEvent(app_, handler);
}

void GtkDashboardView::Show()
{
    Dispatch([this] { events_.FormShow(); });
    gtk_widget_show(window_);
    gtk_window_present(GTK_WINDOW(window_));
}

void GtkDashboardView::TitleChanged(const std::string& title)
{
    title_ = title;
    if (GdkWindow* window = gtk_widget_get_window(window_))
        gdk_window_set_icon_name(window, title.empty() ? nullptr : Windows1252ToUtf8(title).c_str());
}

void GtkDashboardView::SetTop(int value)
{
    bounds_.Top = value;
    ApplyPosition();
}

void GtkDashboardView::SetLeft(int value)
{
    bounds_.Left = value;
    ApplyPosition();
}

void GtkDashboardView::SetHeight(int value)
{
    bounds_.Height = std::max(value, MinHeight);
    ApplySize();
}

void GtkDashboardView::SetWidth(int value)
{
    bounds_.Width = std::max(value, MinWidth);
    ApplySize();
}

void GtkDashboardView::ApplyPosition()
{
    // With north-west gravity the position is that of the frame's outer corner.
    pending_ = true;
    pendingMisses_ = 0;
    gtk_window_move(GTK_WINDOW(window_), bounds_.Left, bounds_.Top);
}

void GtkDashboardView::ApplySize()
{
    pending_ = true;
    pendingMisses_ = 0;
    gtk_window_resize(GTK_WINDOW(window_), ClientWidth(), ClientHeight());
}

int GtkDashboardView::ClientWidth() const
{
    return std::max(1, bounds_.Width - frame_[0] - frame_[2]);
}

int GtkDashboardView::ClientHeight() const
{
    return std::max(1, bounds_.Height - frame_[1] - frame_[3]);
}

void GtkDashboardView::ApplyMinimum()
{
    // The hints speak of the client area; the minimum is of the outer bounds.
    GdkGeometry hints{};
    hints.min_width = MinWidth - frame_[0] - frame_[2];
    hints.min_height = MinHeight - frame_[1] - frame_[3];
    gtk_window_set_geometry_hints(GTK_WINDOW(window_), nullptr, &hints, GDK_HINT_MIN_SIZE);
}

bool GtkDashboardView::ReadFrameExtents(int clientWidth, int clientHeight)
{
    GdkWindow* window = gtk_widget_get_window(window_);
    if (!window)
        return false;
    // The frame's outer rectangle and the client's place on the screen, both
    // asked of the server now; the client's size is the event's.
    GdkRectangle outer;
    gdk_window_get_frame_extents(window, &outer);
    int x = 0, y = 0;
    gdk_window_get_origin(window, &x, &y);
    const int frame[4] = {x - outer.x, y - outer.y, outer.x + outer.width - x - clientWidth,
                          outer.y + outer.height - y - clientHeight};
    if (std::any_of(frame, frame + 4, [](int side) { return side < 0 || side > 200; }))
        return false;  // caught in the middle of a change
    if (std::equal(frame, frame + 4, frame_))
        return false;
    std::copy(frame, frame + 4, frame_);
    return true;
}

void GtkDashboardView::SetEnabled(bool enabled)
{
    gtk_widget_set_sensitive(window_, enabled);
}

bool GtkDashboardView::Enabled() const
{
    return gtk_widget_get_sensitive(window_);
}

void GtkDashboardView::Close()
{
    Dispatch([this] { RunClosePath(app_, events_); });
}

gboolean GtkDashboardView::OnDelete(GtkWidget*, GdkEvent*, gpointer data)
{
    // The close path decides; GTK never destroys the window itself.
    static_cast<GtkDashboardView*>(data)->Close();
    return TRUE;
}

gboolean GtkDashboardView::OnConfigure(GtkWidget* widget, GdkEventConfigure* event, gpointer data)
{
    auto* self = static_cast<GtkDashboardView*>(data);
    GdkWindow* window = gtk_widget_get_window(widget);
    if (!window || !gtk_widget_get_mapped(widget))
        return FALSE;
    if (self->ReadFrameExtents(event->width, event->height)) {
        // A frame came (or changed): the same outer bounds need another client size.
        self->ApplyMinimum();
        self->ApplySize();
        self->ApplyPosition();
        return FALSE;
    }
    GdkRectangle outer;
    gdk_window_get_frame_extents(window, &outer);
    if (self->pending_) {
        // Our own request on its way: events until it shows are stale. A
        // window manager that will not grant it gets the last word after a few.
        const bool granted = event->width == self->ClientWidth() && event->height == self->ClientHeight() &&
                             outer.x == self->bounds_.Left && outer.y == self->bounds_.Top;
        if (granted || ++self->pendingMisses_ > 3)
            self->pending_ = false;
        if (granted || self->pending_)
            return FALSE;
    }
    // Moved or sized from outside (the user, the window manager).
    self->bounds_ = {outer.x, outer.y, outer.width, outer.height};
    return FALSE;
}

gboolean GtkDashboardView::OnWindowState(GtkWidget*, GdkEventWindowState* event, gpointer data)
{
    auto* self = static_cast<GtkDashboardView*>(data);
    if ((event->changed_mask & GDK_WINDOW_STATE_ICONIFIED) &&
        !(event->new_window_state & GDK_WINDOW_STATE_ICONIFIED))
        self->app_.RaiseRestore();
    return FALSE;
}

void GtkDashboardView::OnRealize(GtkWidget* widget, gpointer data)
{
    auto* self = static_cast<GtkDashboardView*>(data);
    GdkWindow* window = gtk_widget_get_window(widget);
    // A title, a frame and nothing in the caption bar: no window menu (and
    // so no icon), no buttons. Minimising and maximising stay possible from
    // the taskbar and the keyboard; closing goes through the close path.
    gdk_window_set_decorations(window, static_cast<GdkWMDecoration>(GDK_DECOR_BORDER | GDK_DECOR_RESIZEH |
                                                                     GDK_DECOR_TITLE));
    gdk_window_set_functions(window, static_cast<GdkWMFunction>(GDK_FUNC_MOVE | GDK_FUNC_RESIZE |
                                                                 GDK_FUNC_MINIMIZE | GDK_FUNC_MAXIMIZE));
    self->TitleChanged(self->title_.empty() ? self->app_.Title() : self->title_);
}

void GtkDashboardView::OnActiveChanged(GObject*, GParamSpec*, gpointer data)
{
    auto* self = static_cast<GtkDashboardView*>(data);
    const bool active = gtk_window_is_active(GTK_WINDOW(self->window_));
    const bool first = active && !self->everActive_;
    // The window's own activation: the first one, and a return from another
    // window of the program (the error box, say). A return from another
    // program is the application's activation.
    const bool withinProgram = active && self->app_.Active();
    self->app_.WatchActivation(GTK_WINDOW(self->window_));
    if (first || withinProgram) {
        self->everActive_ = true;
        self->Dispatch([self] { self->events_.FormActivate(); });
    }
}

}  // namespace velastrom::gtk
