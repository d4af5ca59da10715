#pragma once

#include "rgbframe.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

class QObject;

// Carries converted frames from the capture worker to the thread of a
// context object (the GUI thread) and delivers them there. The newest frame
// wins: while a delivery is queued, later frames replace the waiting one
// instead of queueing behind it, so a slow GUI never builds a backlog and
// memory stays at three frames.
class FrameHandoff
{
public:
    using Deliver = std::function<void(uint8_t* buffer, int width, int height)>;

    // deliver runs on the thread of context; deliveries still queued when
    // the hand-off goes are dropped.
    FrameHandoff(QObject* context, Deliver deliver);
    ~FrameHandoff();
    FrameHandoff(const FrameHandoff&) = delete;
    FrameHandoff& operator=(const FrameHandoff&) = delete;

    // Worker side: takes the frame, gives back a buffer to fill next.
    void publish(RgbFrame& frame);

    // Forgets an undelivered frame (after the capture stopped).
    void clear();

private:
    void post();
    void deliverPending();

    // Queued calls are posted to this object: deleting it with the
    // hand-off makes Qt discard the ones not yet run.
    std::unique_ptr<QObject> m_receiver;
    Deliver m_deliver;

    std::mutex m_mutex;
    RgbFrame m_pending; // guarded by m_mutex
    bool m_hasPending = false;
    std::atomic<bool> m_queued{false};

    // Only touched on the context's thread.
    RgbFrame m_current;
    bool m_delivering = false;
};
