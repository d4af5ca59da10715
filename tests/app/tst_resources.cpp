#include <QDirIterator>
#include <QImage>
#include <QMovie>
#include <QPixmap>
#include <QSet>
#include <QSize>
#include <QtTest>

namespace {

// Every picture the program names, with the size of the widget that shows
// it. Style sheets stretch border images to the widget, so a picture made at
// another size is resampled without smoothing and looks ragged.
struct UsedPicture
{
    const char* path;
    QSize size;
};

const UsedPicture kUsedPictures[] = {
    {":/UI/Icon/icon_title.png", {64, 64}},
    {":/UI/Word/inuse.png", {285, 29}},
    {":/UI/Button/volume.png", {30, 30}},
    {":/UI/Button/volume-p.png", {30, 30}},
    {":/UI/Button/volume_white.png", {30, 30}},
    {":/UI/Button/microphone.png", {30, 30}},
    {":/UI/Button/microphone-p.png", {30, 30}},
    {":/UI/Button/microphone_white.png", {30, 30}},
    {":/UI/Button/shot.png", {30, 30}},
    {":/UI/Button/shot-p.png", {30, 30}},
    {":/UI/Button/shot_white.png", {30, 30}},
    {":/UI/Button/record.png", {30, 30}},
    {":/UI/Button/record-p.png", {30, 30}},
    {":/UI/Button/record_white.png", {30, 30}},
    {":/UI/Button/mute.png", {30, 30}},
    {":/UI/Button/mic_mute.png", {30, 30}},
    {":/UI/Button/on.png", {40, 20}},
    {":/UI/Button/off.png", {40, 20}},
    {":/UI/Combox/cbxdown.png", {11, 7}},
    {":/UI/Combox/cbxrowpic.png", {16, 12}},
    {":/UI/Slider/slider.png", {210, 15}},
    {":/UI/Slider/slider_vertical.png", {20, 100}},
    {":/UI/Slider/thumb.png", {15, 15}},
    {":/UI/Slider/slider_text.png", {40, 22}},
    {":/UI/CameraControl/up.png", {110, 45}},
    {":/UI/CameraControl/up_pressed.png", {110, 45}},
    {":/UI/CameraControl/down.png", {110, 45}},
    {":/UI/CameraControl/down_pressed.png", {110, 45}},
    {":/UI/CameraControl/left.png", {45, 110}},
    {":/UI/CameraControl/left_pressed.png", {45, 110}},
    {":/UI/CameraControl/right.png", {45, 110}},
    {":/UI/CameraControl/right_pressed.png", {45, 110}},
    {":/UI/CameraControl/home.png", {85, 85}},
    {":/UI/CameraControl/home_pressed.png", {85, 85}},
    {":/UI/CameraControl/zoomin.png", {47, 47}},
    {":/UI/CameraControl/zoomin_pressed.png", {47, 47}},
    {":/UI/CameraControl/zoomout.png", {47, 47}},
    {":/UI/CameraControl/zoomout_pressed.png", {47, 47}},
};

QImage load(const QString& path)
{
    return QImage(path).convertToFormat(QImage::Format_ARGB32);
}

int opaquePixels(const QImage& image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += qAlpha(image.pixel(x, y)) > 128 ? 1 : 0;
    return count;
}

// Pixels clearly brighter than the picture's darkest backdrop: the strokes of
// light text or glyphs.
QImage brightMask(const QImage& image)
{
    QImage mask(image.size(), QImage::Format_Grayscale8);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            const bool bright = qAlpha(p) > 128 && qGray(p) > 160;
            mask.setPixel(x, y, bright ? 255 : 0);
        }
    return mask;
}

// Runs of columns that hold at least one bright pixel, separated by empty
// columns: roughly the glyphs and words of a line of text.
int inkRuns(const QImage& mask)
{
    int runs = 0;
    bool inRun = false;
    for (int x = 0; x < mask.width(); ++x) {
        bool ink = false;
        for (int y = 0; y < mask.height() && !ink; ++y)
            ink = qGray(mask.pixel(x, y)) > 0;
        if (ink && !inRun)
            ++runs;
        inRun = ink;
    }
    return runs;
}

