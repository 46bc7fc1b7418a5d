// Recording fakes of the three interfaces. Every fake writes the calls that
// matter into one shared log, so a test can check their order across fakes.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/Framework.h"
#include "browser/Browser.h"
#include "platform/Platform.h"

namespace velastrom::fakes {

using Log = std::vector<std::string>;

// Calls scripted to fail: the line a call logs -> the message it then throws
// (a private-profile write is refused instead, as the platform reports it).
using Failures = std::map<std::string, std::string>;

// --- the browser's document model -----------------------------------------------

// An automation object that knows some property names (any letter case).
// Get of a known name gives the child; Set records "<path>.<name>=<value>".
class FakeAutomationObject : public IAutomationObject {
public:
    FakeAutomationObject(Log& log, std::string path) : log_(log), path_(std::move(path)) {}

    std::shared_ptr<FakeAutomationObject> AddChild(const std::string& name, const std::string& path);
    // A name whose Get yields no object (a document without a body, say).
    void AddEmptyChild(const std::string& name);
    void AddSettable(const std::string& name);
    // A name that is known but refuses assignment with this message.
    void AddRefusing(const std::string& name, const std::string& message);

    std::shared_ptr<IAutomationObject> Get(const std::string& name) override;
    void Set(const std::string& name, const std::string& value) override;

private:
    static std::string Key(const std::string& name);
    Log& log_;
    std::string path_;
    std::map<std::string, std::shared_ptr<FakeAutomationObject>> children_;
    std::set<std::string> empty_;
    std::set<std::string> settable_;
    std::map<std::string, std::string> refusing_;
};

// --- the browser -------------------------------------------------------------------

class FakeApplication;

// A browser whose navigations complete as posted messages: Navigate puts the
// ready state at 1 and posts a message that, when processed, installs the
// page for the address, sets the ready state to 4 and raises DocumentComplete.
class FakeBrowser : public IWebBrowser {
public:
    FakeBrowser(Log& log, std::string name, FakeApplication& app);

    void Navigate(const std::string& address) override;
    void Stop() override;
    int ReadyState() override;
    bool HasDocument() override;
    void Save(TMemoryStream& stream) override;
    void Load(TMemoryStream& stream) override;
    std::shared_ptr<IAutomationObject> Automation() override;
    void Focus() override;
    void SetOnBeforeNavigate2(BeforeNavigate2Event handler) override { beforeNavigate2_ = std::move(handler); }
    void SetOnDocumentComplete(DocumentCompleteEvent handler) override { documentComplete_ = std::move(handler); }

    // Raises BeforeNavigate2 as a click on a link would; returns the cancel flag.
    bool ClickLink(const std::string& url);

    // Scripting.
    std::map<std::string, std::string> pages;  // address -> bytes Save gives
    std::string navigateError;                 // when set, Navigate throws it
    std::string readyStateError;               // when set, ReadyState throws it
    std::string focusError;                    // when set, Focus throws it
    bool saveUnsupported = false;              // Save throws "Interface not supported"
    bool neverInteractive = false;             // navigations never complete
    bool hasDocument = false;

    // Observations.
    std::string currentAddress;
    std::string shownBytes;   // what Load showed last
    int loads = 0;
    std::shared_ptr<FakeAutomationObject> automation;  // root: Document / Body / Style
    std::shared_ptr<FakeAutomationObject> style;

private:
    Log& log_;
    std::string name_;
    FakeApplication& app_;
    int readyState_ = READYSTATE_UNINITIALIZED;
    std::string document_;
    BeforeNavigate2Event beforeNavigate2_;
    DocumentCompleteEvent documentComplete_;
};

// --- the window framework --------------------------------------------------------

class FakePanel : public IPanel {
public:
    void SetColor(TColor color) override { color_ = color; }
    TColor Color() const override { return color_; }

private:
    TColor color_ = 0xC0C0C0;
};

class FakeImage : public IImage {
public:
    explicit FakeImage(std::string hint) : hint_(std::move(hint)) {}
    std::string Hint() const override { return hint_; }

private:
    std::string hint_;
};

class FakeLabel : public ILabel {
public:
    void SetCaption(const std::string& caption) override { caption_ = caption; }
    std::string Caption() const override { return caption_; }
    void SetFontColor(TColor color) override { color_ = color; }
    TColor FontColor() const override { return color_; }

private:
    std::string caption_ = "cxLabelInfo";
    TColor color_ = 0;
};

class FakeView : public IDashboardView {
public:
    FakeView(Log& log, FakeApplication& app, IDashboardEvents& events);
    ~FakeView() override;

    int Top() const override { return top_; }
    int Left() const override { return left_; }
    int Height() const override { return height_; }
    int Width() const override { return width_; }
    void SetTop(int value) override;
    void SetLeft(int value) override;
    void SetHeight(int value) override;
    void SetWidth(int value) override;
    void SetEnabled(bool enabled) override;
    bool Enabled() const override { return enabled_; }
    void Close() override;

