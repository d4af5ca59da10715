#pragma once

#include "decodedpicture.h"
#include "rgbframe.h"

#include <atomic>
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
    // One picture as it travels: the RGB rows the receivers are shown, and
    // the decoded picture they came from, kept for a full-size conversion
    // on demand.
    struct Picture
    {
        RgbFrame rgb;
        DecodedPicture decoded;
        // The size the capture was asked for, which frameBuffer promises.
        int askedWidth = 0;
        int askedHeight = 0;
        // rgb is at the preview's size rather than the asked one.
        bool scaledForPreview = false;

        void swap(Picture& other) noexcept;
    };
    using Deliver = std::function<void(Picture& picture)>;

    // deliver runs on the thread of context; deliveries still queued when
    // the hand-off goes are dropped.
    FrameHandoff(QObject* context, Deliver deliver);
    ~FrameHandoff();
    FrameHandoff(const FrameHandoff&) = delete;
    FrameHandoff& operator=(const FrameHandoff&) = delete;

    // Worker side: takes the picture, gives back one to fill next.
    void publish(Picture& picture);

    // Forgets an undelivered picture (after the capture stopped).
    void clear();

    // The picture delivered last, held until the next one is: a snapshot
    // between two deliveries converts it. The context's thread only; null
    // before the first delivery.
    const Picture* delivered() const;

private:
    void post();
    void deliverPending();

    // Queued calls are posted to this object: deleting it with the
    // hand-off makes Qt discard the ones not yet run.
    std::unique_ptr<QObject> m_receiver;
    Deliver m_deliver;

    std::mutex m_mutex;
    Picture m_pending; // guarded by m_mutex
    bool m_hasPending = false;
    std::atomic<bool> m_queued{false};

    // Only touched on the context's thread.
    Picture m_current;
    bool m_hasCurrent = false;
    bool m_delivering = false;
};
