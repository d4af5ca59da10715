#pragma once

#include "camerasession.h"

#include <QMutex>
#include <QObject>
#include <QPointer>
#include <QString>

#include <atomic>
#include <deque>
#include <functional>

class Vorn_CameraProperty;

// What a request hands back to the GUI thread: run there, and only while
// its context object still lives.
struct ControlReply
{
    QPointer<QObject> context;
    std::function<void()> apply;
};
Q_DECLARE_METATYPE(ControlReply)

// Works through one camera's requests in the order they were made, on a
// thread of its own: the requests of a camera that is slow to answer (an
// extension unit busy for seconds) wait here instead of in the window. It
// alone touches its camera session (the two property handles and the mover)
// once it runs.
class ControlWorker : public QObject
{
    Q_OBJECT
public:
    using Job = std::function<void(ControlWorker&)>;

    ControlWorker(Vorn_CameraProperty& main, Vorn_CameraProperty& zoom);
    ~ControlWorker() override;

    // Any thread. A request with a key replaces one of the same key that has
    // not started, and goes where the newer one is made: for a value whose
    // latest setting alone matters (a slider being dragged), or a reading
    // that is wanted after the latest change. Requests without a key are
    // never merged, so starts and stops keep their order. False once the
    // worker is closing.
    bool enqueue(const QString& key, Job job, bool replies);
    // Requests made and not yet done; a request that replies is done once
    // its reply has been applied on the GUI thread (replyApplied()).
    int unfinished() const { return m_unfinished.load(); }
    void replyApplied() { --m_unfinished; }

    // Worker thread only, from within a request.
    CameraSession& session() { return m_session; }
    Vorn_CameraProperty& main() { return m_session.main(); }
    Vorn_CameraProperty& zoom() { return m_session.zoom(); }
    CameraMover& mover() { return m_session.mover(); }
    void reply(const QPointer<QObject>& context, std::function<void()> apply);
    // Runs lend on the GUI thread while the worker waits, so that what needs
    // the camera's handles there (the vendor's dialog) has them alone. A
    // worker told to finish stops waiting.
    void park(const QPointer<QObject>& context, std::function<void(CameraSession&)> lend);
    // Whether a pan or tilt started by the user is under way, by its
    // relative property.
    bool moving(long relativeProperty) const;
    void setMoving(long relativeProperty, bool moving);

    // Any thread: no more requests are taken; those queued are still done.
    void close() { m_closing = true; }

public slots:
    // Worker thread: does what is queued, then ends the thread.
    void finish();

signals:
    void answered(const ControlReply& reply);

private:
    struct Request
    {
        QString key;
        Job job;
        bool replies = false;
    };

    void runNext();
    bool runOne();

    CameraSession m_session;
    QMutex m_lock;
    std::deque<Request> m_queue;
    bool m_scheduled = false;
    bool m_finished = false;
    std::atomic<bool> m_closing{false};
    std::atomic<int> m_unfinished{0};
    bool m_panMoving = false;
    bool m_tiltMoving = false;
};
