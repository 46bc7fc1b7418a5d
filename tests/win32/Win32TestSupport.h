// Helpers for the tests of the Win32 window framework: recording handlers,
// browsers that stand in for the system's control, and a catcher for the
// error box.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/Framework.h"
#include "app/win32/Win32Application.h"
#include "app/win32/Win32DashboardView.h"
#include "fakes/Fakes.h"

namespace velastrom::win32::test {

// Handlers that record their calls; each may run a step of the test.
struct RecordingEvents : IDashboardEvents {
    std::vector<std::string> calls;
    std::function<void()> onShow;
    std::function<void()> onActivate;
    std::function<void()> onHomeClick;
    std::function<void()> onStopClick;
    std::function<void(bool&)> onBeforeNavigate2;

    void FormCreate() override { calls.push_back("FormCreate"); }
    void FormDestroy() override { calls.push_back("FormDestroy"); }
    void FormShow() override
    {
        calls.push_back("FormShow");
        if (onShow)
            onShow();
    }
    void FormActivate() override
    {
        calls.push_back("FormActivate");
        if (onActivate)
            onActivate();
    }
    void FormCloseQuery(bool& canClose) override
    {
        calls.push_back(canClose ? "FormCloseQuery(true)" : "FormCloseQuery(false)");
    }
    void FormClose(TCloseAction& action) override
    {
        calls.push_back(action == TCloseAction::Hide ? "FormClose(Hide)" : "FormClose(other)");
    }
    void WebBrowserBeforeNavigate2(const std::string& url, bool& cancel) override
    {
        calls.push_back("BeforeNavigate2(" + url + ")");
        if (onBeforeNavigate2)
            onBeforeNavigate2(cancel);
    }
    void WebBrowserDocumentComplete(const std::string& url) override
    {
        calls.push_back("DocumentComplete(" + url + ")");
    }
    void ImageHomeClick() override
    {
        calls.push_back("ImageHomeClick");
        if (onHomeClick)
            onHomeClick();
    }
    void ImageStopClick() override
    {
        calls.push_back("ImageStopClick");
        if (onStopClick)
            onStopClick();
    }

    int Count(const std::string& call) const
    {
        int count = 0;
        for (const auto& c : calls)
            count += c == call;
        return count;
    }
};

// A browser whose navigations complete through the real message queue: Navigate
// sets the ready state to 1 and posts a message that, once dispatched, sets it
// to 4 and raises DocumentComplete.
class PostedBrowser final : public IWebBrowser {
public:
    PostedBrowser(std::vector<std::string>& log, std::string name);
    ~PostedBrowser() override;

    void Navigate(const std::string& address) override;
    void Stop() override { log_.push_back(name_ + ".Stop"); }
    int ReadyState() override { return readyState_; }
    bool HasDocument() override { return readyState_ >= READYSTATE_INTERACTIVE; }
    void Save(TMemoryStream&) override {}
    void Load(TMemoryStream& stream) override
    {
        log_.push_back(name_ + ".Load(" + stream.ReadToEnd() + ")");
        if (onLoad)
            onLoad();
    }
    // Document / Body / Style, whose assignments are logged as "Style.<name>=<value>".
    std::shared_ptr<IAutomationObject> Automation() override { return automation_; }
    void Focus() override { log_.push_back(name_ + ".Focus"); }
    void SetOnBeforeNavigate2(BeforeNavigate2Event handler) override { beforeNavigate2_ = std::move(handler); }
    void SetOnDocumentComplete(DocumentCompleteEvent handler) override { documentComplete_ = std::move(handler); }

    std::function<void()> onLoad;

    // Raises BeforeNavigate2 as the control would; returns the cancel flag.
    bool RaiseBeforeNavigate2(const std::string& url);
    void RaiseDocumentComplete(const std::string& url);

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    std::vector<std::string>& log_;
    std::string name_;
    HWND messages_ = nullptr;
    int readyState_ = READYSTATE_UNINITIALIZED;
    std::string pending_;
    std::shared_ptr<fakes::FakeAutomationObject> automation_;
    BeforeNavigate2Event beforeNavigate2_;
    DocumentCompleteEvent documentComplete_;
};

// A factory of PostedBrowsers in plain child windows; the first is
// WebBrowserRoot, the second WebBrowser.
struct PostedBrowsers {
    std::vector<std::string> log;
    std::vector<PostedBrowser*> made;
    BrowserFactory Factory();
};

// Catches the next message box the thread shows, reads it and presses OK.
class MessageBoxCatcher {
public:
    MessageBoxCatcher();
    ~MessageBoxCatcher();
    MessageBoxCatcher(const MessageBoxCatcher&) = delete;
    MessageBoxCatcher& operator=(const MessageBoxCatcher&) = delete;

    struct Box {
        std::string caption;
        std::string text;
        bool errorIcon = false;
        std::vector<std::string> buttons;
        bool ownerDisabled = false;
        bool applicationWindowDisabled = false;
    };
    std::vector<Box> boxes;
    HWND applicationWindow = nullptr;  // checked while the box is up
    HWND mainWindow = nullptr;

private:
    static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam);
    HHOOK hook_ = nullptr;
};

// Processes messages until the condition holds or the count of passes runs
// out; no timing is involved.
bool PumpUntil(const std::function<bool()>& condition, int passes = 2000);

// A window's rectangle in its parent's client coordinates.
RECT ChildRect(HWND window);

// Runs a step of the test from inside the message loop.
void PostStep(std::function<void()> step);

}  // namespace velastrom::win32::test
