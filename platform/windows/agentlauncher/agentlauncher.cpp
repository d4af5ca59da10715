// lumora-agent.exe: the background agent as Windows starts it at login.
// lumora-ctl is a console program, and Windows gives every console program
// started from the Run key a console window of its own. This one is a
// window-subsystem program that shows nothing: it runs "lumora-ctl.exe
// agent" from its own folder with no console (CREATE_NO_WINDOW), passes its
// own arguments on, and sends the agent's log lines (its standard output
// and error) to agent.log in the user's local application data folder
// (%LOCALAPPDATA%\Lumora), where the console would have shown them. The
// agent runs in a job that ends with this process, so ending
// lumora-agent.exe (Task Manager, sign-out) ends the agent too.
#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>

namespace {

// A log that grew past this is kept once as agent.log.1 and begun anew, so
// that an agent left running for months fills no disk.
constexpr LONGLONG kLogLimit = 4 * 1024 * 1024;

std::wstring logFolder()
{
    PWSTR local = nullptr;
    std::wstring folder;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, KF_FLAG_CREATE, nullptr, &local))) {
        folder = std::wstring(local) + L"\\Lumora";
        CreateDirectoryW(folder.c_str(), nullptr);
    }
    CoTaskMemFree(local);
    return folder;
}

// The log, opened for appending by this process and the agent alike;
// INVALID_HANDLE_VALUE when there is no folder for it.
HANDLE openLog()
{
    const std::wstring folder = logFolder();
    if (folder.empty()) {
        return INVALID_HANDLE_VALUE;
    }
    const std::wstring path = folder + L"\\agent.log";
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) &&
        ((LONGLONG(data.nFileSizeHigh) << 32) | data.nFileSizeLow) > kLogLimit) {
        MoveFileExW(path.c_str(), (path + L".1").c_str(), MOVEFILE_REPLACE_EXISTING);
    }
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    return CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       &inherited, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

void writeLine(HANDLE log, const char* text)
{
    if (log == INVALID_HANDLE_VALUE) {
        return;
    }
    SYSTEMTIME now;
    GetLocalTime(&now);
    char line[512];
    const int length =
        std::snprintf(line, sizeof line, "%04u-%02u-%02u %02u:%02u:%02u %s\r\n", now.wYear,
                      now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, text);
    DWORD written = 0;
    WriteFile(log, line, DWORD(std::min<int>(length, int(sizeof line) - 1)), &written, nullptr);
}

// What follows the program's own name on its command line: the name ends
// at the closing quote when it starts with one, else at the first blank.
std::wstring ownArguments()
{
    const wchar_t* rest = GetCommandLineW();
    if (*rest == L'"') {
        rest = std::wcschr(rest + 1, L'"');
        rest = rest ? rest + 1 : L"";
    } else {
        while (*rest && *rest != L' ' && *rest != L'\t') {
            ++rest;
        }
    }
    while (*rest == L' ' || *rest == L'\t') {
        ++rest;
    }
    return rest;
}

std::wstring besideMe(const wchar_t* name)
{
    wchar_t own[MAX_PATH * 4];
    const DWORD length = GetModuleFileNameW(nullptr, own, DWORD(sizeof own / sizeof *own));
    std::wstring path(own, length);
    return path.substr(0, path.find_last_of(L'\\') + 1) + name;
}

// The job that takes the agent down with this process.
HANDLE jobEndingWithMe()
{
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (job &&
        !SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
        CloseHandle(job);
        job = nullptr;
    }
    return job;
}

// The agent's exit code, or 1 when it could not be started.
DWORD runAgent(HANDLE log)
{
    const std::wstring program = besideMe(L"lumora-ctl.exe");
    const std::wstring arguments = ownArguments();
    std::wstring command = L"\"" + program + L"\" agent";
    if (!arguments.empty()) {
        command += L" " + arguments;
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nullptr;
    startup.hStdOutput = log;
    startup.hStdError = log;
    PROCESS_INFORMATION agent{};
    if (!CreateProcessW(program.c_str(), &command[0], nullptr, nullptr, TRUE,
                        CREATE_NO_WINDOW | CREATE_SUSPENDED, nullptr, nullptr, &startup, &agent)) {
        char text[128];
        std::snprintf(text, sizeof text,
                      "lumora-agent: lumora-ctl.exe could not be started "
                      "(Windows error %lu)",
                      GetLastError());
        writeLine(log, text);
        return 1;
    }
    HANDLE job = jobEndingWithMe();
    if (!job || !AssignProcessToJobObject(job, agent.hProcess)) {
        writeLine(log, "lumora-agent: the agent runs outside a job; it outlives lumora-agent.exe");
    }
    ResumeThread(agent.hThread);
    CloseHandle(agent.hThread);
    WaitForSingleObject(agent.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(agent.hProcess, &code);
    CloseHandle(agent.hProcess);
    char text[96];
    std::snprintf(text, sizeof text, "lumora-agent: the agent ended with exit code %lu", code);
    writeLine(log, text);
    if (job) {
        CloseHandle(job);
    }
    return code;
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    const HANDLE log = openLog();
    writeLine(log, "lumora-agent: starting lumora-ctl.exe agent");
    const DWORD code = runAgent(log);
    if (log != INVALID_HANDLE_VALUE) {
        CloseHandle(log);
    }
    return int(code);
}
