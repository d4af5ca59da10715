#pragma once

#include <vector>

struct AVFrame;

// Shrinks a planar 8-bit YUV picture by the nearest pixel, plane by plane,
// keeping its format: libswscale's scaling path costs several times its
// same-size converters per output pixel, so the preview is gathered small
// here and then converted at its own size. Other formats are left to
// libswscale.
class PlaneDecimator
{
public:
    PlaneDecimator() = default;
    ~PlaneDecimator();
    PlaneDecimator(const PlaneDecimator&) = delete;
    PlaneDecimator& operator=(const PlaneDecimator&) = delete;

    // The picture at width x height, valid until the next call; null when
    // the format is not one this handles or the size is not a shrink.
    const AVFrame* shrink(const AVFrame* source, int width, int height);

private:
    bool prepare(const AVFrame* source, int width, int height);

    AVFrame* m_frame = nullptr;
    // Source column and row of each target one, for the full-size planes.
    std::vector<int> m_columns;
    std::vector<int> m_rows;
    int m_srcWidth = 0;
    int m_srcHeight = 0;
};
