#pragma once

#include <QImage>
#include <QString>

#include <cstdint>
#include <functional>

struct AVFrame;

// Pushes changing 1280 x 720 frames (yuvj422p, as the MJPEG decoder gives
// them) at 30 fps for `seconds`, stamped on the capture worker's clock, as
// long as push returns true. Returns how many were pushed.
int pushFrames(double seconds, const std::function<bool(const AVFrame*, int64_t)>& push);

struct StreamFacts
{
    QString codec;
    int width = 0, height = 0, sampleRate = 0;
    double start = 0.0;    // seconds, as all times here
    double duration = 0.0; // to the end of the last packet
    double last = 0.0;     // where the last packet is shown
};

struct FileFacts
{
    bool opened = false;
    QString error;
    int videoStreams = 0, audioStreams = 0;
    StreamFacts video, audio;
    int decodeErrors = 0, videoFramesDecoded = 0;
    double toneHz = 0.0;       // of the decoded sound where it is not silent
    double soundSeconds = 0.0; // how much of the sound is not silent
    double soundEnd = 0.0;     // file time where the last sound ends
    bool readToEnd = false;    // demuxing ended with end-of-file
    QImage firstPicture;       // the first video frame's brightness
};

FileFacts inspectRecording(const QString& path);
