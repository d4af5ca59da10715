#include "vorn_cam.h"

#include "capturemodechooser.h"
#include "devicecatalog.h"
#include "dialogseam.h"
#include "framescaler.h"
#include "framingengine.h"
#include "profilekeeper.h"
#include "ptzcontrols.h"
#include "rgbframe.h"
#include "ui_vorn_cam.h"
#include "vorn_ffmpeglib.h"
#include "vorn_settingai.h"
#include "vorn_settingaudio.h"
#include "vorn_settingupgrade.h"
#include "vorn_settingvideo.h"
#include "vorn_sharedmemory.h"
#include "windowpresence.h"

#include <QButtonGroup>
#include <QDebug>
#include <QListView>
#include <QMovie>
#include <QPainter>
#include <QPixmap>
#include <QSlider>
#include <QTimer>

#include <cstring>
#include <utility>

namespace {

const char kComboBoxStyle[] =
    "QComboBox{color:#F0F0F0; font: 12px \"Arial\"; padding: 1px 15px 1px 3px;"
    " background-color: rgb(29, 29, 29); border: 1px solid rgb(60, 60, 60);"
    " border-radius: 3px;}"
    "QComboBox::drop-down{subcontrol-origin: padding; subcontrol-position: top right;"
    " width: 15px; border: none;}"
    "QComboBox::down-arrow{image: url(:/UI/Combox/cbxdown.png);}"
    "QComboBox QAbstractItemView{background:rgba(255,255,255,1); border: none; outline: 1px;}"
    "QComboBox QAbstractItemView::item{height: 32px; color:#F0F0F0; background-color:#1D1D1D;"
    " image: url(:/UI/Combox/cbxrowpic.png); image-position: right;}"
    "QComboBox QAbstractItemView::item:hover{color:#F0F0F0; background-color:#1D1D1D;}"
    "QComboBox QAbstractItemView::item:selected{color:#F0F0F0; background-color:#1D1D1D;}";

const QString kInUseStyle =
    QStringLiteral("color: rgb(255, 255, 255);font: 20px \"Brandon Grotesque Regular\";");

// The size asked of the capture library.
const QSize kCaptureSize(1280, 720);
const QSize kPreviewSize(800, 530);

bool tableHoldsCamera(const CameraTable& table, const VideoInputInfo& camera)
{
    for (const CameraDevice& device : table) {
        if (device.camera == camera) {
            return true;
        }
    }
    return false;
}

} // namespace

