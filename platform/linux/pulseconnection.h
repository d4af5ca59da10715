#pragma once

#include "lumora_platform_export.h"

#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

struct pa_context;
struct pa_operation;
struct pa_threaded_mainloop;
struct pa_time_event;

// Told about the connection's life with the connection locked (mostly on the
// connection's own thread): what it starts there must not wait for the server.
class PulseConnectionListener
{
public:
    virtual ~PulseConnectionListener();
    virtual void contextReady(pa_context* context) = 0;
    virtual void contextLost() = 0;
};

// One request in flight. The callback of the operation it started calls
// finish() once, as the last thing it does with the request.
class LUMORA_PLATFORM_EXPORT PulseRequest
{
public:
    void finish(bool ok);

private:
    friend class PulseConnection;
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_finished = false;
    bool m_ok = false;
};

// The process's one connection to the PulseAudio server (or PipeWire's
// PulseAudio service), run on a libpulse thread. Calls from the GUI thread
// wait for the server only within a bound: a missing server fails at once,
// a hung one costs a single time-out, after which the connection is dropped
// and tried again in the background with a growing pause.
class LUMORA_PLATFORM_EXPORT PulseConnection
{
public:
    static PulseConnection& instance();
    ~PulseConnection();

    PulseConnection(const PulseConnection&) = delete;
    PulseConnection& operator=(const PulseConnection&) = delete;

    // True when connected. While a connection attempt is under way the first
    // caller waits for its outcome up to waitMs; later callers do not, so a
    // server that never answers delays one call, not every call.
    bool waitUntilReady(int waitMs);

    // True while connected; never waits.
    bool isReady();

    // Starts one operation with the connection locked and ready and waits up
    // to timeoutMs for it to finish. False when there is no connection, the
    // operation cannot start, fails or times out.
    using Starter = std::function<pa_operation*(pa_context*, PulseRequest*)>;
    bool run(const Starter& start, int timeoutMs);

    // The listener hears contextReady at once when the connection is up.
    void addListener(PulseConnectionListener* listener);
    void removeListener(PulseConnectionListener* listener);

private:
    PulseConnection();

    static void onContextState(pa_context* context, void* self);
    static void onTimer(struct pa_mainloop_api* api, pa_time_event* event, const struct timeval* tv,
                        void* self);

    // These run with the loop locked.
    void connectNow();
    void contextFailed();
    void dropConnection();
    void armTimer(int delayMs);
    void setState(bool ready, bool connecting);

    pa_threaded_mainloop* m_loop = nullptr;
    pa_context* m_context = nullptr;
    pa_context* m_deadContext = nullptr;
    // One timer: the time-out of a connection attempt, or the pause before
    // the next one.
    pa_time_event* m_timer = nullptr;
    bool m_contextReady = false;
    int m_retryDelayMs = 0;
    std::vector<PulseConnectionListener*> m_listeners;

    // What callers on other threads observe, guarded apart from the loop lock
    // so that waiting for the connection never holds the loop.
    mutable std::mutex m_stateMutex;
    std::condition_variable m_stateChanged;
    bool m_ready = false;
    bool m_connecting = false;
    unsigned m_attempt = 0;
    unsigned m_waitedAttempt = 0;
};
