#pragma once

struct AVFrame;
struct SwsContext;
class RgbFrame;

// Converts decoded frames of any pixel format to RGB888 at the size the
// program asked for, scaling when the camera gave another one.
class RgbConverter
{
public:
    RgbConverter() = default;
    ~RgbConverter();
    RgbConverter(const RgbConverter&) = delete;
    RgbConverter& operator=(const RgbConverter&) = delete;

    bool convert(const AVFrame* frame, int width, int height, RgbFrame& out);

private:
    bool prepare(const AVFrame* frame, int width, int height);

    SwsContext* m_context = nullptr;
    // What m_context was made for; a change rebuilds it.
    int m_srcWidth = 0;
    int m_srcHeight = 0;
    int m_srcFormat = -1;
    bool m_srcFullRange = false;
    int m_dstWidth = 0;
    int m_dstHeight = 0;
};
