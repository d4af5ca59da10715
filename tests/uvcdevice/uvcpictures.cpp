// The pictures the user-space cameras send: the simulated camera's, each with
// its number drawn in, encoded as the mode wants.
#include "simulatedframerenderer.h"
#include "uvcdeviceinternal.h"
#include "uvch264encoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace uvcdev {

// Pictures, made once per mode from the simulated camera's renderer when a frame first needs
// it: a stream starts at once, as a camera's does, however slow the build.
struct PictureMaker
{
    explicit PictureMaker(const Mode& m) : renderer(m.width, m.height)
    {
        std::tie(frame->format, frame->width, frame->height) =
            std::make_tuple(int(AV_PIX_FMT_YUVJ420P), m.width, m.height);
        if (m.fourcc == V4L2_PIX_FMT_MJPEG) {
            jpeg = avcodec_alloc_context3(avcodec_find_encoder(AV_CODEC_ID_MJPEG));
            std::tie(jpeg->width, jpeg->height, jpeg->pix_fmt) =
                std::make_tuple(m.width, m.height, AV_PIX_FMT_YUVJ420P);
            std::tie(jpeg->time_base, jpeg->flags, jpeg->global_quality) =
                std::make_tuple(AVRational{1, 30}, AV_CODEC_FLAG_QSCALE, FF_QP2LAMBDA * 4);
        }
        nv12 = m.fourcc == V4L2_PIX_FMT_NV12;
        if (m.fourcc == V4L2_PIX_FMT_H264)
            h264 = std::make_unique<H264Encoder>(m.width, m.height);
        ready = av_frame_get_buffer(frame, 0) >= 0 &&
                (!jpeg || avcodec_open2(jpeg, nullptr, nullptr) >= 0) && (!h264 || h264->ready());
    }

    // H.264 pictures depend on those before: the whole loop at once, in the order sent (a
    // stream starts with picture 1), so that its first is the key frame, a second apart.
    void makeLoop()
    {
        for (int k = 1; k <= PictureCode::loop; ++k) {
            draw(k % PictureCode::loop);
            made[size_t(k % PictureCode::loop)] = h264->encode(frame);
        }
    }

    void draw(int i)
    {
        av_frame_make_writable(frame);
        const int w = frame->width, h = frame->height;
        uint8_t **p = frame->data, *y = p[0];
        const int* stride = frame->linesize;
        renderer.render(SimulatedCameraState(), 9 * 3600000 + i * 33, i / 30.0,
                        {p[0], p[1], p[2], stride[0], stride[1], stride[2]});
        const int half = std::max(2, int(PictureCode::half * w)), cy = int(PictureCode::y * h);
        for (int bit = 0; bit < PictureCode::bits; ++bit) {
            const int x0 = int(PictureCode::x(bit) * w) - half;
            for (int row = cy - half; row < cy + half; ++row) {
                std::fill_n(y + row * stride[0] + x0, 2 * half, (i >> bit) & 1 ? 255 : 0);
                for (int c : {1, 2})
                    std::fill_n(p[c] + (row / 2) * stride[c] + x0 / 2, half, 128);
            }
        }
    }

    std::string make(int i)
    {
        draw(i);
        const int w = frame->width, h = frame->height;
        uint8_t **p = frame->data, *y = p[0];
        const int* stride = frame->linesize;
        std::string out;
        if (nv12) { // limited range, the chroma of four pixels in one pair after the lines
            out.resize(size_t(w) * h * 3 / 2);
            for (int row = 0; row < h; ++row) {
                for (int x = 0; x < w; ++x) {
                    out[size_t(row) * w + x] = char(16 + y[row * stride[0] + x] * 219 / 255);
                    const uint8_t chroma = p[1 + (x & 1)][(row / 2) * stride[1] + x / 2];
                    if (row % 2 == 0)
                        out[size_t(w) * (h + row / 2) + x] = char(128 + (chroma - 128) * 224 / 255);
                }
            }
        } else if (!jpeg) { // YUYV as cameras send it: limited range, chroma shared by two pixels
            out.resize(size_t(w) * h * 2);
            for (int row = 0; row < h; ++row) {
                for (int x = 0; x < w; ++x) {
                    const uint8_t chroma = p[1 + (x & 1)][(row / 2) * stride[1] + x / 2];
                    out[(size_t(row) * w + x) * 2] = char(16 + y[row * stride[0] + x] * 219 / 255);
                    out[(size_t(row) * w + x) * 2 + 1] = char(128 + (chroma - 128) * 224 / 255);
                }
            }
        } else if (avcodec_send_frame(jpeg, frame) >= 0 &&
                   avcodec_receive_packet(jpeg, packet) >= 0) {
            out.assign(reinterpret_cast<char*>(packet->data), size_t(packet->size));
            av_packet_unref(packet);
        }
        return out;
    }

    SimulatedFrameRenderer renderer;
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    AVCodecContext* jpeg = nullptr;
    std::unique_ptr<H264Encoder> h264;
    bool nv12 = false;
    bool ready = false;
    std::vector<std::string> made = std::vector<std::string>(PictureCode::loop); // kept for good
};

const std::string& picture(const Mode& mode, int64_t frame)
{
    static std::mutex mutex;
    static std::map<std::tuple<uint32_t, int, int>, std::unique_ptr<PictureMaker>> makers;
    std::lock_guard<std::mutex> lock(mutex);
    auto& maker = makers[{mode.fourcc, mode.width, mode.height}];
    if (!maker)
        maker = std::make_unique<PictureMaker>(mode);
    std::string& made = maker->made[size_t(frame % PictureCode::loop)];
    if (made.empty() && maker->ready && maker->h264)
        maker->makeLoop();
    else if (made.empty() && maker->ready)
        made = maker->make(int(frame % PictureCode::loop));
    return made;
}

} // namespace uvcdev

using uvcdev::PictureCode;

UVCDEV_API int uvcdev_read_picture(const uint8_t* rgb, int width, int height, int stride)
{
    int number = 0;
    for (int bit = 0; bit < PictureCode::bits; ++bit) {
        const uint8_t* px =
            rgb + int(PictureCode::y * height) * stride + int(PictureCode::x(bit) * width) * 3;
        const int level = (px[0] + px[1] + px[2]) / 3;
        if (level > 60 && level < 190)
            return -1;
        number |= (level >= 190) << bit;
    }
    return number < PictureCode::loop ? number : -1;
}
