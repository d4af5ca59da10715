#include "shellexecutelauncher.h"

#include <QMetaObject>
#include <QObject>
#include <QString>

#include <windows.h>

#include <objbase.h>
#include <shellapi.h>

#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace {

// Hands a result from the waiting thread to the context's thread, unless the
// context has gone in the meantime. The context's destruction and the
// hand-over take the same lock, so the context cannot go half-way.
struct Handover
{
    std::mutex mutex;
    QObject* context = nullptr;
};

class HandoverGuard : public QObject
{
public:
    HandoverGuard(QObject* context, std::shared_ptr<Handover> handover)
        : QObject(context), m_handover(std::move(handover))
    {
    }
    ~HandoverGuard() override
    {
        const std::lock_guard<std::mutex> lock(m_handover->mutex);
        m_handover->context = nullptr;
    }

private:
    std::shared_ptr<Handover> m_handover;
};

using Result = ElevatedLauncher::Result;

// A launch the shell refused: a dismissed prompt, or no start at all.
Result resultOfShellError(DWORD error)
{
    return error == ERROR_CANCELLED || error == ERROR_ACCESS_DENIED ? Result::Declined
                                                                    : Result::NotStarted;
}

// Runs on the waiting thread: prompts, starts, waits for the end.
void runAndWait(const std::wstring& file, const std::wstring& parameters,
                const std::wstring& directory, int showCommand, Result* result, int* code)
{
    // The shell asks for a single-threaded apartment on the calling thread.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    info.lpVerb = L"runas";
    info.lpFile = file.c_str();
    info.lpParameters = parameters.c_str();
    info.lpDirectory = directory.empty() ? nullptr : directory.c_str();
    info.nShow = showCommand;
    *code = 0;
    if (!ShellExecuteExW(&info)) {
        const DWORD error = GetLastError();
        *result = resultOfShellError(error);
        *code = *result == Result::NotStarted ? int(error) : 0;
    } else if (!info.hProcess) {
        // Handed to a running program rather than started: no end to see.
        *result = Result::Started;
    } else {
        WaitForSingleObject(info.hProcess, INFINITE);
        DWORD exitCode = 0;
        GetExitCodeProcess(info.hProcess, &exitCode);
        CloseHandle(info.hProcess);
        *result = exitCode == 0 ? Result::Started : Result::ToolFailed;
        *code = int(exitCode);
    }
    if (SUCCEEDED(com)) {
        CoUninitialize();
    }
}

// The command's texts are UTF-8; the wide call keeps every character of
// them, where the ANSI call would read them in the system's code page.
std::wstring wide(const QByteArray& utf8)
{
    return QString::fromUtf8(utf8).toStdWString();
}

} // namespace

ElevatedLauncher::Result ShellExecuteLauncher::runElevated(const QByteArray& file,
                                                           const QByteArray& parameters,
                                                           const QByteArray& directory,
                                                           int showCommand)
{
    const std::wstring wideFile = wide(file);
    const std::wstring wideParameters = wide(parameters);
    const std::wstring wideDirectory = wide(directory);
    // The result is a pseudo-handle that carries the error code: above 32
    // means started, SE_ERR_ACCESSDENIED a declined prompt.
    const HINSTANCE handle =
        ShellExecuteW(nullptr, L"runas", wideFile.c_str(), wideParameters.c_str(),
                      directory.isEmpty() ? nullptr : wideDirectory.c_str(), showCommand);
    const INT_PTR code = reinterpret_cast<INT_PTR>(handle);
    if (code > 32) {
        return Result::Started;
    }
    return code == SE_ERR_ACCESSDENIED ? Result::Declined : Result::NotStarted;
}

void ShellExecuteLauncher::startElevated(const QByteArray& file, const QByteArray& parameters,
                                         const QByteArray& directory, int showCommand,
                                         QObject* context, Finished finished)
{
    auto handover = std::make_shared<Handover>();
    if (context) {
        handover->context = context;
        new HandoverGuard(context, handover);
    }
    // The elevated program cannot be stopped by this process, so a closed
    // window leaves it to finish; the thread ends with it and reports to no
    // one.
    std::thread([handover, finished = std::move(finished), file = wide(file),
                 parameters = wide(parameters), directory = wide(directory), showCommand]() {
        Result result = Result::NotStarted;
        int code = 0;
        runAndWait(file, parameters, directory, showCommand, &result, &code);
        const std::lock_guard<std::mutex> lock(handover->mutex);
        if (handover->context) {
            QMetaObject::invokeMethod(
                handover->context, [finished, result, code]() { finished(result, code); },
                Qt::QueuedConnection);
        }
    }).detach();
}
