#include "simulatedsource.h"

#include "simulatedcamera.h"
#include "simulatedvideostream.h"

#include <cmath>

extern "C" {
#include <libavcodec/avcodec.h>
}

SimulatedSource::SimulatedSource(std::shared_ptr<SimulatedCamera> camera)
    : m_camera(std::move(camera)), m_stream(std::make_unique<SimulatedVideoStream>(m_camera)),
      m_parameters(avcodec_parameters_alloc())
{
}

SimulatedSource::~SimulatedSource()
{
    m_stream->close();
    avcodec_parameters_free(&m_parameters);
}

bool SimulatedSource::open(const CaptureMode& wanted)
{
    const QList<CaptureMode> modes = m_camera->modes();
    CaptureMode mode = CaptureMode::find(modes, wanted);
    if (mode.isNull()) {
        mode = CaptureMode::nearest(modes, wanted);
    }
    if (!m_parameters ||
        !m_stream->open(mode.width(), mode.height(), int(std::lround(mode.fps())))) {
        return false;
    }
    m_parameters->codec_type = AVMEDIA_TYPE_VIDEO;
    m_parameters->codec_id = AV_CODEC_ID_MJPEG;
    m_parameters->width = m_stream->width();
    m_parameters->height = m_stream->height();
    m_parameters->format = AV_PIX_FMT_YUVJ420P;
    m_parameters->color_range = AVCOL_RANGE_JPEG;
    return true;
}

FrameSource::ReadResult SimulatedSource::read(AVPacket* packet)
{
    switch (m_stream->read(packet)) {
    case SimulatedVideoStream::ReadResult::Frame:
        // The stream numbers its pictures; drawn on demand, each is
        // captured as it is read, which the capture dates it by.
        packet->pts = packet->dts = AV_NOPTS_VALUE;
        return ReadResult::Packet;
    case SimulatedVideoStream::ReadResult::Ended:
    case SimulatedVideoStream::ReadResult::Interrupted:
        break;
    }
    return ReadResult::Ended;
}

void SimulatedSource::interrupt()
{
    m_stream->interrupt();
}

const AVCodecParameters* SimulatedSource::codecParameters() const
{
    return m_stream->isOpen() ? m_parameters : nullptr;
}

double SimulatedSource::frameRate() const
{
    return m_stream->fps();
}

QString SimulatedSource::describe() const
{
    return m_camera->deviceName();
}
