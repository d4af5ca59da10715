#include "uvcpictures.h"

#include "simulatedframerenderer.h"

#include <linux/videodev2.h>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <algorithm>
#include <map>
#include <mutex>
#include <tuple>

namespace {

constexpr int kBits = 8;
// The picture number is drawn as a row of black and white squares, placed
// in fractions of the picture so that it reads back at any scale.
double bitCentreX(int bit)
{
    return 0.05 + bit * 0.04;
}
constexpr double kBitCentreY = 0.07;
constexpr double kBitHalf = 0.012;

void stamp(const SimulatedYuvPlanes& p, int width, int height, int number)
{
    const int half = std::max(2, int(kBitHalf * width));
    for (int bit = 0; bit < kBits; ++bit) {
        const int cx = int(bitCentreX(bit) * width), cy = int(kBitCentreY * height);
        const uint8_t luma = (number >> bit) & 1 ? 255 : 0;
        for (int y = cy - half; y < cy + half; ++y) {
            std::fill_n(p.y + y * p.yStride + cx - half, 2 * half, luma);
            std::fill_n(p.u + (y / 2) * p.uStride + (cx - half) / 2, half, uint8_t(128));
            std::fill_n(p.v + (y / 2) * p.vStride + (cx - half) / 2, half, uint8_t(128));
        }
    }
}

struct Planes
{
    std::vector<uint8_t> y, u, v;
    SimulatedYuvPlanes view;
    Planes(int w, int h) : y(size_t(w) * h), u(size_t(w / 2) * (h / 2)), v(u.size())
    {
        view = {y.data(), u.data(), v.data(), w, w / 2, w / 2};
    }
};

std::string encodeJpeg(AVCodecContext* encoder, AVFrame* frame, const Planes& p, int w, int h)
{
    for (int row = 0; row < h; ++row) {
        std::copy_n(&p.y[size_t(row) * w], w, frame->data[0] + row * frame->linesize[0]);
    }
    for (int row = 0; row < h / 2; ++row) {
        std::copy_n(&p.u[size_t(row) * (w / 2)], w / 2, frame->data[1] + row * frame->linesize[1]);
        std::copy_n(&p.v[size_t(row) * (w / 2)], w / 2, frame->data[2] + row * frame->linesize[2]);
    }
    std::string out;
    AVPacket* packet = av_packet_alloc();
    if (avcodec_send_frame(encoder, frame) >= 0 && avcodec_receive_packet(encoder, packet) >= 0) {
        out.assign(reinterpret_cast<const char*>(packet->data), size_t(packet->size));
    }
    av_packet_free(&packet);
    return out;
}

// YUYV as cameras send it: limited range, chroma shared by two pixels.
std::string packYuyv(const Planes& p, int w, int h)
{
    std::string out(size_t(w) * h * 2, '\0');
    auto luma = [](uint8_t v) { return char(16 + v * 219 / 255); };
    auto chroma = [](uint8_t v) { return char(128 + (v - 128) * 224 / 255); };
    for (int y = 0; y < h; ++y) {
        char* row = &out[size_t(y) * w * 2];
        for (int x = 0; x < w; x += 2) {
            const size_t c = size_t(y / 2) * (w / 2) + x / 2;
            row[2 * x] = luma(p.y[size_t(y) * w + x]);
            row[2 * x + 1] = chroma(p.u[c]);
            row[2 * x + 2] = luma(p.y[size_t(y) * w + x + 1]);
            row[2 * x + 3] = chroma(p.v[c]);
        }
    }
    return out;
}

std::vector<std::string> makePictures(uint32_t fourcc, int w, int h)
{
    SimulatedFrameRenderer renderer(w, h);
    Planes planes(w, h);
    AVCodecContext* encoder = nullptr;
    AVFrame* frame = nullptr;
    if (fourcc == V4L2_PIX_FMT_MJPEG) {
        encoder = avcodec_alloc_context3(avcodec_find_encoder(AV_CODEC_ID_MJPEG));
        encoder->width = w;
        encoder->height = h;
        encoder->pix_fmt = AV_PIX_FMT_YUVJ420P;
        encoder->time_base = AVRational{1, 30};
        encoder->flags |= AV_CODEC_FLAG_QSCALE;
        encoder->global_quality = FF_QP2LAMBDA * 4;
        frame = av_frame_alloc();
        frame->format = AV_PIX_FMT_YUVJ420P;
        frame->width = w;
        frame->height = h;
        if (avcodec_open2(encoder, nullptr, nullptr) < 0 || av_frame_get_buffer(frame, 0) < 0) {
            avcodec_free_context(&encoder);
            av_frame_free(&frame);
            return {};
        }
    }
    std::vector<std::string> pictures;
    for (int i = 0; i < kUvcPictureLoop; ++i) {
        renderer.render(SimulatedCameraState(), 9 * 3600000 + i * 33, i / 30.0, planes.view);
        stamp(planes.view, w, h, i);
        pictures.push_back(encoder ? encodeJpeg(encoder, frame, planes, w, h)
                                   : packYuyv(planes, w, h));
    }
    avcodec_free_context(&encoder);
    av_frame_free(&frame);
    return pictures;
}

} // namespace

const std::vector<std::string>& uvcPictures(uint32_t fourcc, int width, int height)
{
    static std::mutex mutex;
    static std::map<std::tuple<uint32_t, int, int>, std::vector<std::string>> made;
    std::lock_guard<std::mutex> lock(mutex);
    auto& pictures = made[std::make_tuple(fourcc, width, height)];
    if (pictures.empty()) {
        pictures = makePictures(fourcc, width, height);
    }
    return pictures;
}

extern "C" __attribute__((visibility("default"))) int
uvcdev_read_picture(const uint8_t* rgb, int width, int height, int stride)
{
    int number = 0;
    for (int bit = 0; bit < kBits; ++bit) {
        const uint8_t* px =
            rgb + int(kBitCentreY * height) * stride + int(bitCentreX(bit) * width) * 3;
        const int level = (px[0] + px[1] + px[2]) / 3;
        if (level > 60 && level < 190) {
            return -1;
        }
        number |= (level >= 190) << bit;
    }
    return number < kUvcPictureLoop ? number : -1;
}