Vorn_Cam::Vorn_Cam(QWidget* parent) : QMainWindow(parent), ui(new Ui::Vorn_Cam)
{
    ui->setupUi(this);
    // The window applies its camera's profile itself: a running agent
    // leaves that camera alone until the window lets it go.
    connect(this, &Vorn_Cam::cameraIdentity, new WindowPresence(this),
            &WindowPresence::setOpenCamera);
    // The preview label is hidden while the preview is off; its place stays
    // black instead of the whole window closing up around it and the media
    // bar jumping under the user's mouse.
    QSizePolicy previewPolicy = ui->label_cameraview->sizePolicy();
    previewPolicy.setRetainSizeWhenHidden(true);
    ui->label_cameraview->setSizePolicy(previewPolicy);

    // First discovery pass: nothing is connected yet, so it only fills the
    // camera table.
    checkValidCamerasList();
    prepareFrameBuffers();

    // Qt::AA_EnableHighDpiScaling is set by the entry point before the
    // application object exists; Qt ignores it afterwards.
    setWindowFlags(windowFlags() & ~Qt::WindowMaximizeButtonHint);
    setFixedSize(size());
    setWindowIcon(QIcon(QStringLiteral(":/UI/Icon/icon_title.png")));
    setWindowTitle(QStringLiteral("Lumora_V1.0.0.1"));

    settingGroup = new QButtonGroup(this);
    settingGroup->addButton(ui->bt_video, 0);
    settingGroup->addButton(ui->bt_audio, 1);
    settingGroup->addButton(ui->bt_AI, 2);
    settingGroup->addButton(ui->bt_upgrade, 3);

    settingVideo = new Vorn_SettingVideo(this);
    settingVideo->connectControls(cameraInfo);
    settingAudio = new Vorn_settingAudio(this);
    settingAI = new Vorn_settingAI(this);
    ui->settingWidget->addWidget(settingVideo);
    ui->settingWidget->addWidget(settingAudio);
    ui->settingWidget->addWidget(settingAI);
    ui->settingWidget->addWidget(Vorn_settingUpgrade::getInstance());
    profileKeeper = new ProfileKeeper(settingVideo, settingAudio, this);
    ptzControls = new PtzControls(settingVideo, settingVideo->cameraMover());
    ptzControls->watchPreview(ui->label_cameraview);

    captureLib = new Vorn_FFmpeglib;
    captureLib->SetVideoSize("1280x720");
    connect(captureLib, &Vorn_FFmpeglib::frameBuffer, this, &Vorn_Cam::on_CameraView,
            Qt::DirectConnection);
    connect(captureLib, &Vorn_FFmpeglib::captureStarted, this,
            &Vorn_Cam::captureLib_captureStarted);
    sharedMemory = new Vorn_SharedMemory;
    modeChooser = new CaptureModeChooser(ui->comboBox_mode, ui->comboBox, ui->pushButton_preview,
                                         captureLib, this);

    ui->bt_video->setChecked(true);
    ui->pushButton_preview->setCheckable(true);
    ui->bt_volume->setCheckable(true);
    ui->bt_microphone->setCheckable(true);
    ui->bt_record->setCheckable(true);
    ui->pushButton_register->setCheckable(true);
    ui->pushButton_preview->hide();
    ui->label_PreView->hide();
    ui->pushButton_register->hide();
    ui->label_register->hide();

    styleComboBox();
    ui->label_check_for_new_firmware->hide();
    ui->label_version->setText(QString());
    ui->label_recordTime->setText(QString());

    setupVolumeControls();
    captureState(captureOn);
    loadingMovie = new QMovie(QStringLiteral(":/UI/Icon/load.gif"));

    for (const VideoInputInfo& input : DeviceCatalog::instance().videoInputs()) {
        if (input.description() == virtualCameraName) {
            virtualCameraPresent = true;
        }
    }
    ui->pushButton_register->setChecked(virtualCameraPresent);
    if (virtualCameraPresent) {
        connect(captureLib, &Vorn_FFmpeglib::frameBuffer, sharedMemory,
                &Vorn_SharedMemory::ImageFrame);
    }

    connect(settingGroup, SIGNAL(buttonClicked(int)), this, SLOT(on_ChangeSettingUI(int)));
    connect(ui->pushButton_preview, SIGNAL(toggled(bool)), this,
            SLOT(pushButton_preview_checked(bool)));
    connect(ui->comboBox, SIGNAL(activated(int)), this, SLOT(comboBox_activated(int)));
    cameraListTimer = new QTimer(this);
    connect(cameraListTimer, &QTimer::timeout, this, &Vorn_Cam::pollCameraList);
    cameraListTimer->start(1000);
    connect(this, &Vorn_Cam::cameraListChange, this, &Vorn_Cam::on_CameraListChange);
    connect(this, &Vorn_Cam::checkValidCameraList, this, &Vorn_Cam::fillCameraComboBox);
    connect(settingVideo, &Vorn_SettingVideo::versionInfo, this,
            &Vorn_Cam::label_version_TextChange);
    connect(settingVideo, &Vorn_SettingVideo::checkUpStatus, this,
            &Vorn_Cam::label_check_for_new_firmware_Change);
    connect(ui->bt_shot, &QPushButton::clicked, this, &Vorn_Cam::bt_shot_Clicked);
    connect(ui->bt_record, &QPushButton::toggled, this, &Vorn_Cam::bt_record_Clicked);
    Vorn_settingUpgrade* upgradePage = Vorn_settingUpgrade::getInstance();
    connect(upgradePage, &Vorn_settingUpgrade::disConnectDevice, this, &Vorn_Cam::closeCamera);
    connect(this, &Vorn_Cam::cameraId, upgradePage, &Vorn_settingUpgrade::onCameraIDChange);
    connect(this, &Vorn_Cam::cameraIdentity, upgradePage,
            &Vorn_settingUpgrade::onCameraIdentityChange);
    connect(settingAudio, &Vorn_settingAudio::audioReboot, this, &Vorn_Cam::closeCamera);
    connect(this, &Vorn_Cam::signalReboot, settingVideo, &Vorn_SettingVideo::captureState);
    connect(this, &Vorn_Cam::signalReboot, settingAudio, &Vorn_settingAudio::captureState);
    connect(this, &Vorn_Cam::signalReboot, upgradePage, &Vorn_settingUpgrade::captureState);
    connect(this, &Vorn_Cam::signalReboot, this, &Vorn_Cam::captureState);
    connect(this, &Vorn_Cam::signalReboot, ptzControls, &PtzControls::setActive);
    connect(this, &Vorn_Cam::signalReboot, modeChooser, &CaptureModeChooser::setActive);
    connect(ui->bt_record, &QPushButton::toggled, modeChooser, &CaptureModeChooser::setRecording);
    // A factory reset forgets the presets; every reading shows what is kept.
    connect(settingVideo, &Vorn_SettingVideo::checkUpStatus, ptzControls, &PtzControls::refresh);
    connect(ui->pushButton_register, &QPushButton::toggled, this,
            &Vorn_Cam::pushButton_register_checked);

    if (cameraTable.size() == 1) {
        cameraInfo = cameraTable.first().camera;
        comboBox_activated(1);
    }
    // The first pass ran before the combo box was connected to discovery;
    // show its result now rather than an empty box for the first second.
    fillCameraComboBox(cameraList);
}

