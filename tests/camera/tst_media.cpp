// The snapshot and record buttons of the main window and the record clock,
// with the real capture library recording the simulated camera. Dialogs
// are answered through the dialog seam.

#include "dialogseam.h"
#include "simulateddevicecatalog.h"
#include "simulatedhub.h"
#include "simulatedmicrophone.h"
#include "tst_recording_support.h"
#include "ui_vorn_cam.h"
#include "vorn_cam.h"
#include "vorn_ffmpeglib.h"

#include <QCoreApplication>
#include <QDir>
#include <QImageReader>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>
#include <vector>

struct MainWindowInspector
{
    explicit MainWindowInspector(Vorn_Cam& window) : w(window) {}

    Ui::Vorn_Cam* ui() const { return w.ui; }
    Vorn_FFmpeglib* captureLib() const { return w.captureLib; }
    const QImage& lastFrame() const { return w.lastFrame; }
    QTimer* recordTimer() const { return w.recordTimer; }
    QString recordFileName() const { return w.recordFileName; }
    int currentIndex() const { return w.currentIndex; }
    void activate(int index) { w.comboBox_activated(index); }
    // What on_CameraView keeps of a delivered frame: a deep copy at the
    // capture size, before scaling and effects.
    void setLastFrame(const QImage& frame) { w.lastFrame = frame.copy(); }
    // The media buttons are on while capture runs; snapshot tests hand
    // frames to the window themselves.
    void enableMediaButtons()
    {
        w.ui->bt_shot->setEnabled(true);
        w.ui->bt_record->setEnabled(true);
    }
    void shiftRecordStart(int msecs) { w.recordStartTime = w.recordStartTime.addMSecs(msecs); }
    void tickClock() { w.updateRecordClock(); }

    Vorn_Cam& w;
};

namespace {

// Answers every dialog as a user would and remembers what was asked.
class ScriptedUser : public DialogSeam::Responder
{
public:
    DialogSeam::Answer answer(const DialogSeam::Request& request) override
    {
        requests.push_back(request);
        DialogSeam::Answer a;
        if (request.kind == DialogSeam::Kind::SaveFile) {
            a.fileName = saveAs;
            a.selectedFilter = selectedFilter;
        }
        return a;
    }

    QStringList notices() const
    {
        QStringList texts;
        for (const auto& r : requests) {
            if (r.kind == DialogSeam::Kind::Information) {
                texts << r.text;
            }
        }
        return texts;
    }

    const DialogSeam::Request* lastSaveDialog() const
    {
        for (auto it = requests.rbegin(); it != requests.rend(); ++it) {
            if (it->kind == DialogSeam::Kind::SaveFile) {
                return &*it;
            }
        }
        return nullptr;
    }

    QString saveAs;
    QString selectedFilter;
    std::vector<DialogSeam::Request> requests;
};

// A frame as the capture library hands it over: RGB888 rows padded to a
// multiple of 4 bytes (1280 * 3 already is).
std::vector<uint8_t> testFrame(int width, int height)
{
    std::vector<uint8_t> pixels(size_t(width) * size_t(height) * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t* p = &pixels[(size_t(y) * size_t(width) + size_t(x)) * 3];
            p[0] = uint8_t(x);
            p[1] = uint8_t(y);
            p[2] = uint8_t(x ^ y);
        }
    }
    return pixels;
}

const QString kPhotoSaved = QStringLiteral("Photo save successful ");
const QString kVideoSaved = QStringLiteral("Video save successful ");
const QString kCannotRecord = QStringLiteral("Can't record, please retry!");

} // namespace

class TestMedia : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void snapshotProposesATimeStampInTheImageFolder();
    void snapshotSavesByTheSuffix_data();
    void snapshotSavesByTheSuffix();
    void snapshotWithoutSuffixTakesTheChosenFilter();
    void snapshotFailuresAreReported();
    void snapshotOfTheLiveCameraHasItsFullSize();
    void cancelledRecordingLeavesNothing();
    void failedStartUnchecksAndForgets();
    void recordingRunsTheClockAndSavesTheFile();
    void recordingUsesTheChosenCamerasMicrophone();
    void fullDiskEndsTheRecordingWithANotice();

private:
    bool startPreview(Vorn_Cam& window);

    SimulatedDeviceCatalog m_catalog;
    ScriptedUser m_user;
    QTemporaryDir m_dir;
};

void TestMedia::initTestCase()
{
    QVERIFY(m_dir.isValid());
    DeviceCatalog::setInstance(&m_catalog);
    DialogSeam::setResponder(&m_user);
}

void TestMedia::init()
{
    SimulatedHub::instance().reset();
    m_user = ScriptedUser();
}

