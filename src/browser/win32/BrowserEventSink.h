// The receiver of the browser control's events (DWebBrowserEvents2), joined to
// the control through its connection point. BeforeNavigate2 and
// DocumentComplete reach the handlers; every other event is ignored. Nothing
// thrown by a handler passes back into the control.
#pragma once

#include "browser/win32/WindowsHeaders.h"

#include <oaidl.h>

#include "browser/Browser.h"

namespace velastrom {

class BrowserEventSink final : public IDispatch {
public:
    // Returned with one reference held by the caller.
    static BrowserEventSink* Create();

    void SetOnBeforeNavigate2(IWebBrowser::BeforeNavigate2Event handler) { beforeNavigate2_ = std::move(handler); }
    void SetOnDocumentComplete(IWebBrowser::DocumentCompleteEvent handler) { documentComplete_ = std::move(handler); }
    // Drops both handlers; events that still arrive are ignored.
    void Detach();

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    // IDispatch
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID locale,
                                            DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID locale, WORD flags, DISPPARAMS* parameters,
                                     VARIANT* result, EXCEPINFO* exception, UINT* argumentError) override;

private:
    BrowserEventSink() = default;
    ~BrowserEventSink() = default;

    LONG references_ = 1;
    IWebBrowser::BeforeNavigate2Event beforeNavigate2_;
    IWebBrowser::DocumentCompleteEvent documentComplete_;
};

}  // namespace velastrom
