#include "simulatedpeople.h"

#include "simulatedframerenderer.h"

#include <QDir>
#include <QImage>
#include <QMap>
#include <QMutex>
#include <QRect>

#include <algorithm>
#include <cmath>

namespace {

// A face is this wide in a room of 3200 pixels: about 100 pixels of the
// widest 1280-pixel view, four times that at full zoom.
constexpr double kFaceRoomFraction = 150.0 / 3200.0;

// The two portraits of opencv-doc's face-swapping tutorial, with where the
// face is in each (found by OpenCV's frontal-face cascade).
struct PortraitFile
{
    const char* name;
    QRect face;
};
const PortraitFile kPortraits[] = {
    {"227943776_1.jpg", QRect(112, 95, 183, 183)},
    {"230501201_1.jpg", QRect(113, 211, 375, 375)},
};

uint8_t clampByte(double value)
{
    return uint8_t(std::clamp(std::lround(value), 0L, 255L));
}

// A key of an actor's script: where the face is (fractions of the room) and
// whether the person is in the room from this moment on.
struct Key
{
    double t;
    double x;
    double y;
    bool visible;
};

} // namespace

struct SimulatedPeople::Photo
{
    int width = 0;
    int height = 0;
    QRect face;
    std::vector<uint8_t> y, u, v;
    // A bust-shaped cut-out: the photograph's own background around the
    // head is left out where it is clear of the person.
    std::vector<uint8_t> inside;
};

struct SimulatedPeople::Actor
{
    int photo = 0;
    double loop = 0; // seconds; 0: the script runs once and stays at its end
    std::vector<Key> keys;
};

namespace {

std::shared_ptr<const SimulatedPeople::Photo> loadPhoto(const QString& folder,
                                                        const PortraitFile& file)
{
    const QImage image = QImage(QDir(folder).filePath(QLatin1String(file.name)))
                             .convertToFormat(QImage::Format_RGB32);
    if (image.isNull()) {
        return nullptr;
    }
    auto photo = std::make_shared<SimulatedPeople::Photo>();
    photo->width = image.width() & ~1;
    photo->height = image.height() & ~1;
    photo->face = file.face;
    const int w = photo->width, h = photo->height;
    photo->y.resize(size_t(w) * h);
    photo->inside.resize(size_t(w) * h);
    photo->u.resize(size_t(w / 2) * (h / 2));
    photo->v.resize(photo->u.size());
    const double cx = file.face.center().x(), cy = file.face.center().y();
    const double rx = file.face.width() * 0.85, ry = file.face.height() * 0.85;
    const double shoulders = file.face.bottom() + file.face.height() * 0.1;
    for (int row = 0; row < h; ++row) {
        const QRgb* line = reinterpret_cast<const QRgb*>(image.constScanLine(row));
        for (int x = 0; x < w; ++x) {
            const QRgb c = line[x];
            photo->y[size_t(row) * w + x] =
                clampByte(0.299 * qRed(c) + 0.587 * qGreen(c) + 0.114 * qBlue(c));
            const double dx = (x - cx) / rx, dy = (row - cy) / ry;
            photo->inside[size_t(row) * w + x] = dx * dx + dy * dy <= 1.0 || row > shoulders;
            if ((x & 1) == 0 && (row & 1) == 0) {
                const size_t at = size_t(row / 2) * (w / 2) + x / 2;
                photo->u[at] =
                    clampByte(128.0 - 0.168736 * qRed(c) - 0.331264 * qGreen(c) + 0.5 * qBlue(c));
                photo->v[at] =
                    clampByte(128.0 + 0.5 * qRed(c) - 0.418688 * qGreen(c) - 0.081312 * qBlue(c));
            }
        }
    }
    return photo;
}

// Loaded once per process: every stream of every simulated camera shares
// them.
std::vector<std::shared_ptr<const SimulatedPeople::Photo>> sharedPhotos()
{
    static QMutex mutex;
    static bool loaded = false;
    static std::vector<std::shared_ptr<const SimulatedPeople::Photo>> photos;
    QMutexLocker lock(&mutex);
    if (!loaded) {
        loaded = true;
        const QString folder = SimulatedPeople::photoFolder();
        for (const PortraitFile& file : kPortraits) {
            if (auto photo = loadPhoto(folder, file)) {
                photos.push_back(photo);
            }
        }
        if (photos.size() != std::size(kPortraits)) {
            qWarning("simulated camera: the portraits of opencv-doc are not in %s, so the room "
                     "stays empty (install opencv-doc, or set LUMORA_SIMULATED_PEOPLE_DIR)",
                     qPrintable(folder));
            photos.clear();
        }
    }
    return photos;
}

using Script = std::vector<std::pair<int, std::vector<Key>>>;

Script scriptOf(const QString& scene, double* loop)
{
    *loop = 0;
    // Faces stand at y = 0.47: seated height, in front of the whiteboard.
    if (scene == QLatin1String("one")) {
        return {{0, {{0, 0.62, 0.47, true}}}};
    }
    if (scene == QLatin1String("two")) {
        return {{0, {{0, 0.355, 0.47, true}}}, {1, {{0, 0.645, 0.45, true}}}};
    }
    if (scene == QLatin1String("walk")) {
        return {{0, {{0, 0.38, 0.47, true}, {3, 0.38, 0.47, true}, {13, 0.64, 0.47, true}}}};
    }
    if (scene == QLatin1String("leave")) {
        return {{0, {{0, 0.58, 0.47, true}, {12, 0.58, 0.47, false}}}};
    }
    if (scene == QLatin1String("demo")) {
        *loop = 48;
        return {{0,
                 {{0, 0.62, 0.47, true},
                  {12, 0.62, 0.47, true},
                  {22, 0.42, 0.47, true},
                  {34, 0.42, 0.47, true},
                  {36, 0.42, 0.47, false}}},
                {1, {{0, 0.5, 0.45, false}, {22, 0.58, 0.45, true}, {36, 0.58, 0.45, false}}}};
    }
    return {};
}

} // namespace

