// The show command the program is started with reaches the application
// object: the test starts this test program again with a STARTUPINFO and the
// child checks what its application object took from it.
#include "Win32TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace velastrom::win32::test {
namespace {

constexpr const char* ExpectedShowVariable = "VELASTROM_TEST_EXPECTED_SHOW";

// Runs only in the child started below.
TEST(DISABLED_StartupChild, TakesTheShowCommandOfTheProcess)
{
    const char* expected = std::getenv(ExpectedShowVariable);
    ASSERT_NE(expected, nullptr);
    Win32Application app;
    EXPECT_EQ(app.ShowCommand(), std::atoi(expected));
}

TEST(StartupInfo, TheShowCommandOfTheProcessReachesTheApplication)
{
    struct Case {
        const char* name;
        bool useShowWindow;
        WORD show;
        int expected;
    };
    const Case cases[] = {
        {"maximised", true, SW_SHOWMAXIMIZED, SW_SHOWMAXIMIZED},
        {"minimised without activation", true, SW_SHOWMINNOACTIVE, SW_SHOWMINNOACTIVE},
        {"none given", false, SW_HIDE, SW_SHOWNORMAL},
    };
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SetEnvironmentVariableA(ExpectedShowVariable, std::to_string(c.expected).c_str());
        std::string command = std::string("\"") + self +
                              "\" --gtest_also_run_disabled_tests --gtest_filter=DISABLED_StartupChild.*";
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        if (c.useShowWindow) {
            startup.dwFlags = STARTF_USESHOWWINDOW;
            startup.wShowWindow = c.show;
        }
        PROCESS_INFORMATION process{};
        ASSERT_TRUE(CreateProcessA(self, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                   &process));
        WaitForSingleObject(process.hProcess, INFINITE);
        DWORD code = 99;
        GetExitCodeProcess(process.hProcess, &code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        EXPECT_EQ(code, 0u);
    }
    SetEnvironmentVariableA(ExpectedShowVariable, nullptr);
}

}  // namespace
}  // namespace velastrom::win32::test
