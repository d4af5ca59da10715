// The Linux virtual camera's feeder: the record checks, the YUV conversions
// against the BT.601 formulas, the reader holding the segment against
// Lumora's own writer, and the feeder program itself reading a segment that
// this process writes, into a plain file.
#include "framerecord.h"
#include "placeholderpicture.h"
#include "sharedframelock.h"
#include "sharedframereader.h"
#include "vorn_sharedmemory.h"
#include "yuvconversion.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QProcess>
#include <QSharedMemory>
#include <QTemporaryDir>
#include <QtConcurrent>
#include <QtEndian>
#include <QtTest>

#include <cmath>
#include <memory>

namespace {

using Result = SharedFrameReader::Result;

constexpr int kW = 640;
constexpr int kH = 480;

struct Yuv
{
    double y, u, v;
};

// BT.601, studio range, straight from the formulas.
Yuv reference(double r, double g, double b)
{
    return {16 + (65.481 * r + 128.553 * g + 24.966 * b) / 255.0,
            128 + (-37.797 * r - 74.203 * g + 112.0 * b) / 255.0,
            128 + (112.0 * r - 93.786 * g - 18.214 * b) / 255.0};
}

// An upright picture with gradients, noise and hard edges.
QImage uprightPicture(int seed)
{
    QImage picture(kW, kH, QImage::Format_RGB888);
    quint32 state = quint32(seed) * 2654435761u + 1;
    for (int y = 0; y < kH; ++y) {
        uchar* row = picture.scanLine(y);
        for (int x = 0; x < kW; ++x) {
            state = state * 1664525u + 1013904223u;
            const bool edge = ((x / 37) + (y / 23)) % 2;
            row[x * 3] = uchar(edge ? 255 - x % 256 : (state >> 24));
            row[x * 3 + 1] = uchar(y * 255 / (kH - 1));
            row[x * 3 + 2] = uchar(edge ? (state >> 16) : 0);
        }
    }
    return picture;
}

QByteArray bottomUp(const QImage& picture)
{
    QByteArray pixels;
    for (int y = picture.height() - 1; y >= 0; --y) {
        pixels.append(reinterpret_cast<const char*>(picture.constScanLine(y)), picture.width() * 3);
    }
    return pixels;
}

const uchar* px(const QImage& picture, int x, int y)
{
    return picture.constScanLine(y) + x * 3;
}

// Largest difference between a YUYV frame and the reference of an upright
// picture.
double yuyvError(const QByteArray& frame, const QImage& picture)
{
    double worst = 0;
    const auto* out = reinterpret_cast<const uchar*>(frame.constData());
    for (int y = 0; y < kH; ++y) {
        for (int x = 0; x < kW; x += 2, out += 4) {
            const uchar* a = px(picture, x, y);
            const uchar* b = px(picture, x + 1, y);
            const Yuv left = reference(a[0], a[1], a[2]);
            const Yuv right = reference(b[0], b[1], b[2]);
            const Yuv mean =
                reference((a[0] + b[0]) / 2.0, (a[1] + b[1]) / 2.0, (a[2] + b[2]) / 2.0);
            worst = std::max({worst, std::abs(out[0] - left.y), std::abs(out[2] - right.y),
                              std::abs(out[1] - mean.u), std::abs(out[3] - mean.v)});
        }
    }
    return worst;
}

double i420Error(const QByteArray& frame, const QImage& picture)
{
    double worst = 0;
    const auto* planeY = reinterpret_cast<const uchar*>(frame.constData());
    const uchar* planeU = planeY + kW * kH;
    const uchar* planeV = planeU + kW * kH / 4;
    for (int y = 0; y < kH; ++y) {
        for (int x = 0; x < kW; ++x) {
            const uchar* p = px(picture, x, y);
            worst = std::max(worst, std::abs(planeY[y * kW + x] - reference(p[0], p[1], p[2]).y));
        }
    }
    for (int y = 0; y < kH; y += 2) {
        for (int x = 0; x < kW; x += 2) {
            double sum[3] = {0, 0, 0};
            for (int dy = 0; dy < 2; ++dy) {
                for (int dx = 0; dx < 2; ++dx) {
                    for (int c = 0; c < 3; ++c) {
                        sum[c] += px(picture, x + dx, y + dy)[c] / 4.0;
                    }
                }
            }
            const Yuv mean = reference(sum[0], sum[1], sum[2]);
            const int at = (y / 2) * (kW / 2) + x / 2;
            worst = std::max({worst, std::abs(planeU[at] - mean.u), std::abs(planeV[at] - mean.v)});
        }
    }
    return worst;
}

QImage placeholderUpright()
{
    QImage picture(kW, kH, QImage::Format_RGB888);
    for (int y = 0; y < kH; ++y) {
        for (int x = 0; x < kW; ++x) {
            PlaceholderPicture::barColour(x, kW, picture.scanLine(y) + x * 3);
        }
    }
    return picture;
}

void writeHeader(QSharedMemory& memory, qint32 width, qint32 height, qint32 size)
{
    memory.lock();
    auto* data = static_cast<uchar*>(memory.data());
    if (memory.size() >= 12) {
        qToLittleEndian(width, data);
        qToLittleEndian(height, data + 4);
        qToLittleEndian(size, data + 8);
    }
    memory.unlock();
}

// Collects what is logged while it lives: the writer tells in its log
// whether it found the segment or had to create it.
class MessageLog
{
public:
    MessageLog() : m_previous(qInstallMessageHandler(collect)) { s_messages.clear(); }
    ~MessageLog() { qInstallMessageHandler(m_previous); }

