// The snapshot and record buttons of the main window and the record clock,
// with the real capture library recording the simulated camera; files are
// read back with libavformat. Dialogs are answered through the dialog seam.
#include "mainwindowinspector.h"
#include "scripteddialogs.h"
#include "simulateddevicecatalog.h"
#include "simulatedhub.h"
#include "simulatedmicrophone.h"
#include "tst_recording_support.h"
#include "vorn_ffmpeglib.h"

#include <QImageReader>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>

namespace {

const QString kPhotoSaved = QStringLiteral("Photo save successful ");
const QString kVideoSaved = QStringLiteral("Video save successful ");

// Past the limit the kernel refuses writes (EFBIG), as a full disk does;
// the signal it would send instead is ignored. Restored however the test
// ends, since the limit holds for the whole process.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes) : m_handler(std::signal(SIGXFSZ, SIG_IGN))
    {
        getrlimit(RLIMIT_FSIZE, &m_saved);
        rlimit limited = m_saved;
        limited.rlim_cur = bytes;
        m_set = setrlimit(RLIMIT_FSIZE, &limited) == 0;
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_handler);
    }
    bool isSet() const { return m_set; }

private:
    rlimit m_saved{};
    void (*m_handler)(int);
    bool m_set = false;
};

} // namespace

class tst_Media : public QObject
{
    Q_OBJECT

private:
    SimulatedDeviceCatalog catalog;
    QTemporaryDir dir;

    static bool startPreview(MainWindowInspector& inspect)
    {
        inspect.ui()->pushButton_preview->setChecked(true);
        return QTest::qWaitFor([&] { return !inspect.lastFrame().isNull(); }, 30000) &&
               inspect.captureLib()->CaptureIsOpen();
    }

    // Records until the clock shows the given seconds, then stops.
    static void record(MainWindowInspector& inspect, int seconds)
    {
        inspect.ui()->bt_record->setChecked(true);
        QVERIFY(inspect.recordTimer());
        const QString shown = QTime(0, 0).addSecs(seconds).toString(QStringLiteral("hh:mm:ss"));
        QTRY_VERIFY_WITH_TIMEOUT(inspect.ui()->label_recordTime->text() >= shown, 60000);
        inspect.ui()->bt_record->setChecked(false);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        DeviceCatalog::setInstance(&catalog);
    }
    void cleanupTestCase() { DeviceCatalog::setInstance(nullptr); }
    void init()
    {
        SimulatedHub::instance().reset();
        SimulatedHub::instance().plugCamera();
    }

    void snapshotsAreSavedByTheirSuffix()
    {
        Vorn_Cam window;
        MainWindowInspector inspect(window);
        ScriptedDialogs user;
        // No frame has come yet: reported, nothing written.
        inspect.ui()->bt_shot->setEnabled(true);
        user.fileName = dir.filePath(QStringLiteral("early.png"));
        inspect.ui()->bt_shot->click();
        QCOMPARE(user.messages().size(), 1);
        QVERIFY(user.messages().first() != kPhotoSaved);
        QVERIFY(!QFile::exists(user.fileName));

        // The proposal: a time stamp in the Image folder beside the program.
        const DialogSeam::Request& proposal = user.requests.first();
        QCOMPARE(proposal.kind, DialogSeam::Kind::SaveFile);
        const QDateTime stamp = QDateTime::fromString(QFileInfo(proposal.dir).fileName(),
                                                      QStringLiteral("yyyyMMddhhmmss"));
        QVERIFY(qAbs(stamp.secsTo(QDateTime::currentDateTime())) < 600);
        QCOMPARE(QFileInfo(proposal.dir).absolutePath(),
                 QCoreApplication::applicationDirPath() + QStringLiteral("/Image"));
        QVERIFY(QFileInfo(QFileInfo(proposal.dir).absolutePath()).isDir());

        QVERIFY(startPreview(inspect));
        const struct
        {
            const char *name, *filter, *written, *format;
        } shots[] = {{"shot.png", "", "shot.png", "png"},
                     {"SHOT.JPG", "", "SHOT.JPG", "jpeg"},
                     {"typed", "BMP(*.bmp)", "typed.bmp", "bmp"},
                     {"plain", "", "plain.png", "png"}};
        for (const auto& shot : shots) {
            user.requests.clear();
            user.fileName = dir.filePath(QString::fromLatin1(shot.name));
            user.selectedFilter = QString::fromLatin1(shot.filter);
            // Frames arrive on this thread, so none replaces the source
            // during the click: the file holds exactly this picture.
            const QImage shown = inspect.lastFrame().copy();
            inspect.ui()->bt_shot->click();
            QCOMPARE(user.messages(), QStringList{kPhotoSaved});
            QImageReader reader(dir.filePath(QString::fromLatin1(shot.written)));
            QCOMPARE(reader.format(), QByteArray(shot.format));
            const QImage saved = reader.read().convertToFormat(QImage::Format_RGB888);
            QCOMPARE(saved.size(), QSize(1280, 720));
            QVERIFY(shot.format == QByteArray("jpeg") || saved == shown);
        }
        for (const char* name : {"shot.gif", "missing-folder/shot.png"}) {
            user.requests.clear();
            user.fileName = dir.filePath(QString::fromLatin1(name));
            inspect.ui()->bt_shot->click();
            QCOMPARE(user.messages().size(), 1);
            QVERIFY2(user.messages().first() != kPhotoSaved, name);
            QVERIFY(!QFile::exists(user.fileName));
        }
    }

