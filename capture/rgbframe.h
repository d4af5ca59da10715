#pragma once

#include <cstddef>
#include <cstdint>

// One picture in RGB888, each row starting on a multiple of 4 bytes, as
// frameBuffer promises its receivers (a QImage wrapped around the buffer
// without a stride expects exactly that). The storage only grows, so a
// stream of same-size frames allocates once.
class RgbFrame
{
public:
    RgbFrame() = default;
    ~RgbFrame();
    RgbFrame(RgbFrame&& other) noexcept;
    RgbFrame& operator=(RgbFrame&& other) noexcept;
    RgbFrame(const RgbFrame&) = delete;
    RgbFrame& operator=(const RgbFrame&) = delete;

    // The one rule for the row length of the pictures frameBuffer hands out,
    // for the library and every receiver that wraps them.
    static int strideFor(int width) { return (width * 3 + 3) & ~3; }

    // False when the storage cannot be had; the frame is then null.
    bool resize(int width, int height);

    bool isNull() const { return m_data == nullptr || m_width <= 0 || m_height <= 0; }
    uint8_t* data() { return m_data; }
    const uint8_t* data() const { return m_data; }
    int width() const { return m_width; }
    int height() const { return m_height; }
    int stride() const { return strideFor(m_width); }

    void swap(RgbFrame& other) noexcept;

private:
    uint8_t* m_data = nullptr;
    size_t m_capacity = 0;
    int m_width = 0;
    int m_height = 0;
};
