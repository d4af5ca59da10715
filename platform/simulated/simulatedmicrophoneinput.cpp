#include "simulatedmicrophoneinput.h"

#include "simulatedcamera.h"
#include "simulatedhub.h"

namespace {

const QString kSimulatedMicSuffix = QStringLiteral(":mic");

} // namespace

SimulatedMicrophoneInput::SimulatedMicrophoneInput(std::shared_ptr<SimulatedCamera> camera,
                                                   double frequency)
    : m_camera(std::move(camera)), m_tone(frequency, kMicrophoneSampleRate, kMicrophoneChannels)
{
}

bool SimulatedMicrophoneInput::read(std::vector<int16_t>& samples, int64_t* firstSampleUs)
{
    const int frames = m_tone.sampleRate() / 50;
    samples.resize(size_t(frames) * size_t(m_tone.channels()));
    if (!m_camera->isPlugged()) {
        samples.clear();
        return false;
    }
    return m_tone.read(samples.data(), frames, firstSampleUs);
}

std::unique_ptr<MicrophoneInput> SimulatedMicrophoneInput::forSystemId(const QString& systemId)
{
    if (!systemId.endsWith(kSimulatedMicSuffix)) {
        return nullptr;
    }
    const QString cameraName = systemId.left(systemId.size() - kSimulatedMicSuffix.size());
    if (auto camera = SimulatedHub::instance().camera(cameraName)) {
        return std::make_unique<SimulatedMicrophoneInput>(camera,
                                                          simulatedToneFrequency(cameraName));
    }
    return nullptr;
}
