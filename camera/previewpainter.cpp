#include "previewpainter.h"

#include "framescaler.h"
#include "framingengine.h"
#include "vorn_settingai.h"

#include <QLabel>
#include <QPainter>
#include <QPixmap>

#include <cstring>

namespace {

const QSize kPreviewSize(800, 530);

} // namespace

PreviewPainter::PreviewPainter(QLabel* view, Vorn_settingAI* effects)
    : m_view(view), m_effects(effects)
{
}

// Memory a process has never written costs a page fault per page on first
// touch, and on virtual machines far more than the write itself.
void PreviewPainter::prepare()
{
    for (QImage& buffer : m_buffers) {
        buffer = QImage(kPreviewSize, QImage::Format_RGB32);
        buffer.fill(Qt::black);
    }
}

void PreviewPainter::show(const QImage& frame, const FramingEngine* overlay)
{
    QImage& preview = previewOf(frame);
    if (overlay) {
        drawFramingOverlay(preview, fittedRect(frame.size(), preview.size()), *overlay);
    }
    setShowingFrames(true);
    m_view->setPixmap(QPixmap::fromImage(preview));
}

void PreviewPainter::setShowingFrames(bool frames)
{
    // Marked opaque, the label is repainted alone, without first painting
    // every widget behind it.
    if (m_view->testAttribute(Qt::WA_OpaquePaintEvent) != frames) {
        m_view->setAttribute(Qt::WA_OpaquePaintEvent, frames);
    }
}

// A buffer of the format that no pixmap shares any more; else a new one, in
// place of an unshared buffer of the other format or, when both are still
// shared, of each in turn.
QImage& PreviewPainter::previewBuffer(QImage::Format format)
{
    QImage* unshared = nullptr;
    for (QImage& buffer : m_buffers) {
        if (buffer.isNull() || buffer.isDetached()) {
            if (buffer.format() == format) {
                return buffer;
            }
            unshared = &buffer;
        }
    }
    if (!unshared) {
        m_replaced = 1 - m_replaced;
        unshared = &m_buffers[size_t(m_replaced)];
    }
    *unshared = QImage(kPreviewSize, format);
    return *unshared;
}

QImage& PreviewPainter::previewOf(const QImage& frame)
{
    // The effects see the picture alone, so that a tone or blur never tints
    // or smears the bars. Without effects the picture is scaled straight
    // into the screen's format, which the pixmap then takes over without a
    // conversion.
    if (!m_effects->anyEffectOn()) {
        QImage& preview = previewBuffer(QImage::Format_RGB32);
        scaleFittedInto(frame, preview);
        return preview;
    }
    QImage& preview = previewBuffer(QImage::Format_RGB888);
    scaleFittedInto(frame, preview);
    const QRect area = fittedRect(frame.size(), preview.size());
    uchar* first = preview.scanLine(area.y()) + area.x() * 3;
    QImage picture(first, area.width(), area.height(), preview.bytesPerLine(),
                   QImage::Format_RGB888);
    m_effects->applyEffects(picture);
    // The filters write their result into buffers of their own.
    if (picture.constBits() != first) {
        const size_t rowBytes = size_t(area.width()) * 3;
        for (int y = 0; y < area.height(); ++y) {
            std::memcpy(preview.scanLine(area.y() + y) + area.x() * 3, picture.constScanLine(y),
                        rowBytes);
        }
    }
    return preview;
}

void PreviewPainter::drawFramingOverlay(QImage& preview, const QRect& area,
                                        const FramingEngine& engine)
{
    const auto toArea = [&area](const QRectF& r) {
        return QRectF(area.x() + r.x() * area.width(), area.y() + r.y() * area.height(),
                      r.width() * area.width(), r.height() * area.height());
    };
    QPainter painter(&preview);
    painter.setClipRect(area);
    painter.setPen(QPen(QColor(80, 220, 120), 2));
    for (const QRectF& face : engine.faces()) {
        painter.drawRect(toArea(face));
    }
    const QRectF target = engine.target();
    if (!target.isEmpty()) {
        painter.setPen(QPen(QColor(233, 143, 53), 2, Qt::DashLine));
        painter.drawRect(toArea(target));
    }
}
