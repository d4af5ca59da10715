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
#include <QEvent>
#include <QMovie>
#include <QPixmap>
#include <QTimer>

namespace {

const QString kInUseStyle =
    QStringLiteral("color: rgb(255, 255, 255);font: 20px \"Brandon Grotesque Regular\";");

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
    previewPainter->prepare();
}

bool Vorn_Cam::eventFilter(QObject* watched, QEvent* event)
{
    // The capture worker converts each picture to the size it is shown at.
    if (watched == ui->label_cameraview && event->type() == QEvent::Resize && captureLib) {
        const QSize size = ui->label_cameraview->size();
        captureLib->SetPreviewSize(size.width(), size.height());
    }
    return QMainWindow::eventFilter(watched, event);
}

QImage Vorn_Cam::fullSizePicture() const
{
    QImage picture;
    captureLib->ConvertLastFrame([&picture](const uint8_t* buffer, int width, int height) {
        picture =
            QImage(buffer, width, height, RgbFrame::strideFor(width), QImage::Format_RGB888).copy();
    });
    return picture;
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
    // The preview's own picture, converted at the label's size on the
    // capture worker; a snapshot makes the full-size one when it is taken.
    const QImage frame(buffer, width, height, RgbFrame::strideFor(width), QImage::Format_RGB888);

    // At the detection rate, auto framing gets the camera's whole picture,
    // as it always did.
    FramingEngine* framing = settingVideo->framingEngine();
    if (framing->wantsFrame()) {
        captureLib->ConvertLastFrame([framing](const uint8_t* full, int w, int h) {
            framing->offerFrame(QImage(full, w, h, RgbFrame::strideFor(w), QImage::Format_RGB888));
        });
    }
    previewPainter->show(frame, settingVideo->framingOverlayShown() ? framing : nullptr);
}

void Vorn_Cam::showFramesInPreview(bool frames)
{
    // The first discovery pass runs before the pages and the painter exist.
    if (previewPainter) {
        previewPainter->setShowingFrames(frames);
    }
}
