// launch.exe [--tz=VALUE] ARGUMENT...
//
// Starts touch.exe from its own folder the way the dialog's process class does
// on Windows: one CreateProcessW command line with each argument quoted by the
// same rules, and returns touch.exe's exit code. Wine copies the Linux
// environment, so TZ is removed unless --tz gives the value to pass on.

#include <windows.h>

#include <shellapi.h>

#include <string>

namespace {

// A quote becomes \" with the backslashes before it doubled; an argument that
// is empty or holds a blank or tab is put in quotes, with its trailing
// backslashes doubled so that they do not escape the closing quote.
std::wstring Quoted(const std::wstring& argument)
{
    std::wstring out;
    std::size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
        } else {
            if (c == L'"')
                out.append(backslashes + 1, L'\\');
            backslashes = 0;
        }
        out += c;
    }
    if (argument.empty() || argument.find_first_of(L" \t") != std::wstring::npos) {
        out.append(backslashes, L'\\');
        out = L'"' + out + L'"';
    }
    return out;
}

} // namespace

int main()
{
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (arguments == nullptr)
        return 250;
    wchar_t own[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, own, MAX_PATH);
    std::wstring program(own, length);
    program = program.substr(0, program.find_last_of(L"\\/") + 1) + L"touch.exe";

    int first = 1;
    SetEnvironmentVariableW(L"TZ", nullptr);
    if (count > 1 && std::wstring(arguments[1]).rfind(L"--tz=", 0) == 0) {
        SetEnvironmentVariableW(L"TZ", arguments[1] + 5);
        first = 2;
    }
    std::wstring line = program.find(L' ') == std::wstring::npos ? program : L'"' + program + L'"';
    for (int i = first; i < count; ++i)
        line += L' ' + Quoted(arguments[i]);
    LocalFree(arguments);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(program.c_str(), &line[0], nullptr, nullptr, TRUE,
                        CREATE_UNICODE_ENVIRONMENT, nullptr, nullptr, &startup, &process))
        return 251;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 252;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(code);
}
