#include "mp4muxer.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/mem.h>
}

#include <cerrno>
#include <cstring>
#include <fcntl.h>

#if defined(_WIN32)
#include "librarypath.h"

#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

constexpr int kIoBufferSize = 256 * 1024;

// The file is written through a plain descriptor, in binary mode (Windows'
// text mode would turn every 0x0A byte into two), with 64-bit offsets (a
// recording grows past 2 GB), and not inherited by programs started later.
#if defined(_WIN32)
int openForWriting(const std::string& path)
{
    // The wide call takes any folder name, whatever the system's own code
    // page.
    const QString name = pathFromLibraryBytes(path.c_str());
    return ::_wopen(name.toStdWString().c_str(),
                    _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY | _O_NOINHERIT,
                    _S_IREAD | _S_IWRITE);
}

int64_t seekTo(int fd, int64_t offset, int whence)
{
    return ::_lseeki64(fd, offset, whence);
}

bool truncateTo(int fd, int64_t size)
{
    const auto file = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
    LARGE_INTEGER end;
    end.QuadPart = size;
    return file != INVALID_HANDLE_VALUE && SetFilePointerEx(file, end, nullptr, FILE_BEGIN) &&
           SetEndOfFile(file);
}

int writeSome(int fd, const uint8_t* data, int size)
{
    return ::_write(fd, data, unsigned(size));
}

int closeFile(int fd)
{
    return ::_close(fd);
}
#else
static_assert(sizeof(off_t) >= 8, "recordings past 2 GB need 64-bit file offsets");

int openForWriting(const std::string& path)
{
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
}

int64_t seekTo(int fd, int64_t offset, int whence)
{
    return ::lseek(fd, off_t(offset), whence);
}

bool truncateTo(int fd, int64_t size)
{
    return ::ftruncate(fd, off_t(size)) == 0;
}

int writeSome(int fd, const uint8_t* data, int size)
{
    return int(::write(fd, data, size_t(size)));
}

int closeFile(int fd)
{
    return ::close(fd);
}
#endif

std::string avErrorText(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

} // namespace

Mp4Muxer::Mp4Muxer() = default;

Mp4Muxer::~Mp4Muxer()
{
    if (m_format) {
        avformat_free_context(m_format);
    }
    if (m_io) {
        av_freep(&m_io->buffer);
        avio_context_free(&m_io);
    }
    if (m_fd >= 0) {
        closeFile(m_fd);
    }
}

bool Mp4Muxer::create(const std::string& path, std::string* error)
{
    m_fd = openForWriting(path);
    if (m_fd < 0) {
        *error = "cannot create \"" + path + "\": " + std::strerror(errno);
        return false;
    }
    if (avformat_alloc_output_context2(&m_format, nullptr, "mp4", nullptr) < 0) {
        *error = "no MP4 muxer";
        return false;
    }
    auto* buffer = static_cast<unsigned char*>(av_malloc(kIoBufferSize));
    m_io =
        avio_alloc_context(buffer, kIoBufferSize, 1, this, nullptr, nullptr, &Mp4Muxer::seekData);
    // Writing through the typed callback tells where each fragment begins,
    // which is what lets a torn fragment be cut off after a write error.
    m_io->write_data_type = &Mp4Muxer::writeData;
    m_io->seekable = 0;
    m_format->pb = m_io;
    m_format->flags |= AVFMT_FLAG_CUSTOM_IO | AVFMT_FLAG_FLUSH_PACKETS;
    m_format->flush_packets = 1;
    return true;
}

bool Mp4Muxer::wantsGlobalHeader() const
{
    return m_format && (m_format->oformat->flags & AVFMT_GLOBALHEADER);
}

int Mp4Muxer::addStream(const AVCodecContext* codec)
{
    AVStream* stream = avformat_new_stream(m_format, nullptr);
    if (!stream || avcodec_parameters_from_context(stream->codecpar, codec) < 0) {
        return -1;
    }
    stream->time_base = codec->time_base;
    return stream->index;
}