int differingPixels(const QImage& a, const QImage& b)
{
    int count = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            count += a.pixel(x, y) != b.pixel(x, y) ? 1 : 0;
    return count;
}

QRgb average(const QImage& image)
{
    qint64 r = 0, g = 0, b = 0, n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            if (qAlpha(p) < 200)
                continue;
            r += qRed(p);
            g += qGreen(p);
            b += qBlue(p);
            ++n;
        }
    return n ? qRgb(int(r / n), int(g / n), int(b / n)) : qRgba(0, 0, 0, 0);
}

} // namespace

class TestResources : public QObject
{
    Q_OBJECT

private slots:
    void usedPicturesLoadAtWidgetSize_data();
    void usedPicturesLoadAtWidgetSize();
    void bundleHoldsExactlyTheShippedFiles();
    void loadingAnimationIsAnimated();
    void wordPicturesShowText_data();
    void wordPicturesShowText();
    void statesLookDifferent_data();
    void statesLookDifferent();
    void switchShowsItsState();
    void padPiecesLeaveOverlapsTransparent();
};

void TestResources::usedPicturesLoadAtWidgetSize_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");
    for (const UsedPicture& picture : kUsedPictures)
        QTest::newRow(picture.path) << QString::fromLatin1(picture.path) << picture.size;
}

void TestResources::usedPicturesLoadAtWidgetSize()
{
    QFETCH(QString, path);
    QFETCH(QSize, size);
    const QPixmap pixmap(path);
    QVERIFY2(!pixmap.isNull(), qPrintable(path));
    QCOMPARE(pixmap.size(), size);
    // A picture that is blank (nothing drawn) would still load.
    QVERIFY2(opaquePixels(load(path)) > 0, qPrintable(path));
}

void TestResources::bundleHoldsExactlyTheShippedFiles()
{
    QStringList files;
    QDirIterator it(QStringLiteral(":/UI"), QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next();
    QCOMPARE(files.size(), 47);

    const QSet<QString> folders = {"Icon",   "Word",   "background",   "Button",
                                   "Combox", "Slider", "CameraControl"};
    for (const QString& file : files) {
        const QString folder = file.section('/', 2, 2);
        QVERIFY2(folders.contains(folder), qPrintable(file));
        QVERIFY2(!QImage(file).isNull() || file.endsWith(".gif"), qPrintable(file));
    }
    for (const UsedPicture& picture : kUsedPictures)
        QVERIFY2(files.contains(QString::fromLatin1(picture.path)), picture.path);
    QVERIFY(files.contains(QStringLiteral(":/UI/Icon/load.gif")));
    // Icon holds the window icon, the animation and one spare logo.
    QCOMPARE(files.filter(QStringLiteral(":/UI/Icon/")).size(), 3);
}

void TestResources::loadingAnimationIsAnimated()
{
    QMovie movie(QStringLiteral(":/UI/Icon/load.gif"));
    QVERIFY(movie.isValid());
    QVERIFY(movie.frameCount() > 1);
    QVERIFY(movie.jumpToFrame(0));
    const QImage first = movie.currentImage().convertToFormat(QImage::Format_ARGB32);
    // The GIF reader only steps forward, so walk to the middle frame.
    for (int i = 0; i < movie.frameCount() / 2; ++i)
        QVERIFY(movie.jumpToNextFrame());
    const QImage middle = movie.currentImage().convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(first.size(), middle.size());
    // The frames must move, not repeat one picture.
    QVERIFY(differingPixels(first, middle) > 20);
    QVERIFY(movie.nextFrameDelay() > 0);
}

void TestResources::wordPicturesShowText_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("minimumRuns");
    // "Camera in use - no preview available": seven words plus an icon.
    QTest::newRow("inuse") << ":/UI/Word/inuse.png" << 20;
    QTest::newRow("advance") << ":/UI/Word/advance.png" << 10;
    QTest::newRow("restore") << ":/UI/Word/restore.png" << 15;
}

