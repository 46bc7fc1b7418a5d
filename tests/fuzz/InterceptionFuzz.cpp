// The link split of the navigation handler on any address, through the
// dashboard window with the recording fakes: an address without "|" passes
// untouched; any other loses its first "about:", splits at its first "|"
// into a code and an address cut at 999 characters; an installed code starts
// its product, any other code sends the browser to the address; nothing is
// ever started that the register does not list.
#include <algorithm>
#include <cctype>
#include <memory>
#include <string>

#include "FuzzCheck.h"
#include "app/PVelastrom.h"
#include "fakes/Fakes.h"
#include "startpage/StartPage.h"

namespace {

using namespace velastrom;

const std::string SharedDir = "C:\\Program Files\\TavRolendi\\SharedDataBase";
const std::string ReadyPage = std::string("<html>\r\n<!-- ") + ReadyMarker + " -->\r\n<body>prodotti</body></html>\r\n";

struct Dashboard {
    fakes::Log log;
    fakes::FakeApplication app{log};
    fakes::FakePlatform platform{log};
    std::unique_ptr<TFVelastrom> form;

    Dashboard()
    {
        app.exeName = "C:\\Programmi\\Velastrom\\VelastromNavigazione.exe";
        platform.directories = {"C:\\Program Files", "C:\\Program Files\\TavRolendi", SharedDir};
        platform.files[SharedDir + "\\TavRolendiDataBase.INI"] = {
            {"alfa.exe", {{"INI_REGISTRY_CODE", "TR-AAA"}, {"INI_REGISTRY_PATH", "C:\\Prodotti\\Alfa"}}},
            {"beta.exe", {{"INI_REGISTRY_CODE", "TR-BBB"}, {"INI_REGISTRY_PATH", "C:\\Prodotti\\Beta"}}},
        };
        form = std::make_unique<TFVelastrom>(app, platform, TVelastromSettings{});
        app.view->webBrowserRoot.pages[StartPageUrl] = ReadyPage;
        form->FormActivate();
        while (app.Pending() > 0)
            app.ProcessMessages();
        FUZZ_CHECK(form->InstalledCodes() != nullptr && form->InstalledCodes()->Count() == 2);
    }
};

std::string Lower(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static Dashboard dashboard;
    const std::string url(reinterpret_cast<const char*>(data), size);
    dashboard.log.clear();
    const bool cancel = dashboard.app.view->webBrowser.ClickLink(url);
    while (dashboard.app.Pending() > 0)
        dashboard.app.ProcessMessages();
    const fakes::Log& log = dashboard.log;
    FUZZ_CHECK(dashboard.app.errorBoxes.empty());

    for (const std::string& line : log)
        if (line.rfind("ShellOpen(", 0) == 0)
            FUZZ_CHECK(line == "ShellOpen(4660,C:\\Prodotti\\Alfa\\alfa.exe)" ||
                       line == "ShellOpen(4660,C:\\Prodotti\\Beta\\beta.exe)");

    if (url.find('|') == std::string::npos) {
        FUZZ_CHECK(!cancel);
        FUZZ_CHECK(!log.empty() && log.front() == "WebBrowser.Navigate(" + url + ")");
        return 0;
    }
    std::string text = url;
    if (const std::size_t about = text.find("about:"); about != std::string::npos)
        text.erase(about, 6);
    const std::size_t bar = text.find('|');
    const std::string code = text.substr(0, bar);
    const std::string address = text.substr(bar + 1, 999);
    FUZZ_CHECK(address.size() <= 999);
    FUZZ_CHECK(cancel);

    // The list of installed codes ignores letter case; the register's entry
    // is the one with the code as written.
    const bool listed = Lower(code) == "tr-aaa" || Lower(code) == "tr-bbb";
    const bool installed = code == "TR-AAA" || code == "TR-BBB";
    const auto started = std::count_if(log.begin(), log.end(),
                                       [](const std::string& l) { return l.rfind("ShellOpen(", 0) == 0; });
    if (installed) {
        FUZZ_CHECK(started == 1);
        const std::string exe = code == "TR-AAA" ? "C:\\Prodotti\\Alfa\\alfa.exe" : "C:\\Prodotti\\Beta\\beta.exe";
        FUZZ_CHECK(std::find(log.begin(), log.end(), "ShellOpen(4660," + exe + ")") != log.end());
        FUZZ_CHECK(dashboard.app.view->Enabled());
    } else if (listed) {
        FUZZ_CHECK(started == 0);  // listed, but no entry of the register has it: nothing happens
        FUZZ_CHECK(std::none_of(log.begin(), log.end(), [](const std::string& l) { return l.rfind("WebBrowser.Navigate(", 0) == 0; }));
    } else {
        FUZZ_CHECK(started == 0);
        FUZZ_CHECK(!log.empty() && log.front() == "WebBrowser.Navigate(" + address + ")");
    }
    return 0;
}
