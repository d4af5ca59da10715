#pragma once

#include "framesource.h"

#include <memory>

class SimulatedCamera;
class SimulatedVideoStream;

// A simulated camera's MJPEG stream, read like a V4L2 node's: the capture
// worker decodes it with the same decoder a USB camera's pictures get.
class SimulatedSource : public FrameSource
{
public:
    explicit SimulatedSource(std::shared_ptr<SimulatedCamera> camera);
    ~SimulatedSource() override;

    // In the camera's mode that satisfies the request, else its nearest.
    bool open(const CaptureMode& wanted) override;
    ReadResult read(AVPacket* packet) override;
    void interrupt() override;
    const AVCodecParameters* codecParameters() const override;
    double frameRate() const override;
    QString describe() const override;

private:
    std::shared_ptr<SimulatedCamera> m_camera;
    std::unique_ptr<SimulatedVideoStream> m_stream;
    AVCodecParameters* m_parameters = nullptr;
};
