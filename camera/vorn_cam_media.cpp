// The media bar's snapshot and record buttons and the record clock.

#include "cameradiscovery.h"
#include "dialogseam.h"
#include "mediafiles.h"
#include "ui_vorn_cam.h"
#include "vorn_cam.h"
#include "vorn_ffmpeglib.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTimer>

namespace {

// The clock shows whole seconds; a few refreshes a second keep it on time
// without waking the GUI every millisecond.
constexpr int kClockRefreshMs = 200;

bool isWritableFolder(const QString& folder)
{
    return QDir().mkpath(folder) && QFileInfo(folder).isWritable();
}

// The program's "Image" folder with a time stamp as the name, as the
// dialogs propose it. The folder is made when missing; where the program's
// folder cannot be written (an installation under a system folder) the
// user's own folder of that kind is proposed instead.
QString proposedFileName(QStandardPaths::StandardLocation fallback)
{
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMddhhmmss"));
    QString folder = QCoreApplication::applicationDirPath() + QStringLiteral("/Image");
    if (!isWritableFolder(folder)) {
        const QString user = QStandardPaths::writableLocation(fallback);
        if (!user.isEmpty() && isWritableFolder(user)) {
            folder = user;
        }
    }
    return folder + QLatin1Char('/') + stamp;
}

QString elapsedClockText(int elapsedMs)
{
    // Time-of-day arithmetic wraps at 24 hours, so a recording across
    // midnight still shows its length.
    return QTime(0, 0, 0, 0).addMSecs(elapsedMs).toString(QStringLiteral("hh:mm:ss"));
}

void notice(const QString& text)
{
    DialogSeam::information(nullptr, QStringLiteral("Notice"), text, QMessageBox::Ok,
                            QMessageBox::NoButton);
}

} // namespace

void Vorn_Cam::bt_shot_Clicked()
{
    if (!captureLib) {
        return;
    }
    QString selectedFilter;
    QString fileName = DialogSeam::getSaveFileName(
        this, tr("Save Picture"), proposedFileName(QStandardPaths::PicturesLocation),
        QString::fromLatin1(kPictureFilter), &selectedFilter);
    if (fileName.isNull()) {
        return;
    }
    fileName = withSuffix(fileName, selectedFilter, QString::fromLatin1(kPictureFilter));
    // The camera's own frame: full resolution, no effects.
    const QImage lastFrame = fullSizePicture();
    if (!lastFrame.isNull() && lastFrame.save(fileName)) {
        notice(QStringLiteral("Photo save successful "));
        qDebug() << "save ok";
        return;
    }
    qWarning() << "snapshot not saved:" << fileName;
    notice(lastFrame.isNull() ? QStringLiteral("No picture from the camera yet, please retry!")
                              : QStringLiteral("Can't save the photo, please check the file name "
                                               "and folder!"));
}

void Vorn_Cam::bt_record_Clicked(bool state)
{
    if (!captureLib) {
        return;
    }
    if (!state) {
        if (recordFileName.isNull()) {
            return;
        }
        qDebug() << "stop recoder...";
        const bool wasRecording = recordTimer != nullptr;
        // The clock goes first: while the file is completed the window's
        // events still run, and none of them is to see a recording left to
        // stop.
        delete recordTimer;
        recordTimer = nullptr;
        const bool completed = captureLib->StopRecord();
        ui->label_recordTime->setText(QString());
        // Without a clock the recording was already ended (and completed)
        // when the camera stopped; there is nothing new to report on.
        if (completed || !wasRecording) {
            notice(QStringLiteral("Video save successful "));
        } else {
            notice(QStringLiteral("The video could not be saved completely, please check the "
                                  "disk!"));
        }
        return;
    }

    qDebug() << "start recoder...";
    QString selectedFilter;
    recordFileName = DialogSeam::getSaveFileName(
        this, tr("Please select video save path"), proposedFileName(QStandardPaths::MoviesLocation),
        QString::fromLatin1(kVideoFilter), &selectedFilter);
    if (recordFileName.isNull()) {
        ui->bt_record->setChecked(false);
        return;
    }
    recordFileName = withSuffix(recordFileName, selectedFilter, QString::fromLatin1(kVideoFilter));
    captureLib->SetRecordFileName(libraryFileName(recordFileName));

    const CameraDevice device = discovery->table().value(currentIndex);
    const QString micName = device.microphone.isNull() ? QString() : device.microphone.deviceName();
    const int micOrdinal = sameNameMicrophoneOrdinal(discovery->table(), currentIndex);
    qDebug() << "mic id = " << micOrdinal;
    // The camera's own microphone by its system id: identical cameras have
    // microphones of one name.
    captureLib->SetCaptureMicrophoneDevice(micName.toUtf8().toStdString(), micOrdinal,
                                           device.microphone.systemId().toUtf8().toStdString());

    if (!captureLib->StartRecord()) {
        notice(QStringLiteral("Can't record, please retry!"));
        // Nothing was recorded: no stored path, so unchecking (which comes
        // back here with false) reports nothing.
        recordFileName = QString();
        ui->bt_record->setChecked(false);
        return;
    }

    recordTimer = new QTimer;
    recordStartTime = QTime::currentTime();
    connect(recordTimer, &QTimer::timeout, this, &Vorn_Cam::updateRecordClock);
    // A full disk ends the recording in the library; the button then stops
    // it here, which tells the user. The timer as context drops the link
    // when this recording ends.
    connect(captureLib, &Vorn_FFmpeglib::recordFailed, recordTimer,
            [this] { ui->bt_record->setChecked(false); });
    recordTimer->start(kClockRefreshMs);
    updateRecordClock();
}

void Vorn_Cam::updateRecordClock()
{
    ui->label_recordTime->setText(elapsedClockText(recordStartTime.msecsTo(QTime::currentTime())));
}
