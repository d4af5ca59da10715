#include "pulseconnection.h"

#include <pulse/context.h>
#include <pulse/operation.h>
#include <pulse/thread-mainloop.h>
#include <pulse/timeval.h>

#include <QDebug>

#include <algorithm>
#include <chrono>

namespace {

constexpr int kFirstRetryMs = 250;
constexpr int kLastRetryMs = 5000;
// A server that accepts the socket but never completes the handshake (a
// stopped process) is given this long before the attempt is dropped.
constexpr int kConnectTimeoutMs = 3000;

} // namespace

PulseConnectionListener::~PulseConnectionListener() = default;

void PulseRequest::finish(bool ok)
{
    // Notified under the mutex: the waiter may destroy the request as soon
    // as it sees m_finished.
    std::lock_guard<std::mutex> lock(m_mutex);
    m_ok = ok;
    m_finished = true;
    m_done.notify_all();
}

PulseConnection& PulseConnection::instance()
{
    static PulseConnection connection;
    return connection;
}

PulseConnection::PulseConnection()
{
    m_retryDelayMs = kFirstRetryMs;
    m_loop = pa_threaded_mainloop_new();
    if (!m_loop) {
        return;
    }
    pa_threaded_mainloop_set_name(m_loop, "lumora-pulse");
    if (pa_threaded_mainloop_start(m_loop) < 0) {
        pa_threaded_mainloop_free(m_loop);
        m_loop = nullptr;
        return;
    }
    pa_threaded_mainloop_lock(m_loop);
    connectNow();
    pa_threaded_mainloop_unlock(m_loop);
}

PulseConnection::~PulseConnection()
{
    if (!m_loop) {
        return;
    }
    pa_threaded_mainloop_lock(m_loop);
    m_listeners.clear();
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(m_loop);
    if (m_timer) {
        api->time_free(m_timer);
        m_timer = nullptr;
    }
    for (pa_context** context : {&m_context, &m_deadContext}) {
        if (*context) {
            pa_context_set_state_callback(*context, nullptr, nullptr);
            pa_context_disconnect(*context);
            pa_context_unref(*context);
            *context = nullptr;
        }
    }
    pa_threaded_mainloop_unlock(m_loop);
    pa_threaded_mainloop_stop(m_loop);
    pa_threaded_mainloop_free(m_loop);
}

void PulseConnection::setState(bool ready, bool connecting)
{
    std::lock_guard<std::mutex> lock(m_stateMutex);
    if (connecting && !m_connecting) {
        ++m_attempt;
    }
    m_ready = ready;
    m_connecting = connecting;
    m_stateChanged.notify_all();
}

void PulseConnection::connectNow()
{
    if (m_deadContext) {
        pa_context_unref(m_deadContext);
        m_deadContext = nullptr;
    }
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(m_loop);
    m_context = pa_context_new(api, "Lumora");
    if (!m_context) {
        armTimer(m_retryDelayMs);
        m_retryDelayMs = std::min(m_retryDelayMs * 2, kLastRetryMs);
        return;
    }
    setState(false, true);
    pa_context_set_state_callback(m_context, &PulseConnection::onContextState, this);
    // No autospawn: a tool that adjusts volumes must not start an audio
    // server of its own when the user's is gone.
    if (pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        contextFailed();
        return;
    }
    armTimer(kConnectTimeoutMs);
}

void PulseConnection::onContextState(pa_context* context, void* self)
{
    auto* connection = static_cast<PulseConnection*>(self);
    if (context != connection->m_context) {
        return;
    }
    switch (pa_context_get_state(context)) {
    case PA_CONTEXT_READY: {
        connection->m_contextReady = true;
        connection->m_retryDelayMs = kFirstRetryMs;
        if (connection->m_timer) {
            pa_threaded_mainloop_get_api(connection->m_loop)->time_free(connection->m_timer);
            connection->m_timer = nullptr;
        }
        connection->setState(true, false);
        // A copy: a listener may remove itself while it is told.
        const std::vector<PulseConnectionListener*> listeners = connection->m_listeners;
        for (PulseConnectionListener* listener : listeners) {
            listener->contextReady(context);
        }
        break;
    }
    case PA_CONTEXT_FAILED:
    case PA_CONTEXT_TERMINATED:
        connection->contextFailed();
        break;
    default:
        break;
    }
}

