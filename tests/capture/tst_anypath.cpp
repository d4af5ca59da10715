// Recordings into folders named in any language, on Linux and Windows: the
// path crosses the capture library's 8-bit contract and must name the same
// file on the other side, also when a failed start removes it again.
#include "librarypath.h"
#include "mp4recorder.h"
#include "simulateddevicecatalog.h"
#include "simulatedhub.h"
#include "vorn_ffmpeglib.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QtTest>

class tst_AnyPath : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    SimulatedDeviceCatalog m_catalog;

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        DeviceCatalog::setInstance(&m_catalog);
        SimulatedHub::instance().plugCamera();
    }
    void cleanupTestCase() { DeviceCatalog::setInstance(nullptr); }

    // A Chinese path reaches the libraries with the very bytes it had in
    // the Chinese code page.
    void chineseBytesAreUnchanged()
    {
        const QString path = QStringLiteral("C:/Users/张伟/视频/会议录像.mp4");
#ifdef Q_OS_WIN
        for (const char* codec : {"GBK", "GB2312"}) {
            QCOMPARE(libraryPathBytes(path), QTextCodec::codecForName(codec)->fromUnicode(path));
        }
#else
        QCOMPARE(libraryPathBytes(path), path.toUtf8());
#endif
    }

    void recordsUnderAnyName_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::newRow("German") << QStringLiteral("Jörg");
        QTest::newRow("Spanish") << QStringLiteral("Peña");
        QTest::newRow("Korean") << QStringLiteral("한국어");
        QTest::newRow("emoji") << QStringLiteral("party 🎉");
        QTest::newRow("Chinese") << QStringLiteral("会议录像");
    }

    void recordsUnderAnyName()
    {
        QFETCH(QString, folder);
        QVERIFY(QDir(m_dir.path()).mkpath(folder));
        const QString path = m_dir.filePath(folder + QStringLiteral("/Videos ") + folder + ".mp4");
        const std::string bytes = libraryPathBytes(path).toStdString();
        QCOMPARE(pathFromLibraryBytes(bytes.c_str()), path);

        // Refused once the file exists (a picture too small to encode): the
        // file goes again.
        Mp4Recorder refused;
        QVERIFY(!refused.start(bytes, std::string(), 0, 1, 1, 30));
        QVERIFY(!QFile::exists(path));

        Vorn_FFmpeglib lib;
        lib.SetCapture(
            SimulatedHub::instance().cameras().first()->config().description.toStdString(), 0);
        QVERIFY(lib.StartCapture());
        lib.SetRecordFileName(bytes);
        lib.SetCaptureMicrophone(std::string(), 0);
        QVERIFY(lib.StartRecord());
        QSignalSpy frames(&lib, &Vorn_FFmpeglib::frameBuffer);
        QTRY_VERIFY_WITH_TIMEOUT(frames.count() >= 15, 30000);
        QVERIFY(lib.StopRecord());
        lib.StopCapture();
        QFile file(path);
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(path));
        QCOMPARE(file.read(8).mid(4), QByteArray("ftyp"));
        QVERIFY(file.size() > 1000);
    }
};

QTEST_MAIN(tst_AnyPath)
#include "tst_anypath.moc"
