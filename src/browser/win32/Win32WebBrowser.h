// The system's web browser control hosted in place in a child window: the
// dashboard's IWebBrowser on IWebBrowser2.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "browser/Browser.h"

namespace velastrom::win32 {

// The address of a new window the control asked for and was refused (a
// Shift-click, a link to a new window, a script opening one).
using NewWindowEvent = std::function<void(const std::string& url)>;

// A browser placed in a window of the dashboard: the browser, the child
// window the view lays out, the hook that lets the control see keyboard
// messages before they are dispatched (true: the control took the message),
// and where the addresses of refused new windows go (raised inside the
// control's own event: navigate later, not from the handler).
struct HostedBrowser {
    std::unique_ptr<IWebBrowser> browser;
    HWND window = nullptr;
    std::function<bool(MSG&)> translateAccelerator;
    std::function<void(NewWindowEvent)> setOnNewWindow;
};

// Makes a browser inside parent; the view sizes the returned window.
using BrowserFactory = std::function<HostedBrowser(HWND parent)>;

// Whether a browser's navigations may be answered from the system's cache of
// pages without asking the server. The covered browser's may not: the start
// page comes from its server at every start.
enum class TCacheReads { Allowed, Forbidden };

// The system's browser control (CLSID_WebBrowser). The component-object
// runtime must be initialised on the calling thread. Failures raise
// velastrom::Error with the system's text.
HostedBrowser CreateSystemBrowser(HWND parent, TCacheReads cacheReads = TCacheReads::Allowed);

}  // namespace velastrom::win32
