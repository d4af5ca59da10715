#include "framingengine.h"

#include "framingconfig.h"
#include "ptzhead.h"

#ifdef LUMORA_HAVE_FACE_DETECTOR
#include "facedetector.h"
#endif

#include <QFile>
#include <QSettings>
#include <QThread>

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstdlib>
#include <memory>

#ifdef LUMORA_HAVE_FACE_DETECTOR
namespace {

// The picture the detector sees: small enough for a few milliseconds a
// frame, large enough that a seated person's face at the widest view stays
// above the detector's smallest face.
constexpr int kWorkingWidth = 320;

QImage downscaled(const QImage& frame)
{
    const int height = std::max(1, kWorkingWidth * frame.height() / std::max(1, frame.width()));
    QImage small(kWorkingWidth, height, QImage::Format_RGB888);
    const cv::Mat from(frame.height(), frame.width(), CV_8UC3,
                       const_cast<uchar*>(frame.constBits()), size_t(frame.bytesPerLine()));
    cv::Mat to(small.height(), small.width(), CV_8UC3, small.bits(), size_t(small.bytesPerLine()));
    cv::resize(from, to, to.size(), 0, 0, cv::INTER_AREA);
    return small;
}

} // namespace
#endif

// The worker thread's side: owns the detector, sees only small pictures.
class FaceWorker : public QObject
{
public:
#ifdef LUMORA_HAVE_FACE_DETECTOR
    FaceDetector detector;
#endif
};

FramingEngine::FramingEngine(ControlChannel& channel, QObject* parent)
    : QObject(parent), m_head(new PtzHead(channel, this)), m_thread(new QThread(this))
{
    connect(m_head, &PtzHead::bound, this, [this](const QString& why) {
        headBound(why.isEmpty());
        emit bound(why);
    });
    m_clock.start();
    m_thread->setObjectName(QStringLiteral("face detection"));
    m_settings = configuredSettings();
    rebuildController();
}

FramingEngine::~FramingEngine()
{
    // Quietly: whoever listens to acted() may be gone already.
    m_running = false;
    m_thread->quit();
    m_thread->wait();
    delete m_worker;
}

FramingSettings FramingEngine::configuredSettings()
{
    if (!QFile::exists(QStringLiteral("config.ini"))) {
        return FramingSettings();
    }
    return FramingConfig::read(QSettings(QStringLiteral("config.ini"), QSettings::IniFormat));
}

bool FramingEngine::available()
{
#ifdef LUMORA_HAVE_FACE_DETECTOR
    return true;
#else
    return false;
#endif
}

void FramingEngine::bind()
{
    m_head->bind();
}

bool FramingEngine::bind(const PtzLayout& layout, QString* why)
{
    const bool usable = m_head->bind(layout, why);
    headBound(usable);
    return usable;
}

void FramingEngine::headBound(bool usable)
{
    rebuildController();
    m_poseSeen = false;
    m_sentTarget.reset();
    if (!usable) {
        stop();
    }
}

void FramingEngine::unbind()
{
    stop();
    m_head->unbind();
}

void FramingEngine::setSettings(const FramingSettings& settings)
{
    m_settings = settings;
    rebuildController();
}

void FramingEngine::setRate(double perSecond)
{
    m_periodMs = int(1000.0 / std::clamp(perSecond, 5.0, 10.0));
}

void FramingEngine::rebuildController()
{
    m_controller = std::make_unique<FramingController>(m_settings, m_head->optics(), m_head->pan(),
                                                       m_head->tilt(), m_head->zoom());
}

bool FramingEngine::start(QString* problem)
{
    if (m_running) {
        return true;
    }
#ifdef LUMORA_HAVE_FACE_DETECTOR
    if (!m_worker) {
        m_worker = new FaceWorker;
    }
    // Loaded here, before the worker thread ever uses it.
    if (!m_detectorLoaded && !m_worker->detector.load(problem)) {
        return false;
    }
    m_detectorLoaded = true;
    if (!m_thread->isRunning()) {
        m_worker->moveToThread(m_thread);
        m_thread->start(QThread::LowPriority);
    }
    rebuildController();
    m_running = true;
    m_lastWhat.clear();
    m_poseSeen = false;
    m_sentTarget.reset();
    emit acted(QStringLiteral("auto framing on, %1").arg(m_worker->detector.description()));
    return true;
#else
    *problem = QStringLiteral("This build has no face detector.");
    return false;
#endif
}