void PulseConnection::contextFailed()
{
    const bool wasReady = m_contextReady;
    m_contextReady = false;
    if (m_context) {
        // The context cannot be released from inside its own state callback;
        // the next attempt releases it.
        pa_context_set_state_callback(m_context, nullptr, nullptr);
        if (m_deadContext) {
            pa_context_unref(m_deadContext);
        }
        m_deadContext = m_context;
        m_context = nullptr;
    }
    setState(false, false);
    if (wasReady) {
        qDebug() << "PulseAudio connection lost";
        const std::vector<PulseConnectionListener*> listeners = m_listeners;
        for (PulseConnectionListener* listener : listeners) {
            listener->contextLost();
        }
    }
    armTimer(m_retryDelayMs);
    m_retryDelayMs = std::min(m_retryDelayMs * 2, kLastRetryMs);
}

void PulseConnection::dropConnection()
{
    if (m_context) {
        pa_context_disconnect(m_context);
    }
    // disconnect() reports TERMINATED through the state callback only when
    // the context was still connected; make sure the failure path runs once.
    if (m_context) {
        contextFailed();
    }
}

void PulseConnection::armTimer(int delayMs)
{
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(m_loop);
    struct timeval when;
    pa_timeval_add(pa_gettimeofday(&when), pa_usec_t(delayMs) * PA_USEC_PER_MSEC);
    if (m_timer) {
        api->time_restart(m_timer, &when);
    } else {
        m_timer = api->time_new(api, &when, &PulseConnection::onTimer, this);
    }
}

void PulseConnection::onTimer(pa_mainloop_api* api, pa_time_event* event, const timeval*,
                              void* self)
{
    auto* connection = static_cast<PulseConnection*>(self);
    api->time_free(event);
    connection->m_timer = nullptr;
    if (connection->m_context) {
        if (!connection->m_contextReady) {
            qDebug() << "PulseAudio server does not answer; trying again later";
            connection->dropConnection();
        }
        return;
    }
    connection->connectNow();
}

bool PulseConnection::waitUntilReady(int waitMs)
{
    std::unique_lock<std::mutex> lock(m_stateMutex);
    if (m_ready || !m_connecting || m_waitedAttempt == m_attempt) {
        return m_ready;
    }
    m_waitedAttempt = m_attempt;
    const unsigned attempt = m_attempt;
    m_stateChanged.wait_for(lock, std::chrono::milliseconds(waitMs),
                            [&] { return m_ready || !m_connecting || m_attempt != attempt; });
    return m_ready;
}

bool PulseConnection::isReady()
{
    std::lock_guard<std::mutex> lock(m_stateMutex);
    return m_ready;
}

bool PulseConnection::run(const Starter& start, int timeoutMs)
{
    if (!m_loop || pa_threaded_mainloop_in_thread(m_loop)) {
        return false;
    }
    PulseRequest request;
    pa_threaded_mainloop_lock(m_loop);
    pa_operation* operation = nullptr;
    if (m_context && m_contextReady) {
        operation = start(m_context, &request);
    }
    pa_threaded_mainloop_unlock(m_loop);
    if (!operation) {
        return false;
    }

    bool finished;
    {
        std::unique_lock<std::mutex> lock(request.m_mutex);
        finished = request.m_done.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                           [&] { return request.m_finished; });
    }
    // Taking the loop lock also waits out a callback that is still running,
    // so the request may go once this returns.
    pa_threaded_mainloop_lock(m_loop);
    if (!finished) {
        pa_operation_cancel(operation);
        qDebug() << "PulseAudio request timed out after" << timeoutMs << "ms";
        dropConnection();
    }
    pa_operation_unref(operation);
    pa_threaded_mainloop_unlock(m_loop);
    return finished && request.m_ok;
}

void PulseConnection::addListener(PulseConnectionListener* listener)
{
    if (!m_loop) {
        return;
    }
    pa_threaded_mainloop_lock(m_loop);
    m_listeners.push_back(listener);
    if (m_context && m_contextReady) {
        listener->contextReady(m_context);
    }
    pa_threaded_mainloop_unlock(m_loop);
}

void PulseConnection::removeListener(PulseConnectionListener* listener)
{
    if (!m_loop) {
        return;
    }
    pa_threaded_mainloop_lock(m_loop);
    m_listeners.erase(std::remove(m_listeners.begin(), m_listeners.end(), listener),
                      m_listeners.end());
    pa_threaded_mainloop_unlock(m_loop);
}
