#pragma once

#include <csignal>

class InterruptWatcher;
class QSocketNotifier;

// SIGINT and SIGTERM, turned into calls on the watcher's thread: the
// handler only writes a byte into a pipe, which an event loop reads.
// The previous handlers come back when this goes.
class InterruptSource
{
public:
    explicit InterruptSource(InterruptWatcher* watcher);
    ~InterruptSource();
    InterruptSource(const InterruptSource&) = delete;
    InterruptSource& operator=(const InterruptSource&) = delete;

private:
    void drain();

    InterruptWatcher* m_watcher;
    QSocketNotifier* m_notifier = nullptr;
    struct sigaction m_previousInt = {};
    struct sigaction m_previousTerm = {};
};
