#pragma once

#include <QImage>

#include <array>

class FramingEngine;
class QLabel;
class QRect;
class Vorn_settingAI;

// Draws the live picture into the preview label: letterboxed whole and
// undistorted, with the preview effects on the picture alone and, when
// auto-framing shows what it sees, the faces and the framing target on top.
class PreviewPainter
{
public:
    PreviewPainter(QLabel* view, Vorn_settingAI* effects);

    // Makes and writes the buffers every picture needs before the window
    // shows, so that the first pictures do not pay for the page faults.
    void prepare();
    // overlay, when given, is drawn on the preview only: recordings and the
    // shared frame never carry it.
    void show(const QImage& frame, const FramingEngine* overlay);
    // Frames fill the label edge to edge; anything else it shows lets the
    // window show through.
    void setShowingFrames(bool frames);

private:
    QImage& previewOf(const QImage& frame);
    QImage& previewBuffer(QImage::Format format);
    static void drawFramingOverlay(QImage& preview, const QRect& area, const FramingEngine& engine);

    QLabel* m_view;
    Vorn_settingAI* m_effects;
    // The preview is drawn into one of these while the label shows the other.
    std::array<QImage, 2> m_buffers;
    int m_replaced = 0;
};
