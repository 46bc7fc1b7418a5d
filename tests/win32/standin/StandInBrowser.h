// A stand-in for the system's browser control, for tests only: an in-process
// component that answers CLSID_WebBrowser in the test process, so the
// program's own host creates it with CoCreateInstance exactly as it creates
// the real control. It implements what the host uses, after Microsoft's
// documentation of each interface (IOleObject, IOleInPlaceObject,
// IOleInPlaceActiveObject, IConnectionPointContainer with DWebBrowserEvents2,
// IWebBrowser2, and a document with IPersistStreamInit, IHTMLDocument2 and
// the body's style through IDispatch), fetches http:// addresses for real
// through WinHTTP, and records what the host did.
//
// What it does not show: what the real engine serialises on Save (here the
// bytes as they came), how it resolves links beyond the cases below, frames,
// scripts, rendering, and the engine's own keys.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <cstddef>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace velastrom::standin {

// What one control went through, kept after the control is gone. Controls
// are numbered in the order the host created them.
struct ControlRecord {
    std::vector<std::string> events;     // in order: "Navigate(url)", "BeforeNavigate2(url)=cancelled", ...
    std::vector<std::string> newWindows; // addresses a new window opened on, outside the host
    std::vector<std::string> fetched;    // http:// addresses fetched from their server
    std::vector<std::string> loads;      // the bytes each IPersistStreamInit::Load read
    std::vector<std::string> saves;      // the bytes each Save wrote
    std::vector<std::pair<std::string, std::string>> styles;  // body style assignments, by the property's own name
    int documentCompletes = 0;
    int focusCalls = 0;
    bool uiActive = false;
};

// Makes the stand-in the class behind CLSID_WebBrowser in the calling
// thread's apartment (which must be initialised) while it lives, and starts
// a new set of records.
class Registration {
public:
    Registration();
    ~Registration();
    Registration(const Registration&) = delete;
    Registration& operator=(const Registration&) = delete;

private:
    DWORD cookie_ = 0;
};

// The stand-in's class object, for a DLL that serves it from the registry.
IClassFactory* ClassObject();

// Controls created since the registration, in creation order.
std::size_t ControlCount();
const ControlRecord& Record(std::size_t control);
// Whether the control still exists (the host has not released it yet).
bool Alive(std::size_t control);
int ReadyState(std::size_t control);
// The current document's address and bytes ("" without a document).
std::string DocumentUrl(std::size_t control);
std::string DocumentHtml(std::size_t control);
// The href of every link of the current document, in document order.
std::vector<std::string> Links(std::size_t control);
// A click on link n (from 0) of the current document: the control raises
// BeforeNavigate2 with the link's address and navigates unless cancelled.
// False when the control or the link does not exist.
bool ClickLink(std::size_t control, std::size_t n);
// The same link opened in a new window (Shift or Ctrl + click, a target of
// "_blank"): the control raises NewWindow2, then NewWindow3; a handler that
// cancels either keeps the window from opening. True when the new window
// would open outside the host (nobody cancelled); false also when the
// control or the link does not exist.
bool OpenLinkInNewWindow(std::size_t control, std::size_t n);

// Called after each IPersistStreamInit::Load, with the control's number.
void SetOnLoad(std::function<void(std::size_t control)> handler);

// Objects of the stand-in alive now (controls, documents, windows, elements,
// styles, connection points included), and the references to them that
// callers hold in all. Both are 0 once the host has released everything the
// stand-in handed out.
long LiveObjects();
long OutstandingReferences();
// References the stand-in holds on the host's objects (sites, frames, event
// receivers): 0 once every control let go of its host.
long HostReferencesHeld();

}  // namespace velastrom::standin
