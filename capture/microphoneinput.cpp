#include "microphoneinput.h"

#include "devicecatalog.h"
#include "simulatedhub.h"
#include "simulatedmicrophone.h"

#if defined(_WIN32)
#include "dshowmicrophone.h"
#else
#include "pulsemicrophone.h"
#endif

#include <QString>

namespace {

const QString kSimulatedMicSuffix = QStringLiteral(":mic");

// The camera's tone, ending when the camera is unplugged.
class ToneMicrophone : public MicrophoneInput
{
public:
    ToneMicrophone(std::shared_ptr<SimulatedCamera> camera, double frequency)
        : m_camera(std::move(camera)), m_tone(frequency, kMicrophoneSampleRate, kMicrophoneChannels)
    {
    }

    int sampleRate() const override { return m_tone.sampleRate(); }
    int channels() const override { return m_tone.channels(); }

    bool read(std::vector<int16_t>& samples, int64_t* firstSampleUs) override
    {
        // 20 ms blocks, the period a USB audio device typically delivers.
        const int frames = m_tone.sampleRate() / 50;
        samples.resize(size_t(frames) * size_t(m_tone.channels()));
        if (!m_camera->isPlugged()) {
            samples.clear();
            return false;
        }
        return m_tone.read(samples.data(), frames, firstSampleUs);
    }

    void interrupt() override { m_tone.interrupt(); }

private:
    std::shared_ptr<SimulatedCamera> m_camera;
    SimulatedMicrophone m_tone;
};

} // namespace

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
    if (id.endsWith(kSimulatedMicSuffix)) {
        const QString cameraName = id.left(id.size() - kSimulatedMicSuffix.size());
        if (auto camera = SimulatedHub::instance().camera(cameraName)) {
            return std::make_unique<ToneMicrophone>(camera, simulatedToneFrequency(cameraName));
        }
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
