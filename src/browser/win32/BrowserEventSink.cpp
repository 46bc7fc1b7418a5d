#include "browser/win32/BrowserEventSink.h"

#include <exdisp.h>
#include <exdispid.h>

#include "browser/win32/ComText.h"

namespace velastrom::win32 {

namespace {

// An argument as the control passes it: by value or by reference to a variant.
const VARIANT* Deref(const VARIANT& argument)
{
    const VARIANT* value = &argument;
    while (V_VT(value) == (VT_VARIANT | VT_BYREF) && V_VARIANTREF(value) != nullptr)
        value = V_VARIANTREF(value);
    return value;
}

std::string TextOf(const VARIANT& argument)
{
    const VARIANT* value = Deref(argument);
    if (V_VT(value) == VT_BSTR)
        return BstrToAnsi(V_BSTR(value));
    if (V_VT(value) == (VT_BSTR | VT_BYREF) && V_BSTRREF(value) != nullptr)
        return BstrToAnsi(*V_BSTRREF(value));
    return {};
}

// Writes VARIANT_TRUE through a cancel argument (VT_BOOL by reference).
void Refuse(VARIANT& argument)
{
    if (V_VT(&argument) == (VT_BOOL | VT_BYREF) && V_BOOLREF(&argument) != nullptr)
        *V_BOOLREF(&argument) = VARIANT_TRUE;
}

}  // namespace

BrowserEventSink* BrowserEventSink::Create() { return new BrowserEventSink(); }

void BrowserEventSink::Detach()
{
    beforeNavigate2_ = nullptr;
    documentComplete_ = nullptr;
    newWindow_ = nullptr;
}

HRESULT STDMETHODCALLTYPE BrowserEventSink::QueryInterface(REFIID riid, void** object)
{
    if (object == nullptr)
        return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, DIID_DWebBrowserEvents2)) {
        *object = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE BrowserEventSink::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&references_)); }

ULONG STDMETHODCALLTYPE BrowserEventSink::Release()
{
    const LONG left = InterlockedDecrement(&references_);
    if (left == 0)
        delete this;
    return static_cast<ULONG>(left);
}

HRESULT STDMETHODCALLTYPE BrowserEventSink::GetTypeInfoCount(UINT* count)
{
    if (count == nullptr)
        return E_POINTER;
    *count = 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE BrowserEventSink::GetTypeInfo(UINT, LCID, ITypeInfo** info)
{
    if (info)
        *info = nullptr;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE BrowserEventSink::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*)
{
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE BrowserEventSink::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* parameters, VARIANT*,
                                                   EXCEPINFO*, UINT*)
{
    if (parameters == nullptr)
        return S_OK;
    // The arguments come last first: rgvarg[0] is the event's last parameter.
    try {
        switch (id) {
        case DISPID_BEFORENAVIGATE2: {
            if (parameters->cArgs < 7 || !beforeNavigate2_)
                break;
            const std::string url = TextOf(parameters->rgvarg[5]);
            VARIANT& cancelArgument = parameters->rgvarg[0];
            bool cancel = false;
            if (V_VT(&cancelArgument) == (VT_BOOL | VT_BYREF) && V_BOOLREF(&cancelArgument) != nullptr)
                cancel = *V_BOOLREF(&cancelArgument) != VARIANT_FALSE;
            const auto handler = beforeNavigate2_;
            handler(url, cancel);
            if (cancel)
                Refuse(cancelArgument);
            break;
        }
        case DISPID_NEWWINDOW3: {
            // NewWindow3(ppDisp, Cancel, dwFlags, bstrUrlContext, bstrUrl):
            // refused first, whatever the handler does; ppDisp stays empty.
            if (parameters->cArgs < 5)
                break;
            Refuse(parameters->rgvarg[3]);
            const std::string url = TextOf(parameters->rgvarg[0]);
            if (newWindow_) {
                const auto handler = newWindow_;
                handler(url);
            }
            break;
        }
        case DISPID_NEWWINDOW2:
            // NewWindow2(ppDisp, Cancel) carries no address and is left alone:
            // every control since NewWindow3 raises that one for the request,
            // and one that raises NewWindow2 first may skip NewWindow3 once
            // NewWindow2 has been cancelled.
            break;
        case DISPID_DOCUMENTCOMPLETE: {
            if (parameters->cArgs < 2 || !documentComplete_)
                break;
            const std::string url = TextOf(parameters->rgvarg[0]);
            const auto handler = documentComplete_;
            handler(url);
            break;
        }
        default:
            break;
        }
    } catch (...) {
        // The handlers report their own failures; the control gets a normal return.
    }
    return S_OK;
}

}  // namespace velastrom::win32
