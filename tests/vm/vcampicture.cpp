// The VM tier's picture for the virtual camera, so that what a V4L2 client
// reads from the loopback device can be compared with what was published.
//   lumora-vcam-picture publish SECONDS   shares four coloured quarters of a
//                                         1280x720 frame, as the window does
//   lumora-vcam-picture compare FILE      checks the last 640x480 rgb24 frame
//                                         in FILE: each quarter's colour in
//                                         place, black bars above and below
#include "vorn_sharedmemory.h"

#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <cstdio>
#include <cstdlib>

namespace {

struct Spot
{
    int x, y;
    QColor colour;
};

// Letterboxed 16:9 in 4:3, the picture spans rows 60..419 of the record.
const Spot kSpots[] = {{160, 150, QColor(220, 40, 40)}, {480, 150, QColor(40, 200, 60)},
                       {160, 330, QColor(40, 60, 220)}, {480, 330, QColor(230, 230, 230)},
                       {320, 20, QColor(0, 0, 0)},      {320, 460, QColor(0, 0, 0)}};

int publish(int seconds)
{
    QImage frame(1280, 720, QImage::Format_RGB888);
    for (int quarter = 0; quarter < 4; ++quarter) {
        const QRect area((quarter % 2) * 640, (quarter / 2) * 360, 640, 360);
        for (int y = area.top(); y <= area.bottom(); ++y) {
            for (int x = area.left(); x <= area.right(); ++x) {
                frame.setPixelColor(x, y, kSpots[quarter].colour);
            }
        }
    }
    Vorn_SharedMemory shared;
    shared.captureOpen = true;
    QElapsedTimer running;
    running.start();
    for (bool first = true; running.elapsed() < seconds * 1000; first = false) {
        shared.ImageFrame(frame.bits(), frame.width(), frame.height());
        if (first) { // what a reader may wait for
            std::printf("published\n");
            std::fflush(stdout);
        }
        QThread::msleep(33); // the camera's pace
    }
    return 0;
}

int compare(const QString& path)
{
    constexpr qint64 kFrameBytes = 640 * 480 * 3;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() < kFrameBytes ||
        !file.seek(file.size() - kFrameBytes)) {
        std::fprintf(stderr, "no whole frame in %s\n", qPrintable(path));
        return 1;
    }
    const QByteArray bytes = file.read(kFrameBytes);
    const QImage last(reinterpret_cast<const uchar*>(bytes.constData()), 640, 480, 640 * 3,
                      QImage::Format_RGB888);
    int wrong = 0;
    for (const Spot& spot : kSpots) {
        const QColor seen = last.pixelColor(spot.x, spot.y);
        const bool near = std::abs(seen.red() - spot.colour.red()) < 40 &&
                          std::abs(seen.green() - spot.colour.green()) < 40 &&
                          std::abs(seen.blue() - spot.colour.blue()) < 40;
        std::printf("(%d,%d) published %s read %s%s\n", spot.x, spot.y,
                    qPrintable(spot.colour.name()), qPrintable(seen.name()), near ? "" : " WRONG");
        wrong += near ? 0 : 1;
    }
    return wrong == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char* argv[])
{
    const QString mode = argc == 3 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (mode == QLatin1String("publish")) {
        return publish(std::atoi(argv[2]));
    }
    if (mode == QLatin1String("compare")) {
        return compare(QString::fromLocal8Bit(argv[2]));
    }
    std::fprintf(stderr, "usage: lumora-vcam-picture publish SECONDS | compare FILE\n");
    return 2;
}
