// The dashboard window on Linux: a GTK toplevel laid out as the command bar
// (home image, information label, stop image) above the visible browser,
// with the covered browser beneath both.
#pragma once

#include <gtk/gtk.h>

#include <memory>
#include <string>

#include "app/Framework.h"
#include "app/gtk/EmbeddedPictures.h"
#include "browser/webkit/WebKitBrowser.h"

namespace velastrom::gtk {

class GtkApplication;

// A panel's background colour, through its own CSS provider.
class Panel final : public IPanel {
public:
    // A panel without a colour of its own shows its parent's.
    Panel(GtkWidget* widget, const Panel* parent);
    ~Panel() override;
    Panel(const Panel&) = delete;
    Panel& operator=(const Panel&) = delete;
    void SetColor(TColor color) override;
    TColor Color() const override;
    GtkWidget* Widget() const { return widget_; }

private:
    GtkWidget* widget_;
    const Panel* parent_;
    TColor color_ = 0xC0C0C0;  // silver
    bool ownColor_ = true;
    GtkCssProvider* css_;
};

// A 48 x 48 picture with a hint, a hand cursor and a click; the colour of
// its bottom-left pixel is transparent.
class Picture final : public IImage {
public:
    Picture(const EmbeddedPicture& picture, const std::string& hint);
    std::string Hint() const override { return hint_; }
    GtkWidget* Widget() const { return box_; }
    // Called on a click (press and release of the first button over it).
    void SetOnClick(std::function<void()> handler) { onClick_ = std::move(handler); }

private:
    static gboolean OnPress(GtkWidget*, GdkEventButton*, gpointer);
    static gboolean OnRelease(GtkWidget*, GdkEventButton*, gpointer);
    GtkWidget* box_;
    std::string hint_;
    bool pressed_ = false;
    std::function<void()> onClick_;
};

// Turns a BMP's bytes into a picture with transparency: the colour of the
// bottom-left pixel becomes fully transparent. Null when the bytes are not a
// picture.
GdkPixbuf* LoadTransparentPicture(const unsigned char* bytes, std::size_t size);

class Label final : public ILabel {
public:
    Label();
    ~Label() override;
    Label(const Label&) = delete;
    Label& operator=(const Label&) = delete;
    void SetCaption(const std::string& caption) override;
    std::string Caption() const override { return caption_; }
    void SetFontColor(TColor color) override;
    TColor FontColor() const override { return color_; }
    GtkWidget* Widget() const { return label_; }

private:
    GtkWidget* label_;
    std::string caption_ = "cxLabelInfo";
    TColor color_ = 0;
    GtkCssProvider* css_;
};

class GtkDashboardView final : public IDashboardView {
public:
    static constexpr int MinWidth = 800;
    static constexpr int MinHeight = 600;
    static constexpr int BarHeight = 64;

    GtkDashboardView(GtkApplication& app, IDashboardEvents& events);
    ~GtkDashboardView() override;
    GtkDashboardView(const GtkDashboardView&) = delete;
    GtkDashboardView& operator=(const GtkDashboardView&) = delete;

    int Top() const override { return bounds_.Top; }
    int Left() const override { return bounds_.Left; }
    int Height() const override { return bounds_.Height; }
    int Width() const override { return bounds_.Width; }
    void SetTop(int value) override;
    void SetLeft(int value) override;
    void SetHeight(int value) override;
    void SetWidth(int value) override;
    void SetEnabled(bool enabled) override;
    bool Enabled() const override;
    void Close() override;

    IWebBrowser& WebBrowser() override { return webBrowser_; }
    IPanel& PanelComand() override { return panelComand_; }
    IImage& ImageHome() override { return imageHome_; }
    IImage& ImageStop() override { return imageStop_; }
    IPanel& PanelInfo() override { return panelInfo_; }
    ILabel& cxLabelInfo() override { return label_; }
    IWebBrowser& WebBrowserRoot() override { return webBrowserRoot_; }

    // --- for the application object and tests --------------------------------
    GtkWindow* Window() const { return GTK_WINDOW(window_); }
    // FormShow, then the window becomes visible and active.
    void Show();
    // The application title changed.
    void TitleChanged(const std::string& title);
    // Widgets of the layout, for tests that look at where things are.
    GtkWidget* HomeWidget() const { return imageHome_.Widget(); }
    GtkWidget* StopWidget() const { return imageStop_.Widget(); }
    GtkWidget* LabelWidget() const { return label_.Widget(); }
    GtkWidget* InfoWidget() const { return panelInfo_.Widget(); }
    GtkWidget* BarWidget() const { return panelComand_.Widget(); }
    webkit::WebKitBrowser& VisibleBrowser() { return webBrowser_; }
    webkit::WebKitBrowser& CoveredBrowser() { return webBrowserRoot_; }

private:
    static gboolean OnDelete(GtkWidget*, GdkEvent*, gpointer);
    static gboolean OnConfigure(GtkWidget*, GdkEventConfigure*, gpointer);
    static gboolean OnWindowState(GtkWidget*, GdkEventWindowState*, gpointer);
    static void OnRealize(GtkWidget*, gpointer);
    static void OnActiveChanged(GObject*, GParamSpec*, gpointer);

    void Dispatch(const std::function<void()>& handler);
    // Reads the frame's widths; true when they changed.
    bool ReadFrameExtents(int clientWidth, int clientHeight);
    int ClientWidth() const;
    int ClientHeight() const;
    void ApplyMinimum();
    void ApplyPosition();
    void ApplySize();

    GtkApplication& app_;
    IDashboardEvents& events_;
    GtkWidget* window_;
    // Children in the order they are created.
    webkit::WebKitBrowser webBrowser_;
    webkit::WebKitBrowser webBrowserRoot_;
    Panel panelComand_;
    Picture imageHome_;
    Picture imageStop_;
    Panel panelInfo_;
    Label label_;

    TRect bounds_{852, 177, 1024, 736};
    // The frame's widths around the client area: left, top, right, bottom.
    int frame_[4] = {0, 0, 0, 0};
    // A move or resize of ours that the window does not show yet.
    bool pending_ = false;
    int pendingMisses_ = 0;
    bool everActive_ = false;
    std::string title_;
};

}  // namespace velastrom::gtk
