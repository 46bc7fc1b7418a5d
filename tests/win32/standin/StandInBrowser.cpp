#include "standin/StandInBrowser.h"

#include <exdisp.h>
#include <exdispid.h>
#include <mshtml.h>
#include <mshtmdid.h>
#include <ocidl.h>
#include <oleidl.h>
#include <winhttp.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <string>
#include <memory>
#include <mutex>
#include <thread>

#include "standin/Stubs.h"

namespace velastrom::standin {

namespace {

constexpr UINT PageArrived = WM_APP + 1;     // wParam: navigation number
constexpr UINT PageComplete = WM_APP + 2;    // wParam: navigation number
constexpr UINT StreamComplete = WM_APP + 3;  // wParam: navigation number
// The dispatch numbers of IWebBrowser2's Document and LocationURL.
constexpr DISPID DispidDocument = 203;
constexpr DISPID DispidLocationUrl = 211;
// The class of the HTML document, {25336920-03F9-11CF-8FD0-00AA00686F13}.
constexpr CLSID HtmlDocumentClass = {0x25336920, 0x03f9, 0x11cf, {0x8f, 0xd0, 0x00, 0xaa, 0x00, 0x68, 0x6f, 0x13}};
// NewWindow3's flags: the user asked for the window; the first of its page.
constexpr LONG NewWindowUserInitiated = 0x2;
constexpr LONG NewWindowFirst = 0x4;
// The body element's style.
constexpr DISPID DispidStyle = static_cast<DISPID>(DISPID_IHTMLELEMENT_STYLE);
constexpr const char* MessageClass = "VelastromStandInMessages";
constexpr const char* ControlClass = "VelastromStandInControl";
// The page the control shows in place of one that could not be fetched: its
// own document, without anything of the requested page.
constexpr const char* ErrorPage = "<html><body>This page can't be displayed</body></html>";

class Control;

struct State {
    std::vector<ControlRecord> records;
    std::vector<Control*> controls;  // null once a control is gone
    long live = 0;
    long references = 0;
    long hostReferences = 0;
    std::function<void(std::size_t)> onLoad;
};

State& Global()
{
    static State state;
    return state;
}

std::string Narrow(const wchar_t* text, std::size_t length)
{
    if (length == 0)
        return {};
    const int size = WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(length), result.data(), size, nullptr, nullptr);
    return result;
}

std::string Narrow(BSTR text) { return text ? Narrow(text, SysStringLen(text)) : std::string(); }

std::wstring Wide(const std::string& text)
{
    if (text.empty())
        return {};
    const int size = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring result(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), result.data(), size);
    return result;
}

bool SameText(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// The reference count every object of the stand-in keeps, added up over all
// of them, so a test sees whether everything handed out came back.
class Counted {
protected:
    Counted() { ++Global().live; }
    virtual ~Counted() { --Global().live; }
    ULONG Add()
    {
        ++Global().references;
        return static_cast<ULONG>(++references_);
    }
    ULONG Drop()
    {
        --Global().references;
        const LONG left = --references_;
        if (left == 0)
            delete this;
        return static_cast<ULONG>(left);
    }

private:
    LONG references_ = 0;
};

// A reference the stand-in holds: on one of its own objects, or (FromHost)
// on one of the host's, which are counted apart.
template <class T, bool FromHost>
class Ref {
public:
    Ref() = default;
    explicit Ref(T* p) { hold(p); }
    ~Ref() { reset(); }
    Ref(const Ref& other) { hold(other.p_); }
    Ref& operator=(const Ref& other)
    {
        Ref copy(other);
        std::swap(p_, copy.p_);
        return *this;
    }
    // Takes over a reference already given (an out parameter).
    void attach(T* p)
    {
        reset();
        p_ = p;
        if (p_ && FromHost)
            ++Global().hostReferences;
    }
    void hold(T* p)
    {
        if (p)
            p->AddRef();
        attach(p);
    }
    void reset()
    {
        if (p_) {
            T* p = p_;
            p_ = nullptr;
            if (FromHost)
                --Global().hostReferences;
            p->Release();
        }
    }
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }

private:
    T* p_ = nullptr;
};

template <class T>
using HostRef = Ref<T, true>;
template <class T>
using Own = Ref<T, false>;

