#include "simulatedframerenderer.h"

#include "simulatedpeople.h"

#include <QImage>
#include <QLinearGradient>
#include <QMap>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <future>
#include <iterator>
#include <mutex>
#include <vector>

struct SimulatedFrameRenderer::Scene
{
    int width = 0;
    int height = 0;
    std::vector<uint8_t> y; // width x height
    std::vector<uint8_t> u; // width/2 x height/2
    std::vector<uint8_t> v;
};

namespace {

// The room is this many times the picture in each direction; the widest
// view shows kWideView of it, so pan and tilt have room to move.
constexpr double kSceneScale = 2.5;
constexpr double kWideView = 0.6;
constexpr double kMaxZoomFactor = kSimulatedMaxZoomFactor;

uint8_t clampByte(double value)
{
    return static_cast<uint8_t>(std::clamp(std::lround(value), 0L, 255L));
}

// Full-range BT.601, as JPEG uses.
uint8_t lumaOf(int r, int g, int b)
{
    return clampByte(0.299 * r + 0.587 * g + 0.114 * b);
}
uint8_t cbOf(int r, int g, int b)
{
    return clampByte(128.0 - 0.168736 * r - 0.331264 * g + 0.5 * b);
}
uint8_t crOf(int r, int g, int b)
{
    return clampByte(128.0 + 0.5 * r - 0.418688 * g - 0.081312 * b);
}

QRectF frac(const QSizeF& size, double x0, double y0, double x1, double y1)
{
    return QRectF(QPointF(x0 * size.width(), y0 * size.height()),
                  QPointF(x1 * size.width(), y1 * size.height()));
}

void drawWallsAndFloor(QPainter& p, const QSizeF& s)
{
    QLinearGradient wall(0, 0, 0, 0.7 * s.height());
    wall.setColorAt(0, QColor(222, 214, 198));
    wall.setColorAt(1, QColor(176, 164, 146));
    p.fillRect(frac(s, 0, 0, 1, 0.7), wall);
    QLinearGradient floor(0, 0.7 * s.height(), 0, s.height());
    floor.setColorAt(0, QColor(82, 86, 104));
    floor.setColorAt(1, QColor(46, 48, 60));
    p.fillRect(frac(s, 0, 0.7, 1, 1), floor);
    p.setPen(QPen(QColor(60, 62, 78), s.height() * 0.004));
    for (int i = 1; i < 12; ++i) {
        const double x = s.width() * i / 12.0;
        p.drawLine(QPointF(x + (x - s.width() / 2) * 0.6, s.height()),
                   QPointF(x, 0.7 * s.height()));
    }
    p.fillRect(frac(s, 0, 0.695, 1, 0.705), QColor(120, 100, 80));
    // Ceiling lights
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(250, 250, 240));
    for (int i = 0; i < 5; ++i) {
        p.drawEllipse(frac(s, 0.1 + i * 0.2 - 0.05, 0.04, 0.1 + i * 0.2 + 0.05, 0.08));
    }
}

void drawWindow(QPainter& p, const QSizeF& s)
{
    const QRectF glass = frac(s, 0.22, 0.24, 0.36, 0.48);
    QLinearGradient sky(glass.topLeft(), glass.bottomLeft());
    sky.setColorAt(0, QColor(96, 158, 226));
    sky.setColorAt(1, QColor(196, 224, 246));
    p.fillRect(glass, sky);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(250, 220, 80));
    p.drawEllipse(QPointF(glass.left() + glass.width() * 0.72, glass.top() + glass.height() * 0.3),
                  glass.width() * 0.08, glass.width() * 0.08);
    QPainterPath hill;
    hill.moveTo(glass.bottomLeft());
    hill.cubicTo(glass.left() + glass.width() * 0.3, glass.top() + glass.height() * 0.55,
                 glass.left() + glass.width() * 0.6, glass.top() + glass.height() * 0.95,
                 glass.right(), glass.top() + glass.height() * 0.7);
    hill.lineTo(glass.bottomRight());
    hill.closeSubpath();
    p.setBrush(QColor(70, 150, 70));
    p.drawPath(hill);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(245, 245, 245), s.height() * 0.01));
    p.drawRect(glass);
    p.drawLine(QPointF(glass.center().x(), glass.top()),
               QPointF(glass.center().x(), glass.bottom()));
    p.drawLine(QPointF(glass.left(), glass.center().y()),
               QPointF(glass.right(), glass.center().y()));
}

