#pragma once

struct AVFrame;
struct SwsContext;
class RgbFrame;

// Converts decoded frames of any pixel format to RGB888 at the size the
// program asked for, scaling when the camera gave another one.
class RgbConverter
{
public:
    enum class Scaling
    {
        // Bilinear: the pictures a receiver keeps or passes on.
        Smooth,
        // Nearest pixel when shrinking, as the preview was always scaled:
        // only the source rows and columns it shows are read, so a 4K
        // picture shrunk for the screen costs about what the screen's size
        // does.
        Nearest,
    };

    explicit RgbConverter(Scaling scaling = Scaling::Smooth) : m_scaling(scaling) {}
    ~RgbConverter();
    RgbConverter(const RgbConverter&) = delete;
    RgbConverter& operator=(const RgbConverter&) = delete;

    bool convert(const AVFrame* frame, int width, int height, RgbFrame& out);

private:
    bool prepare(const AVFrame* frame, int width, int height);

    Scaling m_scaling;
    SwsContext* m_context = nullptr;
    // What m_context was made for; a change rebuilds it.
    int m_srcWidth = 0;
    int m_srcHeight = 0;
    int m_srcFormat = -1;
    bool m_srcFullRange = false;
    int m_dstWidth = 0;
    int m_dstHeight = 0;
};
