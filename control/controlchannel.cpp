#include "controlchannel.h"

#include "vorn_cameraproperty.h"

#include <QCoreApplication>
#include <QDebug>

ControlChannel::ControlChannel(Vorn_CameraProperty& main, Vorn_CameraProperty& zoom,
                               QObject* parent)
    : QObject(parent), m_worker(new ControlWorker(main, zoom))
{
    m_thread.setObjectName(QStringLiteral("camera controls"));
    m_worker->moveToThread(&m_thread);
    connect(m_worker, &ControlWorker::answered, this, &ControlChannel::deliver,
            Qt::QueuedConnection);
    m_thread.start();
}

ControlChannel::~ControlChannel()
{
    close();
}

void ControlChannel::open(const VideoInputInfo& camera)
{
    m_camera = camera;
    post([camera](ControlWorker& worker) { worker.session().open(camera); });
}

void ControlChannel::post(Job job)
{
    enqueue(QString(), std::move(job), false);
}

void ControlChannel::postLatest(const QString& key, Job job)
{
    enqueue(key, std::move(job), false);
}

void ControlChannel::lend(QObject* context, std::function<void(CameraSession&)> lend)
{
    const QPointer<QObject> guard(context);
    enqueue(
        QString(), [guard, lend](ControlWorker& worker) { worker.park(guard, lend); }, false);
}

CameraMover* ControlChannel::mover() const
{
    return m_worker ? &m_worker->mover() : nullptr;
}

void ControlChannel::enqueue(const QString& key, Job job, bool replies)
{
    if (!m_worker || !m_worker->enqueue(key, std::move(job), replies)) {
        qDebug() << "camera request after the controls closed: dropped";
    }
}

void ControlChannel::deliver(const ControlReply& reply)
{
    if (reply.context) {
        reply.apply();
    }
    if (m_worker) {
        m_worker->replyApplied();
    }
}

void ControlChannel::close()
{
    if (!m_worker) {
        return;
    }
    m_worker->close();
    QMetaObject::invokeMethod(m_worker, &ControlWorker::finish, Qt::QueuedConnection);
    m_thread.wait();
    // Replies still on their way refer to a worker that is gone.
    QCoreApplication::removePostedEvents(this);
    delete m_worker;
    m_worker = nullptr;
}
