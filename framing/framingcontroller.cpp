#include "framingcontroller.h"

#include <QStringList>

#include <algorithm>
#include <cmath>

double CameraOptics::zoomFactor(long zoom, const PtzAxis& axis) const
{
    if (!axis.present || axis.maximum <= axis.minimum) {
        return 1.0;
    }
    const double share = double(axis.clamp(zoom) - axis.minimum) / (axis.maximum - axis.minimum);
    return 1.0 + (std::max(1.0, maxZoomFactor) - 1.0) * share;
}

long CameraOptics::zoomFor(double factor, const PtzAxis& axis) const
{
    if (!axis.present || axis.maximum <= axis.minimum || maxZoomFactor <= 1.0) {
        return axis.clamp(axis.minimum);
    }
    const double share = std::clamp((factor - 1.0) / (maxZoomFactor - 1.0), 0.0, 1.0);
    return axis.clamp(axis.minimum + std::lround(share * (axis.maximum - axis.minimum)));
}

FramingController::FramingController(const FramingSettings& settings, const CameraOptics& optics,
                                     const PtzAxis& pan, const PtzAxis& tilt, const PtzAxis& zoom)
    : m_settings(settings), m_optics(optics), m_pan(pan), m_tilt(tilt), m_zoom(zoom)
{
}

QRectF FramingController::groupOf(const QVector<QRectF>& faces) const
{
    QRectF group;
    for (const QRectF& face : faces) {
        // Head and shoulders: the hair above the face, the shoulders below
        // and either side of it.
        const QRectF person(face.x() - 0.7 * face.width(), face.y() - 0.4 * face.height(),
                            2.4 * face.width(), 2.2 * face.height());
        group = group.isNull() ? person : group.united(person);
    }
    if (group.isNull()) {
        return group;
    }
    const double dx = group.width() * m_settings.margin, dy = group.height() * m_settings.margin;
    return group.adjusted(-dx, -dy, dx, dy);
}

FramingDecision FramingController::onFaces(const QVector<QRectF>& faces, const PtzPose& pose,
                                           qint64 frameMs, qint64 nowMs)
{
    FramingDecision decision;
    if (paused(nowMs)) {
        decision.what = QStringLiteral("paused after a manual move");
        return decision;
    }
    if (m_pausedAtMs >= 0) { // the pause has run out
        m_pausedAtMs = -1;
        m_lastSeenMs = -1;
        m_group = QRectF();
    }
    if (m_lastMoveMs >= 0 && frameMs < m_lastMoveMs + m_settings.settleMs) {
        decision.action = FramingDecision::Action::Ignored;
        decision.what = QStringLiteral("camera moving");
        return decision;
    }
    decision = faces.isEmpty() ? nobody(pose, nowMs) : seen(faces, pose, nowMs);
    if (decision.action == FramingDecision::Action::Move) {
        markMoved(nowMs);
    }
    return decision;
}

FramingDecision FramingController::seen(const QVector<QRectF>& faces, const PtzPose& pose,
                                        qint64 nowMs)
{
    m_lastSeenMs = nowMs;
    m_searched = m_homed = false;
    const QRectF group = groupOf(faces);
    // Smoothed in the present picture only: a move makes the old box
    // meaningless, and the box is started again after one.
    if (m_group.isNull()) {
        m_group = group;
    } else {
        const double w = std::clamp(m_settings.smoothing, 0.0, 1.0);
        m_group = QRectF(m_group.x() + (group.x() - m_group.x()) * w,
                         m_group.y() + (group.y() - m_group.y()) * w,
                         m_group.width() + (group.width() - m_group.width()) * w,
                         m_group.height() + (group.height() - m_group.height()) * w);
    }
    m_shown = m_group;
    return follow(m_group, pose);
}

