#include "Fakes.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "common/Error.h"

namespace velastrom::fakes {

namespace {

std::string Lower(const std::string& text)
{
    std::string lower = text;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

bool SameText(const std::string& a, const std::string& b) { return Lower(a) == Lower(b); }

// Throws the scripted failure of a call that has just been logged.
void FailIfScripted(const Failures& failures, const std::string& line)
{
    const auto failure = failures.find(line);
    if (failure != failures.end())
        throw Error(failure->second);
}

}  // namespace

// --- FakeAutomationObject ---------------------------------------------------------------

std::string FakeAutomationObject::Key(const std::string& name) { return Lower(name); }

std::shared_ptr<FakeAutomationObject> FakeAutomationObject::AddChild(const std::string& name, const std::string& path)
{
    auto child = std::make_shared<FakeAutomationObject>(log_, path);
    children_[Key(name)] = child;
    return child;
}

void FakeAutomationObject::AddEmptyChild(const std::string& name) { empty_.insert(Key(name)); }
void FakeAutomationObject::AddSettable(const std::string& name) { settable_.insert(Key(name)); }
void FakeAutomationObject::AddRefusing(const std::string& name, const std::string& message)
{
    refusing_[Key(name)] = message;
}

std::shared_ptr<IAutomationObject> FakeAutomationObject::Get(const std::string& name)
{
    const auto child = children_.find(Key(name));
    if (child != children_.end())
        return child->second;
    if (empty_.count(Key(name)))
        throw Error("Variant does not reference an automation object");
    throw Error("Method '" + name + "' not supported by automation object");
}

void FakeAutomationObject::Set(const std::string& name, const std::string& value)
{
    const auto refusing = refusing_.find(Key(name));
    if (refusing != refusing_.end())
        throw Error(refusing->second);
    if (!settable_.count(Key(name)))
        throw Error("Method '" + name + "' not supported by automation object");
    log_.push_back(path_ + "." + name + "=" + value);
}

// --- FakeBrowser ---------------------------------------------------------------------------

FakeBrowser::FakeBrowser(Log& log, std::string name, FakeApplication& app)
    : log_(log), name_(std::move(name)), app_(app)
{
    automation = std::make_shared<FakeAutomationObject>(log_, name_);
    auto document = automation->AddChild("Document", name_ + ".Document");
    auto body = document->AddChild("Body", name_ + ".Document.Body");
    style = body->AddChild("Style", "Style");
    for (const char* property : {"OverflowX", "OverflowY", "scrollbarArrowColor", "scrollbar3dLightColor",
                                 "scrollbarDarkShadowColor", "scrollbarFaceColor", "scrollbarHighlightColor",
                                 "scrollbarShadowColor", "scrollbarTrackColor"})
        style->AddSettable(property);
}

void FakeBrowser::Navigate(const std::string& address)
{
    log_.push_back(name_ + ".Navigate(" + address + ")");
    if (!navigateError.empty())
        throw Error(navigateError);
    currentAddress = address;
    readyState_ = READYSTATE_LOADING;
    if (neverInteractive)
        return;
    app_.Post([this, address] {
        if (currentAddress != address)
            return;  // a later navigation took over
        const auto page = pages.find(address);
        document_ = page != pages.end() ? page->second : std::string();
        hasDocument = true;
        readyState_ = READYSTATE_COMPLETE;
        log_.push_back(name_ + ".Loaded(" + address + ")");
        if (documentComplete_)
            DispatchEvent(app_, [&] { documentComplete_(address); });
    });
}

void FakeBrowser::Stop()
{
    log_.push_back(name_ + ".Stop");
    currentAddress.clear();
    document_.clear();
    hasDocument = true;
    readyState_ = READYSTATE_COMPLETE;
}

int FakeBrowser::ReadyState()
{
    if (!readyStateError.empty())
        throw Error(readyStateError);
    return readyState_;
}

bool FakeBrowser::HasDocument() { return hasDocument; }

void FakeBrowser::Save(TMemoryStream& stream)
{
    log_.push_back(name_ + ".Save");
    if (saveUnsupported)
        throw Error("Interface not supported");
    stream.Write(document_.data(), document_.size());
}

void FakeBrowser::Load(TMemoryStream& stream)
{
    shownBytes = stream.ReadToEnd();
    ++loads;
    log_.push_back(name_ + ".Load(" + std::to_string(shownBytes.size()) + " bytes)");
}

std::shared_ptr<IAutomationObject> FakeBrowser::Automation() { return automation; }

void FakeBrowser::Focus()
{
    log_.push_back(name_ + ".Focus");
    if (!focusError.empty())
        throw Error(focusError);
}

bool FakeBrowser::ClickLink(const std::string& url)
{
    bool cancel = false;
    if (beforeNavigate2_)
        DispatchEvent(app_, [&] { beforeNavigate2_(url, cancel); });
    if (!cancel)
        Navigate(url);
    return cancel;
}

// --- FakeView ---------------------------------------------------------------------------

FakeView::FakeView(Log& log, FakeApplication& app, IDashboardEvents& events)
    : webBrowser(log, "WebBrowser", app),
      imageHome("Torna al velastrom principale"),
      imageStop("Chiudi il velastrom"),
      webBrowserRoot(log, "WebBrowserRoot", app),
      events(events),
      log_(log),
      app_(app)
{
    webBrowser.SetOnBeforeNavigate2(
        [this](const std::string& url, bool& cancel) { this->events.WebBrowserBeforeNavigate2(url, cancel); });
    webBrowser.SetOnDocumentComplete([this](const std::string& url) { this->events.WebBrowserDocumentComplete(url); });
}

FakeView::~FakeView() { log_.push_back("View.Destroyed"); }

void FakeView::SetTop(int value)
{
    top_ = value;
    log_.push_back("View.Top=" + std::to_string(value));
}

void FakeView::SetLeft(int value)
{
    left_ = value;
    log_.push_back("View.Left=" + std::to_string(value));
}

void FakeView::SetHeight(int value)
{
    height_ = std::max(value, 600);
    log_.push_back("View.Height=" + std::to_string(height_));
}

void FakeView::SetWidth(int value)
{
    width_ = std::max(value, 800);
    log_.push_back("View.Width=" + std::to_string(width_));
}

void FakeView::SetEnabled(bool enabled)
{
    log_.push_back(enabled ? "View.Enable" : "View.Disable");
    FailIfScripted(failures, log_.back());
    enabled_ = enabled;
}

void FakeView::Close()
{
    log_.push_back("View.Close");
    RunClosePath(app_, events);
}

// --- FakeApplication ---------------------------------------------------------------------

void FakeApplication::SetTitle(const std::string& title)
{
    title_ = title.substr(0, 255);
    log_.push_back("Application.Title=" + title);
}

std::unique_ptr<IDashboardView> FakeApplication::CreateMainWindow(IDashboardEvents& events)
{
    log_.push_back("Application.CreateMainWindow");
    auto created = std::make_unique<FakeView>(log_, *this, events);
    view = created.get();
    return created;
}

void FakeApplication::Run()
{
    log_.push_back("Application.Run");
    if (view)
        DispatchEvent(*this, [this] { view->events.FormShow(); });
    if (afterShow)
        afterShow();
    while (!terminated_ && !queue_.empty())
        ProcessMessages();
    log_.push_back("Application.RunEnded");
}

void FakeApplication::ProcessMessages()
{
    std::size_t waiting = queue_.size();
    while (waiting-- > 0 && !queue_.empty()) {
        auto message = std::move(queue_.front());
        queue_.pop_front();
        message();
    }
}

void FakeApplication::Terminate()
{
    log_.push_back("Application.Terminate");
    if (quitPosted_)
        return;
    quitPosted_ = true;
    Post([this] { terminated_ = true; });
}

void FakeApplication::SetCursor(TCursor cursor)
{
    log_.push_back(cursor == TCursor::HourGlass ? "Cursor=HourGlass" : "Cursor=Default");
    FailIfScripted(failures, log_.back());
    cursor_ = cursor;
}

void FakeApplication::ShowErrorBox(const std::string& text)
{
    errorBoxes.push_back(text);
    log_.push_back("ErrorBox(" + text + ")");
}

// --- FakePlatform -------------------------------------------------------------------------

std::string FakePlatform::ReadPrivateProfile(const char* section, const char* key, const std::string& def,
                                             std::size_t bufferSize, const std::string& fileName)
{
    if (bufferSize == 0)
        return {};
    const auto file = files.find(fileName);
    std::string result;
    if (section == nullptr || key == nullptr) {
        if (file == files.end())
            return {};
        std::vector<std::string> names;
        if (section == nullptr) {
            for (const auto& s : file->second)
                names.push_back(s.first);
        } else {
            for (const auto& s : file->second)
                if (SameText(s.first, section))
                    for (const auto& k : s.second)
                        names.push_back(k.first);
        }
        for (const auto& name : names) {
            result += name;
            result += '\0';
        }
        if (result.size() + 1 > bufferSize)  // cut as the platform does: room for the final NUL
            result = result.substr(0, bufferSize - 2) + '\0';
        return result;
    }
    result = def;
    if (file != files.end()) {
        for (const auto& s : file->second) {
            if (!SameText(s.first, section))
                continue;
            for (const auto& k : s.second)
                if (SameText(k.first, key)) {
                    result = k.second;
                    goto found;
                }
        }
    }
found:
    if (result.size() > bufferSize - 1)
        result.resize(bufferSize - 1);
    return result;
}

bool FakePlatform::WritePrivateProfile(const std::string& section, const std::string& key,
                                       const std::string& value, const std::string& fileName)
{
    log_.push_back("WriteProfile(" + section + "," + key + "=" + value + ")");
    if (readOnlyFiles.count(fileName) || failures.count(log_.back()))
        return false;
    File& file = files[fileName];
    for (auto& s : file) {
        if (!SameText(s.first, section))
            continue;
        for (auto& k : s.second)
            if (SameText(k.first, key)) {
                k.second = value;
                return true;
            }
        s.second.emplace_back(key, value);
        return true;
    }
    file.push_back({section, {{key, value}}});
    return true;
}

TRegistryValue FakePlatform::QueryLocalMachineValue(const std::string& key, const std::string& name)
{
    log_.push_back("Registry(" + key + "," + name + ")");
    FailIfScripted(failures, log_.back());
    return programFilesDir;
}

bool FakePlatform::MakeDirectory(const std::string& path)
{
    log_.push_back("CreateDirectory(" + path + ")");
    FailIfScripted(failures, log_.back());
    if (uncreatableDirectories.count(path))
        return false;
    return directories.insert(path).second;
}

bool FakePlatform::ChangeDirectory(const std::string& path)
{
    log_.push_back("SetCurrentDirectory(" + path + ")");
    FailIfScripted(failures, log_.back());
    currentDirectory = path;
    return true;
}

void FakePlatform::ShellOpen(std::uintptr_t owner, const std::string& file)
{
    log_.push_back("ShellOpen(" + std::to_string(owner) + "," + file + ")");
    FailIfScripted(failures, log_.back());
    if (!shellError.empty())
        throw Error(shellError);
}

void FakePlatform::Sleep(unsigned milliseconds)
{
    log_.push_back("Sleep(" + std::to_string(milliseconds) + ")");
    FailIfScripted(failures, log_.back());
    ticks += milliseconds;
}

bool FakePlatform::IsTrailByte(const std::string& text, std::size_t index) const
{
    std::size_t i = 0;
    while (i < text.size() && i < index) {
        const bool lead = leadBytes.find(text[i]) != std::string::npos && i + 1 < text.size();
        if (lead && i + 1 == index)
            return true;
        i += lead ? 2 : 1;
    }
    return false;
}

int FakePlatform::CompareText(const std::string& a, const std::string& b) const
{
    const std::string la = Lower(a);
    const std::string lb = Lower(b);
    return la < lb ? -1 : (la > lb ? 1 : 0);
}

}  // namespace velastrom::fakes
