#pragma once

#include <QImage>
#include <QRectF>
#include <QString>
#include <QVector>

#include <memory>

// Finds faces with OpenCV's objdetect. A YuNet model file (FaceDetectorYN),
// when one is present, is used; otherwise the frontal-face cascade that
// Debian's opencv-data installs. Nothing is downloaded. Used by one thread
// at a time.
class FaceDetector
{
public:
    FaceDetector();
    ~FaceDetector();
    FaceDetector(const FaceDetector&) = delete;
    FaceDetector& operator=(const FaceDetector&) = delete;

    // False, with a sentence for the user, when no detector could be loaded.
    bool load(QString* problem);
    // "YuNet (file)" or "cascade (file)", once loaded.
    QString description() const;

    // Faces in a small RGB888 picture, as fractions of it (0..1, y down).
    QVector<QRectF> detect(const QImage& picture);

    // Where the detector files are looked for: LUMORA_FACE_MODEL names a
    // YuNet .onnx file, LUMORA_FACE_CASCADE a cascade .xml file.
    static QString modelFile();
    static QString cascadeFile();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
