#pragma once

#include "elevatedlauncher.h"

#include <QObject>
#include <QStringList>

#include <memory>
#include <thread>

// One pkexec run started without waiting: reports its result once, then
// goes. Spawned with posix_spawn rather than QProcess, whose fork copies the
// whole program's page tables and stalls the window for tens of
// milliseconds; a thread of its own waits for the end.
// A child of the object that asked for it; destroyed with it while still
// running, it cancels a prompt that is still open (the user may signal
// pkexec until it has become root) and waits a few seconds for a program
// already running as root, so the device ends either untouched or fully set
// up. The waiting thread reaps the process in any case: no zombie is left.
class PkexecRun : public QObject
{
    Q_OBJECT
public:
    PkexecRun(const QString& program, const QStringList& arguments, const QString& directory,
              QObject* context, ElevatedLauncher::Finished finished);
    ~PkexecRun() override;

    // How long a closing window waits for a program already running as root.
    static constexpr int kCloseWaitMs = 10000;

    struct Shared;

private:
    static void waitForEnd(std::shared_ptr<Shared> shared, int errors);
    void report(ElevatedLauncher::Result result, int toolExitCode);

    std::shared_ptr<Shared> m_shared;
    std::thread m_waiter;
    ElevatedLauncher::Finished m_finished;
};