void TestMedia::cleanup()
{
    SimulatedHub::instance().reset();
}

void TestMedia::cleanupTestCase()
{
    DialogSeam::setResponder(nullptr);
    DeviceCatalog::setInstance(nullptr);
}

bool TestMedia::startPreview(Vorn_Cam& window)
{
    MainWindowInspector inspect(window);
    inspect.enableMediaButtons();
    inspect.ui()->pushButton_preview->setChecked(true);
    const bool framed = QTest::qWaitFor([&] { return !inspect.lastFrame().isNull(); }, 10000);
    return framed && inspect.captureLib()->CaptureIsOpen();
}

void TestMedia::snapshotProposesATimeStampInTheImageFolder()
{
    const QString folder = QCoreApplication::applicationDirPath() + QStringLiteral("/Image");
    QDir(folder).removeRecursively();
    Vorn_Cam window;
    MainWindowInspector inspect(window);
    inspect.enableMediaButtons();
    m_user.saveAs = QString(); // cancel
    const QDateTime before = QDateTime::currentDateTime();
    inspect.ui()->bt_shot->click();
    const QDateTime after = QDateTime::currentDateTime();

    const DialogSeam::Request* dialog = m_user.lastSaveDialog();
    QVERIFY(dialog);
    QCOMPARE(dialog->title, QStringLiteral("Save Picture"));
    QCOMPARE(dialog->filter, QStringLiteral("PNG(*.png);;JPG(*.jpg);;BMP(*.bmp);;TIF(*.tif)"));
    QCOMPARE(dialog->parent, &window);
    const QString stamp = QFileInfo(dialog->dir).fileName();
    QCOMPARE(QFileInfo(dialog->dir).absolutePath(), folder);
    QVERIFY(stamp == before.toString(QStringLiteral("yyyyMMddhhmmss")) ||
            stamp == after.toString(QStringLiteral("yyyyMMddhhmmss")));
    // The proposed folder exists, so the dialog opens inside it.
    QVERIFY(QFileInfo(folder).isDir());
    // Cancelled: no message.
    QVERIFY(m_user.notices().isEmpty());
}

void TestMedia::snapshotSavesByTheSuffix_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<bool>("lossless");
    QTest::newRow("png") << QStringLiteral("shot.png") << QByteArray("png") << true;
    QTest::newRow("jpg in capitals") << QStringLiteral("SHOT.JPG") << QByteArray("jpeg") << false;
    QTest::newRow("bmp") << QStringLiteral("shot.bmp") << QByteArray("bmp") << true;
    QTest::newRow("tif") << QStringLiteral("shot.tif") << QByteArray("tiff") << true;
}

void TestMedia::snapshotSavesByTheSuffix()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, format);
    QFETCH(bool, lossless);
    Vorn_Cam window;
    MainWindowInspector inspect(window);
    inspect.enableMediaButtons();
    std::vector<uint8_t> pixels = testFrame(1280, 720);
    const QImage sent(pixels.data(), 1280, 720, 1280 * 3, QImage::Format_RGB888);
    inspect.setLastFrame(sent);

    m_user.saveAs = m_dir.filePath(name);
    inspect.ui()->bt_shot->click();
    QCOMPARE(m_user.notices(), QStringList{kPhotoSaved});

    QImageReader reader(m_user.saveAs);
    QCOMPARE(reader.format(), format);
    const QImage saved = reader.read().convertToFormat(QImage::Format_RGB888);
    QCOMPARE(saved.size(), QSize(1280, 720));
    if (lossless) {
        QCOMPARE(saved, sent);
    }
}

void TestMedia::snapshotWithoutSuffixTakesTheChosenFilter()
{
    Vorn_Cam window;
    MainWindowInspector inspect(window);
    inspect.enableMediaButtons();
    std::vector<uint8_t> pixels = testFrame(1280, 720);
    const QImage sent(pixels.data(), 1280, 720, 1280 * 3, QImage::Format_RGB888);
    inspect.setLastFrame(sent);

    m_user.saveAs = m_dir.filePath(QStringLiteral("typed-without-suffix"));
    m_user.selectedFilter = QStringLiteral("BMP(*.bmp)");
    inspect.ui()->bt_shot->click();
    QCOMPARE(m_user.notices(), QStringList{kPhotoSaved});
    QCOMPARE(QImageReader(m_user.saveAs + QStringLiteral(".bmp")).format(), QByteArray("bmp"));

    m_user.requests.clear();
    m_user.saveAs = m_dir.filePath(QStringLiteral("no-filter-either"));
    m_user.selectedFilter = QString();
    inspect.ui()->bt_shot->click();
    QCOMPARE(QImageReader(m_user.saveAs + QStringLiteral(".png")).format(), QByteArray("png"));
}