    IWebBrowser& WebBrowser() override { return webBrowser; }
    IPanel& PanelComand() override { return panelComand; }
    IImage& ImageHome() override { return imageHome; }
    IImage& ImageStop() override { return imageStop; }
    IPanel& PanelInfo() override { return panelInfo; }
    ILabel& cxLabelInfo() override { return label; }
    IWebBrowser& WebBrowserRoot() override { return webBrowserRoot; }

    FakeBrowser webBrowser;
    FakePanel panelComand;
    FakeImage imageHome;
    FakeImage imageStop;
    FakePanel panelInfo;
    FakeLabel label;
    FakeBrowser webBrowserRoot;
    IDashboardEvents& events;
    Failures failures;  // SetEnabled

private:
    Log& log_;
    FakeApplication& app_;
    int top_ = 177, left_ = 852, height_ = 736, width_ = 1024;
    bool enabled_ = true;
};

// The application object. Messages are callbacks in a queue; ProcessMessages
// runs every message waiting when it is called (and those they post).
class FakeApplication : public IApplication {
public:
    explicit FakeApplication(Log& log) : log_(log) {}

    void Initialize() override { log_.push_back("Application.Initialize"); }
    void SetTitle(const std::string& title) override;
    std::string Title() const override { return title_; }
    std::unique_ptr<IDashboardView> CreateMainWindow(IDashboardEvents& events) override;
    void Run() override;
    void ProcessMessages() override;
    bool Terminated() const override { return terminated_; }
    void Terminate() override;
    std::string ExeName() const override { return exeName; }
    std::uintptr_t MainWindowHandle() const override { return 0x1234; }
    void SetOnActivate(TNotifyEvent handler) override { onActivate = std::move(handler); }
    void SetOnRestore(TNotifyEvent handler) override { onRestore = std::move(handler); }
    TCursor Cursor() const override { return cursor_; }
    void SetCursor(TCursor cursor) override;
    std::vector<TRect> WorkAreas() const override { return workAreas; }
    void ShowErrorBox(const std::string& text) override;

    void Post(std::function<void()> message) { queue_.push_back(std::move(message)); }
    std::size_t Pending() const { return queue_.size(); }

    std::string exeName = "/opt/velastrom/VelastromNavigazione";
    std::vector<TRect> workAreas{{0, 0, 1920, 1080}};
    std::vector<std::string> errorBoxes;
    Failures failures;  // SetCursor
    TNotifyEvent onActivate;
    TNotifyEvent onRestore;
    FakeView* view = nullptr;  // the main window, once created
    // Run: what happens once the window is shown (say, activate it).
    std::function<void()> afterShow;

private:
    Log& log_;
    std::string title_;
    std::deque<std::function<void()>> queue_;
    bool quitPosted_ = false;
    bool terminated_ = false;
    TCursor cursor_ = TCursor::Default;
};

// --- platform services ----------------------------------------------------------

// An in-memory private-profile store, a fake registry and recorded shell,
// folder and sleep calls. Names match without regard to ASCII letter case.
class FakePlatform : public IPlatform {
public:
    explicit FakePlatform(Log& log) : log_(log) {}

    std::string ReadPrivateProfile(const char* section, const char* key, const std::string& def,
                                   std::size_t bufferSize, const std::string& fileName) override;
    bool WritePrivateProfile(const std::string& section, const std::string& key,
                             const std::string& value, const std::string& fileName) override;
    TRegistryValue QueryLocalMachineValue(const std::string& key, const std::string& name) override;
    bool DirectoryExists(const std::string& path) override { return directories.count(path) != 0; }
    bool MakeDirectory(const std::string& path) override;
    bool ChangeDirectory(const std::string& path) override;
    char PathDelimiter() const override { return '\\'; }
    bool IsDriveDelimiter(char c) const override { return c == ':'; }
    // Double-byte characters start with a byte of leadBytes (none by default).
    bool IsTrailByte(const std::string& text, std::size_t index) const override;
    void ShellOpen(std::uintptr_t owner, const std::string& file) override;
    // Recorded; moves the fake clock on.
    void Sleep(unsigned milliseconds) override;
    // The fake clock: moved by Sleep and by the test.
    std::uint64_t TickCount() const override { return ticks; }
    int CompareText(const std::string& a, const std::string& b) const override;
    void MaskFloatingPointExceptions() override { log_.push_back("MaskFloatingPointExceptions"); }

    // A file as ordered sections of ordered key/value pairs.
    using Section = std::vector<std::pair<std::string, std::string>>;
    using File = std::vector<std::pair<std::string, Section>>;
    std::map<std::string, File> files;
    std::set<std::string> readOnlyFiles;
    std::set<std::string> directories;
    std::set<std::string> uncreatableDirectories;
    TRegistryValue programFilesDir{TRegistryValue::Status::Ok, REG_SZ_TYPE, std::string("C:\\Program Files") + '\0'};
    std::string shellError;  // when set, ShellOpen throws it
    std::string leadBytes;   // lead bytes of the code page's double-byte characters
    // QueryLocalMachineValue, MakeDirectory, ChangeDirectory, ShellOpen,
    // Sleep; WritePrivateProfile is refused.
    Failures failures;
    std::string currentDirectory = "C:\\";
    std::uint64_t ticks = 1000;

private:
    Log& log_;
};

}  // namespace velastrom::fakes