void TestResources::wordPicturesShowText()
{
    QFETCH(QString, path);
    QFETCH(int, minimumRuns);
    const QImage mask = brightMask(load(path));
    QVERIFY2(inkRuns(mask) >= minimumRuns,
             qPrintable(QStringLiteral("%1: %2 ink runs").arg(path).arg(inkRuns(mask))));
    // Text cut off at the right edge would leave ink in the last column.
    bool lastColumnInk = false;
    for (int y = 0; y < mask.height(); ++y)
        lastColumnInk = lastColumnInk || qGray(mask.pixel(mask.width() - 1, y)) > 0;
    QVERIFY2(!lastColumnInk, qPrintable(path));
}

void TestResources::statesLookDifferent_data()
{
    QTest::addColumn<QString>("resting");
    QTest::addColumn<QString>("other");
    for (const char* name : {"volume", "microphone", "shot", "record"}) {
        const QString base = QStringLiteral(":/UI/Button/%1").arg(name);
        QTest::newRow(qPrintable(QString(name) + "-p")) << base + ".png" << base + "-p.png";
        QTest::newRow(qPrintable(QString(name) + "_white")) << base + ".png" << base + "_white.png";
    }
    QTest::newRow("mute") << ":/UI/Button/volume.png"
                          << ":/UI/Button/mute.png";
    QTest::newRow("mic_mute") << ":/UI/Button/microphone.png"
                              << ":/UI/Button/mic_mute.png";
    for (const char* name : {"up", "down", "left", "right", "home", "zoomin", "zoomout"}) {
        const QString base = QStringLiteral(":/UI/CameraControl/%1").arg(name);
        QTest::newRow(name) << base + ".png" << base + "_pressed.png";
    }
}

void TestResources::statesLookDifferent()
{
    QFETCH(QString, resting);
    QFETCH(QString, other);
    const QImage a = load(resting);
    const QImage b = load(other);
    QCOMPARE(a.size(), b.size());
    // A visible change, not a few stray anti-aliasing pixels.
    const int area = a.width() * a.height();
    QVERIFY2(differingPixels(a, b) > area / 50,
             qPrintable(QStringLiteral("%1 vs %2: %3 of %4 pixels differ")
                            .arg(resting, other)
                            .arg(differingPixels(a, b))
                            .arg(area)));
}

void TestResources::switchShowsItsState()
{
    const QImage on = load(QStringLiteral(":/UI/Button/on.png"));
    const QImage off = load(QStringLiteral(":/UI/Button/off.png"));
    // The "on" track carries the accent blue; "off" is a neutral grey.
    const QRgb onTrack = average(on.copy(2, 6, 12, 8));
    QVERIFY(qBlue(onTrack) > qRed(onTrack) + 60);
    const QRgb offTrack = average(off.copy(26, 6, 12, 8));
    QVERIFY(qAbs(qBlue(offTrack) - qRed(offTrack)) < 12);
    // The knob is the brightest part: right when on, left when off.
    QVERIFY(qGray(on.pixel(30, 10)) > qGray(on.pixel(10, 10)) + 60);
    QVERIFY(qGray(off.pixel(10, 10)) > qGray(off.pixel(30, 10)) + 60);
}

void TestResources::padPiecesLeaveOverlapsTransparent()
{
    // The arrow buttons' rectangles overlap at the pad's diagonals; a piece
    // that painted its whole rectangle would hide part of its neighbour.
    const QImage up = load(QStringLiteral(":/UI/CameraControl/up.png"));
    const QImage left = load(QStringLiteral(":/UI/CameraControl/left.png"));
    QCOMPARE(qAlpha(up.pixel(0, up.height() - 1)), 0);
    QCOMPARE(qAlpha(left.pixel(left.width() - 1, 0)), 0);
    // The middle of each piece is drawn.
    QVERIFY(qAlpha(up.pixel(up.width() / 2, 10)) > 200);
    QVERIFY(qAlpha(left.pixel(10, left.height() / 2)) > 200);
    const QImage home = load(QStringLiteral(":/UI/CameraControl/home.png"));
    QCOMPARE(qAlpha(home.pixel(0, 0)), 0);
    QVERIFY(qAlpha(home.pixel(42, 42)) > 200);
}

QTEST_MAIN(TestResources)
#include "tst_resources.moc"
