#pragma once

struct AVFrame;

// A decoded picture kept by reference to the decoder's buffers, not copied:
// what the capture worker hands on beside the preview, so that a full-size
// picture can still be made from it later, on the thread that asks. The
// buffers are reference counted across threads by libavutil; the decoder
// takes fresh ones for its next picture while this one is held.
class DecodedPicture
{
public:
    DecodedPicture() = default;
    ~DecodedPicture();
    DecodedPicture(const DecodedPicture&) = delete;
    DecodedPicture& operator=(const DecodedPicture&) = delete;

    // Holds frame in place of what was held; false (and nothing held) when
    // no reference could be had.
    bool keep(const AVFrame* frame);
    // Gives the buffers back, so that a picture nobody will ask for does
    // not keep the decoder's pool growing.
    void release();
    // Null while nothing is held.
    const AVFrame* frame() const;

    void swap(DecodedPicture& other) noexcept;

private:
    AVFrame* m_frame = nullptr;
};
