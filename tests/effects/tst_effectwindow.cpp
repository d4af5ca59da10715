// The effects in the real main window: the simulated camera feeds the real
// capture library, the effect page is reached through its tab button and
// set through its own sliders and line edits. Only the preview label shows
// the effects; the snapshot source, what other receivers of the frame get
// and the recording stay as the camera delivered them.

#include "dialogseam.h"
#include "framescaler.h"
#include "mainwindowinspector.h"
#include "referencefilters.h"
#include "simulateddevicecatalog.h"
#include "simulatedhub.h"
#include "tonefilters.h"
#include "vorn_ffmpeglib.h"
#include "vorn_settingai.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <QLineEdit>
#include <QSlider>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <vector>

namespace {

class ScriptedUser : public DialogSeam::Responder
{
public:
    DialogSeam::Answer answer(const DialogSeam::Request& request) override
    {
        DialogSeam::Answer a;
        if (request.kind == DialogSeam::Kind::SaveFile) {
            a.fileName = saveAs;
        } else {
            notices << request.text;
        }
        return a;
    }

    QString saveAs;
    QStringList notices;
};

struct Strengths
{
    int warm = 0;
    int cool = 0;
    int vague = 0;
    int smooth = 0;
};

// The chain as the plain per-pixel and conversion paths compute it.
QImage expectedPreview(const QImage& frame, const Strengths& s)
{
    QImage image = scaleNearest(frame, 800, 530);
    if (s.warm) {
        image = reference::warmTone(s.warm, image);
    }
    if (s.cool) {
        image = reference::coolTone(s.cool, image);
    }
    if (s.vague) {
        image = reference::blur(image, s.vague);
    }
    if (s.smooth) {
        image = reference::smooth(image, s.smooth);
    }
    return image;
}

QImage shownPicture(QLabel* label)
{
    return label->pixmap(Qt::ReturnByValue).toImage().convertToFormat(QImage::Format_RGB888);
}

// Mean of one channel (0 red, 1 green, 2 blue) of an RGB888 picture.
double channelMean(const QImage& image, int channel)
{
    double sum = 0;
    for (int y = 0; y < image.height(); ++y) {
        const uchar* row = image.constScanLine(y);
        for (int x = 0; x < image.width(); ++x) {
            sum += row[3 * x + channel];
        }
    }
    return sum / (double(image.width()) * image.height());
}

// The video frames of an MP4 file, decoded by FFmpeg and converted to RGB888.
QList<QImage> decodedFrames(const QString& path, int most)
{
    QList<QImage> frames;
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, QFile::encodeName(path).constData(), nullptr, nullptr) < 0) {
        return frames;
    }
    const AVCodec* codec = nullptr;
    const int stream = avformat_find_stream_info(format, nullptr) >= 0
                           ? av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0)
                           : -1;
    AVCodecContext* decoder = stream >= 0 ? avcodec_alloc_context3(codec) : nullptr;
    if (!decoder || avcodec_parameters_to_context(decoder, format->streams[stream]->codecpar) < 0 ||
        avcodec_open2(decoder, codec, nullptr) < 0) {
        avcodec_free_context(&decoder);
        avformat_close_input(&format);
        return frames;
    }
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    SwsContext* sws = nullptr;
    auto receive = [&] {
        while (frames.size() < most && avcodec_receive_frame(decoder, frame) == 0) {
            sws = sws_getCachedContext(sws, frame->width, frame->height,
                                       AVPixelFormat(frame->format), frame->width, frame->height,
                                       AV_PIX_FMT_RGB24, SWS_POINT, nullptr, nullptr, nullptr);
            QImage rgb(frame->width, frame->height, QImage::Format_RGB888);
            uint8_t* planes[] = {rgb.bits()};
            const int strides[] = {rgb.bytesPerLine()};
            sws_scale(sws, frame->data, frame->linesize, 0, frame->height, planes, strides);
            frames << rgb;
        }
    };
    while (frames.size() < most && av_read_frame(format, packet) >= 0) {
        if (packet->stream_index == stream && avcodec_send_packet(decoder, packet) == 0) {
            receive();
        }
        av_packet_unref(packet);
    }
    avcodec_send_packet(decoder, nullptr);
    receive();
    sws_freeContext(sws);
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&decoder);
    avformat_close_input(&format);
    return frames;
}

} // namespace

class tst_EffectWindow : public QObject
{
    Q_OBJECT

private:
    SimulatedHub& hub = SimulatedHub::instance();
    SimulatedDeviceCatalog catalog;
    ScriptedUser user;
    QTemporaryDir dir;

    // The user's way: the "Effect" tab, then a value typed into each row's
    // line edit and confirmed with Return.
    static void setEffects(Vorn_Cam& window, const Strengths& s)
    {
        MainWindowInspector inspect(window);
        QTest::mouseClick(inspect.ui()->bt_AI, Qt::LeftButton);
        QCOMPARE(inspect.ui()->settingWidget->currentWidget(),
                 static_cast<QWidget*>(inspect.settingAI()));
        const int values[] = {s.warm, s.cool, s.vague, s.smooth};
        for (int row = 0; row < 4; ++row) {
            auto* edit =
                inspect.settingAI()->findChild<QLineEdit*>(QStringLiteral("Edit_%1").arg(row));
            QVERIFY(edit);
            edit->setFocus();
            edit->selectAll();
            QTest::keyClicks(edit, QString::number(values[row]));
            QTest::keyClick(edit, Qt::Key_Return);
            auto* slider =
                inspect.settingAI()->findChild<QSlider*>(QStringLiteral("slider_%1").arg(row));
            QCOMPARE(slider->value(), values[row]);
        }
    }