void drawWhiteboard(QPainter& p, const QSizeF& s)
{
    const QRectF board = frac(s, 0.40, 0.24, 0.60, 0.50);
    p.setPen(QPen(QColor(90, 90, 96), s.height() * 0.008));
    p.setBrush(QColor(244, 244, 242));
    p.drawRect(board);
    // A bar chart and a trend line, as left from the last meeting.
    const QColor bars[] = {QColor(220, 60, 50), QColor(50, 110, 210), QColor(60, 170, 80),
                           QColor(230, 160, 40)};
    const double heights[] = {0.35, 0.6, 0.45, 0.75};
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 4; ++i) {
        const double x0 = board.left() + board.width() * (0.1 + i * 0.12);
        const double top = board.bottom() - board.height() * (0.1 + heights[i] * 0.7);
        p.setBrush(bars[i]);
        p.drawRect(QRectF(QPointF(x0, top), QPointF(x0 + board.width() * 0.08,
                                                    board.bottom() - board.height() * 0.1)));
    }
    QPolygonF trend;
    for (int i = 0; i < 6; ++i) {
        trend << QPointF(board.left() + board.width() * (0.6 + i * 0.065),
                         board.top() + board.height() * (0.7 - 0.5 * std::sin(i * 0.9) * 0.8));
    }
    p.setPen(QPen(QColor(30, 30, 140), s.height() * 0.006));
    p.drawPolyline(trend);
}

void drawColourChart(QPainter& p, const QSizeF& s)
{
    const QColor patches[] = {QColor(200, 40, 40),  QColor(40, 170, 60),  QColor(40, 70, 200),
                              QColor(230, 210, 40), QColor(40, 190, 210), QColor(200, 50, 180)};
    p.setPen(Qt::NoPen);
    p.fillRect(frac(s, 0.635, 0.235, 0.785, 0.555), QColor(30, 30, 30));
    for (int i = 0; i < 6; ++i) {
        const double x = 0.64 + (i % 3) * 0.048;
        const double y = 0.24 + (i / 3) * 0.12;
        p.fillRect(frac(s, x, y, x + 0.044, y + 0.11), patches[i]);
    }
    for (int i = 0; i < 6; ++i) {
        const int grey = 20 + i * 45;
        const double x = 0.64 + i * 0.024;
        p.fillRect(frac(s, x, 0.49, x + 0.024, 0.55), QColor(grey, grey, grey));
    }
}

void drawFurniture(QPainter& p, const QSizeF& s)
{
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(40, 40, 48));
    for (int i = 0; i < 5; ++i) {
        const double x = 0.32 + i * 0.08;
        p.drawRoundedRect(frac(s, x, 0.52, x + 0.05, 0.64), s.width() * 0.008, s.width() * 0.008);
    }
    QPolygonF table;
    table << QPointF(0.30 * s.width(), 0.62 * s.height())
          << QPointF(0.70 * s.width(), 0.62 * s.height())
          << QPointF(0.76 * s.width(), 0.76 * s.height())
          << QPointF(0.24 * s.width(), 0.76 * s.height());
    p.setBrush(QColor(128, 84, 48));
    p.drawPolygon(table);
    p.fillRect(frac(s, 0.24, 0.76, 0.76, 0.78), QColor(92, 58, 32));
    // Door on the far left, bookshelf and plant on the far right: only
    // seen when the camera pans.
    p.fillRect(frac(s, 0.05, 0.30, 0.15, 0.70), QColor(150, 100, 60));
    p.setBrush(QColor(230, 200, 90));
    p.drawEllipse(QPointF(0.135 * s.width(), 0.5 * s.height()), s.width() * 0.005,
                  s.width() * 0.005);
    p.fillRect(frac(s, 0.84, 0.20, 0.96, 0.70), QColor(110, 80, 50));
    const QColor books[] = {QColor(180, 40, 40), QColor(40, 80, 160), QColor(220, 190, 60),
                            QColor(60, 140, 70), QColor(120, 60, 140)};
    for (int shelf = 0; shelf < 4; ++shelf) {
        for (int b = 0; b < 9; ++b) {
            const double x = 0.85 + b * 0.0115;
            const double y = 0.22 + shelf * 0.12;
            p.fillRect(frac(s, x, y + 0.02 * ((b + shelf) % 3) / 2.0, x + 0.01, y + 0.1),
                       books[(b + shelf) % 5]);
        }
    }
    p.fillRect(frac(s, 0.79, 0.62, 0.83, 0.70), QColor(160, 90, 60));
    p.setBrush(QColor(50, 130, 60));
    for (int i = 0; i < 6; ++i) {
        p.drawEllipse(QPointF((0.81 + 0.02 * std::cos(i)) * s.width(),
                              (0.56 - 0.02 * std::sin(i * 1.7)) * s.height()),
                      s.width() * 0.015, s.height() * 0.04);
    }
}