// IDispatch without a type library, as far as the host uses it: names to
// numbers, then Invoke.
template <class Base>
class LateBound : public Base {
public:
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override
    {
        if (count == nullptr)
            return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override
    {
        if (info)
            *info = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override
    {
        if (names == nullptr || ids == nullptr || count == 0)
            return E_POINTER;
        HRESULT result = S_OK;
        for (UINT i = 0; i < count; ++i) {
            ids[i] = i == 0 ? IdOf(Narrow(names[0], wcslen(names[0]))) : DISPID_UNKNOWN;
            if (ids[i] == DISPID_UNKNOWN)
                result = DISP_E_UNKNOWNNAME;
        }
        return result;
    }

protected:
    // Names match without regard to case, as the documentation of the
    // document model says of its objects.
    virtual DISPID IdOf(const std::string& name) = 0;
};

// A property read that answers with an object (a null one included).
HRESULT ReturnObject(IDispatch* object, VARIANT* result)
{
    if (result == nullptr)
        return S_OK;
    VariantInit(result);
    V_VT(result) = VT_DISPATCH;
    V_DISPATCH(result) = object;
    if (object)
        object->AddRef();
    return S_OK;
}

// An object of the document model that is nothing but IDispatch.
class LateBoundObject : public LateBound<IDispatch>, protected Counted {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override
    {
        if (object == nullptr)
            return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
            *object = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return Add(); }
    ULONG STDMETHODCALLTYPE Release() override { return Drop(); }
};

// --- the body's style: the assignments are recorded ------------------------------------

class Style final : public LateBoundObject {
public:
    explicit Style(std::size_t control) : control_(control) {}

    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* parameters, VARIANT* result,
                                     EXCEPINFO*, UINT*) override
    {
        if (id < 1 || static_cast<std::size_t>(id) > Names().size())
            return DISP_E_MEMBERNOTFOUND;
        const std::string& name = Names()[static_cast<std::size_t>(id - 1)];
        if (flags & DISPATCH_PROPERTYPUT) {
            if (parameters == nullptr || parameters->cArgs != 1 || parameters->cNamedArgs != 1 ||
                parameters->rgdispidNamedArgs == nullptr || parameters->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)
                return DISP_E_BADPARAMCOUNT;
            VARIANT text;
            VariantInit(&text);
            if (FAILED(VariantChangeType(&text, &parameters->rgvarg[0], 0, VT_BSTR)))
                return DISP_E_TYPEMISMATCH;
            const std::string value = Narrow(V_BSTR(&text));
            VariantClear(&text);
            values_[name] = value;
            Global().records[control_].styles.emplace_back(name, value);
            return S_OK;
        }
        if (flags & DISPATCH_PROPERTYGET) {
            if (result) {
                VariantInit(result);
                V_VT(result) = VT_BSTR;
                V_BSTR(result) = SysAllocString(Wide(values_[name]).c_str());
            }
            return S_OK;
        }
        return DISP_E_MEMBERNOTFOUND;
    }

protected:
    DISPID IdOf(const std::string& name) override
    {
        const auto& names = Names();
        for (std::size_t i = 0; i < names.size(); ++i)
            if (SameText(names[i], name))
                return static_cast<DISPID>(i + 1);
        return DISPID_UNKNOWN;
    }

private:
    // Properties of the style object that the documentation lists, as far as
    // a page's body gets them from the dashboard, and a few more.
    static const std::vector<std::string>& Names()
    {
        static const std::vector<std::string> names = {
            "overflow",           "overflowX",          "overflowY",
            "scrollbar3dLightColor", "scrollbarArrowColor", "scrollbarBaseColor",
            "scrollbarDarkShadowColor", "scrollbarFaceColor", "scrollbarHighlightColor",
            "scrollbarShadowColor", "scrollbarTrackColor", "color",
            "backgroundColor",    "display"};
        return names;
    }
    std::size_t control_;
    std::map<std::string, std::string> values_;
};

// --- the body element: only its style ------------------------------------------------

class Body final : public LateBoundObject {
public:
    explicit Body(std::size_t control) : style_(new Style(control)) {}

    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                                     UINT*) override
    {
        if (id != DispidStyle || !(flags & (DISPATCH_PROPERTYGET | DISPATCH_METHOD)))
            return DISP_E_MEMBERNOTFOUND;
        return ReturnObject(style_.get(), result);
    }

protected:
    DISPID IdOf(const std::string& name) override
    {
        return SameText(name, "style") ? DispidStyle : DISPID_UNKNOWN;
    }

private:
    Own<Style> style_;
};

class Window;

// --- the document ---------------------------------------------------------------------

class Document final : public LateBound<IHTMLDocument2Stubs>, public IPersistStreamInit, Counted {
public:
    Document(std::size_t control, std::string url, std::string html)
        : control_(control), url_(std::move(url)), html_(std::move(html)), body_(new Body(control))
    {
    }

    const std::string& Url() const { return url_; }
    const std::string& Html() const { return html_; }
    bool FromStream() const { return fromStream_; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override
    {
        if (object == nullptr)
            return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, IID_IHTMLDocument) ||
            IsEqualIID(riid, IID_IHTMLDocument2))
            *object = static_cast<IHTMLDocument2*>(this);
        else if (IsEqualIID(riid, IID_IPersist) || IsEqualIID(riid, IID_IPersistStreamInit))
            *object = static_cast<IPersistStreamInit*>(this);
        else {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return Add(); }
    ULONG STDMETHODCALLTYPE Release() override { return Drop(); }

    // IDispatch: the body, by name.
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                                     UINT*) override
    {
        if (id != DISPID_IHTMLDOCUMENT2_BODY || !(flags & (DISPATCH_PROPERTYGET | DISPATCH_METHOD)))
            return DISP_E_MEMBERNOTFOUND;
        return ReturnObject(body_.get(), result);
    }

    // IHTMLDocument2
    HRESULT STDMETHODCALLTYPE get_parentWindow(IHTMLWindow2** window) override;

    // IPersistStreamInit
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* id) override
    {
        if (id == nullptr)
            return E_POINTER;
        *id = HtmlDocumentClass;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE IsDirty() override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE GetSizeMax(ULARGE_INTEGER*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE InitNew() override
    {
        html_.clear();
        return S_OK;
    }
    // The page's bytes into the caller's stream, from its position. The real
    // engine writes what it makes of the page; this writes the bytes as they
    // came (our simplification: it cannot know the engine's serialisation).
    HRESULT STDMETHODCALLTYPE Save(IStream* stream, BOOL) override
    {
        if (stream == nullptr)
            return E_INVALIDARG;
        std::size_t done = 0;
        while (done < html_.size()) {
            ULONG written = 0;
            const HRESULT result =
                stream->Write(html_.data() + done, static_cast<ULONG>(html_.size() - done), &written);
            if (FAILED(result))
                return result;
            if (written == 0)
                return STG_E_MEDIUMFULL;
            done += written;
        }
        Global().records[control_].saves.push_back(html_);
        return S_OK;
    }
    // The document shows the HTML read from the stream's position to its
    // end. Read at once, before Load returns; that the real engine may read
    // later is not shown here.
    HRESULT STDMETHODCALLTYPE Load(IStream* stream) override;

protected:
    DISPID IdOf(const std::string& name) override
    {
        return SameText(name, "body") ? DISPID_IHTMLDOCUMENT2_BODY : DISPID_UNKNOWN;
    }

private:
    std::size_t control_;
    std::string url_;
    std::string html_;
    bool fromStream_ = false;
    Own<Body> body_;
};

// --- the document's window: its focus is recorded --------------------------------------

class Window final : public LateBound<IHTMLWindow2Stubs>, Counted {
public:
    Window(std::size_t control, Document* document);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override
    {
        if (object == nullptr)
            return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
            IsEqualIID(riid, IID_IHTMLFramesCollection2) || IsEqualIID(riid, IID_IHTMLWindow2)) {
            *object = static_cast<IHTMLWindow2*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return Add(); }
    ULONG STDMETHODCALLTYPE Release() override { return Drop(); }
    // Nothing of it by name: the host calls focus through IHTMLWindow2.
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        return DISP_E_MEMBERNOTFOUND;
    }

    HRESULT STDMETHODCALLTYPE focus() override;

protected:
    DISPID IdOf(const std::string&) override { return DISPID_UNKNOWN; }

private:
    std::size_t control_;
    Own<Document> document_;
};

Window::Window(std::size_t control, Document* document) : control_(control), document_(document) {}