    static bool startPreview(Vorn_Cam& window)
    {
        MainWindowInspector inspect(window);
        inspect.ui()->pushButton_preview->setChecked(true);
        return QTest::qWaitFor([&] { return !inspect.lastFrame().isNull(); }, 10000) &&
               inspect.captureLib()->CaptureIsOpen();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        DeviceCatalog::setInstance(&catalog);
        DialogSeam::setResponder(&user);
    }
    void cleanupTestCase()
    {
        DialogSeam::setResponder(nullptr);
        DeviceCatalog::setInstance(nullptr);
    }
    void init()
    {
        hub.reset();
        user = ScriptedUser();
    }
    void cleanup() { hub.reset(); }

    void onlyThePreviewShowsTheEffects_data()
    {
        QTest::addColumn<int>("warm");
        QTest::addColumn<int>("cool");
        QTest::addColumn<int>("vague");
        QTest::addColumn<int>("smooth");
        QTest::newRow("tones") << 60 << 90 << 0 << 0;
        QTest::newRow("all four") << 30 << 100 << 6 << 80;
        QTest::newRow("slowest") << 100 << 100 << 50 << 255;
    }

    void onlyThePreviewShowsTheEffects()
    {
        QFETCH(int, warm);
        QFETCH(int, cool);
        QFETCH(int, vague);
        QFETCH(int, smooth);
        const Strengths strengths{warm, cool, vague, smooth};
        hub.plugCamera();
        Vorn_Cam window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        MainWindowInspector inspect(window);
        setEffects(window, strengths);

        // A receiver after the window's own, as the virtual camera's frame
        // sharing is: it sees the capture buffer once the preview is done
        // with it.
        QImage delivered;
        connect(inspect.captureLib(), &Vorn_FFmpeglib::frameBuffer, this,
                [&](uint8_t* buffer, int width, int height) {
                    delivered =
                        QImage(buffer, width, height, (width * 3 + 3) & ~3, QImage::Format_RGB888)
                            .copy();
                });
        QVERIFY(startPreview(window));
        QTRY_VERIFY(!delivered.isNull());

        // Frames come on this thread: between two events the label, the
        // snapshot source and the delivered frame are of one emission.
        const QImage frame = inspect.lastFrame().copy();
        const QImage shown = shownPicture(inspect.ui()->label_cameraview);
        QCOMPARE(frame.size(), QSize(1280, 720));
        QVERIFY(reference::samePixels(delivered, frame));
        QVERIFY(reference::samePixels(shown, expectedPreview(frame, strengths)));
        QVERIFY(!reference::samePixels(shown, scaleNearest(frame, 800, 530)));
        // The tone is visible: the preview is bluer than the camera.
        QVERIFY(channelMean(shown, 2) > channelMean(scaleNearest(frame, 800, 530), 2) + 20);

        user.saveAs = dir.filePath(QStringLiteral("snapshot.png"));
        inspect.ui()->bt_shot->click();
        QCOMPARE(user.notices, QStringList{QStringLiteral("Photo save successful ")});
        const QImage saved = QImage(user.saveAs).convertToFormat(QImage::Format_RGB888);
        QVERIFY(reference::samePixels(saved, frame));

        // Switched off on the page: the next frames are shown plain.
        setEffects(window, Strengths{});
        QTRY_VERIFY(reference::samePixels(shownPicture(inspect.ui()->label_cameraview),
                                          scaleNearest(inspect.lastFrame(), 800, 530)));
    }

    void recordingIsUnfiltered()
    {
        hub.plugCamera();
        Vorn_Cam window;
        window.show();
        MainWindowInspector inspect(window);
        // Blue raised as far as it goes and blurred: far from the camera.
        setEffects(window, Strengths{0, 100, 20, 0});
        QVERIFY(startPreview(window));
        const QImage frame = inspect.lastFrame().copy();

        user.saveAs = dir.filePath(QStringLiteral("effects.mp4"));
        inspect.ui()->bt_record->setChecked(true);
        QVERIFY2(user.notices.isEmpty(), qPrintable(user.notices.join('|')));
        QTest::qWait(1500);
        const QImage shown = shownPicture(inspect.ui()->label_cameraview);
        inspect.ui()->bt_record->setChecked(false);
        QCOMPARE(user.notices, QStringList{QStringLiteral("Video save successful ")});

        const QList<QImage> recorded = decodedFrames(user.saveAs, 10);
        QVERIFY(recorded.size() >= 5);
        // The encoding is lossy, so the colours are compared on average:
        // each recorded frame has the camera's blue, not the preview's.
        const double cameraBlue = channelMean(frame, 2);
        const double previewBlue = channelMean(shown, 2);
        QVERIFY2(previewBlue > cameraBlue + 30, qPrintable(QString::number(previewBlue)));
        for (const QImage& picture : recorded) {
            QCOMPARE(picture.size(), QSize(1280, 720));
            const double blue = channelMean(picture, 2);
            QVERIFY2(qAbs(blue - cameraBlue) < 8,
                     qPrintable(QStringLiteral("%1 vs %2").arg(blue).arg(cameraBlue)));
        }
    }
};

QTEST_MAIN(tst_EffectWindow)
#include "tst_effectwindow.moc"