Vorn_Cam::~Vorn_Cam()
{
    // The timers stop first: completing a recording lets events run, and
    // none of them is to reach a window being taken apart.
    for (QTimer** timer : {&cameraListTimer, &volumeHideTimer, &micHideTimer, &recordTimer}) {
        if (*timer) {
            (*timer)->stop();
            delete *timer;
            *timer = nullptr;
        }
    }
    if (captureLib) {
        // A recording is completed before its frames stop coming.
        if (captureLib->CaptureIsOpen()) {
            captureLib->StopRecord();
        }
        captureLib->StopCapture();
        delete captureLib;
        captureLib = nullptr;
    }
    delete loadingMovie;
    loadingMovie = nullptr;
    delete sharedMemory;
    sharedMemory = nullptr;
    delete settingGroup;
    delete settingVideo;
    delete settingAudio;
    delete settingAI;
    delete volumeSlider;
    settingGroup = nullptr;
    settingVideo = nullptr;
    settingAudio = nullptr;
    settingAI = nullptr;
    volumeSlider = nullptr;
    delete ui;
}

void Vorn_Cam::styleComboBox()
{
    ui->comboBox->setView(new QListView(ui->comboBox));
    ui->comboBox->setStyleSheet(QString::fromLatin1(kComboBoxStyle));
    ui->comboBox_mode->setView(new QListView(ui->comboBox_mode));
    ui->comboBox_mode->setStyleSheet(QString::fromLatin1(kComboBoxStyle));
}

// ---------------------------------------------------------------------------
// Discovery and selection

