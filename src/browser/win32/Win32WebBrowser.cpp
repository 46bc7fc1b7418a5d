// In-place hosting of the system's browser control without any helper
// library: a client site that is also the in-place site, a frame of its own,
// an event receiver joined through the control's connection point, and the
// IWebBrowser operations on top of IWebBrowser2.
#include "browser/win32/Win32WebBrowser.h"

#include <exdisp.h>
#include <mshtml.h>
#include <ocidl.h>
#include <oleidl.h>

#include "browser/win32/BrowserEventSink.h"
#include "browser/win32/ComText.h"
#include "browser/win32/DispatchObject.h"
#include "browser/win32/StreamAdapter.h"
#include "common/Error.h"

namespace velastrom::win32 {

namespace {

constexpr const char* HostWindowClass = "VelastromBrowserHost";

// The frame the control is placed in: the top-level window that holds the
// browser. It keeps the control's active object while the control is
// UI-active, for the message loop's TranslateAccelerator. Reference-counted:
// it lives while the site or the control holds it.
class Frame final : public IOleInPlaceFrame {
public:
    explicit Frame(HWND browserWindow) : browserWindow_(browserWindow) {}

    IOleInPlaceActiveObject* ActiveObject() const { return active_.get(); }
    // The browser goes: no window any more, the active object is let go.
    void Detach()
    {
        browserWindow_ = nullptr;
        active_.reset();
    }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override
    {
        if (object == nullptr)
            return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleWindow) ||
            IsEqualIID(riid, IID_IOleInPlaceUIWindow) || IsEqualIID(riid, IID_IOleInPlaceFrame)) {
            *object = static_cast<IOleInPlaceFrame*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&references_)); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const LONG left = InterlockedDecrement(&references_);
        if (left == 0)
            delete this;
        return static_cast<ULONG>(left);
    }

    // IOleWindow
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override
    {
        if (window == nullptr)
            return E_POINTER;
        *window = browserWindow_ ? GetAncestor(browserWindow_, GA_ROOT) : nullptr;
        return *window ? S_OK : E_FAIL;
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IOleInPlaceUIWindow
    HRESULT STDMETHODCALLTYPE GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    HRESULT STDMETHODCALLTYPE RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    HRESULT STDMETHODCALLTYPE SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetActiveObject(IOleInPlaceActiveObject* object, LPCOLESTR) override
    {
        if (object != nullptr && browserWindow_ == nullptr)
            return E_UNEXPECTED;
        if (object)
            object->AddRef();
        active_ = ComPtr<IOleInPlaceActiveObject>::Attach(object);
        return S_OK;
    }

    // IOleInPlaceFrame
    HRESULT STDMETHODCALLTYPE InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RemoveMenus(HMENU) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetStatusText(LPCOLESTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

private:
    ~Frame() = default;

    HWND browserWindow_;
    LONG references_ = 1;
    ComPtr<IOleInPlaceActiveObject> active_;
};

// The container's side of the control: client site and in-place site, in the
// browser's child window. Reference-counted, freed at its last Release: the
// control may hold it past the browser's teardown, after which it answers
// without touching the browser or its window.
class Site final : public IOleClientSite, public IOleInPlaceSite {
public:
    explicit Site(HWND window) : window_(window), frame_(ComPtr<Frame>::Attach(new Frame(window))) {}

    void SetInPlaceObject(IOleInPlaceObject* object) { inPlace_ = object; }
    IOleInPlaceActiveObject* ActiveObject() const { return frame_->ActiveObject(); }
    // The browser goes: the site and its frame let go of it.
    void Detach()
    {
        window_ = nullptr;
        inPlace_ = nullptr;
        frame_->Detach();
    }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override
    {
        if (object == nullptr)
            return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleClientSite))
            *object = static_cast<IOleClientSite*>(this);
        else if (IsEqualIID(riid, IID_IOleWindow) || IsEqualIID(riid, IID_IOleInPlaceSite))
            *object = static_cast<IOleInPlaceSite*>(this);
        else {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&references_)); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const LONG left = InterlockedDecrement(&references_);
        if (left == 0)
            delete this;
        return static_cast<ULONG>(left);
    }

    // IOleClientSite
    HRESULT STDMETHODCALLTYPE SaveObject() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker** moniker) override
    {
        if (moniker)
            *moniker = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** container) override
    {
        if (container)
            *container = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE ShowObject() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleWindow: the browser's child window.
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override
    {
        if (window == nullptr)
            return E_POINTER;
        *window = window_;
        return window_ ? S_OK : E_FAIL;
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IOleInPlaceSite
    HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override { return window_ ? S_OK : S_FALSE; }
    HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnUIActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                               LPRECT position, LPRECT clip, LPOLEINPLACEFRAMEINFO info) override
    {
        if (frame == nullptr || document == nullptr || position == nullptr || clip == nullptr || info == nullptr)
            return E_POINTER;
        *frame = nullptr;
        *document = nullptr;
        if (window_ == nullptr)
            return E_FAIL;
        frame_->AddRef();
        *frame = frame_.get();
        GetClientRect(window_, position);
        GetClientRect(window_, clip);
        info->fMDIApp = FALSE;
        info->hwndFrame = GetAncestor(window_, GA_ROOT);
        info->haccel = nullptr;
        info->cAccelEntries = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override
    {
        frame_->SetActiveObject(nullptr, nullptr);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT rect) override
    {
        if (inPlace_ != nullptr && rect != nullptr)
            inPlace_->SetObjectRects(rect, rect);
        return S_OK;
    }

private:
    ~Site() = default;

    HWND window_;
    LONG references_ = 1;
    IOleInPlaceObject* inPlace_ = nullptr;  // held by the browser object
    ComPtr<Frame> frame_;
};

class Win32WebBrowser final : public IWebBrowser {
public:
    explicit Win32WebBrowser(HWND parent);
    ~Win32WebBrowser() override;

    Win32WebBrowser(const Win32WebBrowser&) = delete;
    Win32WebBrowser& operator=(const Win32WebBrowser&) = delete;

    HWND Window() const { return window_; }
    bool TranslateAccelerator(MSG& message);
    void SetCacheReads(TCacheReads reads) { cacheReads_ = reads; }

    void Navigate(const std::string& address) override;
    void Stop() override;
    int ReadyState() override;
    bool HasDocument() override;
    void Save(TMemoryStream& stream) override;
    void Load(TMemoryStream& stream) override;
    std::shared_ptr<IAutomationObject> Automation() override;
    void Focus() override;
    void SetOnBeforeNavigate2(BeforeNavigate2Event handler) override;
    void SetOnDocumentComplete(DocumentCompleteEvent handler) override;
    void SetOnNewWindow(BrowserEventSink::NewWindowEvent handler);

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void Resize();
    TCacheReads cacheReads_ = TCacheReads::Allowed;
    void Shutdown();
    ComPtr<IDispatch> Document();
    ComPtr<IPersistStreamInit> PersistOfDocument();

    HWND window_ = nullptr;
    ComPtr<Site> site_;
    ComPtr<IOleObject> object_;
    ComPtr<IOleInPlaceObject> inPlace_;
    ComPtr<IWebBrowser2> browser_;
    ComPtr<IConnectionPoint> connection_;
    DWORD cookie_ = 0;
    BrowserEventSink* sink_ = nullptr;
};

void RegisterHostClass()
{
    static bool registered = false;
    if (registered)
        return;
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.lpszClassName = HostWindowClass;
    if (RegisterClassExA(&windowClass) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        ThrowLastError("Window class");
    registered = true;
}

Win32WebBrowser::Win32WebBrowser(HWND parent)
{
    RegisterHostClass();
    SetLastError(ERROR_SUCCESS);
    window_ = CreateWindowExA(0, HostWindowClass, "", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, 0, 0,
                              0, 0, parent, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (window_ == nullptr)
        ThrowLastError("Browser window");
    SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrA(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Win32WebBrowser::WindowProc));
    site_ = ComPtr<Site>::Attach(new Site(window_));
    try {
        OleCheck(CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject, object_.put_void()));
        OleCheck(object_->SetClientSite(site_.get()));
        OleSetContainedObject(object_.get(), TRUE);
        RECT area;
        GetClientRect(window_, &area);
        OleCheck(object_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site_.get(), 0, window_, &area));
        OleCheck(object_->QueryInterface(IID_IOleInPlaceObject, inPlace_.put_void()));
        site_->SetInPlaceObject(inPlace_.get());
        OleCheck(object_->QueryInterface(IID_IWebBrowser2, browser_.put_void()));

        ComPtr<IConnectionPointContainer> container;
        OleCheck(object_->QueryInterface(IID_IConnectionPointContainer, container.put_void()));
        OleCheck(container->FindConnectionPoint(DIID_DWebBrowserEvents2, connection_.put()));
        sink_ = BrowserEventSink::Create();
        OleCheck(connection_->Advise(sink_, &cookie_));
    } catch (...) {
        Shutdown();
        throw;
    }
}

