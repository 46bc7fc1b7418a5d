// The program that ships, started as a user starts it: its own executable in
// a process of its own, with the stand-in control registered for
// CLSID_WebBrowser under the machine's classes of this Wine prefix, so the
// program's host creates it from the registry. The start page comes from the
// host the build was made for, which in the test builds is the demo's
// loopback address; the test serves it there.
#include "standin/PageServer.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "startpage/StartPage.h"

namespace velastrom::win32::test {
namespace {

constexpr const char* WebBrowserServer =
    "Software\\Classes\\CLSID\\{8856F961-340A-11D0-A96B-00C04FD705A2}\\InprocServer32";

// A path of the build machine as Wine's Z: drive shows it.
std::string WindowsPath(std::string path)
{
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return "Z:" + path;
}

std::string RegistryText(HKEY key, const char* name)
{
    char value[MAX_PATH] = {};
    DWORD size = sizeof value;
    if (RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size) != ERROR_SUCCESS)
        return {};
    return value;
}

// The stand-in as the class's in-process server for the length of a test;
// the prefix's own server comes back afterwards.
class ServerRegistration {
public:
    explicit ServerRegistration(const std::string& dll)
    {
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, WebBrowserServer, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key_,
                            nullptr) != ERROR_SUCCESS)
            return;
        savedServer_ = RegistryText(key_, nullptr);
        savedModel_ = RegistryText(key_, "ThreadingModel");
        Set(nullptr, dll);
        Set("ThreadingModel", "Apartment");
    }
    ~ServerRegistration()
    {
        if (key_ == nullptr)
            return;
        Set(nullptr, savedServer_);
        Set("ThreadingModel", savedModel_);
        RegCloseKey(key_);
    }
    ServerRegistration(const ServerRegistration&) = delete;
    ServerRegistration& operator=(const ServerRegistration&) = delete;
    bool Done() const { return key_ != nullptr; }

private:
    void Set(const char* name, const std::string& value)
    {
        RegSetValueExA(key_, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>(value.size() + 1));
    }
    HKEY key_ = nullptr;
    std::string savedServer_;
    std::string savedModel_;
};

struct Search {
    DWORD process;
    HWND found;
};

BOOL CALLBACK LookAt(HWND window, LPARAM lParam)
{
    auto* search = reinterpret_cast<Search*>(lParam);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char caption[64] = {};
    GetWindowTextA(window, caption, sizeof caption);
    if (owner == search->process && std::string(caption) == "TAV ROLENDI" && IsWindowVisible(window)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

// The dashboard window of the given process: its caption.
HWND FindDashboard(DWORD process)
{
    Search search{process, nullptr};
    EnumWindows(LookAt, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

bool WaitFor(const std::function<bool()>& condition, DWORD limitMs = 30000)
{
    const DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > limitMs)
            return false;
        Sleep(20);
    }
    return true;
}

TEST(ShippedProgram, StartsFromItsExecutableShowsTheStartPageAndEndsWithCodeZeroAtTheClose)
{
    const std::string program = WindowsPath(VELASTROM_SHIPPED_PROGRAM);
    const std::string control = WindowsPath(VELASTROM_STANDIN_CONTROL);
    const std::string placement = program.substr(0, program.rfind('\\') + 1) + "TavRolendiVelastromRoot.ini";

    // The start page where the build looks for it.
    const std::string prefix = "http://127.0.0.1:";
    ASSERT_EQ(StartPageUrl.rfind(prefix, 0), 0u) << "a build for a loopback start page: " << StartPageUrl;
    const std::size_t portEnd = StartPageUrl.find('/', prefix.size());
    const auto port = static_cast<unsigned short>(std::stoi(StartPageUrl.substr(prefix.size(), portEnd)));
    PageServer server(port);
    if (!server.Listening())
        GTEST_SKIP() << "the start page's port " << port << " is taken (the demo running?)";
    const std::string page = "<!--0002-0003-->\r\n<!--####TAV-ROLENDI-VELASTROM-HTML-READY####-->\r\n"
                             "<html><body><p>Prodotti</p></body></html>\r\n";
    server.Put(StartPageUrl.substr(portEnd), page);

    ServerRegistration registration(control);
    ASSERT_TRUE(registration.Done());
    DeleteFileA(placement.c_str());
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    const std::string journal = std::string(temp) + "velastrom-standin-journal.txt";
    DeleteFileA(journal.c_str());
    SetEnvironmentVariableA("VELASTROM_STANDIN_JOURNAL", journal.c_str());

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::string command = "\"" + program + "\"";
    ASSERT_TRUE(CreateProcessA(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                               &process))
        << GetLastError();
    SetEnvironmentVariableA("VELASTROM_STANDIN_JOURNAL", nullptr);

    // The page, fetched once and shown from memory in the visible browser
    // (the second control the host made).
    const std::string shown = "Load 1:" + page + "\n";
    EXPECT_TRUE(WaitFor([&] { return ReadWholeFile(journal).find(shown) != std::string::npos; })) << ReadWholeFile(journal);
    EXPECT_EQ(server.Requests(StartPageUrl.substr(portEnd)), 1);
    HWND dashboard = FindDashboard(process.dwProcessId);
    EXPECT_NE(dashboard, nullptr);

    // The close command of its taskbar entry: the close path, the exit.
    if (dashboard)
        PostMessageA(dashboard, WM_CLOSE, 0, 0);
    else
        TerminateProcess(process.hProcess, 99);
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 30000), WAIT_OBJECT_0);
    DWORD code = 99;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    EXPECT_EQ(code, 0u);

    char left[16] = {};
    GetPrivateProfileStringA("SCREEN", "L", "", left, sizeof left, placement.c_str());
    EXPECT_STREQ(left, "5") << "the placement written beside the program";
    DeleteFileA(placement.c_str());
    DeleteFileA(journal.c_str());
}

}  // namespace
}  // namespace velastrom::win32::test
