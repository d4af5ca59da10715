#include "shellexecutelauncher.h"

#include <windows.h>

#include <shellapi.h>

int ShellExecuteLauncher::runElevated(const QByteArray& file, const QByteArray& parameters,
                                      const QByteArray& directory, int showCommand)
{
    // The result is a pseudo-handle that carries the error code: above 32
    // means started.
    const HINSTANCE result =
        ShellExecuteA(nullptr, "runas", file.constData(), parameters.constData(),
                      directory.isEmpty() ? nullptr : directory.constData(), showCommand);
    return static_cast<int>(reinterpret_cast<INT_PTR>(result));
}
