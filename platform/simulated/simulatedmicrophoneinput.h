#pragma once

#include "microphoneinput.h"
#include "simulatedmicrophone.h"

#include <memory>

class SimulatedCamera;

// A simulated camera's microphone: the camera's own tone, in the 20 ms
// blocks a USB audio device typically delivers, ending when the camera is
// unplugged.
class SimulatedMicrophoneInput : public MicrophoneInput
{
public:
    SimulatedMicrophoneInput(std::shared_ptr<SimulatedCamera> camera, double frequency);

    int sampleRate() const override { return m_tone.sampleRate(); }
    int channels() const override { return m_tone.channels(); }
    bool read(std::vector<int16_t>& samples, int64_t* firstSampleUs) override;
    void interrupt() override { m_tone.interrupt(); }

    // The input for a catalog entry's system id when it names a simulated
    // camera's microphone that is plugged in; null otherwise.
    static std::unique_ptr<MicrophoneInput> forSystemId(const QString& systemId);

private:
    std::shared_ptr<SimulatedCamera> m_camera;
    SimulatedMicrophone m_tone;
};
