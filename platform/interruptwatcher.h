#pragma once

#include "lumora_platform_export.h"

#include <QObject>

#include <memory>

class InterruptSource;

// Catches the user's interrupt for as long as it exists: Ctrl-C and SIGTERM
// on Linux; Ctrl-C, Ctrl-Break and closing the console on Windows. A
// command can then end its work cleanly (stop a moving camera, complete a
// recording, let a firmware write finish) where the process would otherwise
// end on the spot. One watcher at a time.
class LUMORA_PLATFORM_EXPORT InterruptWatcher : public QObject
{
    Q_OBJECT
public:
    explicit InterruptWatcher(QObject* parent = nullptr);
    ~InterruptWatcher() override;

    // The interrupts so far.
    int count() const { return m_count; }

    // Runs the event loop for `msecs` or until an interrupt; false when
    // interrupted, at once when an interrupt came before.
    bool sleep(int msecs);

signals:
    // Once per interrupt, on the thread that made the watcher.
    void interrupted();

private slots:
    // Called by the system's side; queued to this thread on Windows.
    void noteInterrupt();

private:
    friend class InterruptSource;
    int m_count = 0;
    std::unique_ptr<InterruptSource> m_source;
};
