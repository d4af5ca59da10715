#pragma once

// Shared by the recording suites: synthetic camera frames and a look into
// written files through libavformat / libavcodec.

#include <QString>

#include <cstdint>

struct AVFrame;

// Frames as the MJPEG decoder gives them (yuvj422p), with content that
// changes every frame so the encoder has real work and a real bit rate.
class SyntheticFrames
{
public:
    SyntheticFrames(int width, int height);
    ~SyntheticFrames();
    SyntheticFrames(const SyntheticFrames&) = delete;
    SyntheticFrames& operator=(const SyntheticFrames&) = delete;

    const AVFrame* next();

private:
    AVFrame* m_frame;
    int64_t m_index = 0;
};

struct StreamFacts
{
    QString codec;
    int width = 0;
    int height = 0;
    int sampleRate = 0;
    int channels = 0;
    double start = 0.0;    // seconds
    double duration = 0.0; // seconds, from the packets (end of the last)
    int packets = 0;
};

struct FileFacts
{
    bool opened = false;
    QString error;
    int videoStreams = 0;
    int audioStreams = 0;
    StreamFacts video;
    StreamFacts audio;
    int decodeErrors = 0; // packets a decoder refused
    int videoFramesDecoded = 0;
    double toneHz = 0.0;       // of the decoded sound where it is not silent
    double soundSeconds = 0.0; // how much of the sound is not silent
    bool readToEnd = false;    // demuxing ended with end-of-file, not an error
};

// Opens, demuxes and decodes the whole file.
FileFacts inspectRecording(const QString& path);

// av_gettime_relative(), the clock the capture worker stamps frames with.
int64_t nowUs();