void TestMedia::snapshotFailuresAreReported()
{
    Vorn_Cam window;
    MainWindowInspector inspect(window);
    inspect.enableMediaButtons();

    // No frame has come yet.
    m_user.saveAs = m_dir.filePath(QStringLiteral("early.png"));
    inspect.ui()->bt_shot->click();
    QCOMPARE(m_user.notices().size(), 1);
    QVERIFY(m_user.notices().first() != kPhotoSaved);
    QVERIFY(!QFile::exists(m_user.saveAs));

    std::vector<uint8_t> pixels = testFrame(1280, 720);
    const QImage sent(pixels.data(), 1280, 720, 1280 * 3, QImage::Format_RGB888);
    inspect.setLastFrame(sent);
    for (const QString& name :
         {QStringLiteral("shot.gif"), QStringLiteral("missing-folder/shot.png")}) {
        m_user.requests.clear();
        m_user.saveAs = m_dir.filePath(name);
        inspect.ui()->bt_shot->click();
        QCOMPARE(m_user.notices().size(), 1);
        QVERIFY2(m_user.notices().first() != kPhotoSaved, qPrintable(name));
        QVERIFY(!QFile::exists(m_user.saveAs));
    }
}

void TestMedia::snapshotOfTheLiveCameraHasItsFullSize()
{
    SimulatedHub::instance().plugCamera();
    Vorn_Cam window;
    MainWindowInspector inspect(window);
    QVERIFY(startPreview(window));
    QTRY_COMPARE(inspect.ui()->label_cameraview->pixmap(Qt::ReturnByValue).size(), QSize(800, 530));

    m_user.saveAs = m_dir.filePath(QStringLiteral("live.png"));
    // Frames arrive on this thread, so none replaces lastFrame during the
    // click: the file holds exactly this picture.
    const QImage shown = inspect.lastFrame().copy();
    inspect.ui()->bt_shot->click();
    QCOMPARE(m_user.notices(), QStringList{kPhotoSaved});
    const QImage saved = QImage(m_user.saveAs).convertToFormat(QImage::Format_RGB888);
    QCOMPARE(saved.size(), QSize(1280, 720));
    QCOMPARE(saved, shown);
}

void TestMedia::cancelledRecordingLeavesNothing()
{
    SimulatedHub::instance().plugCamera();
    Vorn_Cam window;
    MainWindowInspector inspect(window);
    QVERIFY(startPreview(window));
    m_user.saveAs = QString();
    inspect.ui()->bt_record->setChecked(true);

    const DialogSeam::Request* dialog = m_user.lastSaveDialog();
    QVERIFY(dialog);
    QCOMPARE(dialog->title, QStringLiteral("Please select video save path"));
    QCOMPARE(dialog->filter, QStringLiteral("MP4(*.mp4)"));
    QVERIFY(!inspect.ui()->bt_record->isChecked());
    QVERIFY(inspect.recordFileName().isNull());
    QVERIFY(!inspect.recordTimer());
    QVERIFY(m_user.notices().isEmpty());
}

void TestMedia::failedStartUnchecksAndForgets()
{
    SimulatedHub::instance().plugCamera();
    Vorn_Cam window;
    MainWindowInspector inspect(window);
    // No capture running: the library has no pictures to record.
    m_user.saveAs = m_dir.filePath(QStringLiteral("never.mp4"));
    inspect.enableMediaButtons();
    inspect.ui()->bt_record->setChecked(true);
    QCOMPARE(m_user.notices(), QStringList{kCannotRecord});
    QVERIFY(!inspect.ui()->bt_record->isChecked());
    QVERIFY(inspect.recordFileName().isNull());
    QVERIFY(!inspect.recordTimer());

    // A later press starts afresh instead of reporting a saved video.
    m_user.requests.clear();
    inspect.ui()->bt_record->setChecked(true);
    QVERIFY(!m_user.notices().contains(kVideoSaved));
    QVERIFY(!QFile::exists(m_user.saveAs));
}

