#include "framehandoff.h"

#include <QMetaObject>
#include <QObject>
#include <QThread>

#include <utility>

FrameHandoff::FrameHandoff(QObject* context, Deliver deliver)
    : m_receiver(std::make_unique<QObject>()), m_deliver(std::move(deliver))
{
    if (context && context->thread() != m_receiver->thread()) {
        m_receiver->moveToThread(context->thread());
    }
}

FrameHandoff::~FrameHandoff() = default;

void FrameHandoff::Picture::swap(Picture& other) noexcept
{
    rgb.swap(other.rgb);
    decoded.swap(other.decoded);
    std::swap(askedWidth, other.askedWidth);
    std::swap(askedHeight, other.askedHeight);
    std::swap(scaledForPreview, other.scaledForPreview);
}

void FrameHandoff::publish(Picture& picture)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_pending.swap(picture);
        m_hasPending = true;
    }
    if (!m_queued.exchange(true)) {
        post();
    }
}

void FrameHandoff::clear()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_hasPending = false;
    m_pending.decoded.release();
}

const FrameHandoff::Picture* FrameHandoff::delivered() const
{
    return m_hasCurrent ? &m_current : nullptr;
}

void FrameHandoff::post()
{
    QMetaObject::invokeMethod(
        m_receiver.get(), [this] { deliverPending(); }, Qt::QueuedConnection);
}

void FrameHandoff::deliverPending()
{
    // Cleared before the frame is taken: a frame published from now on
    // queues a delivery of its own rather than being missed.
    m_queued.store(false);
    // A receiver that spins an event loop inside the emission must not
    // have the buffer it is reading swapped away; the outer delivery
    // re-posts when it returns.
    if (m_delivering) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_hasPending) {
            return;
        }
        m_current.swap(m_pending);
        m_hasPending = false;
        // The picture shown before is past asking for: its buffers go back
        // to the decoder now rather than with the worker's next picture.
        m_pending.decoded.release();
    }
    m_hasCurrent = true;
    m_delivering = true;
    m_deliver(m_current);
    m_delivering = false;

    bool more = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        more = m_hasPending;
    }
    if (more && !m_queued.exchange(true)) {
        post();
    }
}
