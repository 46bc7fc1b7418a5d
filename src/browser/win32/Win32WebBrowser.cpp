// In-place hosting of the system's browser control without any helper
// library: a client site that is also the in-place site and frame, an event
// receiver joined through the control's connection point, and the IWebBrowser
// operations on top of IWebBrowser2.
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

namespace velastrom {

namespace {

constexpr const char* HostWindowClass = "VelastromBrowserHost";

// The container's side of the control: client site, in-place site and frame.
// Its lifetime is that of the browser object that owns it; the control holds
// references only while it is attached.
class Site final : public IOleClientSite, public IOleInPlaceSite, public IOleInPlaceFrame {
public:
    explicit Site(HWND window) : window_(window) {}

    void SetInPlaceObject(IOleInPlaceObject* object) { inPlace_ = object; }
    IOleInPlaceActiveObject* ActiveObject() const { return active_.get(); }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override
    {
        if (object == nullptr)
            return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleClientSite))
            *object = static_cast<IOleClientSite*>(this);
        else if (IsEqualIID(riid, IID_IOleWindow) || IsEqualIID(riid, IID_IOleInPlaceSite))
            *object = static_cast<IOleInPlaceSite*>(this);
        else if (IsEqualIID(riid, IID_IOleInPlaceUIWindow) || IsEqualIID(riid, IID_IOleInPlaceFrame))
            *object = static_cast<IOleInPlaceFrame*>(this);
        else {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&references_)); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(InterlockedDecrement(&references_)); }

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

    // IOleWindow (shared by the in-place site and the frame)
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override
    {
        if (window == nullptr)
            return E_POINTER;
        *window = window_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IOleInPlaceSite
    HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnUIActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                               LPRECT position, LPRECT clip, LPOLEINPLACEFRAMEINFO info) override
    {
        if (frame == nullptr || document == nullptr || position == nullptr || clip == nullptr || info == nullptr)
            return E_POINTER;
        *frame = static_cast<IOleInPlaceFrame*>(this);
        AddRef();
        *document = nullptr;
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
        active_.reset();
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

    // IOleInPlaceUIWindow
    HRESULT STDMETHODCALLTYPE GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    HRESULT STDMETHODCALLTYPE RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    HRESULT STDMETHODCALLTYPE SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetActiveObject(IOleInPlaceActiveObject* object, LPCOLESTR) override
    {
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

    void DropActiveObject() { active_.reset(); }

private:
    HWND window_;
    LONG references_ = 0;
    IOleInPlaceObject* inPlace_ = nullptr;  // held by the browser object
    ComPtr<IOleInPlaceActiveObject> active_;
};

class SystemBrowser final : public IWebBrowser {
public:
    explicit SystemBrowser(HWND parent);
    ~SystemBrowser() override;

    SystemBrowser(const SystemBrowser&) = delete;
    SystemBrowser& operator=(const SystemBrowser&) = delete;

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

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void Resize();
    TCacheReads cacheReads_ = TCacheReads::Allowed;
    void Shutdown();
    ComPtr<IDispatch> Document();
    ComPtr<IPersistStreamInit> PersistOfDocument();

    HWND window_ = nullptr;
    std::unique_ptr<Site> site_;
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

SystemBrowser::SystemBrowser(HWND parent)
{
    RegisterHostClass();
    SetLastError(ERROR_SUCCESS);
    window_ = CreateWindowExA(0, HostWindowClass, "", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, 0, 0,
                              0, 0, parent, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (window_ == nullptr)
        ThrowLastError("Browser window");
    SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrA(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SystemBrowser::WindowProc));
    site_ = std::make_unique<Site>(window_);
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

SystemBrowser::~SystemBrowser() { Shutdown(); }

void SystemBrowser::Shutdown()
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
    if (site_)
        site_->DropActiveObject();
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

LRESULT CALLBACK SystemBrowser::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* self = reinterpret_cast<SystemBrowser*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self != nullptr && message == WM_SIZE)
        self->Resize();
    return DefWindowProcA(window, message, wParam, lParam);
}

void SystemBrowser::Resize()
{
    if (!inPlace_)
        return;
    RECT area;
    GetClientRect(window_, &area);
    inPlace_->SetObjectRects(&area, &area);
}

bool SystemBrowser::TranslateAccelerator(MSG& message)
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

void SystemBrowser::Navigate(const std::string& address)
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

void SystemBrowser::Stop() { OleCheck(browser_->Stop()); }

int SystemBrowser::ReadyState()
{
    READYSTATE state = ::READYSTATE_UNINITIALIZED;
    OleCheck(browser_->get_ReadyState(&state));
    return static_cast<int>(state);
}

ComPtr<IDispatch> SystemBrowser::Document()
{
    ComPtr<IDispatch> document;
    OleCheck(browser_->get_Document(document.put()));
    return document;
}

bool SystemBrowser::HasDocument() { return static_cast<bool>(Document()); }

ComPtr<IPersistStreamInit> SystemBrowser::PersistOfDocument()
{
    ComPtr<IPersistStreamInit> persist;
    const ComPtr<IDispatch> document = Document();
    if (!document)
        return persist;
    if (FAILED(document->QueryInterface(IID_IPersistStreamInit, persist.put_void())) || !persist)
        throw Error("Interface not supported");
    return persist;
}

void SystemBrowser::Save(TMemoryStream& stream)
{
    // Without a document there is nothing to save: the stream stays as it is.
    const ComPtr<IPersistStreamInit> persist = PersistOfDocument();
    if (!persist)
        return;
    const ComPtr<IStream> adapter = ComPtr<IStream>::Attach(StreamAdapter::Create(stream));
    (void)persist->Save(adapter.get(), TRUE);
}

void SystemBrowser::Load(TMemoryStream& stream)
{
    const ComPtr<IPersistStreamInit> persist = PersistOfDocument();
    if (!persist)
        return;
    const ComPtr<IStream> adapter = ComPtr<IStream>::Attach(StreamAdapter::Create(stream));
    (void)persist->Load(adapter.get());
}

std::shared_ptr<IAutomationObject> SystemBrowser::Automation()
{
    return std::make_shared<DispatchObject>(browser_.get());
}

void SystemBrowser::Focus()
{
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

void SystemBrowser::SetOnBeforeNavigate2(BeforeNavigate2Event handler)
{
    if (sink_)
        sink_->SetOnBeforeNavigate2(std::move(handler));
}

void SystemBrowser::SetOnDocumentComplete(DocumentCompleteEvent handler)
{
    if (sink_)
        sink_->SetOnDocumentComplete(std::move(handler));
}

}  // namespace

HostedBrowser CreateSystemBrowser(HWND parent, TCacheReads cacheReads)
{
    auto browser = std::make_unique<SystemBrowser>(parent);
    browser->SetCacheReads(cacheReads);
    SystemBrowser* raw = browser.get();
    HostedBrowser hosted;
    hosted.window = raw->Window();
    hosted.translateAccelerator = [raw](MSG& message) { return raw->TranslateAccelerator(message); };
    hosted.browser = std::move(browser);
    return hosted;
}

}  // namespace velastrom