Win32WebBrowser::~Win32WebBrowser() { Shutdown(); }

void Win32WebBrowser::Shutdown()
{
    if (sink_)
        sink_->Detach();
    if (connection_ && cookie_ != 0)
        connection_->Unadvise(cookie_);
    cookie_ = 0;
    connection_.reset();
    if (sink_) {
        sink_->Release();
        sink_ = nullptr;
    }
    browser_.reset();
    if (site_)
        site_->SetInPlaceObject(nullptr);
    if (inPlace_) {
        inPlace_->InPlaceDeactivate();
        inPlace_.reset();
    }
    // The control may keep the site a while yet: from here on it answers
    // without the browser, and goes with its last reference.
    if (site_)
        site_->Detach();
    if (object_) {
        object_->Close(OLECLOSE_NOSAVE);
        object_->SetClientSite(nullptr);
        object_.reset();
    }
    if (window_) {
        SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
        DestroyWindow(window_);
        window_ = nullptr;
    }
    site_.reset();
}

LRESULT CALLBACK Win32WebBrowser::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* self = reinterpret_cast<Win32WebBrowser*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self != nullptr && message == WM_SIZE)
        self->Resize();
    return DefWindowProcA(window, message, wParam, lParam);
}

void Win32WebBrowser::Resize()
{
    if (!inPlace_)
        return;
    RECT area;
    GetClientRect(window_, &area);
    inPlace_->SetObjectRects(&area, &area);
}

