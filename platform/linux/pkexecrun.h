#pragma once

#include "elevatedlauncher.h"

#include <QObject>

class QProcess;

// One pkexec run started without waiting: reports its result once, then
// goes. A child of the object that asked for it; destroyed with it while
// still running, it cancels a prompt that is still open (the user may
// signal pkexec until it has become root) and waits a few seconds for a
// program already running as root, so the device ends either untouched or
// fully set up, and no zombie is left.
class PkexecRun : public QObject
{
    Q_OBJECT
public:
    // Takes the process, not yet started, and starts it.
    PkexecRun(QProcess* process, QObject* context, ElevatedLauncher::Finished finished);
    ~PkexecRun() override;

    // How long a closing window waits for a program already running as root.
    static constexpr int kCloseWaitMs = 10000;

private:
    void report(int result, int toolExitCode);

    QProcess* m_process;
    ElevatedLauncher::Finished m_finished;
};
