// The host's side of in-place activation, against a small control of the
// test's own that answers CLSID_WebBrowser inside this process (registered
// with CoRegisterClassObject, so the host creates it exactly as it creates the
// system's control): which verbs the host sends, what the frame is given and
// answers, the keys reaching the UI-active control through the program's
// message loop, and a control that keeps its site after the browser is gone.
//
// The fake implements the activation interfaces itself, from their documented
// contract, and hands out the system's own (empty) control for IWebBrowser2
// and the event connection: a shortcut of the test, which breaks the rule that
// one object answers every interface. It shows nothing of a page.
#include <windows.h>

#include <exdisp.h>
#include <exdispid.h>
#include <ole2.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "Win32TestSupport.h"
#include "browser/win32/ComText.h"
#include "browser/win32/Win32WebBrowser.h"

namespace velastrom::win32::test {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;

class FakeControl final : public IOleObject, public IOleInPlaceObject, public IOleInPlaceActiveObject {
public:
    explicit FakeControl(IUnknown* inner) : inner_(inner) { inner_->AddRef(); }

    std::vector<LONG> verbs;
    std::vector<std::string> calls;  // "SetActiveObject(...)", "Close", ...
    std::vector<WPARAM> keys;
    // The site and frame kept past the host's teardown, as a control may.
    IOleClientSite* keptSite = nullptr;
    IOleInPlaceFrame* keptFrame = nullptr;
    RECT frameRect{};
    HWND frameInfoWindow = nullptr;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override
    {
        if (object == nullptr)
            return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleObject))
            *object = static_cast<IOleObject*>(this);
        else if (IsEqualIID(riid, IID_IOleWindow) || IsEqualIID(riid, IID_IOleInPlaceObject))
            *object = static_cast<IOleInPlaceObject*>(this);
        else if (IsEqualIID(riid, IID_IOleInPlaceActiveObject))
            *object = static_cast<IOleInPlaceActiveObject*>(this);
        else
            return inner_->QueryInterface(riid, object);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++references_); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const LONG left = --references_;
        if (left == 0)
            delete this;
        return static_cast<ULONG>(left);
    }

    // IOleObject
    HRESULT STDMETHODCALLTYPE SetClientSite(IOleClientSite* site) override
    {
        calls.push_back(site ? "SetClientSite" : "SetClientSite(null)");
        if (site != nullptr && keptSite == nullptr) {
            keptSite = site;
            keptSite->AddRef();
        }
        if (site)
            site->AddRef();
        if (site_)
            site_->Release();
        site_ = site;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetClientSite(IOleClientSite** site) override
    {
        *site = site_;
        if (site_)
            site_->AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetHostNames(LPCOLESTR, LPCOLESTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Close(DWORD) override
    {
        calls.push_back("Close");
        InPlaceDeactivate();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetMoniker(DWORD, IMoniker*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE InitFromData(IDataObject*, BOOL, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetClipboardData(DWORD, IDataObject**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND, LPCRECT) override
    {
        verbs.push_back(verb);
        if (verb != OLEIVERB_INPLACEACTIVATE && verb != OLEIVERB_UIACTIVATE)
            return OLEOBJ_S_INVALIDVERB;
        if (!inPlace_) {
            if (site == nullptr || FAILED(site->QueryInterface(IID_IOleInPlaceSite, reinterpret_cast<void**>(&inPlaceSite_))))
                return E_UNEXPECTED;
            if (inPlaceSite_->CanInPlaceActivate() != S_OK)
                return E_UNEXPECTED;
            inPlaceSite_->OnInPlaceActivate();
            IOleInPlaceUIWindow* document = nullptr;
            RECT clip;
            OLEINPLACEFRAMEINFO info{};
            info.cb = sizeof info;
            if (FAILED(inPlaceSite_->GetWindowContext(&frame_, &document, &frameRect, &clip, &info)))
                return E_UNEXPECTED;
            frameInfoWindow = info.hwndFrame;
            if (keptFrame == nullptr && frame_ != nullptr) {
                keptFrame = frame_;
                keptFrame->AddRef();
            }
            inPlace_ = true;
        }
        if (verb == OLEIVERB_UIACTIVATE && !uiActive_) {
            // A UI-active object hands the frame its active object.
            inPlaceSite_->OnUIActivate();
            if (frame_ != nullptr && SUCCEEDED(frame_->SetActiveObject(this, L"fake")))
                calls.push_back("SetActiveObject(fake)");
            uiActive_ = true;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE EnumVerbs(IEnumOLEVERB**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Update() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE IsUpToDate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetUserClassID(CLSID* id) override
    {
        *id = CLSID_WebBrowser;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetUserType(DWORD, LPOLESTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetExtent(DWORD, SIZEL*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetExtent(DWORD, SIZEL*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Advise(IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMiscStatus(DWORD, DWORD* status) override
    {
        *status = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetColorScheme(LOGPALETTE*) override { return E_NOTIMPL; }

    // IOleWindow (of both in-place interfaces)
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override
    {
        *window = nullptr;
        return E_FAIL;
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IOleInPlaceObject
    HRESULT STDMETHODCALLTYPE InPlaceDeactivate() override
    {
        if (!inPlace_)
            return S_OK;
        UIDeactivate();
        inPlace_ = false;
        inPlaceSite_->OnInPlaceDeactivate();
        inPlaceSite_->Release();
        inPlaceSite_ = nullptr;
        if (frame_)
            frame_->Release();
        frame_ = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE UIDeactivate() override
    {
        if (!uiActive_)
            return S_OK;
        uiActive_ = false;
        if (frame_)
            frame_->SetActiveObject(nullptr, nullptr);
        calls.push_back("SetActiveObject(null)");
        inPlaceSite_->OnUIDeactivate(FALSE);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetObjectRects(LPCRECT, LPCRECT) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ReactivateAndUndo() override { return E_NOTIMPL; }

    // IOleInPlaceActiveObject
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG message) override
    {
        keys.push_back(message->wParam);
        return message->wParam == VK_TAB ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnDocWindowActivate(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return S_OK; }

private:
    ~FakeControl()
    {
        if (keptFrame)
            keptFrame->Release();
        if (keptSite)
            keptSite->Release();
        if (site_)
            site_->Release();
        inner_->Release();
    }

    LONG references_ = 1;
    IUnknown* inner_;
    IOleClientSite* site_ = nullptr;
    IOleInPlaceSite* inPlaceSite_ = nullptr;
    IOleInPlaceFrame* frame_ = nullptr;
    bool inPlace_ = false;
    bool uiActive_ = false;
};

// Makes the fakes, each around a system control made beforehand.
class FakeControlFactory final : public IClassFactory {
public:
    std::vector<IUnknown*> inners;  // one per fake to be made
    std::vector<FakeControl*> made;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override
    {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
            *object = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override
    {
        *object = nullptr;
        if (outer != nullptr)
            return CLASS_E_NOAGGREGATION;
        if (made.size() >= inners.size())
            return E_OUTOFMEMORY;
        auto* fake = new FakeControl(inners[made.size()]);
        made.push_back(fake);
        fake->AddRef();  // the test's own reference, to look at it after the host is gone
        const HRESULT result = fake->QueryInterface(riid, object);
        fake->Release();
        return result;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

struct FakeControlHost : ::testing::Test {
    FakeControlFactory factory;
    DWORD cookie = 0;
    HWND top = nullptr;

    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
        for (int i = 0; i < 2; ++i) {
            IUnknown* inner = nullptr;
            ASSERT_EQ(CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                       reinterpret_cast<void**>(&inner)),
                      S_OK);
            factory.inners.push_back(inner);
        }
        ASSERT_EQ(CoRegisterClassObject(CLSID_WebBrowser, &factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie),
                  S_OK);
        top = CreateWindowExA(0, "STATIC", "top", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0, 400, 300, nullptr,
                              nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(top, nullptr);
    }
    void TearDown() override
    {
        if (cookie != 0)
            CoRevokeClassObject(cookie);
        for (FakeControl* fake : factory.made)
            fake->Release();
        for (IUnknown* inner : factory.inners)
            inner->Release();
        if (top)
            DestroyWindow(top);
        OleUninitialize();
    }
};

MSG KeyFor(HWND window, WPARAM key)
{
    MSG message{};
    message.hwnd = window;
    message.message = WM_KEYDOWN;
    message.wParam = key;
    return message;
}

TEST_F(FakeControlHost, FocusMakesTheControlUIActiveSoItsKeysReachIt)
{
    // The browser's window lies inside a panel of the top-level window.
    HWND panel = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, 0, 0, 300, 200, top, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
    HostedBrowser hosted = CreateSystemBrowser(panel);
    ASSERT_EQ(factory.made.size(), 1u);
    FakeControl& control = *factory.made[0];

    // Created: in-place active only; no active object yet, so no key is its.
    EXPECT_THAT(control.verbs, ElementsAre(OLEIVERB_INPLACEACTIVATE));
    MSG tab = KeyFor(hosted.window, VK_TAB);
    EXPECT_FALSE(hosted.translateAccelerator(tab));
    EXPECT_TRUE(control.keys.empty());

    // The frame is the top-level window, the site the browser's own window.
    ASSERT_NE(control.keptFrame, nullptr);
    HWND frameWindow = nullptr;
    EXPECT_EQ(control.keptFrame->GetWindow(&frameWindow), S_OK);
    EXPECT_EQ(frameWindow, top);
    EXPECT_EQ(control.frameInfoWindow, top);
    IOleInPlaceSite* site = nullptr;
    ASSERT_EQ(control.keptSite->QueryInterface(IID_IOleInPlaceSite, reinterpret_cast<void**>(&site)), S_OK);
    HWND siteWindow = nullptr;
    EXPECT_EQ(site->GetWindow(&siteWindow), S_OK);
    EXPECT_EQ(siteWindow, hosted.window);
    site->Release();
    // The frame and the site are separate objects.
    IOleInPlaceFrame* frameOfSite = nullptr;
    EXPECT_EQ(control.keptSite->QueryInterface(IID_IOleInPlaceFrame, reinterpret_cast<void**>(&frameOfSite)),
              E_NOINTERFACE);

    // The program moves the focus into the page: the control becomes UI-active.
    hosted.browser->Focus();
    EXPECT_THAT(control.verbs, ElementsAre(OLEIVERB_INPLACEACTIVATE, OLEIVERB_UIACTIVATE));
    EXPECT_THAT(control.calls, Contains("SetActiveObject(fake)"));
    EXPECT_TRUE(hosted.translateAccelerator(tab));
    MSG letter = KeyFor(hosted.window, 'A');
    EXPECT_FALSE(hosted.translateAccelerator(letter));
    EXPECT_THAT(control.keys, ElementsAre(VK_TAB, 'A'));
    // Keys of other windows stay theirs.
    MSG elsewhere = KeyFor(top, VK_TAB);
    EXPECT_FALSE(hosted.translateAccelerator(elsewhere));
    EXPECT_EQ(control.keys.size(), 2u);

    // A second focus changes nothing for a control already UI-active.
    hosted.browser->Focus();
    EXPECT_EQ(std::count(control.calls.begin(), control.calls.end(), "SetActiveObject(fake)"), 1);
    hosted.browser.reset();
    EXPECT_THAT(control.calls, Contains("SetActiveObject(null)"));
}

TEST_F(FakeControlHost, TabPostedToTheVisibleBrowserReachesItThroughTheProgramsLoop)
{
    Win32Application app;
    app.Initialize();
    RecordingEvents events;
    auto view = app.CreateMainWindow(events);
    auto* dashboard = static_cast<Win32DashboardView*>(view.get());
    ASSERT_EQ(factory.made.size(), 2u);
    FakeControl& visible = *factory.made[1];

    dashboard->WebBrowser().Focus();
    ASSERT_THAT(visible.calls, Contains("SetActiveObject(fake)"));
    PostMessageW(dashboard->WebBrowserWindow(), WM_KEYDOWN, VK_TAB, 0);
    app.ProcessMessages();
    EXPECT_THAT(visible.keys, ElementsAre(VK_TAB));
    EXPECT_TRUE(factory.made[0]->keys.empty());
    view.reset();
}

TEST_F(FakeControlHost, ASiteKeptPastTheTeardownStaysValidUntilItsLastRelease)
{
    HostedBrowser hosted = CreateSystemBrowser(top);
    ASSERT_EQ(factory.made.size(), 1u);
    FakeControl& control = *factory.made[0];
    hosted.browser->Focus();
    hosted.browser.reset();
    EXPECT_THAT(control.calls, Contains("SetClientSite(null)"));

    // The control still holds the site and the frame: they answer, without
    // the browser or its window, and refuse what needs them.
    IOleClientSite* site = control.keptSite;
    IOleInPlaceFrame* frame = control.keptFrame;
    ASSERT_NE(site, nullptr);
    ASSERT_NE(frame, nullptr);
    IOleInPlaceSite* inPlace = nullptr;
    ASSERT_EQ(site->QueryInterface(IID_IOleInPlaceSite, reinterpret_cast<void**>(&inPlace)), S_OK);
    HWND window = reinterpret_cast<HWND>(1);
    EXPECT_EQ(inPlace->GetWindow(&window), E_FAIL);
    EXPECT_EQ(window, nullptr);
    EXPECT_EQ(inPlace->CanInPlaceActivate(), S_FALSE);
    IOleInPlaceFrame* another = nullptr;
    IOleInPlaceUIWindow* document = nullptr;
    RECT position, clip;
    OLEINPLACEFRAMEINFO info{};
    EXPECT_EQ(inPlace->GetWindowContext(&another, &document, &position, &clip, &info), E_FAIL);
    EXPECT_EQ(another, nullptr);
    EXPECT_EQ(inPlace->OnPosRectChange(&position), S_OK);
    EXPECT_EQ(inPlace->Release(), 1u);
    window = reinterpret_cast<HWND>(1);
    EXPECT_EQ(frame->GetWindow(&window), E_FAIL);
    EXPECT_EQ(frame->SetActiveObject(&control, L"late"), E_UNEXPECTED);
    EXPECT_EQ(frame->SetActiveObject(nullptr, nullptr), S_OK);

    // Each goes at its last reference: the site holds the frame.
    EXPECT_EQ(frame->Release(), 1u);
    EXPECT_EQ(site->Release(), 0u);
    control.keptSite = nullptr;
    control.keptFrame = nullptr;
}

// --- a refused new window opens in WebBrowser ------------------------------------------------

TEST(NewWindowNavigation, TheAddressIsNavigatedFromTheMessageLoopNotInsideTheEvent)
{
    Win32Application app;
    app.Initialize();
    PostedBrowsers browsers;
    std::vector<NewWindowEvent> handlers;
    const BrowserFactory posted = browsers.Factory();
    app.SetBrowserFactory([&](HWND parent) {
        HostedBrowser hosted = posted(parent);
        hosted.setOnNewWindow = [&handlers](NewWindowEvent handler) { handlers.push_back(std::move(handler)); };
        return hosted;
    });
    RecordingEvents events;
    auto view = app.CreateMainWindow(events);
    // Only WebBrowser opens new windows' addresses; WebBrowserRoot's are refused.
    ASSERT_EQ(handlers.size(), 1u);

    const auto navigations = [&] {
        std::vector<std::string> seen;
        for (const auto& entry : browsers.log)
            if (entry.rfind("WebBrowser.Navigate(", 0) == 0)
                seen.push_back(entry);
        return seen;
    };
    handlers[0]("about:TR001|http://127.0.0.1/p");
    handlers[0]("http://127.0.0.1/altro");
    EXPECT_TRUE(browsers.log.empty());
    app.ProcessMessages();
    EXPECT_THAT(navigations(), ElementsAre("WebBrowser.Navigate(about:TR001|http://127.0.0.1/p)",
                                           "WebBrowser.Navigate(http://127.0.0.1/altro)"));

    // Addresses still waiting when the window goes are dropped with it.
    handlers[0]("http://127.0.0.1/tardi");
    view.reset();
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&message);
    EXPECT_EQ(navigations().size(), 2u);
}

}  // namespace
}  // namespace velastrom::win32::test
