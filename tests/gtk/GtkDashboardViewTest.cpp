// The GTK window framework: the dashboard window's frame and layout on a real
// X display, its pictures, cursors and clicks, the close path, activation,
// the message loop and the error box.
#include <gtest/gtest.h>

#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>

#include "GtkTestSupport.h"
#include "app/gtk/GtkDashboardView.h"
#include "app/gtk/GtkApplication.h"
#include "common/Error.h"

// After the program's headers: X11's macros (None) would clash with them.
#include <gdk/gdkx.h>

namespace velastrom {
namespace {

using testing::CommandOutput;

using testing::OpenDisplay;
using testing::PumpFor;
using testing::PumpUntil;

struct RecordingEvents : IDashboardEvents {
    void FormCreate() override { log.push_back("FormCreate"); }
    void FormDestroy() override { log.push_back("FormDestroy"); }
    void FormShow() override
    {
        log.push_back("FormShow");
        if (onShow)
            onShow();
    }
    void FormActivate() override
    {
        log.push_back("FormActivate");
        if (onActivate)
            onActivate();
    }
    void FormCloseQuery(bool& canClose) override { log.push_back(canClose ? "FormCloseQuery(true)" : "FormCloseQuery(false)"); }
    void FormClose(TCloseAction& action) override
    {
        log.push_back(action == TCloseAction::Hide ? "FormClose(Hide)" : "FormClose(other)");
    }
    void WebBrowserBeforeNavigate2(const std::string& url, bool&) override { log.push_back("BeforeNavigate2 " + url); }
    void WebBrowserDocumentComplete(const std::string& url) override { log.push_back("DocumentComplete " + url); }
    void ImageHomeClick() override { log.push_back("ImageHomeClick"); }
    void ImageStopClick() override
    {
        log.push_back("ImageStopClick");
        if (onStop)
            onStop();
    }

    int Count(const std::string& entry) const { return static_cast<int>(std::count(log.begin(), log.end(), entry)); }

    std::vector<std::string> log;
    std::function<void()> onShow, onActivate, onStop;
};

// The output of a command, for looking at the X server's view of a window.
struct GtkWindowFramework : ::testing::Test {
    void SetUp() override
    {
        ASSERT_TRUE(OpenDisplay()) << "these tests need an X display";
        app.Initialize();
        view = app.CreateMainWindow(events);
        window = static_cast<gtk::GtkDashboardView*>(view.get());
    }

    void TearDown() override { view.reset(); }

    // Shows the window at the creation geometry and waits until it is drawn.
    void ShowAt(int left, int top, int width, int height)
    {
        view->SetTop(top);
        view->SetLeft(left);
        view->SetHeight(height);
        view->SetWidth(width);
        window->Show();
        ASSERT_TRUE(PumpUntil([&] { return gtk_widget_get_mapped(GTK_WIDGET(window->Window())); }));
        ASSERT_TRUE(PumpUntil([&] { return OuterOnScreen().width == width && OuterOnScreen().height == height; }));
        PumpFor(150);
    }

    GdkRectangle OuterOnScreen() const
    {
        GdkRectangle outer{};
        if (GdkWindow* gdk = gtk_widget_get_window(GTK_WIDGET(window->Window())))
            gdk_window_get_frame_extents(gdk, &outer);
        return outer;
    }

    // A widget's place inside the window's client area.
    GdkRectangle Place(GtkWidget* widget) const
    {
        int x = 0, y = 0;
        gtk_widget_translate_coordinates(widget, GTK_WIDGET(window->Window()), 0, 0, &x, &y);
        return {x, y, gtk_widget_get_allocated_width(widget), gtk_widget_get_allocated_height(widget)};
    }

    std::string XId() const { return std::to_string(app.MainWindowHandle()); }

