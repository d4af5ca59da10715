#pragma once

// Runs the shared frame reader helper, a separate process, and hands back
// what it found in the segment "shareFrame"; and the pictures both sides of
// the segment, and the preview, are tested with.
#include <QByteArray>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QRandomGenerator>

namespace SharedFrameProbe {

inline QString readerProgram()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/sharedframe_reader");
}

inline QByteArray hashOf(const QByteArray& pixels)
{
    return QCryptographicHash::hash(pixels, QCryptographicHash::Sha1).toHex();
}

// Reads the segment once, in a process of its own: "width height size
// pixels-sha1" as the reader prints it, "absent" when there is no segment,
// else what went wrong.
inline QByteArray read()
{
    QProcess reader;
    reader.start(readerProgram(), {QStringLiteral("read")});
    if (!reader.waitForFinished(60000) || reader.exitStatus() != QProcess::NormalExit) {
        return "the reader did not finish";
    }
    const QByteArray line = reader.readAllStandardOutput().trimmed();
    const int code = reader.exitCode();
    return code == 0 || code == 3 ? line : "the reader failed with " + QByteArray::number(code);
}

inline bool absent()
{
    return read() == "absent";
}

// A whole 640 x 480 record is there.
inline bool present()
{
    return read().startsWith("640 480 921612 ");
}

// Noise, so that every pixel counts, padding included.
inline QImage noisePicture(quint32 seed, int width, int height)
{
    QImage image(width, height, QImage::Format_RGB888);
    QRandomGenerator random{seed};
    for (int y = 0; y < height; ++y) {
        random.fillRange(reinterpret_cast<quint32*>(image.scanLine(y)), image.bytesPerLine() / 4);
    }
    return image;
}

// A picture as it must look in a box of another shape: whole, undistorted
// (Qt's own nearest-pixel scaling keeping the aspect ratio), centred, with
// black bars around it.
inline QImage letterboxed(const QImage& picture, const QSize& box)
{
    const QImage scaled = picture.scaled(box, Qt::KeepAspectRatio, Qt::FastTransformation);
    QImage boxed(box, QImage::Format_RGB888);
    boxed.fill(Qt::black);
    QPainter(&boxed).drawImage((box.width() - scaled.width()) / 2,
                               (box.height() - scaled.height()) / 2, scaled);
    return boxed;
}

// Rows last to first, as the record stores them.
inline QByteArray bottomUp(const QImage& image)
{
    const QImage flipped = image.mirrored();
    return QByteArray(reinterpret_cast<const char*>(flipped.constBits()), flipped.sizeInBytes());
}

} // namespace SharedFrameProbe
