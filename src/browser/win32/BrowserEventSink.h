// The receiver of the browser control's events (DWebBrowserEvents2), joined to
// the control through its connection point. BeforeNavigate2 and
// DocumentComplete reach the handlers. A request for a new window
// (NewWindow3) is always refused, so no page opens outside the host, past
// its handlers; the address it carries goes to the new-window handler. Every
// other event is ignored. Nothing thrown by a handler passes back into the
// control.
#pragma once

#include <windows.h>

#include <oaidl.h>

#include <functional>
#include <string>

#include "browser/Browser.h"

namespace velastrom::win32 {

class BrowserEventSink final : public IDispatch {
public:
    // Returned with one reference held by the caller.
    static BrowserEventSink* Create();

    // The address of a refused new window, as the control gives it.
    using NewWindowEvent = std::function<void(const std::string& url)>;

    void SetOnBeforeNavigate2(IWebBrowser::BeforeNavigate2Event handler) { beforeNavigate2_ = std::move(handler); }
    void SetOnDocumentComplete(IWebBrowser::DocumentCompleteEvent handler) { documentComplete_ = std::move(handler); }
    void SetOnNewWindow(NewWindowEvent handler) { newWindow_ = std::move(handler); }
    // Drops the handlers; events that still arrive are ignored, new windows
    // still refused.
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
    NewWindowEvent newWindow_;
};

}  // namespace velastrom::win32