bool Win32WebBrowser::TranslateAccelerator(MSG& message)
{
    if (message.message < WM_KEYFIRST || message.message > WM_KEYLAST)
        return false;
    IOleInPlaceActiveObject* active = site_ ? site_->ActiveObject() : nullptr;
    if (active == nullptr || window_ == nullptr)
        return false;
    if (message.hwnd != window_ && !IsChild(window_, message.hwnd))
        return false;
    return active->TranslateAccelerator(&message) == S_OK;
}

void Win32WebBrowser::Navigate(const std::string& address)
{
    Bstr url(address);
    VARIANT empty;
    VariantInit(&empty);
    // The system's cache can answer a navigation without asking the server
    // (a page it holds as fresh, the user's "never check" setting): a browser
    // that may not read from it says so with each navigation.
    VARIANT flags;
    VariantInit(&flags);
    if (cacheReads_ == TCacheReads::Forbidden) {
        flags.vt = VT_I4;
        flags.lVal = navNoReadFromCache;
    }
    OleCheck(browser_->Navigate(url.get(), &flags, &empty, &empty, &empty));
}

void Win32WebBrowser::Stop() { OleCheck(browser_->Stop()); }

int Win32WebBrowser::ReadyState()
{
    READYSTATE state = ::READYSTATE_UNINITIALIZED;
    OleCheck(browser_->get_ReadyState(&state));
    return static_cast<int>(state);
}

