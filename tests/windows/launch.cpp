// launch.exe "COMMAND LINE" [TZ]
//
// Starts the touch.exe beside it the way the dialog's process class does on
// Windows: one CreateProcessW with no application name and a command line of
// the program and the arguments, already quoted by the same rules. Returns
// touch.exe's exit code. Wine copies the Linux environment, so TZ is removed
// unless a value to pass on is given.

#include <windows.h>

#include <shellapi.h>

#include <string>

int main()
{
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    std::wstring line = std::wstring(L"touch.exe ") + arguments[1];
    SetEnvironmentVariableW(L"TZ", count > 2 ? arguments[2] : nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    DWORD code = 251;
    if (CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT,
                       nullptr, nullptr, &startup, &process)) {
        WaitForSingleObject(process.hProcess, INFINITE);
        GetExitCodeProcess(process.hProcess, &code);
    }
    return static_cast<int>(code);
}