    bool contains(const QString& text) const { return s_messages.contains(text); }
    QString all() const { return s_messages.join('\n'); }

private:
    static void collect(QtMsgType, const QMessageLogContext&, const QString& message)
    {
        s_messages.append(message);
    }

    static QStringList s_messages;
    QtMessageHandler m_previous;
};

QStringList MessageLog::s_messages;

// The last whole I420 frame the feeder has written into a file so far.
QByteArray lastI420Frame(const QString& path)
{
    constexpr qint64 kFrameBytes = kW * kH * 3 / 2;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() < kFrameBytes) {
        return QByteArray();
    }
    file.seek((file.size() / kFrameBytes - 1) * kFrameBytes);
    return file.read(kFrameBytes);
}

bool feederShows(const QString& path, const QImage& picture)
{
    const QByteArray frame = lastI420Frame(path);
    return !frame.isEmpty() && i420Error(frame, picture) <= 1.0;
}

} // namespace

class tst_VcamFeeder : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir keyFolder;
    QTemporaryDir work;
    QString feederStderr;

    // Runs the feeder program for a few frames into a file; returns them.
    QList<QByteArray> runFeeder(const QStringList& extra, int frames, int frameBytes,
                                int* exitCode = nullptr)
    {
        const QString output = work.filePath("frames.raw");
        QFile::remove(output);
        QProcess feeder;
        feeder.start(
            QCoreApplication::applicationDirPath() + "/virtual/lumora-vcam-feeder",
            QStringList({"--output", output, "--frames", QString::number(frames), "--fps", "60"}) +
                extra);
        const bool finished = feeder.waitForFinished(15000);
        feederStderr = QString::fromLocal8Bit(feeder.readAllStandardError());
        if (exitCode) {
            *exitCode =
                finished && feeder.exitStatus() == QProcess::NormalExit ? feeder.exitCode() : -1;
        }
        QFile file(output);
        file.open(QIODevice::ReadOnly);
        const QByteArray all = file.readAll();
        QList<QByteArray> result;
        for (int at = 0; at + frameBytes <= all.size(); at += frameBytes) {
            result.append(all.mid(at, frameBytes));
        }
        return result;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(keyFolder.isValid());
        qputenv("TMPDIR", keyFolder.path().toLocal8Bit());
    }

    void recordChecks_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("size");
        QTest::addColumn<qint64>("segment");
        QTest::addColumn<int>("status");
        using S = FrameRecord::Status;
        QTest::newRow("Lumora's record") << 640 << 480 << 921612 << qint64(921612) << int(S::Valid);
        QTest::newRow("in a larger segment")
            << 640 << 480 << 921612 << qint64(1 << 21) << int(S::Valid);
        QTest::newRow("not written yet") << 0 << 0 << 0 << qint64(921612) << int(S::Unwritten);
        QTest::newRow("zero width") << 0 << 480 << 12 << qint64(921612) << int(S::BadDimensions);
        QTest::newRow("negative height")
            << 640 << -480 << 921612 << qint64(921612) << int(S::BadDimensions);
        QTest::newRow("huge, product overflows 32 bits")
            << 65536 << 65536 << 12 << qint64(921612) << int(S::BadDimensions);
        QTest::newRow("consistent, but no segment holds it")
            << 16384 << 16384 << int(qint64(16384) * 16384 * 3 + 12) << qint64(921612)
            << int(S::LargerThanSegment);
        QTest::newRow("size disagrees")
            << 640 << 480 << 921600 << qint64(921612) << int(S::SizeMismatch);
        QTest::newRow("segment too small")
            << 640 << 480 << 921612 << qint64(4096) << int(S::LargerThanSegment);
        QTest::newRow("other picture size")
            << 320 << 240 << 230412 << qint64(921612) << int(S::UnexpectedPicture);
    }

    void recordChecks()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, size);
        QFETCH(qint64, segment);
        QFETCH(int, status);
        uchar bytes[12];
        qToLittleEndian<qint32>(width, bytes);
        qToLittleEndian<qint32>(height, bytes + 4);
        qToLittleEndian<qint32>(size, bytes + 8);
        const FrameRecord::Header header = FrameRecord::readHeader(bytes);
        QCOMPARE(header.width, width);
        QCOMPARE(int(FrameRecord::check(header, segment)), status);
    }

    void conversionsMatchTheFormulas()
    {
        for (int seed : {1, 2, 3}) {
            const QImage picture = uprightPicture(seed);
            const QByteArray stored = bottomUp(picture);
            const auto* rgb = reinterpret_cast<const uchar*>(stored.constData());
            QByteArray yuyv(YuvConversion::frameBytes(YuvConversion::Format::Yuyv, kW, kH), 0);
            YuvConversion::bottomUpRgbToYuyv(rgb, kW, kH, reinterpret_cast<uchar*>(yuyv.data()));
            QVERIFY2(yuyvError(yuyv, picture) <= 1.0,
                     qPrintable(QString::number(yuyvError(yuyv, picture))));
            QByteArray i420(YuvConversion::frameBytes(YuvConversion::Format::I420, kW, kH), 0);
            YuvConversion::bottomUpRgbToI420(rgb, kW, kH, reinterpret_cast<uchar*>(i420.data()));
            QVERIFY2(i420Error(i420, picture) <= 1.0,
                     qPrintable(QString::number(i420Error(i420, picture))));
        }
        QCOMPARE(YuvConversion::frameBytes(YuvConversion::Format::Yuyv, kW, kH), 614400);
        QCOMPARE(YuvConversion::frameBytes(YuvConversion::Format::I420, kW, kH), 460800);
    }

    void theRangeEnds()
    {
        // Black, white and the primaries at the ends of studio range.
        struct Case
        {
            uchar rgb[3];
            int y, u, v;
        };
        const Case cases[] = {{{0, 0, 0}, 16, 128, 128},
                              {{255, 255, 255}, 235, 128, 128},
                              {{255, 0, 0}, 81, 90, 240},
                              {{0, 255, 0}, 145, 54, 34},
                              {{0, 0, 255}, 41, 240, 110}};
        for (const Case& c : cases) {
            QByteArray rgb;
            for (int i = 0; i < 4; ++i) {
                rgb.append(reinterpret_cast<const char*>(c.rgb), 3);
            }
            uchar out[8];
            YuvConversion::bottomUpRgbToYuyv(reinterpret_cast<const uchar*>(rgb.constData()), 2, 2,
                                             out);
            QVERIFY(std::abs(out[0] - c.y) <= 1);
            QVERIFY(std::abs(out[1] - c.u) <= 1);
            QVERIFY(std::abs(out[3] - c.v) <= 1);
        }
    }

    void theFeederShowsBarsWithoutASegment()
    {
        int exitCode = 0;
        const QList<QByteArray> frames = runFeeder({}, 3, 614400, &exitCode);
        QCOMPARE(exitCode, 0);
        QCOMPARE(frames.size(), 3);
        QVERIFY(frames[1] == frames[0] && frames[2] == frames[0]);
        QVERIFY(yuyvError(frames[0], placeholderUpright()) <= 1.0);
        // The first bar is 75 % white.
        QVERIFY(std::abs(uchar(frames[0][0]) - 180) <= 1);
        QVERIFY(feederStderr.contains("placeholder"));
    }

    void theFeederSendsTheSharedPictureUpright()
    {
        const QImage picture = uprightPicture(7);
        const QByteArray stored = bottomUp(picture);
        QSharedMemory segment("shareFrame");
        QVERIFY(segment.create(FrameRecord::kRecordBytes));
        writeHeader(segment, kW, kH, FrameRecord::kRecordBytes);
        segment.lock();
        memcpy(static_cast<char*>(segment.data()) + 12, stored.constData(), size_t(stored.size()));
        segment.unlock();

        QList<QByteArray> frames = runFeeder({"--format", "yuyv"}, 2, 614400);
        QCOMPARE(frames.size(), 2);
        QVERIFY(yuyvError(frames[1], picture) <= 1.0);
        frames = runFeeder({"--format", "i420"}, 2, 460800);
        QCOMPARE(frames.size(), 2);
        QVERIFY(i420Error(frames[1], picture) <= 1.0);
    }

    void fromTheProgramsWriterToTheFeeder()
    {
        // Lumora's own writer, a camera frame of 1280 x 720.
        QImage camera(1280, 720, QImage::Format_RGB888);
        for (int y = 0; y < 720; ++y) {
            for (int x = 0; x < 1280; ++x) {
                uchar* p = camera.scanLine(y) + x * 3;
                p[0] = uchar(x / 5);
                p[1] = uchar(y < 360 ? 230 : 20);
                p[2] = uchar((x + y) / 8);
            }
        }
        Vorn_SharedMemory writer;
        writer.captureOpen = true;
        writer.ImageFrame(camera.bits(), 1280, 720);

        // Started as the registration tool starts it: its own temporary
        // folder differs, --tmpdir names Lumora's.
        qputenv("TMPDIR", work.path().toLocal8Bit());
        const QList<QByteArray> frames = runFeeder({"--tmpdir", keyFolder.path()}, 2, 614400);
        qputenv("TMPDIR", keyFolder.path().toLocal8Bit());
        QCOMPARE(frames.size(), 2);
        const QImage expected =
            camera.scaled(kW, kH, Qt::IgnoreAspectRatio, Qt::FastTransformation);
        QVERIFY(yuyvError(frames[1], expected) <= 1.0);
        // Upright: the top half is the green one.
        QVERIFY(uchar(frames[1][0]) > 120);
        QVERIFY(uchar(frames[1][479 * 1280]) < 60);
    }

    void unsoundRecordsShowThePlaceholder_data()
    {
        QTest::addColumn<int>("segmentBytes");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("size");
        QTest::newRow("zero width") << 921612 << 0 << 480 << 921612;
        QTest::newRow("huge") << 921612 << 1 << 0x40000000 << 12;
        QTest::newRow("overflowing product") << 921612 << 65536 << 65536 << 12;
        QTest::newRow("size mismatch") << 921612 << 640 << 480 << 1000;
        QTest::newRow("record past the segment") << 4096 << 640 << 480 << 921612;
        QTest::newRow("shorter than a header") << 8 << 640 << 480 << 921612;
        QTest::newRow("other picture size") << 921612 << 320 << 240 << 230412;
    }

    void unsoundRecordsShowThePlaceholder()
    {
        QFETCH(int, segmentBytes);
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, size);
        QSharedMemory segment("shareFrame");
        QVERIFY(segment.create(segmentBytes));
        writeHeader(segment, width, height, size);
        int exitCode = -1;
        const QList<QByteArray> frames = runFeeder({}, 3, 614400, &exitCode);
        QCOMPARE(exitCode, 0);
        QCOMPARE(frames.size(), 3);
        QVERIFY(yuyvError(frames[2], placeholderUpright()) <= 1.0);
        QVERIFY2(feederStderr.contains("record rejected"), qPrintable(feederStderr));
    }

    void aHeldSegmentOutlivesTheWritersDetach()
    {
        QImage first = uprightPicture(21);
        QImage second = uprightPicture(22);
        SharedFrameReader reader;
        reader.setReattachInterval(60000);
        Vorn_SharedMemory writer;
        writer.captureOpen = true;
        QByteArray pixels;
        {
            MessageLog log;
            writer.ImageFrame(first.bits(), kW, kH);
            QCOMPARE(int(reader.read(pixels)), int(Result::Frame));
            QVERIFY(pixels == bottomUp(first));
        }
        // The writer detaches before it attaches; the reader's hold keeps
        // the segment, so the writer finds it and fills the same one.
        MessageLog log;
        writer.ImageFrame(second.bits(), kW, kH);
        QVERIFY2(log.contains("shared memory is exist"), qPrintable(log.all()));
        QVERIFY(!log.contains("WriteSharedMemory::Unable to create shared memory segment."));
        QCOMPARE(int(reader.read(pixels)), int(Result::Frame));
        QVERIFY(pixels == bottomUp(second));
    }

    void theReaderWaitsWhileAFrameIsWritten()
    {
        QImage picture = uprightPicture(23);
        Vorn_SharedMemory writer;
        writer.captureOpen = true;
        MessageLog log;
        writer.ImageFrame(picture.bits(), kW, kH);

        // The writer's frame lock, as it is held while a record is copied in.
        SharedFrameLock writing(QStringLiteral("shareFrame"));
        QVERIFY(writing.lockForWriting());
        SharedFrameReader reader;
        QByteArray pixels;
        QFuture<SharedFrameReader::Result> read =
            QtConcurrent::run([&reader, &pixels] { return reader.read(pixels); });
        QTest::qWait(200);
        QVERIFY(!read.isFinished());
        writing.unlock();
        read.waitForFinished();
        QCOMPARE(int(read.result()), int(Result::Frame));
        QVERIFY(pixels == bottomUp(picture));
    }

    void aGoneWriterIsNoticedWithinAReattachInterval()
    {
        MessageLog log;
        QImage picture = uprightPicture(23);
        SharedFrameReader reader;
        reader.setReattachInterval(100);
        QByteArray pixels;
        {
            // Across several reattaches, a writer that still publishes keeps
            // its segment alive: every read finds a frame.
            Vorn_SharedMemory writer;
            writer.captureOpen = true;
            QElapsedTimer publishing;
            publishing.start();
            int reads = 0;
            while (!publishing.hasExpired(450) || reads < 5) {
                writer.ImageFrame(picture.bits(), kW, kH);
                QCOMPARE(int(reader.read(pixels)), int(Result::Frame));
                ++reads;
                QTest::qSleep(10);
            }
            QVERIFY(pixels == bottomUp(picture));
        }
        // The writer is gone, only the reader holds the segment: the next
        // reattach destroys it and finds nothing.
        QTRY_COMPARE_WITH_TIMEOUT(int(reader.read(pixels)), int(Result::NoSegment), 5000);
        QSharedMemory probe("shareFrame");
        QVERIFY(!probe.attach(QSharedMemory::ReadOnly));
        QCOMPARE(int(reader.read(pixels)), int(Result::NoSegment));

        // A writer that comes back is found by the next read.
        QImage later = uprightPicture(24);
        Vorn_SharedMemory writer;
        writer.captureOpen = true;
        writer.ImageFrame(later.bits(), kW, kH);
        QCOMPARE(int(reader.read(pixels)), int(Result::Frame));
        QVERIFY(pixels == bottomUp(later));
    }

    void theRunningFeederHoldsTheSegmentUntilTheWriterGoes()
    {
        QImage first = uprightPicture(31);
        QImage second = uprightPicture(32);
        auto writer = std::make_unique<Vorn_SharedMemory>();
        writer->captureOpen = true;
        {
            MessageLog log;
            writer->ImageFrame(first.bits(), kW, kH);
        }
        const QString output = work.filePath("held.raw");
        QFile::remove(output);
        QProcess feeder;
        feeder.start(QCoreApplication::applicationDirPath() + "/virtual/lumora-vcam-feeder",
                     {"--output", output, "--format", "i420", "--fps", "20"});
        QVERIFY(feeder.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(feederShows(output, first), 10000);

        // Another process holds the segment now, so the writer's detach
        // leaves it and its attach finds it.
        {
            MessageLog log;
            writer->ImageFrame(second.bits(), kW, kH);
            QVERIFY2(log.contains("shared memory is exist"), qPrintable(log.all()));
        }
        QTRY_VERIFY_WITH_TIMEOUT(feederShows(output, second), 10000);

        // Lumora closes: the feeder must not show its last frame for good.
        writer.reset();
        QTRY_VERIFY_WITH_TIMEOUT(feederShows(output, placeholderUpright()), 10000);
        QSharedMemory probe("shareFrame");
        QVERIFY(!probe.attach(QSharedMemory::ReadOnly));

        feeder.terminate();
        QVERIFY(feeder.waitForFinished(10000));
        QCOMPARE(feeder.exitStatus(), QProcess::NormalExit);
        QCOMPARE(feeder.exitCode(), 0);
        const QString messages = QString::fromLocal8Bit(feeder.readAllStandardError());
        QVERIFY2(messages.contains("no shared frame, showing the placeholder"),
                 qPrintable(messages));
    }

    void aDeviceThatIsNoLoopbackOutputIsRefused()
    {
        QProcess feeder;
        feeder.start(QCoreApplication::applicationDirPath() + "/virtual/lumora-vcam-feeder",
                     {"--device", "/dev/null", "--frames", "1"});
        QVERIFY(feeder.waitForFinished(10000));
        QCOMPARE(feeder.exitCode(), 1);
        QVERIFY(feeder.readAllStandardError().contains("not a video device"));
    }
};

QTEST_GUILESS_MAIN(tst_VcamFeeder)
#include "tst_vcamfeeder.moc"