    void cancelledOrFailedRecordingsLeaveNothing()
    {
        Vorn_Cam window;
        MainWindowInspector inspect(window);
        ScriptedDialogs user;
        // No capture running: the library has no pictures to record.
        user.fileName = dir.filePath(QStringLiteral("never.mp4"));
        inspect.ui()->bt_record->setEnabled(true);
        inspect.ui()->bt_record->setChecked(true);
        QCOMPARE(user.messages(), QStringList{"Can't record, please retry!"});
        QVERIFY(!inspect.ui()->bt_record->isChecked());
        QVERIFY(!inspect.recordTimer());
        // A later press starts afresh instead of reporting a saved video.
        user.requests.clear();
        inspect.ui()->bt_record->setChecked(true);
        QVERIFY(!user.messages().contains(kVideoSaved));

        QVERIFY(startPreview(inspect));
        user.requests.clear();
        user.fileName = QString(); // cancelled
        inspect.ui()->bt_record->setChecked(true);
        QCOMPARE(user.requests.size(), 1);
        QVERIFY(!inspect.ui()->bt_record->isChecked());
        QVERIFY(!inspect.recordTimer());
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("never.mp4"))));
    }

    void recordingRunsTheClockAndSavesTheFile()
    {
        Vorn_Cam window;
        MainWindowInspector inspect(window);
        ScriptedDialogs user;
        QVERIFY(startPreview(inspect));
        QDir(dir.path()).mkdir(QStringLiteral("录像"));
        user.fileName = dir.filePath(QStringLiteral("录像/会议 – réunion.mp4"));
        inspect.ui()->bt_record->setChecked(true);
        QVERIFY(inspect.recordTimer());
        // 65 seconds in, and across midnight the clock still shows the
        // elapsed time.
        inspect.shiftRecordStart(-65000);
        inspect.tickClock();
        QCOMPARE(inspect.ui()->label_recordTime->text().left(7), QStringLiteral("00:01:0"));
        inspect.shiftRecordStart(-24 * 3600 * 1000 + 60000);
        inspect.tickClock();
        QCOMPARE(inspect.ui()->label_recordTime->text().left(7), QStringLiteral("00:00:0"));
        inspect.shiftRecordStart(24 * 3600 * 1000 + 5000);
        inspect.tickClock();
        record(inspect, 2);
        QCOMPARE(user.messages(), QStringList{kVideoSaved});
        QCOMPARE(inspect.ui()->label_recordTime->text(), QString());

        const FileFacts f = inspectRecording(user.fileName);
        QVERIFY2(f.opened, qPrintable(f.error));
        QCOMPARE(f.audioStreams, 1);
        QCOMPARE(f.video.width, 1280);
        QVERIFY(f.video.duration > 1.0);
    }

    void recordingUsesTheChosenCamerasMicrophone()
    {
        // Three cameras whose microphones are named alike; each sings its
        // own note, so the file tells which microphone was recorded.
        SimulatedHub::instance().reset();
        QList<double> notes;
        for (int i = 0; i < 3; ++i) {
            SimulatedCameraConfig config;
            config.description = QStringLiteral("USB Camera");
            config.microphoneName = QStringLiteral("Microphone (USB Camera)");
            notes << simulatedToneFrequency(
                SimulatedHub::instance().plugCamera(config)->deviceName());
        }
        for (int key : {3, 1}) {
            Vorn_Cam window;
            MainWindowInspector inspect(window);
            ScriptedDialogs user;
            inspect.activate(key);
            QVERIFY(startPreview(inspect));
            user.fileName = dir.filePath(QStringLiteral("camera-%1.mp4").arg(key));
            record(inspect, 2);
            const FileFacts f = inspectRecording(user.fileName);
            QVERIFY2(qAbs(f.toneHz - notes[key - 1]) < 10.0,
                     qPrintable(QStringLiteral("key %1: %2 Hz").arg(key).arg(f.toneHz)));
        }
    }

    void aFullDiskEndsTheRecordingWithANotice()
    {
        Vorn_Cam window;
        MainWindowInspector inspect(window);
        ScriptedDialogs user;
        QVERIFY(startPreview(inspect));
        user.fileName = dir.filePath(QStringLiteral("full-disk.mp4"));
        {
            FileSizeLimit limit(512 * 1024);
            QVERIFY(limit.isSet());
            inspect.ui()->bt_record->setChecked(true);
            QVERIFY(inspect.recordTimer());
            // The library ends the recording itself; the button follows.
            QTRY_VERIFY_WITH_TIMEOUT(!inspect.ui()->bt_record->isChecked(), 120000);
        }
        QCOMPARE(user.messages().size(), 1);
        QVERIFY(user.messages().first() != kVideoSaved);
        QVERIFY(!inspect.recordTimer());
        // What was written before the disk filled plays.
        const FileFacts f = inspectRecording(user.fileName);
        QVERIFY2(f.opened, qPrintable(f.error));
        QVERIFY(f.readToEnd);
        QCOMPARE(f.decodeErrors, 0);
        QVERIFY(f.video.duration > 0.0);
    }
};

QTEST_MAIN(tst_Media)
#include "tst_media.moc"