    void Click(GtkWidget* widget)
    {
        int x = 0, y = 0;
        gdk_window_get_origin(gtk_widget_get_window(GTK_WIDGET(window->Window())), &x, &y);
        const GdkRectangle place = Place(widget);
        const std::string command = "xdotool mousemove " + std::to_string(x + place.x + place.width / 2) + " " +
                                    std::to_string(y + place.y + place.height / 2) + " click 1";
        ASSERT_EQ(std::system(command.c_str()), 0);
    }

    gtk::GtkApplication app;
    RecordingEvents events;
    std::unique_ptr<IDashboardView> view;
    gtk::GtkDashboardView* window = nullptr;
};

TEST_F(GtkWindowFramework, TheWindowOpensWhereItIsToldWithItsCaptionAndNoCaptionBarExtras)
{
    app.SetTitle("Velastrom di Navigazione TAV ROLENDI");
    ShowAt(5, 5, 1024, 736);
    const GdkRectangle outer = OuterOnScreen();
    EXPECT_EQ(outer.x, 5);
    EXPECT_EQ(outer.y, 5);
    EXPECT_EQ(view->Left(), 5);
    EXPECT_EQ(view->Top(), 5);
    EXPECT_EQ(view->Width(), 1024);
    EXPECT_EQ(view->Height(), 736);
    EXPECT_STREQ(gtk_window_get_title(window->Window()), "TAV ROLENDI");
    EXPECT_FALSE(gtk_window_get_deletable(window->Window()));

    const std::string properties = CommandOutput("xprop -id " + XId());
    EXPECT_NE(properties.find("WM_ICON_NAME(STRING) = \"Velastrom di Navigazione TAV ROLENDI\""), std::string::npos)
        << properties;
    EXPECT_EQ(properties.find("_NET_WM_ICON("), std::string::npos) << "no icon on the window itself";
    EXPECT_NE(properties.find("program specified minimum size: 800 by 600"), std::string::npos) << properties;
    EXPECT_EQ(properties.find("program specified maximum size"), std::string::npos) << "no upper limit";

    GdkWMDecoration decorations{};
    ASSERT_TRUE(gdk_window_get_decorations(gtk_widget_get_window(GTK_WIDGET(window->Window())), &decorations));
    EXPECT_TRUE(decorations & GDK_DECOR_TITLE);
    EXPECT_TRUE(decorations & GDK_DECOR_RESIZEH);
    EXPECT_FALSE(decorations & (GDK_DECOR_MENU | GDK_DECOR_MINIMIZE | GDK_DECOR_MAXIMIZE | GDK_DECOR_ALL))
        << "no window menu, icon or buttons in the caption bar";
}

TEST_F(GtkWindowFramework, TheMinimumIs800By600AndThereIsNoMaximum)
{
    ShowAt(10, 20, 1024, 736);
    const struct {
        int width, height, expectedWidth, expectedHeight;
    } cases[] = {{500, 400, 800, 600}, {799, 736, 800, 736}, {1024, 599, 1024, 600}, {1900, 1070, 1900, 1070}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        view->SetWidth(c.width);
        view->SetHeight(c.height);
        EXPECT_EQ(view->Width(), c.expectedWidth);
        EXPECT_EQ(view->Height(), c.expectedHeight);
        EXPECT_TRUE(PumpUntil([&] {
            return OuterOnScreen().width == c.expectedWidth && OuterOnScreen().height == c.expectedHeight;
        }));
    }
}

TEST_F(GtkWindowFramework, ImagesKeepToTheBarsEndsAndTheLabelTakesTheWidthBetween)
{
    ShowAt(0, 0, 1024, 736);
    for (const int width : {800, 1024, 1600}) {
        SCOPED_TRACE(width);
        view->SetWidth(width);
        ASSERT_TRUE(PumpUntil([&] { return Place(window->StopWidget()).x == width - 56; }));
        const GdkRectangle home = Place(window->HomeWidget());
        const GdkRectangle stop = Place(window->StopWidget());
        // The holder is allocated inside its border of 2; with it, it spans the gap.
        GdkRectangle info;
        gtk_widget_get_allocation(window->InfoWidget(), &info);
        const int border = static_cast<int>(gtk_container_get_border_width(GTK_CONTAINER(window->InfoWidget())));
        EXPECT_EQ(border, 2);
        info = {info.x - border, info.y - border, info.width + 2 * border, info.height + 2 * border};
        const GdkRectangle label = Place(window->LabelWidget());
        const GdkRectangle bar = Place(window->BarWidget());
        const GdkRectangle browser = Place(window->VisibleBrowser().Widget());
        EXPECT_EQ((std::vector<int>{home.x, home.y, home.width, home.height}), (std::vector<int>{8, 8, 48, 48}));
        EXPECT_EQ((std::vector<int>{stop.x, stop.y, stop.width, stop.height}),
                  (std::vector<int>{width - 56, 8, 48, 48}));
        EXPECT_EQ((std::vector<int>{info.x, info.y, info.width, info.height}),
                  (std::vector<int>{56, 8, width - 112, 48}));
        EXPECT_EQ((std::vector<int>{label.x, label.y, label.width, label.height}),
                  (std::vector<int>{58, 10, width - 116, 44}));
        EXPECT_EQ((std::vector<int>{bar.x, bar.y, bar.width, bar.height}), (std::vector<int>{0, 0, width, 64}));
        EXPECT_EQ((std::vector<int>{browser.x, browser.y, browser.width, browser.height}),
                  (std::vector<int>{0, 64, width, 736 - 64}));
    }
    // The covered browser: at 72,16, 55 x 55, realized, under the bar.
    GtkWidget* covered = window->CoveredBrowser().Widget();
    const GdkRectangle place = Place(covered);
    EXPECT_EQ((std::vector<int>{place.x, place.y, place.width, place.height}), (std::vector<int>{72, 16, 55, 55}));
    EXPECT_TRUE(gtk_widget_get_realized(covered));
}

TEST_F(GtkWindowFramework, TheLabelIsBoldGreenCentredAndWraps)
{
    view->cxLabelInfo().SetCaption("Velastrom di Navigazione TAV ROLENDI");
    view->cxLabelInfo().SetFontColor(RGBColor(0x3D, 0x94, 0x5A));
    view->PanelComand().SetColor(RGBColor(0xF0, 0xF5, 0xD5));
    ShowAt(0, 0, 1024, 736);
    GtkLabel* label = GTK_LABEL(window->LabelWidget());
    EXPECT_STREQ(gtk_label_get_text(label), "Velastrom di Navigazione TAV ROLENDI");
    EXPECT_TRUE(gtk_label_get_line_wrap(label));
    EXPECT_EQ(gtk_label_get_justify(label), GTK_JUSTIFY_CENTER);
    EXPECT_EQ(view->PanelInfo().Color(), RGBColor(0xF0, 0xF5, 0xD5)) << "the holder follows the bar";

    PangoFontDescription* font = nullptr;
    gtk_style_context_get(gtk_widget_get_style_context(window->LabelWidget()), GTK_STATE_FLAG_NORMAL, "font", &font,
                          nullptr);
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(pango_font_description_get_weight(font), PANGO_WEIGHT_BOLD);
    // 16 pixels at 96 dpi are 12 point.
    EXPECT_EQ(pango_font_description_get_size(font), 12 * PANGO_SCALE);
    pango_font_description_free(font);

    // One line at this width; a caption too long for the panel wraps.
    const int oneLine = Place(window->LabelWidget()).height;
    PangoLayout* layout = gtk_label_get_layout(label);
    EXPECT_EQ(pango_layout_get_line_count(layout), 1);
    view->SetWidth(800);
    view->cxLabelInfo().SetCaption(
        "Velastrom di Navigazione TAV ROLENDI, il cruscotto dei prodotti installati su questo computer portatile");
    ASSERT_TRUE(PumpUntil([&] { return pango_layout_get_line_count(gtk_label_get_layout(label)) >= 2; }));
    EXPECT_EQ(Place(window->LabelWidget()).height, oneLine) << "the label keeps its place in the bar";
    EXPECT_EQ(Place(window->BarWidget()).height, 64);
}

// The pixels of the bar as drawn: the crimson of the pictures never shows.
TEST_F(GtkWindowFramework, TheBarColourShowsThroughThePictures)
{
    view->PanelComand().SetColor(RGBColor(0xF0, 0xF5, 0xD5));
    view->cxLabelInfo().SetFontColor(RGBColor(0x3D, 0x94, 0x5A));
    view->cxLabelInfo().SetCaption("Velastrom di Navigazione TAV ROLENDI");
    ShowAt(0, 0, 1024, 736);
    ASSERT_GT(gtk::HomePicture.size, 0u) << "resources/home.bmp was missing at build time";
    ASSERT_GT(gtk::StopPicture.size, 0u) << "resources/stop.bmp was missing at build time";

    GdkPixbuf* shot = gdk_pixbuf_get_from_window(gtk_widget_get_window(GTK_WIDGET(window->Window())), 0, 0, 1024, 64);
    ASSERT_NE(shot, nullptr);
    const int channels = gdk_pixbuf_get_n_channels(shot);
    const int stride = gdk_pixbuf_get_rowstride(shot);
    const guchar* pixels = gdk_pixbuf_read_pixels(shot);
    auto at = [&](int x, int y) {
        const guchar* p = pixels + y * stride + x * channels;
        return RGBColor(p[0], p[1], p[2]);
    };
    int crimson = 0, labelText = 0;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 1024; ++x) {
            crimson += at(x, y) == RGBColor(0xBA, 0x1F, 0x39);
            labelText += at(x, y) == RGBColor(0x3D, 0x94, 0x5A) && x > 56 && x < 968;
        }
    g_object_unref(shot);
    EXPECT_EQ(crimson, 0);
    EXPECT_GT(labelText, 20) << "the title is drawn in #3D945A";