void Vorn_Cam::checkValidCamerasList()
{
    DeviceCatalog& catalog = DeviceCatalog::instance();
    const VideoInputList videoInputs = catalog.videoInputs();
    const AudioInputList audioInputs = catalog.audioInputs();

    cameraTable = buildCameraTable(videoInputs, audioInputs);
    VideoInputList found;
    for (const CameraDevice& device : cameraTable) {
        found.append(device.camera);
    }

    reselectOpenCamera();
    emit checkValidCameraList(found);

    const bool countChanged = found.size() != cameraList.size();
    if (countChanged) {
        emit cameraListChange();
    }
    // The open camera is released as soon as it is gone, also when another
    // one arrived in the same second and the count stayed the same.
    if ((countChanged || currentIndex > 0) && !tableHoldsCamera(cameraTable, cameraInfo)) {
        comboBox_activated(0);
    }
    cameraList = found;

    if (cameraTable.isEmpty()) {
        qDebug() << "no device find....";
    }
    reportInaccessibleCameras(catalog.inaccessibleVideoInputs());
}

void Vorn_Cam::reportInaccessibleCameras(const QStringList& nodes)
{
    // Without this the user reads "No camera selected" with a camera in
    // plain sight. Told once per node; a node made accessible is forgotten.
    QStringList fresh;
    for (const QString& node : nodes) {
        if (!reportedInaccessible.contains(node)) {
            fresh.append(node);
        }
    }
    reportedInaccessible = nodes;
    if (fresh.isEmpty()) {
        return;
    }
    const QString text = inaccessibleCamerasNotice(fresh);
    qWarning().noquote() << text;
    // Not inside the discovery pass: the box's own event loop runs passes.
    QTimer::singleShot(0, this, [text] {
        DialogSeam::information(nullptr, QStringLiteral("Notice"), text, QMessageBox::Ok);
    });
}

void Vorn_Cam::reselectOpenCamera()
{
    // When a camera listed before the open one goes, the open one moves up:
    // follow it, so the combo box and the microphone lookup keep naming it.
    if (currentIndex <= 0 || cameraInfo.isNull()) {
        return;
    }
    for (auto it = cameraTable.cbegin(); it != cameraTable.cend(); ++it) {
        if (it.value().camera == cameraInfo) {
            if (it.key() != currentIndex) {
                // Whatever is addressed by position (the firmware upgrade)
                // must follow the camera too.
                currentIndex = it.key();
                announceCamera(it.value().deviceId, it.value().camera);
            }
            return;
        }
    }
}

void Vorn_Cam::announceCamera(int deviceId, const VideoInputInfo& camera)
{
    emit cameraId(deviceId);
    emit cameraIdentity(camera);
}

void Vorn_Cam::pollCameraList()
{
    checkValidCamerasList();
}

void Vorn_Cam::fillCameraComboBox(VideoInputList& listCamera)
{
    ui->comboBox->clear();
    ui->comboBox->addItem(QStringLiteral("No camera selected"));
    for (const VideoInputInfo& camera : listCamera) {
        ui->comboBox->addItem(camera.description());
    }
    ui->comboBox->setCurrentIndex(currentIndex);
    // Only the camera that is really open is marked; a vanished one is
    // released right after this pass has rebuilt the list.
    if (currentIndex > 0 && currentIndex < ui->comboBox->count() &&
        cameraTable.value(currentIndex).camera == cameraInfo) {
        ui->comboBox->setItemText(currentIndex, ui->comboBox->itemText(currentIndex) +
                                                    QStringLiteral(" connected"));
    }
}

void Vorn_Cam::on_CameraListChange()
{
    if (!captureOn && cameraTable.size() == 1) {
        comboBox_activated(1);
    }
}

void Vorn_Cam::comboBox_activated(int index)
{
    showFramesInPreview(false);
    ui->label_cameraview->clear();
    if (index == currentIndex) {
        return;
    }
    currentIndex = index;
    if (index != 0) {
        const CameraDevice device = cameraTable.value(index);
        qDebug() << "\033[32m camera: " << device.camera.description() << "\033[m";
        qDebug() << "\033[32m cameraid: " << device.cameraIndex << "\033[m";
        if (captureLib) {
            announceCamera(device.deviceId, device.camera);
            openCamera(index);
        }
        return;
    }
    if (captureLib) {
        captureLib->StopCapture();
    }
    ui->bt_microphone->setStyleSheet(
        QStringLiteral("border-image: url(:/UI/Button/mic_mute.png);"));
    ui->bt_volume->setStyleSheet(QStringLiteral("border-image: url(:/UI/Button/mute.png);"));
    ui->comboBox->setCurrentIndex(0);
    ui->label_cameraview->clear();
    ui->pushButton_preview->setChecked(false);
    ui->pushButton_preview->hide();
    ui->label_PreView->hide();
    currentIndex = 0;
    emit signalReboot(false);
    announceCamera(-1, VideoInputInfo());
}

