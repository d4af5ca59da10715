#include "devicecatalog.h"
#include "framingengine.h"
#include "previewpainter.h"
#include "rgbframe.h"
#include "ui_vorn_cam.h"
#include "vorn_cam.h"
#include "vorn_ffmpeglib.h"
#include "vorn_settingvideo.h"
#include "vorn_sharedmemory.h"

#include <QDebug>
#include <QMovie>
#include <QPixmap>
#include <QTimer>

#include <cstring>
#include <utility>

namespace {

const QString kInUseStyle =
    QStringLiteral("color: rgb(255, 255, 255);font: 20px \"Brandon Grotesque Regular\";");

// The size asked of the capture library.
const QSize kCaptureSize(1280, 720);

} // namespace

// The preview switch and the pictures it shows.

void Vorn_Cam::pushButton_preview_checked(bool status)
{
    if (status) {
        qDebug() << "start camera....\n";
        ui->label_cameraview->show();
        showFramesInPreview(false);
        ui->label_cameraview->setMovie(loadingMovie);
        loadingMovie->start();
        ui->label_cameraview->show();
        QTimer::singleShot(800, Qt::PreciseTimer, this, &Vorn_Cam::startCaptureDeferred);
        setMediaButtonsEnabled(true);
        return;
    }
    qDebug() << "stop camera....";
    ui->label_cameraview->hide();
    loadingMovie->stop();
    if (recordTimer) {
        // Gone before the file is completed, for the same reason as at
        // the record button.
        const bool recording = recordTimer->isActive();
        delete recordTimer;
        recordTimer = nullptr;
        if (recording) {
            captureLib->StopRecord();
        }
    }
    captureLib->StopCapture();
    ui->label_recordTime->setText(QString());
    if (sharedMemory) {
        sharedMemory->detachSegment();
    }
    setMediaButtonsEnabled(false);
}

void Vorn_Cam::startCaptureDeferred()
{
    // The switch may have gone off (or the camera away) within the 800 ms:
    // then there is nothing to start.
    if (!ui->pushButton_preview->isChecked() || !captureOn) {
        loadingMovie->stop();
        return;
    }
    // The camera is opened on the capture worker; the loading animation
    // runs until captureLib_captureStarted has the outcome. The snapshot
    // source's memory was made with the window (prepareFrameBuffers).
    captureLib->StartCaptureAsync();
}

// Memory a process has never written costs a page fault per page on first
// touch, and on virtual machines far more than the write itself: the first
// pictures of a preview came at several times the cost of the others. The
// buffers every picture needs are made and written here, before the window
// shows, and kept.
void Vorn_Cam::prepareFrameBuffers()
{
    spareFrame = QImage(kCaptureSize, QImage::Format_RGB888);
    spareFrame.fill(Qt::black);
    previewPainter->prepare();
}

void Vorn_Cam::captureLib_captureStarted(bool)
{
    // A stop or another camera cancels a pending start in the library, so
    // the outcome is always the current preview's.
    if (!captureLib->CaptureIsOpen()) {
        if (!DeviceCatalog::instance().videoInputs().isEmpty()) {
            showCameraInUse();
        }
    }
    loadingMovie->stop();
}

void Vorn_Cam::showCameraInUse()
{
    if (ui->pushButton_preview->isChecked()) {
        showFramesInPreview(false);
        QLabel* label = ui->label_cameraview;
        label->setText(QStringLiteral("Camera in use - no preview available"));
        // Set once: repeated failed starts must not grow the style sheet.
        if (!label->styleSheet().contains(kInUseStyle)) {
            label->setStyleSheet(label->styleSheet() + kInUseStyle);
        }
        label->setAlignment(Qt::AlignCenter);
        label->setPixmap(QPixmap::fromImage(
            QImage(QStringLiteral(":/UI/Word/inuse.png"))
                .scaled(285, 29, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)));
    }
    ui->label_cameraview->show();
    ui->pushButton_preview->show();
    ui->label_PreView->show();
}

void Vorn_Cam::setMediaButtonsEnabled(bool enabled)
{
    ui->bt_volume->setEnabled(enabled);
    ui->bt_microphone->setEnabled(enabled);
    ui->bt_shot->setEnabled(enabled);
    ui->bt_record->setEnabled(enabled);
}

void Vorn_Cam::on_CameraView(uint8_t* buffer, int width, int height)
{
    const bool open = captureLib->CaptureIsOpen();
    sharedMemory->captureOpen = open;
    if (!open || !buffer || width <= 0 || height <= 0) {
        return;
    }
    const QImage frame(buffer, width, height, RgbFrame::strideFor(width), QImage::Format_RGB888);

    // The snapshot source keeps its buffer from frame to frame: one copy, no
    // allocation, unless a snapshot still holds the previous picture.
    if (lastFrame.size() != frame.size() || lastFrame.format() != frame.format()) {
        lastFrame = spareFrame.size() == frame.size()
                        ? std::exchange(spareFrame, QImage())
                        : QImage(width, height, QImage::Format_RGB888);
    }
    const int rowBytes = width * 3;
    for (int y = 0; y < height; ++y) {
        std::memcpy(lastFrame.scanLine(y), frame.constScanLine(y), size_t(rowBytes));
    }

    // At the detection rate, one small copy goes to auto framing's worker.
    FramingEngine* framing = settingVideo->framingEngine();
    framing->offerFrame(frame);
    previewPainter->show(frame, settingVideo->framingOverlayShown() ? framing : nullptr);
}

void Vorn_Cam::showFramesInPreview(bool frames)
{
    // The first discovery pass runs before the pages and the painter exist.
    if (previewPainter) {
        previewPainter->setShowingFrames(frames);
    }
}
