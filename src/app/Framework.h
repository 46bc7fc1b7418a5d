// The window framework the dashboard is written against: the application
// object (one per process) and the dashboard window's view with its
// components. A backend per platform implements them; tests use fakes.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/MessagePump.h"

namespace velastrom {

class IWebBrowser;

// A colour number: blue in bits 16-23, green in bits 8-15, red in bits 0-7.
using TColor = std::uint32_t;

constexpr TColor RGBColor(unsigned r, unsigned g, unsigned b)
{
    return static_cast<TColor>(r | (g << 8) | (b << 16));
}

enum class TCursor { Default, HourGlass };

// What the close handler may do with the window; the framework presets Hide.
enum class TCloseAction { None, Hide, Free, Minimize };

struct TRect {
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;
};

class IPanel {
public:
    virtual ~IPanel() = default;
    virtual void SetColor(TColor color) = 0;
    virtual TColor Color() const = 0;
};

// An image with a hint and a hand cursor; its click reaches the window's events.
class IImage {
public:
    virtual ~IImage() = default;
    virtual std::string Hint() const = 0;
};

class ILabel {
public:
    virtual ~ILabel() = default;
    virtual void SetCaption(const std::string& caption) = 0;
    virtual std::string Caption() const = 0;
    virtual void SetFontColor(TColor color) = 0;
    virtual TColor FontColor() const = 0;
};

// The handlers of the dashboard window, called by the view. The framework
// passes every call through DispatchEvent, so a failure that leaves a handler
// reaches the default exception handler.
class IDashboardEvents {
public:
    virtual ~IDashboardEvents() = default;
    virtual void FormCreate() = 0;
    virtual void FormDestroy() = 0;
    virtual void FormShow() = 0;
    virtual void FormActivate() = 0;
    virtual void FormCloseQuery(bool& canClose) = 0;
    virtual void FormClose(TCloseAction& action) = 0;
    virtual void WebBrowserBeforeNavigate2(const std::string& url, bool& cancel) = 0;
    virtual void WebBrowserDocumentComplete(const std::string& url) = 0;
    virtual void ImageHomeClick() = 0;
    virtual void ImageStopClick() = 0;
};

// The dashboard window as laid out: caption, frame, minimum size 800 x 600,
// the command bar with its images and label, and the two browsers.
class IDashboardView {
public:
    virtual ~IDashboardView() = default;

    // Outer bounds in screen pixels. Setting one moves or resizes the window
    // at once; a width below 800 or a height below 600 becomes the minimum.
    virtual int Top() const = 0;
    virtual int Left() const = 0;
    virtual int Height() const = 0;
    virtual int Width() const = 0;
    virtual void SetTop(int value) = 0;
    virtual void SetLeft(int value) = 0;
    virtual void SetHeight(int value) = 0;
    virtual void SetWidth(int value) = 0;

    // Whether the window takes mouse and keyboard input.
    virtual void SetEnabled(bool enabled) = 0;
    virtual bool Enabled() const = 0;

    // A request to close the window: runs the close path (RunClosePath).
    virtual void Close() = 0;

    // Components, as the layout creates them.
    virtual IWebBrowser& WebBrowser() = 0;
    virtual IPanel& PanelComand() = 0;
    virtual IImage& ImageHome() = 0;
    virtual IImage& ImageStop() = 0;
    virtual IPanel& PanelInfo() = 0;
    virtual ILabel& cxLabelInfo() = 0;
    virtual IWebBrowser& WebBrowserRoot() = 0;
};

class IApplication : public IMessagePump {
public:
    using TNotifyEvent = std::function<void()>;

    // Initialises the component-object runtime for the GUI thread (single-
    // threaded apartment) and the toolkit.
    virtual void Initialize() = 0;

    // The application title: the taskbar entry's text; read back, at most 255
    // characters.
    virtual void SetTitle(const std::string& title) = 0;
    virtual std::string Title() const = 0;

    // Creates the dashboard window's view from its layout, bound to events;
    // the first window created is the main window.
    virtual std::unique_ptr<IDashboardView> CreateMainWindow(IDashboardEvents& events) = 0;

    // Shows the main window (FormShow first), then dispatches messages until
    // the application is terminating.
    virtual void Run() = 0;
    // Posts the quit request to the GUI thread's queue.
    virtual void Terminate() = 0;

    // Full path of the program's executable file.
    virtual std::string ExeName() const = 0;
    // The main window's platform handle, as an integer.
    virtual std::uintptr_t MainWindowHandle() const = 0;

    // Raised when the program becomes the active application, and when it is
    // restored from the minimised state. One handler each.
    virtual void SetOnActivate(TNotifyEvent handler) = 0;
    virtual void SetOnRestore(TNotifyEvent handler) = 0;

    // The application-wide cursor.
    virtual TCursor Cursor() const = 0;
    virtual void SetCursor(TCursor cursor) = 0;

    // The work areas of the monitors, in screen pixels.
    virtual std::vector<TRect> WorkAreas() const = 0;

    // The default exception handler's box: modal, the text, the application
    // title as caption, an error icon and one OK button.
    virtual void ShowErrorBox(const std::string& text) = 0;
};

// The text the default exception handler shows: the message, with a full stop
// appended when it is not empty and its last byte sorts after '.'.
std::string ExceptionText(const std::string& message);

// The default exception handler: shows the failure in the error box.
void HandleException(IApplication& app, const std::exception& failure);

// Runs one event handler; a failure that leaves it goes to HandleException.
void DispatchEvent(IApplication& app, const std::function<void()>& handler);

// The framework's close path for the main window: the close query (CanClose
// preset true), the close handler (action preset Hide), then, when allowed,
// the quit request. Returns whether the window closes. A failure in a handler
// ends the path and leaves to the caller.
bool RunClosePath(IApplication& app, IDashboardEvents& events);

}  // namespace velastrom
