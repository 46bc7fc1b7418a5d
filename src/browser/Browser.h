// What the dashboard asks of the platform's embedded web browser. Strings are
// single-byte Windows-1252 text; each backend converts at its own boundary.
// Every call and every event runs on the GUI thread.
#pragma once

#include <functional>
#include <memory>
#include <span>
#include <string>

#include "common/MemoryStream.h"
#include "common/MessagePump.h"

namespace velastrom {

// Ready states of a browser control.
enum TReadyState : int {
    READYSTATE_UNINITIALIZED = 0,
    READYSTATE_LOADING = 1,
    READYSTATE_LOADED = 2,
    READYSTATE_INTERACTIVE = 3,
    READYSTATE_COMPLETE = 4,
};

// A late-bound object of the browser's document model. Names match without
// regard to letter case. A name the object does not know fails with
// "Method '<name>' not supported by automation object"; a property that holds
// no object fails with "Variant does not reference an automation object".
class IAutomationObject {
public:
    virtual ~IAutomationObject() = default;
    // Reads a property (or calls a method) without arguments; the result must
    // be an object.
    virtual std::shared_ptr<IAutomationObject> Get(const std::string& name) = 0;
    // Assigns a text value to a property.
    virtual void Set(const std::string& name, const std::string& value) = 0;
};

// One assignment of the page body's style, by the names that reach it: the
// document, its body, the body's style, then the property and its value.
struct TBodyStyleAssignment {
    const char* Document;
    const char* Body;
    const char* Style;
    const char* Property;
    const char* Value;
};

class IWebBrowser {
public:
    // url as the control reports it; setting cancel to true stops the navigation.
    using BeforeNavigate2Event = std::function<void(const std::string& url, bool& cancel)>;
    using DocumentCompleteEvent = std::function<void(const std::string& url)>;

    virtual ~IWebBrowser() = default;

    // Starts loading the address and returns before the page has loaded.
    virtual void Navigate(const std::string& address) = 0;
    // Stops the navigation under way; the control ends with a document of its
    // own (ready state 3 or more).
    virtual void Stop() = 0;
    virtual int ReadyState() = 0;
    // Whether the control holds a top-level document.
    virtual bool HasDocument() = 0;
    // Writes the document's HTML bytes into the stream from its position.
    // Fails with "Interface not supported" when the document cannot be saved.
    virtual void Save(TMemoryStream& stream) = 0;
    // Shows the HTML read from the stream's position to its end.
    virtual void Load(TMemoryStream& stream) = 0;
    // The control's own automation object, root of Document / Body / Style.
    virtual std::shared_ptr<IAutomationObject> Automation() = 0;
    // The document's window takes the keyboard focus.
    virtual void Focus() = 0;
    // Makes the assignments in order, each as its own chain of late-bound
    // calls from Automation() would (Get, Get, Get, then Set), reading the
    // body afresh. The first failure ends them with that assignment's error;
    // those before it stay made. A backend may make them in one round trip.
    virtual void SetBodyStyles(std::span<const TBodyStyleAssignment> rows);

    // The events are raised on the GUI thread; a handler may call Navigate on
    // the same browser. Failures leaving a handler belong to the handler's
    // caller (the window framework reports them).
    virtual void SetOnBeforeNavigate2(BeforeNavigate2Event handler) = 0;
    virtual void SetOnDocumentComplete(DocumentCompleteEvent handler) = 0;
};

// Processes pending messages while the browser's ready state is below 3. The
// test comes first; no sleep. It also ends once the application is
// terminating, so a browser that never becomes interactive cannot keep a
// closed program alive.
void WaitUntilInteractive(IWebBrowser& browser, IMessagePump& pump);

}  // namespace velastrom