void TestMedia::recordingRunsTheClockAndSavesTheFile()
{
    SimulatedHub::instance().plugCamera();
    Vorn_Cam window;
    MainWindowInspector inspect(window);
    QVERIFY(startPreview(window));

    QDir(m_dir.path()).mkdir(QStringLiteral("录像"));
    const QString path = m_dir.filePath(QStringLiteral("录像/会议 – réunion.mp4"));
    m_user.saveAs = path;
    inspect.ui()->bt_record->setChecked(true);
    QVERIFY2(m_user.notices().isEmpty(), qPrintable(m_user.notices().join('|')));
    QVERIFY(inspect.recordTimer());
    QVERIFY(inspect.recordTimer()->isActive());
    QCOMPARE(inspect.ui()->label_recordTime->text(), QStringLiteral("00:00:00"));
    QTest::qWait(1500);

    // 65 seconds in.
    inspect.shiftRecordStart(-65000 + 1500);
    inspect.tickClock();
    QCOMPARE(inspect.ui()->label_recordTime->text(), QStringLiteral("00:01:05"));
    // Across midnight the clock still shows the elapsed time.
    inspect.shiftRecordStart(-24 * 3600 * 1000 + 60000);
    inspect.tickClock();
    QCOMPARE(inspect.ui()->label_recordTime->text(), QStringLiteral("00:00:05"));

    inspect.ui()->bt_record->setChecked(false);
    QCOMPARE(m_user.notices(), QStringList{kVideoSaved});
    QVERIFY(!inspect.recordTimer());
    QCOMPARE(inspect.ui()->label_recordTime->text(), QString());

    // The file lands at exactly the chosen path.
    QVERIFY(QFile::exists(path));
    const FileFacts f = inspectRecording(path);
    QVERIFY2(f.opened, qPrintable(f.error));
    QCOMPARE(f.videoStreams, 1);
    QCOMPARE(f.audioStreams, 1);
    QCOMPARE(f.video.width, 1280);
    QCOMPARE(f.video.height, 720);
    QVERIFY(f.video.duration > 1.0);
}

void TestMedia::recordingUsesTheChosenCamerasMicrophone()
{
    // Three cameras whose microphones are all named alike; each sings its
    // own note, so the file tells which microphone was recorded.
    SimulatedCameraConfig config;
    config.description = QStringLiteral("USB Camera");
    config.microphoneName = QStringLiteral("Microphone (USB Camera)");
    QList<double> notes;
    for (int i = 0; i < 3; ++i) {
        notes << simulatedToneFrequency(SimulatedHub::instance().plugCamera(config)->deviceName());
    }
    QCOMPARE(QSet<double>(notes.begin(), notes.end()).size(), 3);
    for (int key : {3, 1}) {
        Vorn_Cam window;
        MainWindowInspector inspect(window);
        inspect.activate(key);
        QCOMPARE(inspect.currentIndex(), key);
        QVERIFY(startPreview(window));
        m_user.requests.clear();
        m_user.saveAs = m_dir.filePath(QStringLiteral("camera-%1.mp4").arg(key));
        inspect.ui()->bt_record->setChecked(true);
        QVERIFY(inspect.recordTimer());
        QTest::qWait(2500);
        inspect.ui()->bt_record->setChecked(false);
        QCOMPARE(m_user.notices(), QStringList{kVideoSaved});
        const FileFacts f = inspectRecording(m_user.saveAs);
        QCOMPARE(f.audioStreams, 1);
        QVERIFY2(qAbs(f.toneHz - notes[key - 1]) < 10.0,
                 qPrintable(QStringLiteral("key %1: %2 Hz").arg(key).arg(f.toneHz)));
    }
}

void TestMedia::fullDiskEndsTheRecordingWithANotice()
{
    SimulatedHub::instance().plugCamera();
    Vorn_Cam window;
    MainWindowInspector inspect(window);
    QVERIFY(startPreview(window));

    // Past the limit the kernel refuses writes (EFBIG), as a full disk
    // does; the signal it would send instead is ignored.
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = 512 * 1024;
    QVERIFY(setrlimit(RLIMIT_FSIZE, &limited) == 0);

    m_user.saveAs = m_dir.filePath(QStringLiteral("full-disk.mp4"));
    inspect.ui()->bt_record->setChecked(true);
    QVERIFY(inspect.recordTimer());
    // The library ends the recording itself; the button follows.
    QTRY_VERIFY_WITH_TIMEOUT(!inspect.ui()->bt_record->isChecked(), 60000);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    QCOMPARE(m_user.notices().size(), 1);
    QVERIFY(m_user.notices().first() != kVideoSaved);
    QVERIFY(!inspect.recordTimer());
    QCOMPARE(inspect.ui()->label_recordTime->text(), QString());
    // What was written before the disk filled plays.
    const FileFacts f = inspectRecording(m_user.saveAs);
    QVERIFY2(f.opened, qPrintable(f.error));
    QVERIFY(f.readToEnd);
    QCOMPARE(f.decodeErrors, 0);
    QVERIFY(f.video.duration >= 1.0);
}

QTEST_MAIN(TestMedia)
#include "tst_media.moc"
