#include "capturemodechooser.h"

#include "cameraprofilestore.h"
#include "framesourcefactory.h"
#include "vorn_ffmpeglib.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QComboBox>
#include <QDebug>
#include <QEvent>
#include <QFutureWatcher>
#include <QtConcurrent>

namespace {

// The size the window has always asked for; the camera's best format and
// 30 fps there.
const CaptureMode kDefaultMode(1280, 720, 30);
constexpr int kGap = 6;

QString itemText(const CaptureMode& mode)
{
    return CaptureMode(mode.width(), mode.height(), mode.fps()).toString() + QLatin1Char(' ') +
           CaptureMode::formatName(mode.format()).toUpper();
}

} // namespace

CaptureModeChooser::CaptureModeChooser(QComboBox* box, QWidget* besides,
                                       QAbstractButton* previewSwitch, Vorn_FFmpeglib* capture,
                                       QObject* parent)
    : QObject(parent), m_box(box), m_besides(besides), m_previewSwitch(previewSwitch),
      m_capture(capture), m_mode(kDefaultMode)
{
    m_besides->installEventFilter(this);
    place();
    m_box->setToolTip(QStringLiteral("The camera's picture size, frame rate and format"));
    connect(m_box, QOverload<int>::of(&QComboBox::activated), this, &CaptureModeChooser::chosen);
    updateEnabled();
}

bool CaptureModeChooser::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_besides &&
        (event->type() == QEvent::Move || event->type() == QEvent::Resize)) {
        place();
    }
    return QObject::eventFilter(watched, event);
}

void CaptureModeChooser::place()
{
    // The bar's own gap between neighbours.
    const QRect list = m_besides->geometry();
    m_box->move(list.right() + 1 + kGap, list.y() + (list.height() - m_box->height()) / 2);
}

void CaptureModeChooser::setCamera(const VideoInputInfo& camera)
{
    m_profileKey = camera.isNull() ? QString() : CameraProfileStore::keyOf(camera);
    const CaptureMode kept =
        m_profileKey.isEmpty()
            ? CaptureMode()
            : CaptureMode::fromString(CameraProfileStore::captureMode(m_profileKey));
    // Until the listing comes, the kept mode is what a preview asks for.
    m_keptUnconfirmed = !kept.isNull();
    apply(kept.isNull() ? kDefaultMode : kept);
    m_modes.clear();
    m_box->clear();
    // Listing binds the camera's driver, which may take seconds: done on
    // a pool thread. A listing for a camera chosen before is dropped.
    const quint64 listing = ++m_listing;
    if (!camera.isNull()) {
        auto* watcher = new QFutureWatcher<QList<CaptureMode>>(this);
        connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, listing] {
            watcher->deleteLater();
            if (listing == m_listing) {
                showModes(watcher->result());
            }
        });
        const QString device = camera.deviceName();
        watcher->setFuture(
            QtConcurrent::run([device] { return CaptureMode::sorted(listCaptureModes(device)); }));
    }
    setActive(!camera.isNull());
}

void CaptureModeChooser::showModes(const QList<CaptureMode>& modes)
{
    m_modes = modes;
    // A kept mode the camera no longer lists (other firmware) is passed over.
    if (m_keptUnconfirmed && CaptureMode::find(m_modes, m_mode).isNull()) {
        apply(kDefaultMode);
        restartPreview();
    }
    m_keptUnconfirmed = false;

    // The list lays its rows out as they come: with the style sheet's row
    // height only once polished, which a window not shown yet is not.
    m_box->view()->ensurePolished();
    m_box->clear();
    for (const CaptureMode& mode : qAsConst(m_modes)) {
        m_box->addItem(itemText(mode), mode.toString());
    }
    CaptureMode shown = CaptureMode::find(m_modes, m_mode);
    if (shown.isNull()) {
        shown = CaptureMode::nearest(m_modes, m_mode);
    }
    m_box->setCurrentIndex(m_modes.indexOf(shown));
    updateEnabled();
}

void CaptureModeChooser::setActive(bool active)
{
    m_active = active;
    updateEnabled();
}

void CaptureModeChooser::setRecording(bool recording)
{
    m_recording = recording;
    updateEnabled();
}

void CaptureModeChooser::updateEnabled()
{
    m_box->setEnabled(m_active && !m_recording && !m_modes.isEmpty());
}

void CaptureModeChooser::apply(const CaptureMode& mode)
{
    m_mode = mode;
    m_capture->SetVideoMode(mode.toString().toStdString());
}

void CaptureModeChooser::chosen(int index)
{
    if (index < 0 || index >= m_modes.size() || m_modes.at(index) == m_mode) {
        return;
    }
    apply(m_modes.at(index));
    qDebug().noquote() << "capture mode:" << m_mode.toString();
    if (!m_profileKey.isEmpty()) {
        CameraProfileStore::setCaptureMode(m_profileKey, m_mode.toString());
    }
    restartPreview();
}

void CaptureModeChooser::restartPreview()
{
    // A start stops the running capture first; the frames then come at the
    // new size, which the preview letterboxes as any other.
    if (m_previewSwitch->isChecked() && m_capture->CaptureIsOpen()) {
        m_capture->StartCaptureAsync();
    }
}