ComPtr<IDispatch> Win32WebBrowser::Document()
{
    ComPtr<IDispatch> document;
    OleCheck(browser_->get_Document(document.put()));
    return document;
}

bool Win32WebBrowser::HasDocument() { return static_cast<bool>(Document()); }

ComPtr<IPersistStreamInit> Win32WebBrowser::PersistOfDocument()
{
    ComPtr<IPersistStreamInit> persist;
    const ComPtr<IDispatch> document = Document();
    if (!document)
        return persist;
    if (FAILED(document->QueryInterface(IID_IPersistStreamInit, persist.put_void())) || !persist)
        throw Error("Interface not supported");
    return persist;
}

void Win32WebBrowser::Save(TMemoryStream& stream)
{
    // Without a document there is nothing to save: the stream stays as it is.
    const ComPtr<IPersistStreamInit> persist = PersistOfDocument();
    if (!persist)
        return;
    // The adapter lets go of the program's stream when Save returns: a
    // control that writes to it later gets STG_E_REVERTED.
    StreamAdapter* adapter = StreamAdapter::Create(stream);
    (void)persist->Save(adapter, TRUE);
    adapter->Detach();
    adapter->Release();
}

void Win32WebBrowser::Load(TMemoryStream& stream)
{
    const ComPtr<IPersistStreamInit> persist = PersistOfDocument();
    if (!persist)
        return;
    // The control may read the stream after Load has returned: it gets a copy
    // of its own, which lives as long as the control holds it.
    const ComPtr<IStream> adapter = ComPtr<IStream>::Attach(StreamAdapter::CreateCopy(stream));
    (void)persist->Load(adapter.get());
}

std::shared_ptr<IAutomationObject> Win32WebBrowser::Automation()
{
    return std::make_shared<DispatchObject>(browser_.get());
}

void Win32WebBrowser::Focus()
{
    // In-place active, the control takes keys (Tab between links, its own
    // accelerators) only once it is UI-active, which it otherwise becomes on
    // a click into the page; then it hands the frame its active object, which
    // the message loop's TranslateAccelerator reaches. A control that cannot
    // become UI-active still takes the document's focus below.
    RECT area;
    GetClientRect(window_, &area);
    (void)object_->DoVerb(OLEIVERB_UIACTIVATE, nullptr, site_.get(), 0, window_, &area);

    const ComPtr<IDispatch> document = Document();
    if (!document)
        return;
    ComPtr<IHTMLDocument2> html;
    if (FAILED(document->QueryInterface(IID_IHTMLDocument2, html.put_void())) || !html)
        throw Error("Interface not supported");
    ComPtr<IHTMLWindow2> window;
    OleCheck(html->get_parentWindow(window.put()));
    if (!window)
        throw Error("Variant does not reference an automation object");
    OleCheck(window->focus());
}

void Win32WebBrowser::SetOnBeforeNavigate2(BeforeNavigate2Event handler)
{
    if (sink_)
        sink_->SetOnBeforeNavigate2(std::move(handler));
}

void Win32WebBrowser::SetOnDocumentComplete(DocumentCompleteEvent handler)
{
    if (sink_)
        sink_->SetOnDocumentComplete(std::move(handler));
}

void Win32WebBrowser::SetOnNewWindow(BrowserEventSink::NewWindowEvent handler)
{
    if (sink_)
        sink_->SetOnNewWindow(std::move(handler));
}

}  // namespace

HostedBrowser CreateSystemBrowser(HWND parent, TCacheReads cacheReads)
{
    auto browser = std::make_unique<Win32WebBrowser>(parent);
    browser->SetCacheReads(cacheReads);
    Win32WebBrowser* raw = browser.get();
    HostedBrowser hosted;
    hosted.window = raw->Window();
    hosted.translateAccelerator = [raw](MSG& message) { return raw->TranslateAccelerator(message); };
    hosted.setOnNewWindow = [raw](NewWindowEvent handler) { raw->SetOnNewWindow(std::move(handler)); };
    hosted.browser = std::move(browser);
    return hosted;
}

}  // namespace velastrom::win32