    shot = gdk_pixbuf_get_from_window(gtk_widget_get_window(GTK_WIDGET(window->Window())), 0, 0, 1024, 64);
    pixels = gdk_pixbuf_read_pixels(shot);
    for (const auto& [x, y] : {std::pair{8, 8}, {8, 55}, {55, 8}, {1016 - 48, 8}, {1015, 55}, {3, 3}, {500, 60}}) {
        SCOPED_TRACE(std::to_string(x) + "," + std::to_string(y));
        EXPECT_EQ(at(x, y), RGBColor(0xF0, 0xF5, 0xD5));
    }
    g_object_unref(shot);
}

// A picture made here: crimson around a blue square.
std::string MadePicture()
{
    std::string bmp(54, '\0');
    auto put32 = [&](int at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bmp[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    bmp[0] = 'B';
    bmp[1] = 'M';
    put32(2, 54 + 48 * 48 * 3);
    put32(10, 54);
    put32(14, 40);
    put32(18, 48);
    put32(22, 48);
    bmp[26] = 1;
    bmp[28] = 24;
    put32(34, 48 * 48 * 3);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 48; ++x) {
            const bool inner = x >= 12 && x < 36 && y >= 12 && y < 36;
            bmp += inner ? std::string("\xFF\x00\x00", 3) : std::string("\x39\x1F\xBA", 3);  // BGR
        }
    return bmp;
}

TEST_F(GtkWindowFramework, TheBottomLeftPixelsColourIsTransparent)
{
    const std::string made = MadePicture();
    const struct {
        const char* name;
        const unsigned char* bytes;
        std::size_t size;
    } pictures[] = {
        {"made here", reinterpret_cast<const unsigned char*>(made.data()), made.size()},
        {"home", gtk::HomePicture.bytes, gtk::HomePicture.size},
        {"stop", gtk::StopPicture.bytes, gtk::StopPicture.size},
    };
    for (const auto& picture : pictures) {
        SCOPED_TRACE(picture.name);
        GdkPixbuf* pixbuf = gtk::LoadTransparentPicture(picture.bytes, picture.size);
        ASSERT_NE(pixbuf, nullptr);
        EXPECT_EQ(gdk_pixbuf_get_width(pixbuf), 48);
        EXPECT_EQ(gdk_pixbuf_get_height(pixbuf), 48);
        ASSERT_TRUE(gdk_pixbuf_get_has_alpha(pixbuf));
        const guchar* p = gdk_pixbuf_read_pixels(pixbuf);
        const int stride = gdk_pixbuf_get_rowstride(pixbuf);
        for (const auto& [x, y] : {std::pair{0, 0}, {47, 0}, {0, 47}, {47, 47}})
            EXPECT_EQ(p[y * stride + x * 4 + 3], 0) << "corner " << x << "," << y;
        EXPECT_EQ(p[24 * stride + 24 * 4 + 3], 255) << "the middle is opaque";
        g_object_unref(pixbuf);
    }
    EXPECT_EQ(gtk::LoadTransparentPicture(reinterpret_cast<const unsigned char*>("not a picture"), 13), nullptr);
}

TEST_F(GtkWindowFramework, ImagesHaveHintsHandCursorsAndClicks)
{
    ShowAt(0, 0, 1024, 736);
    const struct {
        const char* name;
        IImage& image;
        GtkWidget* widget;
        const char* hint;
        const char* handler;
    } images[] = {
        {"home", view->ImageHome(), window->HomeWidget(), "Torna al velastrom principale", "ImageHomeClick"},
        {"stop", view->ImageStop(), window->StopWidget(), "Chiudi il velastrom", "ImageStopClick"},
    };
    GdkCursor* hand = gdk_cursor_new_from_name(gdk_display_get_default(), "pointer");
    for (const auto& image : images) {
        SCOPED_TRACE(image.name);
        EXPECT_EQ(image.image.Hint(), image.hint);
        gchar* tooltip = gtk_widget_get_tooltip_text(image.widget);
        EXPECT_STREQ(tooltip, image.hint);
        g_free(tooltip);
        EXPECT_EQ(gdk_window_get_cursor(gtk_widget_get_window(image.widget)), hand);

        const int before = events.Count(image.handler);
        Click(image.widget);
        EXPECT_TRUE(PumpUntil([&] { return events.Count(image.handler) == before + 1; }));
    }
    EXPECT_EQ(events.Count("ImageHomeClick"), 1);
    EXPECT_EQ(events.Count("ImageStopClick"), 1);

    // The hourglass covers every window of the program, then goes.
    GdkWindow* top = gtk_widget_get_window(GTK_WIDGET(window->Window()));
    app.SetCursor(TCursor::HourGlass);
    EXPECT_EQ(app.Cursor(), TCursor::HourGlass);
    EXPECT_NE(gdk_window_get_cursor(top), nullptr);
    EXPECT_EQ(gdk_window_get_cursor(gtk_widget_get_window(window->HomeWidget())), gdk_window_get_cursor(top));
    app.SetCursor(TCursor::Default);
    EXPECT_EQ(gdk_window_get_cursor(top), nullptr);
    EXPECT_EQ(gdk_window_get_cursor(gtk_widget_get_window(window->HomeWidget())), hand);
    g_object_unref(hand);
}

TEST_F(GtkWindowFramework, ADisabledWindowTakesNoClicks)
{
    ShowAt(0, 0, 1024, 736);
    view->SetEnabled(false);
    EXPECT_FALSE(view->Enabled());
    Click(window->HomeWidget());
    PumpFor(300);
    EXPECT_EQ(events.Count("ImageHomeClick"), 0);

    view->SetEnabled(true);
    EXPECT_TRUE(view->Enabled());
    Click(window->HomeWidget());
    EXPECT_TRUE(PumpUntil([&] { return events.Count("ImageHomeClick") == 1; }));
}

TEST_F(GtkWindowFramework, EveryCloseRequestRunsTheClosePathAndTheWindowStays)
{
    ShowAt(0, 0, 1024, 736);
    const struct {
        const char* name;
        std::function<void()> request;
    } requests[] = {
        {"the window manager's close (delete event)", [&] { gtk_window_close(window->Window()); }},
        {"the view's Close", [&] { view->Close(); }},
    };
    for (const auto& request : requests) {
        SCOPED_TRACE(request.name);
        events.log.clear();
        request.request();
        ASSERT_TRUE(PumpUntil([&] { return events.Count("FormClose(Hide)") == 1; }));
        EXPECT_EQ(events.log, (std::vector<std::string>{"FormCloseQuery(true)", "FormClose(Hide)"}));
        EXPECT_TRUE(PumpUntil([&] { return app.Terminated(); })) << "the quit request is taken from the queue";
        EXPECT_TRUE(gtk_widget_get_visible(GTK_WIDGET(window->Window()))) << "the window stays until destroyed";
    }
}

TEST_F(GtkWindowFramework, RunShowsTheWindowAfterFormShowAndEndsOnTheQuitRequest)
{
    bool visibleInFormShow = true;
    events.onShow = [&] { visibleInFormShow = gtk_widget_get_visible(GTK_WIDGET(window->Window())); };
    int activations = 0;
    app.SetOnActivate([&] { ++activations; });
    // The first activation asks to quit; should Run not end, the deadline does.
    events.onActivate = [&] { app.Terminate(); };
    struct Guard {
        gtk::GtkApplication* app;
        bool fired = false;
    } guard{&app};
    const guint deadline = g_timeout_add(20000, [](gpointer data) {
        auto* g = static_cast<Guard*>(data);
        g->fired = true;
        g->app->Terminate();
        return G_SOURCE_REMOVE;
    }, &guard);

    app.Run();
    if (!guard.fired)
        g_source_remove(deadline);
    EXPECT_FALSE(guard.fired) << "Run ended only through the deadline";
    EXPECT_FALSE(visibleInFormShow) << "FormShow runs before the window becomes visible";
    EXPECT_TRUE(app.Terminated());
    ASSERT_GE(events.log.size(), 2u);
    EXPECT_EQ(events.log[0], "FormShow");
    EXPECT_EQ(events.log[1], "FormActivate");
    EXPECT_TRUE(PumpUntil([&] { return activations == 1; })) << "the program became the active application";
}

TEST_F(GtkWindowFramework, AQuitRequestTakenWhileProcessingMessagesOnlyMarksTheApplication)
{
    int later = 0;
    app.Terminate();
    app.Terminate();
    EXPECT_FALSE(app.Terminated()) << "posted, not yet taken";
    g_idle_add([](gpointer count) {
        ++*static_cast<int*>(count);
        return G_SOURCE_REMOVE;
    }, &later);
    app.ProcessMessages();
    EXPECT_TRUE(app.Terminated());
    EXPECT_EQ(later, 1) << "messages behind the quit request are processed too";
}

TEST_F(GtkWindowFramework, TheApplicationObjectDescribesTheProgram)
{
    // The title, read back at most 255 characters, is the main window's icon name.
    app.SetTitle(std::string(300, 'x'));
    EXPECT_EQ(app.Title(), std::string(255, 'x'));
    app.SetTitle("Velastrom di Navigazione TAV ROLENDI \xE8");
    EXPECT_EQ(app.Title(), "Velastrom di Navigazione TAV ROLENDI \xE8");

    ShowAt(0, 0, 1024, 736);
    GdkWindow* gdk = gtk_widget_get_window(GTK_WIDGET(window->Window()));
    EXPECT_EQ(app.MainWindowHandle(), static_cast<std::uintptr_t>(gdk_x11_window_get_xid(gdk)));
    EXPECT_NE(CommandOutput("xprop -id " + XId() + " _NET_WM_ICON_NAME").find("Velastrom di Navigazione TAV ROLENDI \xC3\xA8"),
              std::string::npos);

    char self[PATH_MAX] = {};
    ASSERT_GT(readlink("/proc/self/exe", self, sizeof self - 1), 0);
    EXPECT_EQ(app.ExeName(), self);

    const auto areas = app.WorkAreas();
    ASSERT_FALSE(areas.empty());
    GdkRectangle monitor;
    gdk_monitor_get_geometry(gdk_display_get_monitor(gdk_display_get_default(), 0), &monitor);
    EXPECT_EQ(areas[0].Left, monitor.x);
    EXPECT_EQ(areas[0].Top, monitor.y);
    EXPECT_LE(areas[0].Width, monitor.width);
    EXPECT_LE(areas[0].Height, monitor.height);
    EXPECT_GT(areas[0].Width, 0);
}

int CountButtons(GtkWidget* widget)
{
    int count = GTK_IS_BUTTON(widget) ? 1 : 0;
    if (GTK_IS_CONTAINER(widget)) {
        GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
        for (GList* item = children; item; item = item->next)
            count += CountButtons(GTK_WIDGET(item->data));
        g_list_free(children);
    }
    return count;
}

// Looks for the program's message box, reads it and presses OK.
struct ErrorBoxReader {
    bool seen = false;
    std::string title, text;
    GtkMessageType type = GTK_MESSAGE_OTHER;
    int buttons = 0;
    bool modal = false;

    static gboolean Poll(gpointer data)
    {
        auto* self = static_cast<ErrorBoxReader*>(data);
        GList* windows = gtk_window_list_toplevels();
        GtkWidget* box = nullptr;
        for (GList* item = windows; item; item = item->next)
            if (GTK_IS_MESSAGE_DIALOG(item->data) && gtk_widget_get_visible(GTK_WIDGET(item->data)))
                box = GTK_WIDGET(item->data);
        g_list_free(windows);
        if (!box)
            return G_SOURCE_CONTINUE;
        self->seen = true;
        self->title = gtk_window_get_title(GTK_WINDOW(box));
        gchar* text = nullptr;
        g_object_get(box, "text", &text, "message-type", &self->type, nullptr);
        self->text = text ? text : "";
        g_free(text);
        self->modal = gtk_window_get_modal(GTK_WINDOW(box));
        self->buttons = CountButtons(box);
        gtk_dialog_response(GTK_DIALOG(box), GTK_RESPONSE_OK);
        return G_SOURCE_REMOVE;
    }
};

TEST_F(GtkWindowFramework, TheErrorBoxShowsTheFailureUnderTheApplicationTitle)
{
    app.SetTitle("Velastrom di Navigazione TAV ROLENDI");
    ShowAt(0, 0, 1024, 736);
    const struct {
        const char* name;
        std::function<void()> raise;
        std::string text;
    } cases[] = {
        {"a failure leaving a handler", [&] { DispatchEvent(app, [] { throw Error("Impossibile aprire il file"); }); },
         "Impossibile aprire il file."},
        {"the box directly, Windows-1252 text", [&] { app.ShowErrorBox("Non \xE8 possibile."); },
         "Non \xC3\xA8 possibile."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ErrorBoxReader reader;
        const guint poll = g_timeout_add(20, ErrorBoxReader::Poll, &reader);
        c.raise();  // returns once the box is dismissed
        if (!reader.seen)
            g_source_remove(poll);
        ASSERT_TRUE(reader.seen);
        EXPECT_EQ(reader.title, "Velastrom di Navigazione TAV ROLENDI");
        EXPECT_EQ(reader.text, c.text);
        EXPECT_EQ(reader.type, GTK_MESSAGE_ERROR);
        EXPECT_EQ(reader.buttons, 1);
        EXPECT_TRUE(reader.modal);
    }
}

}  // namespace
}  // namespace velastrom