int Mp4Muxer::addStream(const AVCodecParameters* parameters, AVRational timeBase)
{
    AVStream* stream = avformat_new_stream(m_format, nullptr);
    if (!stream || avcodec_parameters_copy(stream->codecpar, parameters) < 0) {
        return -1;
    }
    // The camera's tag (if any) is not the file's: the muxer picks its own.
    stream->codecpar->codec_tag = 0;
    stream->time_base = timeBase;
    return stream->index;
}

bool Mp4Muxer::writeHeader(std::string* error)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    AVDictionary* options = nullptr;
    av_dict_set(&options, "movflags", "frag_keyframe+empty_moov+default_base_moof", 0);
    const int r = avformat_write_header(m_format, &options);
    av_dict_free(&options);
    if (r < 0) {
        *error = "cannot write the file header: " + avErrorText(r);
        return false;
    }
    avio_flush(m_io);
    if (m_failed) {
        *error = m_error;
        return false;
    }
    m_headerWritten = true;
    m_cleanOffset = m_offset;
    return true;
}

bool Mp4Muxer::write(AVPacket* packet, int streamIndex, AVRational codecTimeBase)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_failed || m_finished || !m_headerWritten) {
        return false;
    }
    packet->stream_index = streamIndex;
    av_packet_rescale_ts(packet, codecTimeBase, m_format->streams[streamIndex]->time_base);
    const int r = av_interleaved_write_frame(m_format, packet);
    if (r < 0 && !m_failed) {
        fail("cannot write to the file: " + avErrorText(r));
    }
    return !m_failed;
}

bool Mp4Muxer::finish()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_finished || !m_format) {
        return !m_failed;
    }
    m_finished = true;
    if (m_headerWritten && !m_failed) {
        const int r = av_write_trailer(m_format);
        avio_flush(m_io);
        if (r < 0 && !m_failed) {
            fail("cannot complete the file: " + avErrorText(r));
        }
    }
    if (m_fd >= 0) {
        if (closeFile(m_fd) != 0 && !m_failed) {
            m_failed = true;
            m_error = std::string("cannot close the file: ") + std::strerror(errno);
        }
        m_fd = -1;
    }
    return !m_failed;
}

bool Mp4Muxer::failed() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_failed;
}

std::string Mp4Muxer::errorText() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_error;
}

void Mp4Muxer::fail(const std::string& error)
{
    m_failed = true;
    m_error = error;
    // What follows the last complete fragment is torn; without it the
    // file ends cleanly and plays to the end.
    if (m_fd >= 0 && m_headerWritten && truncateTo(m_fd, m_cleanOffset)) {
        m_offset = m_cleanOffset;
    }
}

int Mp4Muxer::writeData(void* opaque, WriteBuffer buffer, int size, AVIODataMarkerType type,
                        int64_t time)
{
    auto* self = static_cast<Mp4Muxer*>(opaque);
    if (self->m_failed) {
        return AVERROR(EIO);
    }
    // A new marked segment (the header, a fragment, the closing index)
    // starts here, so everything before it is complete.
    if (type != AVIO_DATA_MARKER_UNKNOWN &&
        (type != self->m_segmentType || time != self->m_segmentTime)) {
        self->m_cleanOffset = self->m_offset;
        self->m_segmentType = type;
        self->m_segmentTime = time;
    }
    int done = 0;
    while (done < size) {
        const int n = writeSome(self->m_fd, buffer + done, size - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            const int code = n < 0 ? errno : ENOSPC;
            self->m_offset += done;
            self->fail(std::string("cannot write to the file: ") + std::strerror(code));
            return AVERROR(code);
        }
        done += int(n);
    }
    self->m_offset += size;
    return size;
}

int64_t Mp4Muxer::seekData(void* opaque, int64_t offset, int whence)
{
    auto* self = static_cast<Mp4Muxer*>(opaque);
    if (whence == AVSEEK_SIZE) {
        return self->m_offset;
    }
    const int64_t at = seekTo(self->m_fd, offset, whence & ~AVSEEK_FORCE);
    if (at < 0) {
        return AVERROR(errno);
    }
    self->m_offset = at;
    return at;
}
