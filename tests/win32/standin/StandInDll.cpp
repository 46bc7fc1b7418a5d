// The stand-in control as an in-process server of its own, registered for
// CLSID_WebBrowser under the machine's classes in a Wine prefix: the shipped
// program, started as a user starts it, creates it from the registry. When
// VELASTROM_STANDIN_JOURNAL names a file, every page loaded from a stream is
// appended to it ("Load <control>:" and the bytes, then a line break), so
// the test that started the program sees what it showed.
#include "standin/StandInBrowser.h"

#include <exdisp.h>

#include <string>

namespace {

void Journal(std::size_t control)
{
    char path[MAX_PATH] = {};
    if (GetEnvironmentVariableA("VELASTROM_STANDIN_JOURNAL", path, MAX_PATH) == 0)
        return;
    const auto& loads = velastrom::standin::Record(control).loads;
    const std::string entry = "Load " + std::to_string(control) + ":" + loads.back() + "\n";
    HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(file, entry.data(), static_cast<DWORD>(entry.size()), &written, nullptr);
    CloseHandle(file);
}

}  // namespace

extern "C" __declspec(dllexport) HRESULT __stdcall DllGetClassObject(REFCLSID clsid, REFIID riid, void** object)
{
    if (object == nullptr)
        return E_POINTER;
    *object = nullptr;
    if (!IsEqualCLSID(clsid, CLSID_WebBrowser))
        return CLASS_E_CLASSNOTAVAILABLE;
    velastrom::standin::SetOnLoad(Journal);
    return velastrom::standin::ClassObject()->QueryInterface(riid, object);
}

// Stays loaded for the life of the process: its records outlive the controls.
extern "C" __declspec(dllexport) HRESULT __stdcall DllCanUnloadNow() { return S_FALSE; }
