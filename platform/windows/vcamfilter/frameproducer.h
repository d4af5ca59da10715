#pragma once

#include "sharedframeview.h"
#include "vcammediatypes.h"

#include <vector>

// What the camera shows in each frame: the newest shared record; for a
// short while after the records stop, the last one (a writer between two
// frames, or busy); then the colour bars, as the Linux feeder does.
class FrameProducer
{
public:
    FrameProducer();

    // Fills out (imageBytes(format) bytes) with the picture for this moment.
    void produce(VcamMediaTypes::Format format, unsigned char* out);

private:
    const unsigned char* currentPicture();

    SharedFrameView m_view;
    std::vector<unsigned char> m_pixels;
    std::vector<unsigned char> m_frame;
    std::vector<unsigned char> m_bars;
    bool m_haveFrame = false;
    ULONGLONG m_lastFrameMs = 0;
};
