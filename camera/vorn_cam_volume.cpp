#include "systemvolume.h"
#include "ui_vorn_cam.h"
#include "volumepopup.h"
#include "vorn_cam.h"

#include <QSlider>

namespace {

const char kVolumeStyle[] = "QPushButton{border-image: url(:/UI/Button/volume.png);}"
                            "QPushButton:hover{border-image: url(:/UI/Button/volume-p.png);}"
                            "QPushButton:pressed{border-image: url(:/UI/Button/volume_white.png);}";
const char kVolumeMuteStyle[] = "border-image: url(:/UI/Button/mute.png);";

const char kMicStyle[] =
    "QPushButton{border-image: url(:/UI/Button/microphone.png);}"
    "QPushButton:hover{border-image: url(:/UI/Button/microphone-p.png);}"
    "QPushButton:pressed{border-image: url(:/UI/Button/microphone_white.png);}";
const char kMicMuteStyle[] = "border-image: url(:/UI/Button/mic_mute.png);";

} // namespace

void Vorn_Cam::setupVolumeControls()
{
    speakerPopup = new VolumePopup(
        this, ui->bt_volume, QRect(825, 525, 45, 100), {kVolumeStyle, kVolumeMuteStyle, 30},
        [](float& value, QString* why) { SystemVolume().getSpeakerVolume(value, why); },
        [](float value) { SystemVolume().setSpeakerVolume(value); });
    micPopup = new VolumePopup(
        this, ui->bt_microphone, QRect(898, 525, 45, 100), {kMicStyle, kMicMuteStyle, 16},
        [](float& value, QString* why) { SystemVolume().getMicVolume(value, why); },
        [](float value) { SystemVolume().setMicVolume(value); });
    connect(speakerPopup, &VolumePopup::sliderMoved, this,
            &Vorn_Cam::horizontalSlider_Volume_sliderMoved);
    connect(micPopup, &VolumePopup::sliderMoved, this,
            &Vorn_Cam::horizontalSlider_MicVolume_sliderMoved);
}

void Vorn_Cam::refreshVolumePopup()
{
    speakerPopup->refresh();
}

void Vorn_Cam::refreshMicPopup()
{
    micPopup->refresh();
}

void Vorn_Cam::horizontalSlider_Volume_sliderMoved(int position)
{
    speakerPopup->moveTo(position);
}

void Vorn_Cam::horizontalSlider_MicVolume_sliderMoved(int position)
{
    micPopup->moveTo(position);
}
