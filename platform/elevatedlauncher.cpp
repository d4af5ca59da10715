#include "elevatedlauncher.h"

#if defined(_WIN32)
#include "windows/shellexecutelauncher.h"
using SystemLauncher = ShellExecuteLauncher;
#else
#include "linux/pkexeclauncher.h"
using SystemLauncher = PkexecLauncher;
#endif

#include <atomic>

namespace {
std::atomic<ElevatedLauncher*> g_override{nullptr};
} // namespace

ElevatedLauncher::~ElevatedLauncher() = default;

void ElevatedLauncher::startElevated(const QByteArray& file, const QByteArray& parameters,
                                     const QByteArray& directory, int showCommand, QObject*,
                                     Finished finished)
{
    finished(runElevated(file, parameters, directory, showCommand), 0);
}

ElevatedLauncher& ElevatedLauncher::instance()
{
    if (ElevatedLauncher* overridden = g_override.load()) {
        return *overridden;
    }
    static SystemLauncher launcher;
    return launcher;
}

void ElevatedLauncher::setInstance(ElevatedLauncher* launcher)
{
    g_override.store(launcher);
}
