#include "vorn_cam.h"

#include "cameradiscovery.h"
#include "capturemodechooser.h"
#include "devicecatalog.h"
#include "previewpainter.h"
#include "profilekeeper.h"
#include "ptzcontrols.h"
#include "ui_vorn_cam.h"
#include "volumepopup.h"
#include "vorn_cameraproperty.h"
#include "vorn_ffmpeglib.h"
#include "vorn_settingai.h"
#include "vorn_settingaudio.h"
#include "vorn_settingupgrade.h"
#include "vorn_settingvideo.h"
#include "vorn_sharedmemory.h"
#include "windownetwork.h"
#include "windowpresence.h"

#include <QButtonGroup>
#include <QDebug>
#include <QListView>
#include <QMovie>
#include <QTimer>

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
    discovery = new CameraDiscovery(this);
    checkValidCamerasList();

    // Qt::AA_EnableHighDpiScaling is set by the entry point before the
    // application object exists; Qt ignores it afterwards.
    setWindowFlags(windowFlags() & ~Qt::WindowMaximizeButtonHint);
    setFixedSize(size());
    setWindowIcon(QIcon(QStringLiteral(":/UI/Icon/icon_title.png")));
    setWindowTitle(QStringLiteral("Lumora_V1.0.0.1"));

    createPages();
    prepareFrameBuffers();
    createCapture();
    // A snapshot over HTTP of the camera the window previews is the
    // preview's picture: the window holds that camera's stream.
    m_network = new WindowNetwork(this);
    m_network->setFrameSource([this](const QString& device) {
        return captureLib->CaptureIsOpen() && cameraInfo.deviceName() == device ? fullSizePicture()
                                                                                : QImage();
    });
    setUpButtons();
    connectWindow();

    if (discovery->table().size() == 1) {
        cameraInfo = discovery->table().first().camera;
        comboBox_activated(1);
    }
    // The first pass ran before the combo box was connected to discovery;
    // show its result now rather than an empty box for the first second.
    fillCameraComboBox(cameraList);
}

void Vorn_Cam::createPages()
{
    settingGroup = new QButtonGroup(this);
    settingGroup->addButton(ui->bt_video, 0);
    settingGroup->addButton(ui->bt_audio, 1);
    settingGroup->addButton(ui->bt_AI, 2);
    settingGroup->addButton(ui->bt_upgrade, 3);

    // The chosen camera's session, driven on a worker of its own: the pages,
    // the keys and auto framing all reach the camera through it.
    cameraControls = new ControlChannel(cameraProperty, zoomProperty, this);
    settingVideo = new Vorn_SettingVideo(*cameraControls, this);
    settingVideo->connectControls(cameraInfo);
    settingAudio = new Vorn_settingAudio(*cameraControls, this);
    settingAI = new Vorn_settingAI(this);
    ui->settingWidget->addWidget(settingVideo);
    ui->settingWidget->addWidget(settingAudio);
    ui->settingWidget->addWidget(settingAI);
    ui->settingWidget->addWidget(Vorn_settingUpgrade::getInstance());
    profileKeeper = new ProfileKeeper(*cameraControls, settingVideo, settingAudio, this);
    ptzControls = new PtzControls(settingVideo, *cameraControls);
    ptzControls->watchPreview(ui->label_cameraview);
    previewPainter = std::make_unique<PreviewPainter>(ui->label_cameraview, settingAI);
}

void Vorn_Cam::createCapture()
{
    captureLib = new Vorn_FFmpeglib;
    captureLib->SetVideoSize("1280x720");
    // The preview is converted at the label's size; its resizes say when
    // that changes.
    captureLib->SetPreviewSize(ui->label_cameraview->width(), ui->label_cameraview->height());
    ui->label_cameraview->installEventFilter(this);
    connect(captureLib, &Vorn_FFmpeglib::previewBuffer, this, &Vorn_Cam::on_CameraView,
            Qt::DirectConnection);
    connect(captureLib, &Vorn_FFmpeglib::captureStarted, this,
            &Vorn_Cam::captureLib_captureStarted);
    sharedMemory = new Vorn_SharedMemory;
    modeChooser = new CaptureModeChooser(ui->comboBox_mode, ui->comboBox, ui->pushButton_preview,
                                         captureLib, this);

    for (const VideoInputInfo& input : DeviceCatalog::instance().videoInputs()) {
        if (input.description() == virtualCameraName) {
            virtualCameraPresent = true;
        }
    }
    if (virtualCameraPresent) {
        connect(captureLib, &Vorn_FFmpeglib::frameBuffer, sharedMemory,
                &Vorn_SharedMemory::ImageFrame);
    }
}

void Vorn_Cam::setUpButtons()
{
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
    ui->pushButton_register->setChecked(virtualCameraPresent);
}

void Vorn_Cam::connectWindow()
{
    connect(settingGroup, SIGNAL(buttonClicked(int)), this, SLOT(on_ChangeSettingUI(int)));
    connect(ui->pushButton_preview, SIGNAL(toggled(bool)), this,
            SLOT(pushButton_preview_checked(bool)));
    connect(ui->comboBox, SIGNAL(activated(int)), this, SLOT(comboBox_activated(int)));
    connect(discovery, &CameraDiscovery::passDue, this, &Vorn_Cam::pollCameraList);
    discovery->startPolling(1000);
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
}

Vorn_Cam::~Vorn_Cam()
{
    // The servers go before anything their requests read (the preview's
    // picture), as events still run while a recording completes.
    delete m_network;
    m_network = nullptr;
    // The timers stop first: completing a recording lets events run, and
    // none of them is to reach a window being taken apart.
    discovery->stopPolling();
    speakerPopup->stop();
    micPopup->stop();
    if (recordTimer) {
        recordTimer->stop();
        delete recordTimer;
        recordTimer = nullptr;
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
    settingGroup = nullptr;
    settingVideo = nullptr;
    settingAudio = nullptr;
    settingAI = nullptr;
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
    VideoInputList found = discovery->refresh();
    reselectOpenCamera();
    emit checkValidCameraList(found);

    const bool countChanged = found.size() != cameraList.size();
    if (countChanged) {
        emit cameraListChange();
    }
    // The open camera is released as soon as it is gone, also when another
    // one arrived in the same second and the count stayed the same.
    if ((countChanged || currentIndex > 0) && !discovery->holds(cameraInfo)) {
        comboBox_activated(0);
    }
    cameraList = found;
}

void Vorn_Cam::reselectOpenCamera()
{
    // When a camera listed before the open one goes, the open one moves up:
    // follow it, so the combo box and the microphone lookup keep naming it.
    if (currentIndex <= 0 || cameraInfo.isNull()) {
        return;
    }
    const int key = discovery->keyOf(cameraInfo);
    if (key >= 0 && key != currentIndex) {
        // Whatever is addressed by position (the firmware upgrade) must
        // follow the camera too.
        currentIndex = key;
        const CameraDevice device = discovery->table().value(key);
        announceCamera(device.deviceId, device.camera);
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
        discovery->table().value(currentIndex).camera == cameraInfo) {
        ui->comboBox->setItemText(currentIndex, ui->comboBox->itemText(currentIndex) +
                                                    QStringLiteral(" connected"));
    }
}

void Vorn_Cam::on_CameraListChange()
{
    if (!captureOn && discovery->table().size() == 1) {
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
        const CameraDevice device = discovery->table().value(index);
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
    const CameraDevice device = discovery->table().value(key);
    const int ordinal = sameNameCameraOrdinal(discovery->table(), key);
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