FramingDecision FramingController::follow(const QRectF& group, const PtzPose& pose)
{
    const double factor = m_optics.zoomFactor(pose.zoom, m_zoom);
    const double panView = m_optics.widePanView / factor;
    const double tiltView = m_optics.wideTiltView / factor;
    const double ex = group.center().x() - 0.5, ey = group.center().y() - 0.5;
    const auto step = [this](double error) {
        return std::clamp(m_settings.gain * error, -m_settings.maxStep, m_settings.maxStep);
    };
    PtzPose target = pose;
    QStringList what;
    if (m_pan.present && std::abs(ex) > m_settings.deadZone) {
        target.pan = m_pan.clamp(pose.pan + std::lround(step(ex) * panView));
    }
    // Picture y grows downwards, tilt grows upwards.
    if (m_tilt.present && std::abs(ey) > m_settings.deadZone) {
        target.tilt = m_tilt.clamp(pose.tilt - std::lround(step(ey) * tiltView));
    }
    if (target.pan != pose.pan) {
        what << QStringLiteral("pan %1 %2")
                    .arg(target.pan > pose.pan ? QStringLiteral("right") : QStringLiteral("left"))
                    .arg(std::abs(target.pan - pose.pan));
    }
    if (target.tilt != pose.tilt) {
        what << QStringLiteral("tilt %1 %2")
                    .arg(target.tilt > pose.tilt ? QStringLiteral("up") : QStringLiteral("down"))
                    .arg(std::abs(target.tilt - pose.tilt));
    }
    // Zoom only once the head has settled on the group, so that a zoom never
    // pushes half-centred people out of the picture.
    const double filled = std::max(group.width(), group.height());
    const double ratio = filled / m_settings.fill;
    if (what.isEmpty() && m_zoom.present && std::abs(ratio - 1.0) > m_settings.zoomTolerance) {
        target.zoom = m_optics.zoomFor(factor / ratio, m_zoom);
        if (target.zoom != pose.zoom) {
            what << QStringLiteral("zoom %1 to %2")
                        .arg(target.zoom > pose.zoom ? QStringLiteral("in") : QStringLiteral("out"))
                        .arg(target.zoom);
        }
    }
    FramingDecision decision;
    if (what.isEmpty()) {
        decision.what = QStringLiteral("framed");
        return decision;
    }
    return moveTo(pose, target, what.join(QStringLiteral(", ")));
}

FramingDecision FramingController::nobody(const PtzPose& pose, qint64 nowMs)
{
    if (m_lastSeenMs < 0) {
        m_lastSeenMs = nowMs;
    }
    m_group = m_shown = QRectF();
    const qint64 gone = nowMs - m_lastSeenMs;
    if (gone >= m_settings.homeMs && !m_homed) {
        m_homed = true;
        const PtzPose home{m_pan.present ? m_pan.home : pose.pan,
                           m_tilt.present ? m_tilt.home : pose.tilt,
                           m_zoom.present ? m_zoom.home : pose.zoom};
        return moveTo(pose, home,
                      QStringLiteral("nobody seen for %1 s: home").arg(gone / 1000.0, 0, 'f', 1));
    }
    if (gone >= m_settings.holdMs && !m_searched && !m_homed && m_zoom.present) {
        m_searched = true;
        PtzPose wide = pose;
        wide.zoom = m_zoom.minimum;
        return moveTo(
            pose, wide,
            QStringLiteral("nobody seen for %1 s: zoom out to look").arg(gone / 1000.0, 0, 'f', 1));
    }
    FramingDecision decision;
    decision.what = m_homed      ? QStringLiteral("nobody seen, at home")
                    : m_searched ? QStringLiteral("nobody seen, zoomed out")
                                 : QStringLiteral("nobody seen, holding");
    return decision;
}

FramingDecision FramingController::moveTo(const PtzPose& pose, const PtzPose& target,
                                          const QString& what)
{
    FramingDecision decision;
    decision.what = what;
    if (target.pan == pose.pan && target.tilt == pose.tilt && target.zoom == pose.zoom) {
        return decision;
    }
    decision.action = FramingDecision::Action::Move;
    decision.target = target;
    return decision;
}

void FramingController::markMoved(qint64 nowMs)
{
    m_lastMoveMs = nowMs;
    m_group = QRectF();
}

void FramingController::pauseForManualMove(qint64 nowMs)
{
    m_pausedAtMs = nowMs;
    m_pausedUntilResume = m_settings.manualPauseMs <= 0;
    markMoved(nowMs);
}

void FramingController::resume()
{
    m_pausedAtMs = -1;
    m_pausedUntilResume = false;
    m_lastSeenMs = -1;
    m_group = QRectF();
}

bool FramingController::paused(qint64 nowMs) const
{
    return m_pausedUntilResume ||
           (m_pausedAtMs >= 0 && nowMs - m_pausedAtMs < m_settings.manualPauseMs);
}
