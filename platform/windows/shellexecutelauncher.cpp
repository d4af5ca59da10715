#include "shellexecutelauncher.h"

#include <QString>

#include <windows.h>

#include <shellapi.h>

#include <string>

namespace {

// The command's texts are UTF-8; the wide call keeps every character of
// them, where the ANSI call would read them in the system's code page.
std::wstring wide(const QByteArray& utf8)
{
    return QString::fromUtf8(utf8).toStdWString();
}

} // namespace

int ShellExecuteLauncher::runElevated(const QByteArray& file, const QByteArray& parameters,
                                      const QByteArray& directory, int showCommand)
{
    const std::wstring wideFile = wide(file);
    const std::wstring wideParameters = wide(parameters);
    const std::wstring wideDirectory = wide(directory);
    // The result is a pseudo-handle that carries the error code: above 32
    // means started.
    const HINSTANCE result =
        ShellExecuteW(nullptr, L"runas", wideFile.c_str(), wideParameters.c_str(),
                      directory.isEmpty() ? nullptr : wideDirectory.c_str(), showCommand);
    return static_cast<int>(reinterpret_cast<INT_PTR>(result));
}
