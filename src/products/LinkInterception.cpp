// Product links: code, "|", address. A link of an installed product starts
// the product from its installation folder; any other such link sends the
// visible browser to the address.
#include "app/PVelastrom.h"
#include "platform/Paths.h"
#include "products/Register.h"

namespace velastrom {

namespace {

constexpr std::size_t MaxAddressLength = 999;
constexpr unsigned LaunchPause = 2000;  // milliseconds, twice per launch

}  // namespace

void TFVelastrom::WebBrowserBeforeNavigate2(const std::string& url, bool& cancel)
{
    if (url.find('|') == std::string::npos)
        return;

    std::string text = url;
    const std::size_t about = text.find("about:");
    if (about != std::string::npos)
        text.erase(about, 6);
    const std::size_t separator = text.find('|');
    const std::string code = text.substr(0, separator);
    const std::string address = text.substr(separator + 1, MaxAddressLength);

    // The list exists once the first activation has read the register; until
    // then no product counts as installed.
    if (!FInstalledCodes || FInstalledCodes->IndexOf(code) < 0) {
        cancel = true;
        WebBrowser->Navigate(address);
        return;
    }

    TProductEntry entry;
    if (!FindInstalledProduct(Platform, code, entry)) {
        cancel = true;
        return;
    }

    const TCursor savedCursor = Application.Cursor();
    const auto restoreWindow = [&] {
        Application.SetCursor(savedCursor);
        view_->SetEnabled(true);
    };
    const auto restoreDirectory = [&] {
        Platform.ChangeDirectory(FolderPart(Platform, Application.ExeName()));
        Platform.Sleep(LaunchPause);
    };
    try {
        Application.SetCursor(TCursor::HourGlass);
        view_->SetEnabled(false);
        cancel = true;
        Platform.ChangeDirectory(entry.Path);
        try {
            Platform.ShellOpen(Application.MainWindowHandle(), entry.Path + Platform.PathDelimiter() + entry.Section);
            Platform.Sleep(LaunchPause);
        } catch (...) {
            restoreDirectory();
            throw;
        }
        restoreDirectory();
    } catch (...) {
        restoreWindow();
        throw;
    }
    restoreWindow();
}

}  // namespace velastrom
