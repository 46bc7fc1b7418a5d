// A product of the tests' own: started by the dashboard from its
// installation folder, it notes its current folder and its command line in
// "avvio.txt" beside itself, then ends.
#include <windows.h>

#include <string>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string note(self);
    note = note.substr(0, note.rfind('\\') + 1) + "avvio.txt";
    char folder[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, folder);
    const std::string text = std::string(folder) + "\r\n" + GetCommandLineA() + "\r\n";
    HANDLE file = CreateFileA(note.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
    return 0;
}
