#include "controlworker.h"

#include "cameramover.h"
#include "propertytransport.h"

#include <QMutexLocker>
#include <QSemaphore>
#include <QThread>

#include <algorithm>
#include <memory>

namespace {

// How often a parked worker looks whether it is told to finish.
constexpr int kParkPollMs = 50;

} // namespace

ControlWorker::ControlWorker(Vorn_CameraProperty& main, Vorn_CameraProperty& zoom)
    : m_session(main, zoom)
{
    // Its timer goes with the worker to the worker's thread.
    m_session.mover().setParent(this);
    qRegisterMetaType<ControlReply>();
}

ControlWorker::~ControlWorker() = default;

bool ControlWorker::enqueue(const QString& key, Job job, bool replies)
{
    QMutexLocker locker(&m_lock);
    if (m_closing || m_finished) {
        return false;
    }
    if (!key.isEmpty()) {
        const auto same = std::find_if(m_queue.begin(), m_queue.end(),
                                       [&key](const Request& r) { return r.key == key; });
        if (same != m_queue.end()) {
            m_queue.erase(same);
            --m_unfinished; // its reply, if it had one, will not come
        }
    }
    ++m_unfinished;
    m_queue.push_back(Request{key, std::move(job), replies});
    if (!m_scheduled) {
        m_scheduled = true;
        QMetaObject::invokeMethod(this, &ControlWorker::runNext, Qt::QueuedConnection);
    }
    return true;
}

bool ControlWorker::runOne()
{
    Request request;
    {
        QMutexLocker locker(&m_lock);
        if (m_queue.empty()) {
            m_scheduled = false;
            return false;
        }
        request = std::move(m_queue.front());
        m_queue.pop_front();
    }
    request.job(*this);
    if (!request.replies) {
        --m_unfinished;
    }
    return true;
}

// One request per turn of the thread's event loop, so that the mover's
// glide steps go on between requests.
void ControlWorker::runNext()
{
    if (!runOne()) {
        return;
    }
    QMutexLocker locker(&m_lock);
    if (m_queue.empty()) {
        m_scheduled = false;
    } else {
        QMetaObject::invokeMethod(this, &ControlWorker::runNext, Qt::QueuedConnection);
    }
}

void ControlWorker::finish()
{
    m_closing = true;
    while (runOne()) {
    }
    // A preset recall under way ends where the user sent the camera.
    m_session.mover().completeMove();
    {
        QMutexLocker locker(&m_lock);
        m_finished = true;
    }
    thread()->quit();
}

void ControlWorker::reply(const QPointer<QObject>& context, std::function<void()> apply)
{
    emit answered(ControlReply{context, std::move(apply)});
}

void ControlWorker::park(const QPointer<QObject>& context, std::function<void(CameraSession&)> lend)
{
    auto parked = std::make_shared<QSemaphore>();
    // The reply holds the only other reference: once it has run on the GUI
    // thread, or was dropped because its context had gone, the worker goes on.
    auto handOver = std::shared_ptr<void>(nullptr, [parked](void*) { parked->release(); });
    reply(context, [this, lend, handOver] { lend(m_session); });
    handOver.reset();
    while (!parked->tryAcquire(1, kParkPollMs)) {
        if (m_closing) {
            return;
        }
    }
}

bool ControlWorker::moving(long relativeProperty) const
{
    return relativeProperty == CameraControlProperty::PanRelative ? m_panMoving : m_tiltMoving;
}

void ControlWorker::setMoving(long relativeProperty, bool moving)
{
    (relativeProperty == CameraControlProperty::PanRelative ? m_panMoving : m_tiltMoving) = moving;
}
