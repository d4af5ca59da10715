#include "vorn_settingaudio.h"

#include "controlcatalogue.h"
#include "controlchannel.h"
#include "controlrequest.h"
#include "dialogseam.h"
#include "propertytransport.h"
#include "ui_vorn_settingaudio.h"
#include "vorn_cameraproperty.h"

namespace {

const QString kActiveLabel = QStringLiteral("color: rgb(255, 255, 255);\n"
                                            "font: 16px \"Brandon Text Medium\";\n"
                                            "border: none;\n"
                                            "background: transparent;");
const QString kInactiveLabel = QStringLiteral("color: grey;\n"
                                              "font: 16px \"Brandon Text Medium\";\n"
                                              "border: none;\n"
                                              "background: transparent;");

// A switch shows on only for a byte the camera really returned as 1: a
// failed read (no camera bound yet) shows off rather than a stale state.
bool switchState(Vorn_CameraProperty& property, const char* name)
{
    int on = 0;
    return ControlRequest::read(property, ControlCatalogue::get(name), &on) && on == 1;
}

} // namespace

Vorn_settingAudio::Vorn_settingAudio(ControlChannel& controls, QWidget* parent)
    : QWidget(parent), m_controls(controls), ui(new Ui::Vorn_settingAudio)
{
    ui->setupUi(this);
    captureState(captureOn);
    loadAudioState();
    connect(ui->pushButton_Audio, &QPushButton::clicked, this,
            &Vorn_settingAudio::pushButton_Audio_Checked);
    connect(ui->pushButton_Audio_Algo, &QPushButton::clicked, this,
            &Vorn_settingAudio::pushButton_Audio_Algo_Checked);
}

Vorn_settingAudio::~Vorn_settingAudio()
{
    delete ui;
}

void Vorn_settingAudio::sendSwitch(const char* name, bool on)
{
    const ControlDescriptor* control = &ControlCatalogue::get(name);
    m_controls.post([control, on](ControlWorker& worker) {
        ControlRequest::write(worker.main(), *control, on ? 1 : 0);
    });
}

void Vorn_settingAudio::loadAudioState()
{
    const auto read = [](ControlWorker& worker) {
        return qMakePair(switchState(worker.main(), "audio"),
                         switchState(worker.main(), "audio-algo"));
    };
    // setChecked does not emit clicked: reading never writes back.
    m_controls.ask(this, read, [this](const QPair<bool, bool>& on) {
        ui->pushButton_Audio->setChecked(on.first);
        ui->pushButton_Audio_Algo->setChecked(on.second);
    });
}

void Vorn_settingAudio::setLabelsLook(bool active)
{
    const QString& look = active ? kActiveLabel : kInactiveLabel;
    ui->label_Audio->setStyleSheet(look);
    ui->label_Audio_Algo->setStyleSheet(look);
}

void Vorn_settingAudio::captureState(bool state)
{
    captureOn = state;
    setLabelsLook(state);
    ui->pushButton_Audio->setEnabled(state);
    ui->pushButton_Audio_Algo->setEnabled(state);
    if (!state) {
        ui->pushButton_Audio->setChecked(false);
        ui->pushButton_Audio_Algo->setChecked(false);
    }
}

void Vorn_settingAudio::pushButton_Audio_Checked(bool check)
{
    const QString question = QStringLiteral("Reboot to ") +
                             (check ? QStringLiteral("turn on") : QStringLiteral("turn off")) +
                             QStringLiteral(" Audio?");
    const QMessageBox::StandardButton answer =
        DialogSeam::information(nullptr, QStringLiteral("Notice"), question,
                                QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
    if (answer == QMessageBox::No) {
        ui->pushButton_Audio->setChecked(!check);
        return;
    }
    // The camera restarts on this write: the window lets go of it first.
    emit audioReboot();
    sendSwitch("audio", check);
}

void Vorn_settingAudio::pushButton_Audio_Algo_Checked(bool check)
{
    sendSwitch("audio-algo", check);
}
