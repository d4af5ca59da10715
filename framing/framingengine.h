#pragma once

#include "framingcontroller.h"

#include <QElapsedTimer>
#include <QImage>
#include <QObject>
#include <QRectF>
#include <QVector>

#include <memory>
#include <optional>

class ControlChannel;
class FaceWorker;
class PtzHead;
struct PtzLayout;
class QThread;

// Auto framing: finds the faces in the camera's frames on a worker thread a
// few times a second and drives the camera's head to keep them framed.
// Lives on the GUI thread; the frames it is offered are never held nor
// copied beyond one small downscaled picture per detection. The head is
// read and moved through the camera's control channel only, never waited
// for: a decision uses the newest reading that has come back.
class FramingEngine : public QObject
{
    Q_OBJECT
public:
    explicit FramingEngine(ControlChannel& channel, QObject* parent = nullptr);
    ~FramingEngine() override;

    // Whether this build can find faces at all (not where OpenCV comes
    // without objdetect).
    static bool available();

    // Drives the channel's camera once its axes are read on the worker;
    // bound() tells the answer.
    void bind();
    // The same with the axes read already (PtzLayout::read, by whoever had
    // the camera's controls before the channel); false, with a sentence for
    // the user, when it has no pan, tilt or zoom.
    bool bind(const PtzLayout& layout, QString* why);
    void unbind();

    // Loads the detector and starts; false, with a sentence for the user,
    // when there is none.
    bool start(QString* problem);
    void stop();
    bool isRunning() const { return m_running; }

    FramingSettings settings() const { return m_settings; }
    // The defaults, with the times the user may set in "config.ini" (group
    // FRAMING: holdSeconds, homeSeconds, manualPauseSeconds; 0 pauses until
    // switched on again), read when the engine is made.
    static FramingSettings configuredSettings();
    void setSettings(const FramingSettings& settings);
    // Detections a second (5 to 10).
    void setRate(double perSecond);

    // A frame of the camera, valid only during the call: taken when a
    // detection is due and the worker is idle, else left alone.
    void offerFrame(const QImage& frame);
    // True when offerFrame would take a frame now: a caller that has to
    // make the frame first asks before it does.
    bool wantsFrame() const;

    // The faces of the last detection and the box being framed, in picture
    // fractions, for an overlay on the preview.
    QVector<QRectF> faces() const { return m_faces; }
    // Where the camera was last sent.
    // (or where it was, when the last decision moved nothing).
    PtzPose lastTarget() const { return m_lastTarget; }
    QRectF target() const { return m_running ? m_controller->target() : QRectF(); }

public slots:
    // The user moved the camera: stop framing for the pause of the settings.
    void pauseForManualMove();
    void resume();

signals:
    // The answer to bind(): why is empty when the camera can be framed, else
    // a sentence for the user.
    void bound(const QString& why);
    // What the engine decided, in words, whenever that changes.
    void acted(const QString& what);
    // A detection was used; detectMs is what it cost on the worker.
    void detected(const QVector<QRectF>& faces, double detectMs);
    // Where the camera was sent, and how long after the detector finished.
    void moved(const PtzPose& target, double afterDetectionMs);

private:
    void onDetected(const QVector<QRectF>& faces, qint64 frameMs, double detectMs, qint64 doneNs);
    void rebuildController();
    void headBound(bool usable);
    // True when someone else (lumora-ctl, another program, the camera's
    // remote) moved the head since the last detection.
    bool movedByOthers(const PtzPose& pose) const;

    PtzHead* m_head = nullptr;
    std::unique_ptr<FramingController> m_controller;
    FramingSettings m_settings;
    QThread* m_thread = nullptr;
    FaceWorker* m_worker = nullptr;
    QElapsedTimer m_clock;
    qint64 m_lastOfferMs = -1;
    int m_periodMs = 125;
    bool m_busy = false;
    bool m_running = false;
    bool m_detectorLoaded = false;
    QVector<QRectF> m_faces;
    QString m_lastWhat;
    PtzPose m_lastTarget;
    PtzPose m_seenPose;
    bool m_poseSeen = false;
    std::optional<PtzPose> m_sentTarget; // where framing last sent the head
};