std::shared_ptr<const SimulatedFrameRenderer::Scene> drawScene(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        const QSizeF size(width, height);
        drawWallsAndFloor(p, size);
        drawWindow(p, size);
        drawWhiteboard(p, size);
        drawColourChart(p, size);
        drawFurniture(p, size);
    }
    auto scene = std::make_shared<SimulatedFrameRenderer::Scene>();
    scene->width = width;
    scene->height = height;
    scene->y.resize(size_t(width) * height);
    scene->u.resize(size_t(width / 2) * (height / 2));
    scene->v.resize(scene->u.size());
    for (int row = 0; row < height; ++row) {
        const QRgb* line = reinterpret_cast<const QRgb*>(image.constScanLine(row));
        uint8_t* y = scene->y.data() + size_t(row) * width;
        for (int x = 0; x < width; ++x) {
            y[x] = lumaOf(qRed(line[x]), qGreen(line[x]), qBlue(line[x]));
        }
    }
    for (int row = 0; row < height / 2; ++row) {
        const QRgb* a = reinterpret_cast<const QRgb*>(image.constScanLine(2 * row));
        const QRgb* b = reinterpret_cast<const QRgb*>(image.constScanLine(2 * row + 1));
        for (int x = 0; x < width / 2; ++x) {
            const QRgb px[] = {a[2 * x], a[2 * x + 1], b[2 * x], b[2 * x + 1]};
            int r = 0, g = 0, bl = 0;
            for (QRgb c : px) {
                r += qRed(c);
                g += qGreen(c);
                bl += qBlue(c);
            }
            const size_t at = size_t(row) * (width / 2) + x;
            scene->u[at] = cbOf(r / 4, g / 4, bl / 4);
            scene->v[at] = crOf(r / 4, g / 4, bl / 4);
        }
    }
    return scene;
}

// One room per picture size for the whole process: drawing it costs far
// more than a frame, and every start of a stream would pay it again. A
// room being drawn holds up only those who want that size: a 4K room takes
// long enough to stall every smaller stream started meanwhile.
std::shared_ptr<const SimulatedFrameRenderer::Scene> sharedScene(int width, int height)
{
    using Room = std::shared_ptr<const SimulatedFrameRenderer::Scene>;
    static std::mutex mutex;
    static QMap<QPair<int, int>, std::shared_future<Room>> scenes;
    std::promise<Room> drawn;
    std::shared_future<Room> scene;
    bool draw = false;
    {
        std::lock_guard<std::mutex> lock(mutex);
        auto known = scenes.find(qMakePair(width, height));
        draw = known == scenes.end();
        scene = draw ? scenes.insert(qMakePair(width, height), drawn.get_future().share()).value()
                     : known.value();
    }
    if (draw) {
        drawn.set_value(drawScene(width, height));
    }
    return scene.get();
}

struct ToneTables
{
    uint8_t y[256];
    uint8_t u[256];
    uint8_t v[256];
};

ToneTables toneTables(const SimulatedCameraState& state)
{
    const bool vivid = state.imageStyle == 5;
    const double contrast = std::clamp(state.contrast, 0, 100) / 50.0 * (vivid ? 1.12 : 1.0);
    const double saturation = vivid ? 1.45 : 1.0;
    const double brightness = state.autoExposure ? 0.0 : std::clamp(state.exposure, -7, 7) * 14.0;
    const double redOffset = std::clamp(state.redShift, -10, 10) * 6.0;
    const double blueOffset = std::clamp(state.blueShift, -10, 10) * 6.0;
    ToneTables t;
    for (int i = 0; i < 256; ++i) {
        t.y[i] = clampByte(128.0 + (i - 128) * contrast + brightness);
        t.u[i] = clampByte(128.0 + (i - 128) * saturation + blueOffset);
        t.v[i] = clampByte(128.0 + (i - 128) * saturation + redOffset);
    }
    return t;
}