void Vorn_Cam::openCamera(int key)
{
    if (!captureLib) {
        return;
    }
    const CameraDevice device = cameraTable.value(key);
    const int ordinal = sameNameCameraOrdinal(cameraTable, key);
    qDebug() << "open camera name: " << device.camera.description() << " id: " << ordinal;
    qDebug() << "microphone name: " << device.microphone.deviceName() << " id: " << ordinal;
    // By device path, as the controls reach it: the description and ordinal
    // name another camera as soon as an identical one before it leaves.
    captureLib->SetCaptureDevice(device.camera.deviceName().toUtf8().toStdString());
    cameraInfo = device.camera;
    modeChooser->setCamera(cameraInfo);

    settingVideo->setCameraInfo(cameraInfo);
    settingVideo->captureState(true);
    profileKeeper->cameraOpened(cameraInfo);
    settingVideo->openDevice();
    settingAudio->loadAudioState();
    ptzControls->setCamera(cameraInfo);

    ui->pushButton_preview->show();
    ui->label_PreView->show();
    ui->pushButton_preview->setChecked(false);
    ui->label_register->show();
    ui->pushButton_register->show();
    emit signalReboot(true);
    const bool resume = !resumePreviewOf.isEmpty() && resumePreviewOf == cameraInfo.description();
    resumePreviewOf.clear();
    if (resume) {
        ui->pushButton_preview->setChecked(true);
    }
}

// ---------------------------------------------------------------------------
// Preview

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
    for (QImage& buffer : previewBuffers) {
        buffer = QImage(kPreviewSize, QImage::Format_RGB32);
        buffer.fill(Qt::black);
    }
}

// A buffer of the format that no pixmap shares any more; else a new one, in
// place of an unshared buffer of the other format or, when both are still
// shared, of each in turn.
QImage& Vorn_Cam::previewBuffer(QImage::Format format)
{
    QImage* unshared = nullptr;
    for (QImage& buffer : previewBuffers) {
        if (buffer.isNull() || buffer.isDetached()) {
            if (buffer.format() == format) {
                return buffer;
            }
            unshared = &buffer;
        }
    }
    if (!unshared) {
        replacedPreviewBuffer = 1 - replacedPreviewBuffer;
        unshared = &previewBuffers[size_t(replacedPreviewBuffer)];
    }
    *unshared = QImage(kPreviewSize, format);
    return *unshared;
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
    settingVideo->framingEngine()->offerFrame(frame);
    QImage& preview = previewOf(frame);
    if (settingVideo->framingOverlayShown()) {
        drawFramingOverlay(preview, fittedRect(frame.size(), preview.size()));
    }
    showFramesInPreview(true);
    ui->label_cameraview->setPixmap(QPixmap::fromImage(preview));
}

void Vorn_Cam::showFramesInPreview(bool frames)
{
    // Frames fill the label edge to edge: marked opaque, it is repainted
    // alone, without first painting every widget behind it. Anything else
    // it shows (the loading animation, the in-use picture, nothing) lets
    // the window show through.
    QLabel* label = ui->label_cameraview;
    if (label->testAttribute(Qt::WA_OpaquePaintEvent) != frames) {
        label->setAttribute(Qt::WA_OpaquePaintEvent, frames);
    }
}