SimulatedPeople::SimulatedPeople(const QString& scene, int sceneWidth, int sceneHeight)
    : m_sceneWidth(sceneWidth), m_sceneHeight(sceneHeight)
{
    double loop = 0;
    const Script script = scriptOf(scene, &loop);
    if (script.empty()) {
        return;
    }
    m_photos = sharedPhotos();
    if (m_photos.empty()) {
        return;
    }
    for (const auto& entry : script) {
        auto actor = std::make_shared<Actor>();
        actor->photo = entry.first % int(m_photos.size());
        actor->loop = loop;
        actor->keys = entry.second;
        m_actors.push_back(actor);
    }
}

SimulatedPeople::~SimulatedPeople() = default;

QStringList SimulatedPeople::sceneNames()
{
    return {QStringLiteral("one"), QStringLiteral("two"), QStringLiteral("walk"),
            QStringLiteral("leave"), QStringLiteral("demo")};
}

QString SimulatedPeople::photoFolder()
{
    const QString folder = qEnvironmentVariable("LUMORA_SIMULATED_PEOPLE_DIR");
    return folder.isEmpty() ? QStringLiteral("/usr/share/doc/opencv-doc/opencv4/html") : folder;
}

std::vector<SimulatedPeople::Placement> SimulatedPeople::placements(double seconds) const
{
    std::vector<Placement> out;
    for (const auto& actor : m_actors) {
        const double t = actor->loop > 0 ? std::fmod(std::max(0.0, seconds), actor->loop) : seconds;
        const std::vector<Key>& keys = actor->keys;
        size_t i = 0;
        while (i + 1 < keys.size() && keys[i + 1].t <= t) {
            ++i;
        }
        Key at = keys[i];
        if (i + 1 < keys.size() && keys[i + 1].visible && at.visible) {
            const Key& next = keys[i + 1];
            const double f = std::clamp((t - at.t) / (next.t - at.t), 0.0, 1.0);
            at.x += (next.x - at.x) * f;
            at.y += (next.y - at.y) * f;
        }
        out.push_back({actor->photo, at.x * m_sceneWidth, at.y * m_sceneHeight, at.visible});
    }
    return out;
}

void SimulatedPeople::draw(double seconds, const SimulatedViewWindow& view, bool hflip, bool vflip,
                           const Tones& tones, const SimulatedYuvPlanes& out, int outWidth,
                           int outHeight) const
{
    const double faceWidth = kFaceRoomFraction * m_sceneWidth;
    const double colScale = view.width / outWidth, rowScale = view.height / outHeight;
    for (const Placement& place : placements(seconds)) {
        if (!place.visible) {
            continue;
        }
        const Photo& p = *m_photos[size_t(place.photo)];
        const double scale = faceWidth / p.face.width(); // room pixels per photo pixel
        const double left = place.x - p.face.center().x() * scale;
        const double top = place.y - p.face.center().y() * scale;
        // Output pixels (before flips) whose centre falls on the photograph.
        const int c0 = std::max(0, int(std::ceil((left - view.left) / colScale - 0.5)));
        const int c1 = std::min(
            outWidth, int(std::ceil((left + p.width * scale - view.left) / colScale - 0.5)));
        const int r0 = std::max(0, int(std::ceil((top - view.top) / rowScale - 0.5)));
        const int r1 = std::min(
            outHeight, int(std::ceil((top + p.height * scale - view.top) / rowScale - 0.5)));
        if (c0 >= c1 || r0 >= r1) {
            continue;
        }
        std::vector<int> cols(size_t(c1 - c0));
        for (int c = c0; c < c1; ++c) {
            const double x = (view.left + (c + 0.5) * colScale - left) / scale;
            cols[size_t(c - c0)] = std::clamp(int(x), 0, p.width - 1);
        }
        for (int r = r0; r < r1; ++r) {
            const double yPhoto = (view.top + (r + 0.5) * rowScale - top) / scale;
            const int py = std::clamp(int(yPhoto), 0, p.height - 1);
            const int outRow = vflip ? outHeight - 1 - r : r;
            uint8_t* line = out.y + size_t(outRow) * out.yStride;
            const uint8_t* src = p.y.data() + size_t(py) * p.width;
            const uint8_t* mask = p.inside.data() + size_t(py) * p.width;
            const bool chromaRow = (outRow & 1) == 0;
            for (int c = c0; c < c1; ++c) {
                const int px = cols[size_t(c - c0)];
                if (!mask[px]) {
                    continue;
                }
                const int outCol = hflip ? outWidth - 1 - c : c;
                line[outCol] = tones.y[src[px]];
                if (chromaRow && (outCol & 1) == 0) {
                    const size_t from = size_t(py / 2) * (p.width / 2) + px / 2;
                    out.u[size_t(outRow / 2) * out.uStride + outCol / 2] = tones.u[p.u[from]];
                    out.v[size_t(outRow / 2) * out.vStride + outCol / 2] = tones.v[p.v[from]];
                }
            }
        }
    }
}
