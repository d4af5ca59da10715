#pragma once

class InterruptWatcher;

// Ctrl-C, Ctrl-Break and closing the console, turned into calls on the
// watcher's thread (the console runs its handler on a thread of its own).
class InterruptSource
{
public:
    explicit InterruptSource(InterruptWatcher* watcher);
    ~InterruptSource();
    InterruptSource(const InterruptSource&) = delete;
    InterruptSource& operator=(const InterruptSource&) = delete;
};