// Source column (or row) for every output one; reversed for a flip.
std::vector<int> sampleIndices(double start, double extent, int count, int limit, int divisor,
                               bool reversed)
{
    std::vector<int> indices(count);
    const double step = extent / (count * divisor);
    for (int i = 0; i < count; ++i) {
        const double at = start / divisor + (i + 0.5) * step;
        indices[reversed ? count - 1 - i : i] = std::clamp(int(at), 0, limit - 1);
    }
    return indices;
}

void gatherPlane(const uint8_t* src, int srcStride, const std::vector<int>& cols,
                 const std::vector<int>& rows, const uint8_t* lut, uint8_t* dst, int dstStride)
{
    const int width = int(cols.size());
    for (size_t r = 0; r < rows.size(); ++r) {
        const uint8_t* in = src + size_t(rows[r]) * srcStride;
        uint8_t* out = dst + r * dstStride;
        for (int c = 0; c < width; ++c) {
            out[c] = lut[in[cols[c]]];
        }
    }
}

// 5 x 7 digits, ':' and '.', one byte a row, high bit on the left.
const uint8_t kGlyphs[12][7] = {
    {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}, {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E},
    {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}, {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E},
    {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}, {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E},
    {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}, {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08},
    {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}, {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C},
    {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00}, {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C},
};

void fillRect(const SimulatedYuvPlanes& out, int x0, int y0, int w, int h, uint8_t y, uint8_t u,
              uint8_t v)
{
    for (int row = y0; row < y0 + h; ++row) {
        std::memset(out.y + size_t(row) * out.yStride + x0, y, w);
    }
    for (int row = y0 / 2; row < (y0 + h) / 2; ++row) {
        std::memset(out.u + size_t(row) * out.uStride + x0 / 2, u, w / 2);
        std::memset(out.v + size_t(row) * out.vStride + x0 / 2, v, w / 2);
    }
}

void drawClock(const SimulatedYuvPlanes& out, int frameWidth, int frameHeight, int msecsOfDay)
{
    const int scale = std::max(2, frameHeight / 180);
    const int ms = std::clamp(msecsOfDay, 0, 24 * 3600 * 1000 - 1);
    const int h = ms / 3600000, m = ms / 60000 % 60, s = ms / 1000 % 60, tenth = ms / 100 % 10;
    const int glyphs[] = {h / 10, h % 10, 10, m / 10, m % 10, 10, s / 10, s % 10, 11, tenth};
    const int cell = 6 * scale;
    const int margin = 4 * scale & ~1;
    const int boxW = (int(std::size(glyphs)) * cell + 2 * scale + 1) & ~1;
    const int boxH = (9 * scale + 1) & ~1;
    if (margin + boxW > frameWidth || margin + boxH > frameHeight) {
        return; // a picture too small for the clock
    }
    fillRect(out, margin, margin, boxW, boxH, 16, 128, 128);
    for (int g = 0; g < int(std::size(glyphs)); ++g) {
        const int left = margin + 2 * scale + g * cell;
        for (int row = 0; row < 7 * scale; ++row) {
            const uint8_t bits = kGlyphs[glyphs[g]][row / scale];
            uint8_t* line = out.y + size_t(margin + scale + row) * out.yStride + left;
            for (int col = 0; col < 5 * scale; ++col) {
                if (bits & (0x10 >> (col / scale))) {
                    line[col] = 235;
                }
            }
        }
    }
}

// An orange marker sweeping to and fro along the bottom edge, period 4 s.
void drawMarker(const SimulatedYuvPlanes& out, int width, int height, double elapsedSeconds)
{
    const int radius = std::max(4, height / 36) & ~1;
    const double phase = std::fmod(std::max(0.0, elapsedSeconds) / 4.0, 1.0);
    const double sweep = phase < 0.5 ? phase * 2 : 2 - phase * 2;
    const int cx = radius + int(sweep * (width - 2 * radius));
    const int cy = height - 2 * radius;
    for (int dy = -radius; dy < radius; ++dy) {
        const int row = cy + dy;
        const int half = int(std::sqrt(double(radius * radius - dy * dy)));
        const int x0 = std::max(0, cx - half), x1 = std::min(width, cx + half);
        if (x1 > x0) {
            std::memset(out.y + size_t(row) * out.yStride + x0, 168, x1 - x0);
        }
        if ((row & 1) == 0 && x1 / 2 > x0 / 2) {
            std::memset(out.u + size_t(row / 2) * out.uStride + x0 / 2, 40, x1 / 2 - x0 / 2);
            std::memset(out.v + size_t(row / 2) * out.vStride + x0 / 2, 196, x1 / 2 - x0 / 2);
        }
    }
}

