#pragma once

#include "vorn_ffmpeglib_export.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

struct AVCodecParameters;
struct AVFrame;
struct AVPacket;

// Writes one recording: H.264 video from the capture worker's decoded
// frames (or the camera's own H.264 packets, copied) and AAC audio from the camera's microphone, in
// an MP4 that stays playable when the program dies mid-way. Encoding and writing run on the
// recorder's own threads; pushVideoFrame only queues.
class VORN_FFMPEGLIB_EXPORT Mp4Recorder
{
public:
    Mp4Recorder();
    ~Mp4Recorder();
    Mp4Recorder(const Mp4Recorder&) = delete;
    Mp4Recorder& operator=(const Mp4Recorder&) = delete;

    // path: 8-bit file name as the platform takes it. microphoneName /
    // microphoneOrdinal: the audio input as the device catalog lists it
    // (empty name: record without sound); microphoneId, when given, is the
    // input's system id and alone chooses it (see openMicrophone). width /
    // height / fps: the capture's frames.
    bool start(const std::string& path, const std::string& microphoneName, int microphoneOrdinal,
               int width, int height, double fps, const std::string& microphoneId = {});

    // For the next starts: the video is the camera's own H.264 stream,
    // described by parameters (the codec, the size and, as extradata, the
    // stream's parameter sets), stored as it comes through pushVideoPacket
    // rather than encoded from frames. Null: encode the frames again.
    void setCopiedStream(const AVCodecParameters* parameters);

    // Called from the capture worker for every packet of a copied stream,
    // with its key flag set where a picture needs none before it; ignored
    // unless the recording copies. Thread-safe; returns at once.
    void pushVideoPacket(const AVPacket* packet, int64_t captureTimeUs);

    // Called from the capture worker for every decoded frame (any pixel
    // format the decoder gives); captureTimeUs is av_gettime_relative() at
    // the moment the frame was captured. Thread-safe; returns at once.
    void pushVideoFrame(const AVFrame* frame, int64_t captureTimeUs);

    // Ends the recording and completes the file; true when it was written
    // completely. Harmless when not recording.
    bool stop();

    // True from a successful start until stop, or until a write error
    // ended the recording early.
    bool isRecording() const;

    // Called once, from a recorder thread, when a write error has ended
    // the recording (what was written up to then stays playable). Set
    // before start.
    void setFailureHandler(std::function<void(const std::string&)> handler);

    // Why the last start or the recording failed; empty when it did not.
    std::string errorText() const;

    // Frames not recorded because the encoder fell behind, and frames
    // recorded, since start.
    int64_t droppedFrames() const;
    int64_t recordedFrames() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
