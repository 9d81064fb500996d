// launch.exe "COMMAND LINE" [TZ]
//
// Starts touch.exe from its own folder the way the dialog's process class does
// on Windows: one CreateProcessW with the program and, after a blank, the
// arguments as one command line, already quoted by the same rules. Returns
// touch.exe's exit code. Wine copies the Linux environment, so TZ is removed
// unless a value to pass on is given.

#include <windows.h>

#include <shellapi.h>

#include <string>

int main()
{
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    wchar_t own[MAX_PATH];
    std::wstring program(own, GetModuleFileNameW(nullptr, own, MAX_PATH));
    program.replace(program.find_last_of(L'\\') + 1, std::wstring::npos, L"touch.exe");
    std::wstring line = program + L' ' + arguments[1];
    SetEnvironmentVariableW(L"TZ", count > 2 ? arguments[2] : nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(program.c_str(), &line[0], nullptr, nullptr, TRUE,
                        CREATE_UNICODE_ENVIRONMENT, nullptr, nullptr, &startup, &process))
        return 251;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 252;
    GetExitCodeProcess(process.hProcess, &code);
    return static_cast<int>(code);
}