// On the preview only: recordings and the shared frame never carry it.
void Vorn_Cam::drawFramingOverlay(QImage& preview, const QRect& area)
{
    const FramingEngine* engine = settingVideo->framingEngine();
    const auto toArea = [&area](const QRectF& r) {
        return QRectF(area.x() + r.x() * area.width(), area.y() + r.y() * area.height(),
                      r.width() * area.width(), r.height() * area.height());
    };
    QPainter painter(&preview);
    painter.setClipRect(area);
    painter.setPen(QPen(QColor(80, 220, 120), 2));
    for (const QRectF& face : engine->faces()) {
        painter.drawRect(toArea(face));
    }
    const QRectF target = engine->target();
    if (!target.isEmpty()) {
        painter.setPen(QPen(QColor(233, 143, 53), 2, Qt::DashLine));
        painter.drawRect(toArea(target));
    }
}

QImage& Vorn_Cam::previewOf(const QImage& frame)
{
    // Shown whole and undistorted, with black bars; the effects see the
    // picture alone, so that a tone or blur never tints or smears the bars.
    // Without effects the picture is scaled straight into the screen's
    // format, which the pixmap then takes over without a conversion.
    if (!settingAI->anyEffectOn()) {
        QImage& preview = previewBuffer(QImage::Format_RGB32);
        scaleFittedInto(frame, preview);
        return preview;
    }
    QImage& preview = previewBuffer(QImage::Format_RGB888);
    scaleFittedInto(frame, preview);
    const QRect area = fittedRect(frame.size(), preview.size());
    uchar* first = preview.scanLine(area.y()) + area.x() * 3;
    QImage picture(first, area.width(), area.height(), preview.bytesPerLine(),
                   QImage::Format_RGB888);
    settingAI->applyEffects(picture);
    // The filters write their result into buffers of their own.
    if (picture.constBits() != first) {
        const size_t rowBytes = size_t(area.width()) * 3;
        for (int y = 0; y < area.height(); ++y) {
            std::memcpy(preview.scanLine(area.y() + y) + area.x() * 3, picture.constScanLine(y),
                        rowBytes);
        }
    }
    return preview;
}

void Vorn_Cam::captureState(bool state)
{
    captureOn = state;
    if (!state) {
        ui->bt_volume->setEnabled(false);
        ui->bt_microphone->setEnabled(false);
        ui->bt_shot->setEnabled(false);
        ui->bt_record->setEnabled(false);
        ui->label_PreView->hide();
        ui->pushButton_preview->setChecked(false);
        ui->pushButton_preview->hide();
        ui->label_version->hide();
        ui->pushButton_register->hide();
        ui->label_register->hide();
        ui->comboBox->setCurrentIndex(0);
        currentIndex = 0;
        return;
    }
    ui->label_version->show();
    ui->label_PreView->show();
    ui->pushButton_preview->show();
    ui->pushButton_register->show();
    ui->label_register->show();
    refreshMicPopup();
    refreshVolumePopup();
}

void Vorn_Cam::closeCamera()
{
    // The camera is let go for a restart (firmware, audio function); when
    // it comes back it is to show what it showed before.
    resumePreviewOf = ui->pushButton_preview->isChecked() ? cameraInfo.description() : QString();
    if (captureLib) {
        captureLib->StopCapture();
    }
    showFramesInPreview(false);
    ui->label_cameraview->clear();
    ui->pushButton_preview->hide();
    ui->label_PreView->hide();
    ui->comboBox->setCurrentIndex(0);
    currentIndex = 0;
    emit signalReboot(false);
}

void Vorn_Cam::on_ChangeSettingUI(int id)
{
    ui->settingWidget->setCurrentIndex(id);
}

void Vorn_Cam::label_version_TextChange(QString info)
{
    qDebug() << "label_version_TextChange: " << info;
    ui->label_version->show();
    ui->label_version->setText(info);
}

void Vorn_Cam::label_check_for_new_firmware_Change(bool)
{
    // The update link stays hidden: there is no update service to ask.
}
