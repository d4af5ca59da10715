#pragma once

extern "C" {
#include <libavformat/avio.h>
#include <libavformat/version.h>
}

#include <cstdint>
#include <mutex>
#include <string>

struct AVCodecContext;
struct AVCodecParameters;
struct AVFormatContext;
struct AVPacket;
struct AVRational;

// A fragmented MP4 file: a header without sample tables, then one
// self-contained fragment per second. Every complete fragment is on disk as
// soon as it is made, so a file cut short (the program killed, the disk
// full) still plays up to its last complete fragment; on a write error the
// torn fragment is cut off again. Thread-safe: the audio and the video
// thread write through one muxer.
class Mp4Muxer
{
public:
    Mp4Muxer();
    ~Mp4Muxer();
    Mp4Muxer(const Mp4Muxer&) = delete;
    Mp4Muxer& operator=(const Mp4Muxer&) = delete;

    // path: the platform's 8-bit file name, passed to the system as is.
    bool create(const std::string& path, std::string* error);
    // Returns the stream index.
    int addStream(const AVCodecContext* codec);
    // A stream whose packets come already encoded, in timeBase.
    int addStream(const AVCodecParameters* parameters, AVRational timeBase);
    bool writeHeader(std::string* error);

    // Takes a packet in the time base of its encoder.
    bool write(AVPacket* packet, int streamIndex, AVRational codecTimeBase);
    // Writes the closing index; true when the whole file was written.
    bool finish();

    bool failed() const;
    std::string errorText() const;
    bool wantsGlobalHeader() const;

private:
    // FFmpeg 7 (libavformat 61) hands the data to write over as const.
#if LIBAVFORMAT_VERSION_MAJOR >= 61
    using WriteBuffer = const uint8_t*;
#else
    using WriteBuffer = uint8_t*;
#endif
    static int writeData(void* opaque, WriteBuffer buffer, int size, AVIODataMarkerType type,
                         int64_t time);
    static int64_t seekData(void* opaque, int64_t offset, int whence);
    void fail(const std::string& error);

    mutable std::mutex m_mutex;
    AVFormatContext* m_format = nullptr;
    AVIOContext* m_io = nullptr;
    int m_fd = -1;
    int64_t m_offset = 0;
    int64_t m_cleanOffset = 0; // end of the last complete fragment
    int m_segmentType = -1;
    int64_t m_segmentTime = INT64_MIN;
    bool m_headerWritten = false;
    bool m_failed = false;
    bool m_finished = false;
    std::string m_error;
};
