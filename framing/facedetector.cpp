#include "facedetector.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <opencv2/imgproc.hpp>
#include <opencv2/objdetect.hpp>

namespace {

// The face must be at least this many pixels of the small picture: below,
// the cascade's false alarms outnumber the faces.
constexpr int kMinFacePixels = 20;
constexpr char kModelName[] = "face_detection_yunet.onnx";

cv::Mat matOf(const QImage& picture)
{
    return cv::Mat(picture.height(), picture.width(), CV_8UC3,
                   const_cast<uchar*>(picture.constBits()), size_t(picture.bytesPerLine()));
}

} // namespace

struct FaceDetector::Impl
{
    cv::Ptr<cv::FaceDetectorYN> yunet;
    cv::CascadeClassifier cascade;
    QString description;
    cv::Mat gray;
    cv::Mat bgr;
};

FaceDetector::FaceDetector() : d(std::make_unique<Impl>()) {}

FaceDetector::~FaceDetector() = default;

QString FaceDetector::modelFile()
{
    const QString named = qEnvironmentVariable("LUMORA_FACE_MODEL");
    if (!named.isEmpty()) {
        return named;
    }
    // Beside the installed program's data (share/lumora), then the
    // system's data folders.
    const QString beside = QDir(QCoreApplication::applicationDirPath())
                               .filePath(QStringLiteral("../share/lumora/") + kModelName);
    if (QFileInfo::exists(beside)) {
        return QFileInfo(beside).canonicalFilePath();
    }
    return QStandardPaths::locate(QStandardPaths::GenericDataLocation,
                                  QStringLiteral("lumora/") + kModelName);
}

QString FaceDetector::cascadeFile()
{
    const QString named = qEnvironmentVariable("LUMORA_FACE_CASCADE");
    // The LBP cascade: a third of the Haar cascade's time at the working
    // size, and it finds the same frontal faces there.
    return named.isEmpty()
               ? QStringLiteral("/usr/share/opencv4/lbpcascades/lbpcascade_frontalface.xml")
               : named;
}

bool FaceDetector::load(QString* problem)
{
    const QString model = modelFile();
    if (!model.isEmpty() && QFileInfo::exists(model)) {
        try {
            d->yunet = cv::FaceDetectorYN::create(model.toStdString(), std::string(),
                                                  cv::Size(320, 320), 0.8f);
        } catch (const cv::Exception& e) {
            qWarning("face detector: %s cannot be used (%s); using the cascade", qPrintable(model),
                     e.what());
        }
        if (d->yunet) {
            d->description = QStringLiteral("YuNet (%1)").arg(model);
            return true;
        }
    }
    const QString cascade = cascadeFile();
    if (!QFileInfo::exists(cascade) || !d->cascade.load(cascade.toStdString())) {
        if (problem) {
            *problem = QStringLiteral("No face detector: %1 is missing. Install the package "
                                      "opencv-data (sudo apt-get install opencv-data).")
                           .arg(cascade);
        }
        return false;
    }
    d->description = QStringLiteral("cascade (%1)").arg(cascade);
    return true;
}

QString FaceDetector::description() const
{
    return d->description;
}

QVector<QRectF> FaceDetector::detect(const QImage& picture)
{
    QVector<QRectF> found;
    if (picture.isNull() || picture.format() != QImage::Format_RGB888) {
        return found;
    }
    const double w = picture.width(), h = picture.height();
    if (d->yunet) {
        cv::cvtColor(matOf(picture), d->bgr, cv::COLOR_RGB2BGR);
        d->yunet->setInputSize(d->bgr.size());
        cv::Mat faces;
        d->yunet->detect(d->bgr, faces);
        for (int i = 0; i < faces.rows; ++i) {
            const float* row = faces.ptr<float>(i);
            found.append(QRectF(row[0] / w, row[1] / h, row[2] / w, row[3] / h));
        }
        return found;
    }
    if (d->cascade.empty()) {
        return found;
    }
    cv::cvtColor(matOf(picture), d->gray, cv::COLOR_RGB2GRAY);
    cv::equalizeHist(d->gray, d->gray);
    std::vector<cv::Rect> faces;
    // Steps of 15 % between scales: half the work of OpenCV's usual 10 %,
    // and a face of the working size still falls within a step of one.
    d->cascade.detectMultiScale(d->gray, faces, 1.15, 4, 0,
                                cv::Size(kMinFacePixels, kMinFacePixels),
                                cv::Size(d->gray.rows, d->gray.rows));
    for (const cv::Rect& r : faces) {
        found.append(QRectF(r.x / w, r.y / h, r.width / w, r.height / h));
    }
    return found;
}
