#include "microphoneinput.h"

#include "devicecatalog.h"
#include "simulatedmicrophoneinput.h"

#if defined(_WIN32)
#include "dshowmicrophone.h"
#else
#include "pulsemicrophone.h"
#endif

#include <QString>

std::unique_ptr<MicrophoneInput> openMicrophone(const std::string& name, int ordinal,
                                                std::string* error, const std::string& systemId)
{
    const QString wanted = QString::fromStdString(name);
#if defined(_WIN32)
    const QString wantedId;
#else
    const QString wantedId = QString::fromStdString(systemId);
#endif
    int seen = 0;
    AudioInputInfo chosen;
    for (const AudioInputInfo& input : DeviceCatalog::instance().audioInputs()) {
        if (!wantedId.isEmpty()) {
            if (input.systemId() == wantedId) {
                chosen = input;
                break;
            }
        } else if (input.deviceName() == wanted) {
            if (seen == ordinal) {
                chosen = input;
                break;
            }
            ++seen;
        }
    }
    if (chosen.isNull()) {
        *error = wantedId.isEmpty() ? "no audio input named \"" + name + "\" with ordinal " +
                                          std::to_string(ordinal)
                                    : "the audio input " + systemId + " is no longer listed";
        return nullptr;
    }
    const QString id = chosen.systemId();
    if (auto simulated = SimulatedMicrophoneInput::forSystemId(id)) {
        return simulated;
    }
#if defined(_WIN32)
    // dshow names audio inputs as the catalog does; the ordinal tells
    // inputs of one name apart.
    auto microphone = std::make_unique<DshowMicrophone>();
    if (!microphone->open(name, ordinal, error)) {
        return nullptr;
    }
#else
    auto microphone = std::make_unique<PulseMicrophone>();
    if (!microphone->open(id.toStdString(), error)) {
        return nullptr;
    }
#endif
    return microphone;
}
