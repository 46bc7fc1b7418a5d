#include "Win32TestSupport.h"

#include <deque>

namespace velastrom::win32::test {

namespace {

constexpr UINT CompleteNavigation = WM_APP + 1;
constexpr UINT RunStep = WM_APP + 2;

MessageBoxCatcher* catcher = nullptr;

std::string TextOf(HWND window)
{
    char buffer[1024] = {};
    GetWindowTextA(window, buffer, sizeof buffer);
    return buffer;
}

std::string ClassOf(HWND window)
{
    char buffer[256] = {};
    GetClassNameA(window, buffer, sizeof buffer);
    return buffer;
}

BOOL CALLBACK ReadChild(HWND child, LPARAM lParam)
{
    auto* box = reinterpret_cast<MessageBoxCatcher::Box*>(lParam);
    const std::string className = ClassOf(child);
    const LONG_PTR style = GetWindowLongPtrA(child, GWL_STYLE);
    if (lstrcmpiA(className.c_str(), "Button") == 0 && (style & WS_VISIBLE)) {
        box->buttons.push_back(TextOf(child));
    } else if (lstrcmpiA(className.c_str(), "Static") == 0) {
        if ((style & SS_TYPEMASK) == SS_ICON) {
            if (SendMessageA(child, STM_GETICON, 0, 0) == reinterpret_cast<LRESULT>(LoadIcon(nullptr, IDI_ERROR)))
                box->errorIcon = true;
        } else if (!TextOf(child).empty()) {
            box->text = TextOf(child);
        }
    }
    return TRUE;
}

HWND stepWindow = nullptr;
std::deque<std::function<void()>> steps;

LRESULT CALLBACK StepProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == RunStep && !steps.empty()) {
        auto step = std::move(steps.front());
        steps.pop_front();
        step();
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

// --- PostedBrowser ----------------------------------------------------------------------

PostedBrowser::PostedBrowser(std::vector<std::string>& log, std::string name) : log_(log), name_(std::move(name))
{
    static bool registered = false;
    if (!registered) {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = &PostedBrowser::WindowProc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "VelastromPostedBrowser";
        RegisterClassA(&windowClass);
        registered = true;
    }
    messages_ = CreateWindowExA(0, "VelastromPostedBrowser", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
    SetWindowLongPtrA(messages_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    automation_ = std::make_shared<fakes::FakeAutomationObject>(log_, name_);
    auto style = automation_->AddChild("Document", name_ + ".Document")->AddChild("Body", name_ + ".Body")
                     ->AddChild("Style", "Style");
    for (const char* property : {"OverflowX", "OverflowY", "scrollbarArrowColor", "scrollbar3dLightColor",
                                 "scrollbarDarkShadowColor", "scrollbarFaceColor", "scrollbarHighlightColor",
                                 "scrollbarShadowColor", "scrollbarTrackColor"})
        style->AddSettable(property);
}

PostedBrowser::~PostedBrowser() { DestroyWindow(messages_); }

void PostedBrowser::Navigate(const std::string& address)
{
    log_.push_back(name_ + ".Navigate(" + address + ")");
    readyState_ = READYSTATE_LOADING;
    pending_ = address;
    PostMessageA(messages_, CompleteNavigation, 0, 0);
}

bool PostedBrowser::RaiseBeforeNavigate2(const std::string& url)
{
    bool cancel = false;
    if (beforeNavigate2_)
        beforeNavigate2_(url, cancel);
    return cancel;
}

void PostedBrowser::RaiseDocumentComplete(const std::string& url)
{
    if (documentComplete_)
        documentComplete_(url);
}

LRESULT CALLBACK PostedBrowser::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* self = reinterpret_cast<PostedBrowser*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self != nullptr && message == CompleteNavigation) {
        self->readyState_ = READYSTATE_COMPLETE;
        self->log_.push_back(self->name_ + ".Complete(" + self->pending_ + ")");
        self->RaiseDocumentComplete(self->pending_);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

BrowserFactory PostedBrowsers::Factory()
{
    return [this](HWND parent) {
        HostedBrowser hosted;
        auto browser = std::make_unique<PostedBrowser>(log, made.empty() ? "WebBrowserRoot" : "WebBrowser");
        made.push_back(browser.get());
        hosted.browser = std::move(browser);
        hosted.window = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, parent, nullptr,
                                        GetModuleHandleA(nullptr), nullptr);
        return hosted;
    };
}

// --- MessageBoxCatcher ------------------------------------------------------------------

MessageBoxCatcher::MessageBoxCatcher()
{
    catcher = this;
    hook_ = SetWindowsHookExA(WH_CBT, &MessageBoxCatcher::Hook, nullptr, GetCurrentThreadId());
}

MessageBoxCatcher::~MessageBoxCatcher()
{
    UnhookWindowsHookEx(hook_);
    catcher = nullptr;
}

LRESULT CALLBACK MessageBoxCatcher::Hook(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_ACTIVATE && catcher != nullptr) {
        HWND window = reinterpret_cast<HWND>(wParam);
        if (ClassOf(window) == "#32770") {
            Box box;
            box.caption = TextOf(window);
            EnumChildWindows(window, &ReadChild, reinterpret_cast<LPARAM>(&box));
            HWND owner = GetWindow(window, GW_OWNER);
            box.ownerDisabled = owner != nullptr && !IsWindowEnabled(owner);
            if (catcher->applicationWindow != nullptr)
                box.applicationWindowDisabled = !IsWindowEnabled(catcher->applicationWindow);
            catcher->boxes.push_back(box);
            PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// --- helpers ----------------------------------------------------------------------------

bool PumpUntil(const std::function<bool()>& condition, int passes)
{
    for (int pass = 0; pass < passes; ++pass) {
        if (condition())
            return true;
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        if (condition())
            return true;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return condition();
}

RECT ChildRect(HWND window)
{
    RECT rect;
    GetWindowRect(window, &rect);
    MapWindowPoints(nullptr, GetParent(window), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

void PostStep(std::function<void()> step)
{
    if (stepWindow == nullptr) {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = &StepProc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "VelastromTestSteps";
        RegisterClassA(&windowClass);
        stepWindow = CreateWindowExA(0, "VelastromTestSteps", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                     GetModuleHandleA(nullptr), nullptr);
    }
    steps.push_back(std::move(step));
    PostMessageA(stepWindow, RunStep, 0, 0);
}

}  // namespace velastrom::win32::test
