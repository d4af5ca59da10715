#pragma once

#include "sharedframereader.h"
#include "yuvconversion.h"

#include <QByteArray>

#include <csignal>

class FrameSink;

struct FeederOptions
{
    YuvConversion::Format format = YuvConversion::Format::Yuyv;
    int framesPerSecond = 30;
    // -1: until stopped.
    qint64 frameCount = -1;
    // A record missed for a moment (the reader lets go of the segment just
    // as Lumora re-attaches to it, and Lumora creates it anew) repeats the
    // last frame for this long before the placeholder shows.
    int holdMilliseconds = 500;
    // The reader's check for a gone Lumora, see SharedFrameReader::read().
    int reattachIntervalMs = 1000;
};

// Turns the shared frame record into the virtual camera's picture at a
// steady rate: every tick one frame goes out, the latest record's picture
// or, while there is none, the placeholder.
class VcamFeeder
{
public:
    VcamFeeder(SharedFrameReader& reader, FrameSink& sink, const FeederOptions& options);

    // Until stop is set, the frame count is reached or the sink fails;
    // false when the sink failed.
    bool run(const volatile std::sig_atomic_t& stop);

    // The frame for a tick at monotonic time nowMs.
    const QByteArray& frameAt(qint64 nowMs);

private:
    void reportChange(SharedFrameReader::Result result);

    SharedFrameReader& m_reader;
    FrameSink& m_sink;
    FeederOptions m_options;
    QByteArray m_pixels;
    QByteArray m_frame;
    QByteArray m_placeholder;
    qint64 m_lastFrameMs = -1;
    bool m_haveFrame = false;
    SharedFrameReader::Result m_lastResult = SharedFrameReader::Result::Frame;
    FrameRecord::Status m_lastStatus = FrameRecord::Status::Valid;
    bool m_reported = false;
};