void FramingEngine::stop()
{
    if (!m_running) {
        return;
    }
    m_running = false;
    m_faces.clear();
    m_head->cancelMoves();
    emit acted(QStringLiteral("auto framing off"));
}

bool FramingEngine::wantsFrame() const
{
#ifdef LUMORA_HAVE_FACE_DETECTOR
    return m_running && !m_busy &&
           (m_lastOfferMs < 0 || m_clock.elapsed() - m_lastOfferMs >= m_periodMs);
#else
    return false;
#endif
}

void FramingEngine::offerFrame(const QImage& frame)
{
#ifdef LUMORA_HAVE_FACE_DETECTOR
    if (!wantsFrame() || frame.format() != QImage::Format_RGB888) {
        return;
    }
    const qint64 now = m_clock.elapsed();
    m_lastOfferMs = now;
    m_busy = true;
    // Asked as the frame comes: from a camera that answers at once the
    // reading is back before the faces are, and the decision sees the head
    // where the frame shows it.
    m_head->requestPose();
    const QImage small = downscaled(frame);
    FaceWorker* worker = m_worker;
    QMetaObject::invokeMethod(worker, [this, worker, small, now] {
        QElapsedTimer cost;
        cost.start();
        const QVector<QRectF> faces = worker->detector.detect(small);
        const double ms = cost.nsecsElapsed() / 1e6;
        const qint64 done = m_clock.nsecsElapsed();
        QMetaObject::invokeMethod(
            this, [this, faces, now, ms, done] { onDetected(faces, now, ms, done); },
            Qt::QueuedConnection);
    });
#else
    Q_UNUSED(frame);
#endif
}

void FramingEngine::onDetected(const QVector<QRectF>& faces, qint64 frameMs, double detectMs,
                               qint64 doneNs)
{
    m_busy = false;
    if (!m_running || !m_head->isBound()) {
        return;
    }
    m_faces = faces;
    emit detected(faces, detectMs);
    const PtzPose pose = m_head->pose();
    const bool movedElsewhere = movedByOthers(pose);
    m_seenPose = pose;
    m_poseSeen = true;
    if (movedElsewhere) {
        pauseForManualMove();
        return;
    }
    const FramingDecision decision = m_controller->onFaces(faces, pose, frameMs, m_clock.elapsed());
    m_lastTarget = pose;
    if (decision.action == FramingDecision::Action::Move) {
        m_head->moveTo(decision.target);
        m_lastTarget = decision.target;
        m_sentTarget = decision.target;
        emit moved(decision.target, (m_clock.nsecsElapsed() - doneNs) / 1e6);
    }
    if (decision.what != m_lastWhat && decision.action != FramingDecision::Action::Ignored) {
        m_lastWhat = decision.what;
        emit acted(decision.what);
    }
}

bool FramingEngine::movedByOthers(const PtzPose& pose) const
{
    if (!m_poseSeen) {
        return false;
    }
    // A head still travelling to framing's own target comes nearer to it;
    // one that someone else moves goes away from it (or, with nothing sent,
    // from where it was). More than 1 % of the axis' range, so that a
    // reading's jitter is no move.
    const PtzPose& target = m_sentTarget.value_or(m_seenPose);
    const auto away = [](const PtzAxis& axis, long now, long before, long aim) {
        const long further = std::abs(now - aim) - std::abs(before - aim);
        return axis.present && further * 100 > (axis.maximum - axis.minimum);
    };
    return away(m_head->pan(), pose.pan, m_seenPose.pan, target.pan) ||
           away(m_head->tilt(), pose.tilt, m_seenPose.tilt, target.tilt) ||
           away(m_head->zoom(), pose.zoom, m_seenPose.zoom, target.zoom);
}

void FramingEngine::pauseForManualMove()
{
    if (!m_running || m_controller->paused(m_clock.elapsed())) {
        return;
    }
    m_controller->pauseForManualMove(m_clock.elapsed());
    m_head->cancelMoves();
    m_lastWhat = QStringLiteral("paused after a manual move");
    emit acted(m_lastWhat);
}

void FramingEngine::resume()
{
    m_controller->resume();
}