void drawIdentity(const SimulatedYuvPlanes& out, int width, int height, int identity)
{
    const SimulatedIdentityStamp stamp(height);
    if (identity < 0 || stamp.left(width, 0) < 0 || 2 * stamp.side > height) {
        return;
    }
    for (int bit = 0; bit < SimulatedIdentityStamp::kBits; ++bit) {
        const bool set = identity & (0x80 >> bit);
        fillRect(out, stamp.left(width, bit), stamp.side, stamp.side, stamp.side, set ? 235 : 16,
                 128, 128);
    }
}

} // namespace

SimulatedViewWindow simulatedViewWindow(const SimulatedCameraState& state, int sceneWidth,
                                        int sceneHeight, int outWidth, int outHeight)
{
    Q_UNUSED(outWidth);
    Q_UNUSED(outHeight);
    const double zoomFactor = 1.0 + (kMaxZoomFactor - 1.0) * std::clamp(state.zoom, 0, 100) / 100.0;
    SimulatedViewWindow view;
    view.width = sceneWidth * kWideView / zoomFactor;
    view.height = sceneHeight * kWideView / zoomFactor;
    // At the widest view the pan and tilt limits reach the room's edges;
    // zoomed in, the same angle covers fewer pixels of the room.
    const double panPixels = sceneWidth * kWideView / kSimulatedWideFieldOfView;
    const double tiltPixels = sceneHeight * kWideView / kSimulatedWideFieldOfViewTilt;
    const double centreX = sceneWidth / 2.0 + std::clamp(state.pan, -180, 180) * panPixels;
    // Tilting up looks at the upper part of the room.
    const double centreY = sceneHeight / 2.0 - std::clamp(state.tilt, -90, 90) * tiltPixels;
    view.left = centreX - view.width / 2;
    view.top = centreY - view.height / 2;
    return view;
}

SimulatedFrameRenderer::SimulatedFrameRenderer(int width, int height, int identity,
                                               const QString& scene)
    : m_width(std::max(2, width) & ~1), m_height(std::max(2, height) & ~1),
      m_identity(identity < 0 ? -1 : identity % 256),
      m_scene(sharedScene(int(m_width * kSceneScale) & ~1, int(m_height * kSceneScale) & ~1)),
      m_people(std::make_unique<SimulatedPeople>(scene, m_scene->width, m_scene->height))
{
}

SimulatedFrameRenderer::~SimulatedFrameRenderer() = default;

void SimulatedFrameRenderer::render(const SimulatedCameraState& state, int msecsOfDay,
                                    double elapsedSeconds, const SimulatedYuvPlanes& out) const
{
    const Scene& scene = *m_scene;
    const SimulatedViewWindow view =
        simulatedViewWindow(state, scene.width, scene.height, m_width, m_height);
    const ToneTables tones = toneTables(state);
    const bool hflip = state.horizontalFlip, vflip = state.verticalFlip;

    const auto cols = sampleIndices(view.left, view.width, m_width, scene.width, 1, hflip);
    const auto rows = sampleIndices(view.top, view.height, m_height, scene.height, 1, vflip);
    gatherPlane(scene.y.data(), scene.width, cols, rows, tones.y, out.y, out.yStride);

    const int cw = scene.width / 2, ch = scene.height / 2;
    const auto ccols = sampleIndices(view.left, view.width, m_width / 2, cw, 2, hflip);
    const auto crows = sampleIndices(view.top, view.height, m_height / 2, ch, 2, vflip);
    gatherPlane(scene.u.data(), cw, ccols, crows, tones.u, out.u, out.uStride);
    gatherPlane(scene.v.data(), cw, ccols, crows, tones.v, out.v, out.vStride);
    if (!m_people->isEmpty()) {
        m_people->draw(elapsedSeconds, view, hflip, vflip, {tones.y, tones.u, tones.v}, out,
                       m_width, m_height);
    }

    drawClock(out, m_width, m_height, msecsOfDay);
    drawMarker(out, m_width, m_height, elapsedSeconds);
    drawIdentity(out, m_width, m_height, m_identity);
}
