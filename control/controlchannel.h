#pragma once

#include "controlworker.h"
#include "videoinputinfo.h"

#include <QObject>
#include <QString>
#include <QThread>

#include <functional>
#include <type_traits>

class CameraMover;
class Vorn_CameraProperty;

// The GUI thread's side of a camera session driven by a control worker:
// requests go in here in the order the user makes them and are done on the
// worker's thread, on its session; what they read comes back through a
// queued signal and is applied on the GUI thread, never after the object
// that asked has gone. Closing does every request still queued before the
// thread ends. The window owns the channel of its chosen camera, over the
// process-wide cameraProperty and zoomProperty, and hands it to its pages,
// keys and auto framing.
class ControlChannel : public QObject
{
    Q_OBJECT
public:
    using Job = ControlWorker::Job;

    ControlChannel(Vorn_CameraProperty& main, Vorn_CameraProperty& zoom, QObject* parent = nullptr);
    ~ControlChannel() override;

    // Binds the session to camera; the requests after it drive that camera.
    void open(const VideoInputInfo& camera);
    // The camera last opened (GUI thread).
    const VideoInputInfo& camera() const { return m_camera; }

    // Done in order; never merged.
    void post(Job job);
    // Done in order, but one of the same key that has not started yet is
    // dropped for it (key: which value).
    void postLatest(const QString& key, Job job);
    // read runs on the worker; apply(result) then runs on the GUI thread
    // while context lives. With a key, as postLatest: only the newer ask of
    // the same key is applied.
    template <typename Read, typename Apply>
    void ask(QObject* context, Read read, Apply apply, const QString& key = QString())
    {
        using Result = std::invoke_result_t<Read, ControlWorker&>;
        // Made here: on the worker the context may be gone already.
        const QPointer<QObject> guard(context);
        enqueue(
            key,
            [guard, read, apply](ControlWorker& worker) {
                Result result = read(worker);
                worker.reply(guard, [apply, result] { apply(result); });
            },
            true);
    }
    // Runs lend on the GUI thread with the session, once the requests before
    // it are done, with the worker waiting meanwhile.
    void lend(QObject* context, std::function<void(CameraSession&)> lend);

    // Nothing queued, under way or waiting to be applied.
    bool idle() const { return !m_worker || m_worker->unfinished() == 0; }
    // Lives on the worker's thread: reach it only from a request.
    CameraMover* mover() const;

    // Does what is queued and ends the worker's thread; later requests are
    // dropped.
    void close();

private:
    void enqueue(const QString& key, Job job, bool replies);
    void deliver(const ControlReply& reply);

    QThread m_thread;
    ControlWorker* m_worker = nullptr;
    VideoInputInfo m_camera;
};