HRESULT STDMETHODCALLTYPE Document::get_parentWindow(IHTMLWindow2** window)
{
    if (window == nullptr)
        return E_POINTER;
    *window = new Window(control_, this);
    (*window)->AddRef();
    return S_OK;
}

// --- the control ----------------------------------------------------------------------

// A fetch on a worker thread; its result is taken on the GUI thread.
struct Fetch {
    std::mutex lock;
    bool ok = false;
    std::string body;
};

class Control final : public LateBound<IWebBrowser2Stubs>,
                      public IOleObject,
                      public IOleInPlaceObject,
                      public IOleInPlaceActiveObject,
                      public IConnectionPointContainer,
                      Counted {
public:
    Control();
    ~Control() override;

    std::size_t Index() const { return index_; }
    HWND Window() const { return window_; }
    int State() const { return readyState_; }
    Document* CurrentDocument() const { return document_.get(); }
    bool Click(std::size_t n);
    bool ClickForNewWindow(std::size_t n, bool& outside);
    void DocumentLoaded(Document* document);

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return Add(); }
    ULONG STDMETHODCALLTYPE Release() override { return Drop(); }

    // IDispatch: Document, ReadyState and LocationURL by name.
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                                     UINT*) override;

    // IWebBrowser2, as far as the host uses it
    HRESULT STDMETHODCALLTYPE Navigate(BSTR url, VARIANT*, VARIANT*, VARIANT*, VARIANT*) override;
    HRESULT STDMETHODCALLTYPE Navigate2(VARIANT* url, VARIANT*, VARIANT*, VARIANT*, VARIANT*) override;
    HRESULT STDMETHODCALLTYPE Stop() override;
    HRESULT STDMETHODCALLTYPE get_Document(IDispatch** document) override;
    HRESULT STDMETHODCALLTYPE get_ReadyState(READYSTATE* state) override;
    HRESULT STDMETHODCALLTYPE get_LocationURL(BSTR* url) override;
    HRESULT STDMETHODCALLTYPE get_Busy(VARIANT_BOOL* busy) override;

    // IOleObject
    HRESULT STDMETHODCALLTYPE SetClientSite(IOleClientSite* site) override;
    HRESULT STDMETHODCALLTYPE GetClientSite(IOleClientSite** site) override;
    HRESULT STDMETHODCALLTYPE SetHostNames(LPCOLESTR, LPCOLESTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Close(DWORD) override;
    HRESULT STDMETHODCALLTYPE SetMoniker(DWORD, IMoniker*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker** moniker) override
    {
        if (moniker)
            *moniker = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE InitFromData(IDataObject*, BOOL, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetClipboardData(DWORD, IDataObject** data) override
    {
        if (data)
            *data = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND, LPCRECT) override;
    HRESULT STDMETHODCALLTYPE EnumVerbs(IEnumOLEVERB** verbs) override
    {
        if (verbs)
            *verbs = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Update() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE IsUpToDate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetUserClassID(CLSID* id) override
    {
        if (id == nullptr)
            return E_POINTER;
        *id = CLSID_WebBrowser;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetUserType(DWORD, LPOLESTR* type) override
    {
        if (type)
            *type = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetExtent(DWORD, SIZEL* size) override
    {
        if (size == nullptr)
            return E_POINTER;
        extent_ = *size;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetExtent(DWORD, SIZEL* size) override
    {
        if (size == nullptr)
            return E_POINTER;
        *size = extent_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Advise(IAdviseSink*, DWORD* connection) override
    {
        if (connection)
            *connection = 0;
        return OLE_E_ADVISENOTSUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD) override { return OLE_E_NOCONNECTION; }
    HRESULT STDMETHODCALLTYPE EnumAdvise(IEnumSTATDATA** advise) override
    {
        if (advise)
            *advise = nullptr;
        return OLE_E_ADVISENOTSUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE GetMiscStatus(DWORD, DWORD* status) override
    {
        if (status == nullptr)
            return E_POINTER;
        *status = OLEMISC_SETCLIENTSITEFIRST | OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_INSIDEOUT |
                  OLEMISC_CANTLINKINSIDE | OLEMISC_RECOMPOSEONRESIZE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetColorScheme(LOGPALETTE*) override { return E_NOTIMPL; }

    // IOleWindow (of both in-place interfaces)
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override
    {
        if (window == nullptr)
            return E_POINTER;
        *window = window_;
        return window_ ? S_OK : E_FAIL;
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IOleInPlaceObject
    HRESULT STDMETHODCALLTYPE InPlaceDeactivate() override;
    HRESULT STDMETHODCALLTYPE UIDeactivate() override;
    HRESULT STDMETHODCALLTYPE SetObjectRects(LPCRECT position, LPCRECT) override
    {
        if (position == nullptr)
            return E_POINTER;
        if (window_)
            MoveWindow(window_, position->left, position->top, position->right - position->left,
                       position->bottom - position->top, TRUE);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ReactivateAndUndo() override { return INPLACE_E_NOTUNDOABLE; }

    // IOleInPlaceActiveObject: the keys are recorded; the stand-in has none
    // of its own, so each goes on to be dispatched.
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG message) override
    {
        if (message)
            Log("TranslateAccelerator(" + std::to_string(message->wParam) + ")");
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnDocWindowActivate(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return S_OK; }

    // IConnectionPointContainer
    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** points) override
    {
        if (points)
            *points = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** point) override;

    // The events' connection point: part of the control, whose references it shares.
    class EventPoint final : public IConnectionPoint {
    public:
        explicit EventPoint(Control& control) : control_(control) {}
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override
        {
            if (object == nullptr)
                return E_POINTER;
            if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IConnectionPoint)) {
                *object = static_cast<IConnectionPoint*>(this);
                AddRef();
                return S_OK;
            }
            *object = nullptr;
            return E_NOINTERFACE;
        }
        ULONG STDMETHODCALLTYPE AddRef() override { return control_.AddRef(); }
        ULONG STDMETHODCALLTYPE Release() override { return control_.Release(); }
        HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override
        {
            if (iid == nullptr)
                return E_POINTER;
            *iid = DIID_DWebBrowserEvents2;
            return S_OK;
        }
        HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** container) override
        {
            if (container == nullptr)
                return E_POINTER;
            *container = &control_;
            control_.AddRef();
            return S_OK;
        }
        HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override { return control_.Connect(sink, cookie); }
        HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override { return control_.Disconnect(cookie); }
        HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** connections) override
        {
            if (connections)
                *connections = nullptr;
            return E_NOTIMPL;
        }

    private:
        Control& control_;
    };

protected:
    DISPID IdOf(const std::string& name) override;

private:
    static LRESULT CALLBACK MessageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK ControlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void Log(const std::string& event) { Global().records[index_].events.push_back(event); }
    IDispatch* Self() { return static_cast<IWebBrowser2*>(this); }
    HRESULT Connect(IUnknown* sink, DWORD* cookie);
    HRESULT Disconnect(DWORD cookie);
    HRESULT InPlaceActivate(IOleClientSite* site);
    HRESULT UIActivate();
    bool RaiseBeforeNavigate2(const std::string& url);
    bool RaiseNewWindow(const std::string& url, const std::string& context);
    void InvokeAll(DISPID id, DISPPARAMS& parameters);
    void RaiseDocumentComplete(const std::string& url);
    void Begin(const std::string& url);
    void Arrived(unsigned navigation);
    void Completed(unsigned navigation);

    std::size_t index_;
    HWND messages_ = nullptr;
    HWND window_ = nullptr;
    READYSTATE readyState_ = READYSTATE_UNINITIALIZED;
    SIZEL extent_{};
    Own<Document> document_;
    std::string locationUrl_;
    unsigned navigation_ = 0;       // the navigation whose messages still count
    std::string pendingUrl_;
    std::shared_ptr<Fetch> pending_;
    std::vector<std::thread> workers_;
    bool uiActive_ = false;
    HostRef<IOleClientSite> site_;
    HostRef<IOleInPlaceSite> inPlaceSite_;
    HostRef<IOleInPlaceFrame> frame_;
    HostRef<IOleInPlaceUIWindow> uiWindow_;
    struct Sink {
        DWORD cookie;
        std::unique_ptr<HostRef<IDispatch>> sink;
    };
    std::vector<Sink> sinks_;
    DWORD nextCookie_ = 1;
    EventPoint point_{*this};
};

void RegisterClasses()
{
    static bool done = false;
    if (done)
        return;
    WNDCLASSA messages{};
    messages.lpfnWndProc = DefWindowProcA;
    messages.hInstance = GetModuleHandleA(nullptr);
    messages.lpszClassName = MessageClass;
    RegisterClassA(&messages);
    WNDCLASSA control{};
    control.lpfnWndProc = DefWindowProcA;
    control.hInstance = GetModuleHandleA(nullptr);
    control.hCursor = LoadCursor(nullptr, IDC_ARROW);
    control.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    control.lpszClassName = ControlClass;
    RegisterClassA(&control);
    done = true;
}

Control::Control() : index_(Global().records.size())
{
    Global().records.emplace_back();
    Global().controls.push_back(this);
    RegisterClasses();
    messages_ = CreateWindowExA(0, MessageClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, GetModuleHandleA(nullptr),
                                nullptr);
    SetWindowLongPtrA(messages_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrA(messages_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Control::MessageProc));
}

Control::~Control()
{
    for (auto& worker : workers_)
        worker.join();
    if (window_)
        DestroyWindow(window_);
    DestroyWindow(messages_);
    Global().controls[index_] = nullptr;
}

HRESULT STDMETHODCALLTYPE Control::QueryInterface(REFIID riid, void** object)
{
    if (object == nullptr)
        return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleObject))
        *object = static_cast<IOleObject*>(this);
    else if (IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, IID_IWebBrowser) ||
             IsEqualIID(riid, IID_IWebBrowserApp) || IsEqualIID(riid, IID_IWebBrowser2))
        *object = static_cast<IWebBrowser2*>(this);
    else if (IsEqualIID(riid, IID_IOleWindow) || IsEqualIID(riid, IID_IOleInPlaceObject))
        *object = static_cast<IOleInPlaceObject*>(this);
    else if (IsEqualIID(riid, IID_IOleInPlaceActiveObject))
        *object = static_cast<IOleInPlaceActiveObject*>(this);
    else if (IsEqualIID(riid, IID_IConnectionPointContainer))
        *object = static_cast<IConnectionPointContainer*>(this);
    else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

DISPID Control::IdOf(const std::string& name)
{
    return SameText(name, "Document")      ? DispidDocument
           : SameText(name, "ReadyState")  ? DISPID_READYSTATE
           : SameText(name, "LocationURL") ? DispidLocationUrl
                                           : DISPID_UNKNOWN;
}

HRESULT STDMETHODCALLTYPE Control::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result,
                                          EXCEPINFO*, UINT*)
{
    if (!(flags & (DISPATCH_PROPERTYGET | DISPATCH_METHOD)))
        return DISP_E_MEMBERNOTFOUND;
    switch (id) {
    case DispidDocument:
        return ReturnObject(document_ ? static_cast<IHTMLDocument2*>(document_.get()) : nullptr, result);
    case DISPID_READYSTATE:
        if (result) {
            VariantInit(result);
            V_VT(result) = VT_I4;
            V_I4(result) = readyState_;
        }
        return S_OK;
    case DispidLocationUrl:
        if (result) {
            VariantInit(result);
            V_VT(result) = VT_BSTR;
            V_BSTR(result) = SysAllocString(Wide(locationUrl_).c_str());
        }
        return S_OK;
    default:
        return DISP_E_MEMBERNOTFOUND;
    }
}

// --- navigation -------------------------------------------------------------------

bool Control::RaiseBeforeNavigate2(const std::string& url)
{
    // The arguments as the control passes them (recorded by conformance
    // tests of the real control), last first: each but the frame and the
    // cancel flag is a variant by reference; the target frame and the
    // headers are null strings, the post data a reference to an empty
    // variant, the flags 0.
    const std::wstring wideUrl = Wide(url);
    VARIANT urlValue, flags, target, postData, postDataValue, headers;
    VariantInit(&urlValue);
    V_VT(&urlValue) = VT_BSTR;
    V_BSTR(&urlValue) = SysAllocString(wideUrl.c_str());
    VariantInit(&flags);
    V_VT(&flags) = VT_I4;
    V_I4(&flags) = 0;
    VariantInit(&target);
    V_VT(&target) = VT_BSTR;
    V_BSTR(&target) = nullptr;
    VariantInit(&postDataValue);
    VariantInit(&postData);
    V_VT(&postData) = VT_VARIANT | VT_BYREF;
    V_VARIANTREF(&postData) = &postDataValue;
    VariantInit(&headers);
    V_VT(&headers) = VT_BSTR;
    V_BSTR(&headers) = nullptr;
    VARIANT_BOOL cancel = VARIANT_FALSE;
    VARIANTARG arguments[7];
    for (auto& argument : arguments)
        VariantInit(&argument);
    V_VT(&arguments[6]) = VT_DISPATCH;
    V_DISPATCH(&arguments[6]) = Self();
    // rgvarg[1] is Headers, on to rgvarg[5], the URL.
    VARIANT* byReference[] = {&headers, &postData, &target, &flags, &urlValue};
    for (int i = 0; i < 5; ++i) {
        V_VT(&arguments[i + 1]) = VT_VARIANT | VT_BYREF;
        V_VARIANTREF(&arguments[i + 1]) = byReference[i];
    }
    V_VT(&arguments[0]) = VT_BOOL | VT_BYREF;
    V_BOOLREF(&arguments[0]) = &cancel;
    DISPPARAMS parameters{arguments, nullptr, 7, 0};

    // A handler may release the control's last other reference: InvokeAll holds one.
    InvokeAll(DISPID_BEFORENAVIGATE2, parameters);
    const bool cancelled = cancel != VARIANT_FALSE;
    Log("BeforeNavigate2(" + url + ")" + (cancelled ? "=cancelled" : ""));
    VariantClear(&urlValue);
    return cancelled;
}

void Control::RaiseDocumentComplete(const std::string& url)
{
    const std::wstring wideUrl = Wide(url);
    VARIANT urlValue;
    VariantInit(&urlValue);
    V_VT(&urlValue) = VT_BSTR;
    V_BSTR(&urlValue) = SysAllocString(wideUrl.c_str());
    VARIANTARG arguments[2];
    VariantInit(&arguments[0]);
    VariantInit(&arguments[1]);
    V_VT(&arguments[1]) = VT_DISPATCH;
    V_DISPATCH(&arguments[1]) = Self();
    V_VT(&arguments[0]) = VT_VARIANT | VT_BYREF;
    V_VARIANTREF(&arguments[0]) = &urlValue;
    DISPPARAMS parameters{arguments, nullptr, 2, 0};

    ++Global().records[index_].documentCompletes;
    Log("DocumentComplete(" + url + ")");
    InvokeAll(DISPID_DOCUMENTCOMPLETE, parameters);
    VariantClear(&urlValue);
}

HRESULT STDMETHODCALLTYPE Control::Navigate(BSTR url, VARIANT*, VARIANT*, VARIANT*, VARIANT*)
{
    if (url == nullptr)
        return E_INVALIDARG;
    const std::string address = Narrow(url);
    Log("Navigate(" + address + ")");
    // BeforeNavigate2 comes before Navigate returns, the ready state already
    // LOADING (both recorded of the real control). A handler that cancels
    // leaves the control as it was, its ready state included (our reading).
    const READYSTATE before = readyState_;
    readyState_ = READYSTATE_LOADING;
    if (RaiseBeforeNavigate2(address)) {
        readyState_ = before;
        return S_OK;
    }
    Begin(address);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE Control::Navigate2(VARIANT* url, VARIANT* flags, VARIANT* target, VARIANT* postData,
                                             VARIANT* headers)
{
    if (url == nullptr || V_VT(url) != VT_BSTR)
        return E_INVALIDARG;
    return Navigate(V_BSTR(url), flags, target, postData, headers);
}

// The ready state goes to LOADING at once; the page arrives and the state
// becomes INTERACTIVE, then COMPLETE with DocumentComplete, each through a
// posted message. The old document stays until the new one arrives (our
// reading of the documented ready states).
void Control::Begin(const std::string& url)
{
    ++navigation_;
    readyState_ = READYSTATE_LOADING;
    pendingUrl_ = url;
    pending_.reset();
    if (url.rfind("http://", 0) == 0) {
        Global().records[index_].fetched.push_back(url);
        auto fetch = std::make_shared<Fetch>();
        pending_ = fetch;
        const unsigned navigation = navigation_;
        HWND messages = messages_;
        workers_.emplace_back([fetch, url, navigation, messages] {
            std::string body;
            bool ok = false;
            const std::wstring wide = Wide(url);
            URL_COMPONENTS parts{};
            parts.dwStructSize = sizeof parts;
            wchar_t host[256] = {};
            wchar_t path[2048] = {};
            parts.lpszHostName = host;
            parts.dwHostNameLength = 256;
            parts.lpszUrlPath = path;
            parts.dwUrlPathLength = 2048;
            HINTERNET session = nullptr, connection = nullptr, request = nullptr;
            if (WinHttpCrackUrl(wide.c_str(), 0, 0, &parts) &&
                (session = WinHttpOpen(L"VelastromStandIn", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                       WINHTTP_NO_PROXY_BYPASS, 0)) != nullptr) {
                WinHttpSetTimeouts(session, 5000, 5000, 10000, 10000);
                if ((connection = WinHttpConnect(session, host, parts.nPort, 0)) != nullptr &&
                    (request = WinHttpOpenRequest(connection, L"GET", path, nullptr, WINHTTP_NO_REFERER,
                                                  WINHTTP_DEFAULT_ACCEPT_TYPES, 0)) != nullptr &&
                    WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) &&
                    WinHttpReceiveResponse(request, nullptr)) {
                    ok = true;
                    for (;;) {
                        char buffer[8192];
                        DWORD got = 0;
                        if (!WinHttpReadData(request, buffer, sizeof buffer, &got)) {
                            ok = false;
                            break;
                        }
                        if (got == 0)
                            break;
                        body.append(buffer, got);
                    }
                }
            }
            if (request)
                WinHttpCloseHandle(request);
            if (connection)
                WinHttpCloseHandle(connection);
            if (session)
                WinHttpCloseHandle(session);
            {
                std::lock_guard<std::mutex> guard(fetch->lock);
                fetch->ok = ok;
                fetch->body = std::move(body);
            }
            PostMessageA(messages, PageArrived, navigation, 0);
        });
    } else {
        PostMessageA(messages_, PageArrived, navigation_, 0);
    }
}

void Control::Arrived(unsigned navigation)
{
    if (navigation != navigation_ || readyState_ != READYSTATE_LOADING)
        return;  // stopped, or a later navigation took its place
    std::string html;
    if (pending_) {
        std::lock_guard<std::mutex> guard(pending_->lock);
        html = pending_->ok ? pending_->body : ErrorPage;
    }
    // about: addresses give an empty document of that address.
    pending_.reset();
    Own<Document> document(new Document(index_, pendingUrl_, html));
    document_ = document;
    locationUrl_ = pendingUrl_;
    readyState_ = READYSTATE_INTERACTIVE;
    PostMessageA(messages_, PageComplete, navigation_, 0);
}

void Control::Completed(unsigned navigation)
{
    if (navigation != navigation_ || readyState_ != READYSTATE_INTERACTIVE)
        return;
    readyState_ = READYSTATE_COMPLETE;
    RaiseDocumentComplete(locationUrl_);
}

// A page loaded from a stream into the current document: our reading is that
// the control raises DocumentComplete for it, once its message comes, with
// the document's own address.
void Control::DocumentLoaded(Document* document)
{
    if (document != document_.get())
        return;
    readyState_ = READYSTATE_INTERACTIVE;
    PostMessageA(messages_, StreamComplete, navigation_, 0);
}

HRESULT STDMETHODCALLTYPE Control::Stop()
{
    Log("Stop");
    // The navigation under way ends where it is; the old document stays.
    ++navigation_;
    pending_.reset();
    if (readyState_ < READYSTATE_COMPLETE && readyState_ != READYSTATE_UNINITIALIZED)
        readyState_ = READYSTATE_COMPLETE;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE Control::get_Document(IDispatch** document)
{
    if (document == nullptr)
        return E_POINTER;
    *document = document_ ? static_cast<IHTMLDocument2*>(document_.get()) : nullptr;
    if (*document)
        (*document)->AddRef();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE Control::get_ReadyState(READYSTATE* state)
{
    if (state == nullptr)
        return E_POINTER;
    *state = readyState_;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE Control::get_LocationURL(BSTR* url)
{
    if (url == nullptr)
        return E_POINTER;
    *url = SysAllocString(Wide(locationUrl_).c_str());
    return locationUrl_.empty() ? S_FALSE : S_OK;
}

HRESULT STDMETHODCALLTYPE Control::get_Busy(VARIANT_BOOL* busy)
{
    if (busy == nullptr)
        return E_POINTER;
    *busy = readyState_ == READYSTATE_LOADING ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

LRESULT CALLBACK Control::MessageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* self = reinterpret_cast<Control*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self != nullptr && message >= PageArrived && message <= StreamComplete) {
        self->AddRef();
        const auto navigation = static_cast<unsigned>(wParam);
        if (message == PageArrived)
            self->Arrived(navigation);
        else if (message == PageComplete)
            self->Completed(navigation);
        else if (navigation == self->navigation_ && self->document_) {
            self->readyState_ = READYSTATE_COMPLETE;
            self->RaiseDocumentComplete(self->document_->Url());
        }
        self->Release();
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// --- links --------------------------------------------------------------------------

std::vector<std::string> HrefsOf(const std::string& html)
{
    std::vector<std::string> links;
    std::string lower(html);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
    std::size_t at = 0;
    while ((at = lower.find("<a ", at)) != std::string::npos) {
        const std::size_t end = lower.find('>', at);
        const std::size_t href = lower.find("href=", at);
        at += 3;
        if (href == std::string::npos || (end != std::string::npos && href > end))
            continue;
        const std::size_t open = href + 5;
        if (open >= html.size() || (html[open] != '"' && html[open] != '\''))
            continue;
        const std::size_t close = html.find(html[open], open + 1);
        if (close == std::string::npos)
            break;
        links.push_back(html.substr(open + 1, close - open - 1));
    }
    return links;
}

bool HasScheme(const std::string& href)
{
    const std::size_t colon = href.find(':');
    if (colon == std::string::npos || colon == 0 || !std::isalpha(static_cast<unsigned char>(href[0])))
        return false;
    return std::all_of(href.begin(), href.begin() + static_cast<std::ptrdiff_t>(colon), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
    });
}

// A link's address as the control reports it. A page loaded from a stream
// has "about:blank" as its base, so a relative href comes as "about:" and
// the href (the documented report of such links); on a fetched page a
// relative href is taken from the page's folder or server root (our
// simplification of the rules for resolving addresses).
std::string Resolve(const std::string& href, const std::string& base, bool fromStream)
{
    if (HasScheme(href))
        return href;
    if (fromStream || base.rfind("http://", 0) != 0)
        return "about:" + href;
    const std::size_t root = base.find('/', 7);
    if (!href.empty() && href[0] == '/')
        return (root == std::string::npos ? base : base.substr(0, root)) + href;
    const std::size_t folder = base.rfind('/');
    return (folder < 7 ? base + "/" : base.substr(0, folder + 1)) + href;
}

bool Control::Click(std::size_t n)
{
    if (!document_)
        return false;
    const auto links = HrefsOf(document_->Html());
    if (n >= links.size())
        return false;
    const std::string url = Resolve(links[n], document_->Url(), document_->FromStream());
    Log("Click(" + url + ")");
    // A navigation from the document: BeforeNavigate2 comes with the ready
    // state unchanged (recorded of the real control for location changes
    // made by the document).
    AddRef();
    if (!RaiseBeforeNavigate2(url))
        Begin(url);
    Release();
    return true;
}

void Control::InvokeAll(DISPID id, DISPPARAMS& parameters)
{
    AddRef();
    std::vector<IDispatch*> receivers;
    for (const auto& sink : sinks_) {
        receivers.push_back(sink.sink->get());
        receivers.back()->AddRef();
    }
    for (IDispatch* receiver : receivers) {
        receiver->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &parameters, nullptr, nullptr, nullptr);
        receiver->Release();
    }
    Release();
}

// NewWindow2 (the new browser's object by reference, the cancel flag), then
// NewWindow3 (the same, the flags, the page's address and the link's). That
// both come, in this order, for one new window is our reading of their
// documentation. True when one of them was cancelled.
bool Control::RaiseNewWindow(const std::string& url, const std::string& context)
{
    IDispatch* newBrowser = nullptr;
    VARIANT_BOOL cancel = VARIANT_FALSE;
    VARIANTARG two[2];
    VariantInit(&two[0]);
    VariantInit(&two[1]);
    V_VT(&two[1]) = VT_DISPATCH | VT_BYREF;
    V_DISPATCHREF(&two[1]) = &newBrowser;
    V_VT(&two[0]) = VT_BOOL | VT_BYREF;
    V_BOOLREF(&two[0]) = &cancel;
    DISPPARAMS parameters2{two, nullptr, 2, 0};
    InvokeAll(DISPID_NEWWINDOW2, parameters2);
    if (cancel == VARIANT_FALSE) {
        const std::wstring wideUrl = Wide(url);
        const std::wstring wideContext = Wide(context);
        BSTR urlText = SysAllocString(wideUrl.c_str());
        BSTR contextText = SysAllocString(wideContext.c_str());
        VARIANTARG three[5];
        for (auto& argument : three)
            VariantInit(&argument);
        V_VT(&three[4]) = VT_DISPATCH | VT_BYREF;
        V_DISPATCHREF(&three[4]) = &newBrowser;
        V_VT(&three[3]) = VT_BOOL | VT_BYREF;
        V_BOOLREF(&three[3]) = &cancel;
        V_VT(&three[2]) = VT_I4;
        V_I4(&three[2]) = NewWindowUserInitiated | NewWindowFirst;
        V_VT(&three[1]) = VT_BSTR;
        V_BSTR(&three[1]) = contextText;
        V_VT(&three[0]) = VT_BSTR;
        V_BSTR(&three[0]) = urlText;
        DISPPARAMS parameters3{three, nullptr, 5, 0};
        InvokeAll(DISPID_NEWWINDOW3, parameters3);
        SysFreeString(urlText);
        SysFreeString(contextText);
    }
    // A browser object a handler offered for the new window is not used here.
    if (newBrowser)
        newBrowser->Release();
    const bool cancelled = cancel != VARIANT_FALSE;
    Log("NewWindow(" + url + ")" + (cancelled ? "=cancelled" : ""));
    return cancelled;
}

bool Control::ClickForNewWindow(std::size_t n, bool& outside)
{
    if (!document_)
        return false;
    const auto links = HrefsOf(document_->Html());
    if (n >= links.size())
        return false;
    const std::string url = Resolve(links[n], document_->Url(), document_->FromStream());
    AddRef();
    outside = !RaiseNewWindow(url, document_ ? document_->Url() : std::string());
    // Not cancelled: the page opens in a browser of its own, outside the
    // host and past its BeforeNavigate2.
    if (outside)
        Global().records[index_].newWindows.push_back(url);
    Release();
    return true;
}

// --- hosting --------------------------------------------------------------------------

HRESULT STDMETHODCALLTYPE Control::SetClientSite(IOleClientSite* site)
{
    if (site == nullptr)
        InPlaceDeactivate();
    site_.hold(site);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE Control::GetClientSite(IOleClientSite** site)
{
    if (site == nullptr)
        return E_POINTER;
    *site = site_.get();
    if (*site)
        (*site)->AddRef();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE Control::Close(DWORD)
{
    Log("Close");
    InPlaceDeactivate();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE Control::DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND, LPCRECT)
{
    Log("DoVerb(" + std::to_string(verb) + ")");
    switch (verb) {
    case OLEIVERB_INPLACEACTIVATE:
        return InPlaceActivate(site);
    case OLEIVERB_UIACTIVATE:
    case OLEIVERB_SHOW:
    case OLEIVERB_PRIMARY: {
        const HRESULT result = InPlaceActivate(site);
        return FAILED(result) ? result : UIActivate();
    }
    case OLEIVERB_HIDE:
        if (window_)
            ShowWindow(window_, SW_HIDE);
        return S_OK;
    default:
        return OLEOBJ_E_INVALIDVERB;
    }
}

// In-place activation as the documentation of IOleInPlaceSite lays it out:
// may it, it is, the window context, then the object's own window inside
// the site's window.
HRESULT Control::InPlaceActivate(IOleClientSite* site)
{
    if (inPlaceSite_)
        return S_OK;
    IOleClientSite* from = site ? site : site_.get();
    if (from == nullptr)
        return E_UNEXPECTED;
    IOleInPlaceSite* inPlace = nullptr;
    if (FAILED(from->QueryInterface(IID_IOleInPlaceSite, reinterpret_cast<void**>(&inPlace))) || inPlace == nullptr)
        return E_NOINTERFACE;
    inPlaceSite_.attach(inPlace);
    if (inPlaceSite_->CanInPlaceActivate() != S_OK) {
        inPlaceSite_.reset();
        return E_FAIL;
    }
    inPlaceSite_->OnInPlaceActivate();
    HWND parent = nullptr;
    if (FAILED(inPlaceSite_->GetWindow(&parent)) || parent == nullptr) {
        inPlaceSite_->OnInPlaceDeactivate();
        inPlaceSite_.reset();
        return E_FAIL;
    }
    IOleInPlaceFrame* frame = nullptr;
    IOleInPlaceUIWindow* uiWindow = nullptr;
    RECT position{}, clip{};
    OLEINPLACEFRAMEINFO info{};
    info.cb = sizeof info;
    if (SUCCEEDED(inPlaceSite_->GetWindowContext(&frame, &uiWindow, &position, &clip, &info))) {
        frame_.attach(frame);
        uiWindow_.attach(uiWindow);
    }
    RegisterClasses();
    window_ = CreateWindowExA(0, ControlClass, "", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_TABSTOP,
                              position.left, position.top, position.right - position.left,
                              position.bottom - position.top, parent, nullptr, GetModuleHandleA(nullptr), nullptr);
    SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrA(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Control::ControlProc));
    Log("InPlaceActivate");
    return S_OK;
}

// UI activation: the site is told, the frame and the document window get the
// active object (with it the host can hand the control its keys), and the
// control takes the focus.
HRESULT Control::UIActivate()
{
    if (uiActive_)
        return S_OK;
    uiActive_ = true;
    Global().records[index_].uiActive = true;
    Log("UIActivate");
    inPlaceSite_->OnUIActivate();
    if (frame_)
        frame_->SetActiveObject(static_cast<IOleInPlaceActiveObject*>(this), L"");
    if (uiWindow_)
        uiWindow_->SetActiveObject(static_cast<IOleInPlaceActiveObject*>(this), L"");
    if (window_)
        SetFocus(window_);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE Control::UIDeactivate()
{
    if (!uiActive_)
        return S_OK;
    uiActive_ = false;
    Global().records[index_].uiActive = false;
    if (uiWindow_)
        uiWindow_->SetActiveObject(nullptr, nullptr);
    if (frame_)
        frame_->SetActiveObject(nullptr, nullptr);
    if (inPlaceSite_)
        inPlaceSite_->OnUIDeactivate(FALSE);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE Control::InPlaceDeactivate()
{
    if (!inPlaceSite_)
        return S_OK;
    UIDeactivate();
    Log("InPlaceDeactivate");
    inPlaceSite_->OnInPlaceDeactivate();
    if (window_) {
        DestroyWindow(window_);
        window_ = nullptr;
    }
    uiWindow_.reset();
    frame_.reset();
    inPlaceSite_.reset();
    return S_OK;
}

// A click into the control's window makes it UI-active, as an inside-out
// object does (our reading of OLEMISC_INSIDEOUT and the activation rules).
LRESULT CALLBACK Control::ControlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* self = reinterpret_cast<Control*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self != nullptr && message == WM_LBUTTONDOWN && self->inPlaceSite_)
        self->UIActivate();
    return DefWindowProcA(window, message, wParam, lParam);
}

// --- events ---------------------------------------------------------------------------

HRESULT STDMETHODCALLTYPE Control::FindConnectionPoint(REFIID riid, IConnectionPoint** point)
{
    if (point == nullptr)
        return E_POINTER;
    if (!IsEqualIID(riid, DIID_DWebBrowserEvents2)) {
        *point = nullptr;
        return CONNECT_E_NOCONNECTION;
    }
    *point = &point_;
    point_.AddRef();
    return S_OK;
}

HRESULT Control::Connect(IUnknown* sink, DWORD* cookie)
{
    if (sink == nullptr || cookie == nullptr)
        return E_POINTER;
    // The receiver is asked for the events' own interface, as Advise's
    // documentation has it.
    IDispatch* receiver = nullptr;
    if (FAILED(sink->QueryInterface(DIID_DWebBrowserEvents2, reinterpret_cast<void**>(&receiver))) ||
        receiver == nullptr)
        return CONNECT_E_CANNOTCONNECT;
    Sink entry{nextCookie_++, std::make_unique<HostRef<IDispatch>>()};
    entry.sink->attach(receiver);
    *cookie = entry.cookie;
    sinks_.push_back(std::move(entry));
    Log("Advise");
    return S_OK;
}

HRESULT Control::Disconnect(DWORD cookie)
{
    for (auto it = sinks_.begin(); it != sinks_.end(); ++it) {
        if (it->cookie == cookie) {
            auto held = std::move(it->sink);
            sinks_.erase(it);
            held.reset();
            Log("Unadvise");
            return S_OK;
        }
    }
    return CONNECT_E_NOCONNECTION;
}

// --- Document::Load and Window::focus, which reach the control ----------------------

Control* ControlAt(std::size_t index)
{
    auto& controls = Global().controls;
    return index < controls.size() ? controls[index] : nullptr;
}

HRESULT STDMETHODCALLTYPE Document::Load(IStream* stream)
{
    if (stream == nullptr)
        return E_INVALIDARG;
    std::string bytes;
    for (;;) {
        char buffer[4096];
        ULONG got = 0;
        const HRESULT result = stream->Read(buffer, sizeof buffer, &got);
        if (FAILED(result))
            return result;
        bytes.append(buffer, got);
        if (got == 0 || result == S_FALSE)
            break;
    }
    html_ = bytes;
    fromStream_ = true;
    Global().records[control_].loads.push_back(bytes);
    if (Control* control = ControlAt(control_))
        control->DocumentLoaded(this);
    if (const auto handler = Global().onLoad)
        handler(control_);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE Window::focus()
{
    ++Global().records[control_].focusCalls;
    Control* control = ControlAt(control_);
    if (control && control->Window())
        SetFocus(control->Window());
    return S_OK;
}

// --- the class object ---------------------------------------------------------------

class Factory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override
    {
        if (object == nullptr)
            return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
            *object = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    // The class object lives as long as the process; the runtime's
    // references to it are not the host's.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override
    {
        if (object == nullptr)
            return E_POINTER;
        *object = nullptr;
        if (outer != nullptr)
            return CLASS_E_NOAGGREGATION;
        auto* control = new Control();
        control->AddRef();
        const HRESULT result = control->QueryInterface(riid, object);
        control->Release();
        return result;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

Factory factory;

}  // namespace

Registration::Registration()
{
    Global().records.clear();
    Global().controls.clear();
    Global().onLoad = nullptr;
    CoRegisterClassObject(CLSID_WebBrowser, &factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie_);
}

Registration::~Registration()
{
    if (cookie_ != 0)
        CoRevokeClassObject(cookie_);
}

IClassFactory* ClassObject() { return &factory; }

std::size_t ControlCount() { return Global().records.size(); }

const ControlRecord& Record(std::size_t control) { return Global().records.at(control); }

bool Alive(std::size_t control) { return ControlAt(control) != nullptr; }

int ReadyState(std::size_t control)
{
    Control* c = ControlAt(control);
    return c ? c->State() : -1;
}

std::string DocumentUrl(std::size_t control)
{
    Control* c = ControlAt(control);
    return c && c->CurrentDocument() ? c->CurrentDocument()->Url() : std::string();
}

std::string DocumentHtml(std::size_t control)
{
    Control* c = ControlAt(control);
    return c && c->CurrentDocument() ? c->CurrentDocument()->Html() : std::string();
}

std::vector<std::string> Links(std::size_t control)
{
    Control* c = ControlAt(control);
    return c && c->CurrentDocument() ? HrefsOf(c->CurrentDocument()->Html()) : std::vector<std::string>();
}

bool ClickLink(std::size_t control, std::size_t n)
{
    Control* c = ControlAt(control);
    return c != nullptr && c->Click(n);
}

void SetOnLoad(std::function<void(std::size_t)> handler) { Global().onLoad = std::move(handler); }

bool OpenLinkInNewWindow(std::size_t control, std::size_t n)
{
    Control* c = ControlAt(control);
    bool outside = false;
    return c != nullptr && c->ClickForNewWindow(n, outside) && outside;
}

long LiveObjects() { return Global().live; }
long OutstandingReferences() { return Global().references; }
long HostReferencesHeld() { return Global().hostReferences; }

}  // namespace velastrom::standin
