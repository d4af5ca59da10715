#include "simulateddevicecatalog.h"
#include "simulatedhub.h"
#include "upgradebridge.h"
#include "upgradetesthelpers.h"
#include "uvc_upgrade.h"

#include <QFile>
#include <QLibrary>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdarg>
#include <cstdio>

namespace {
QStringList g_direct;

int collect(const char* format, ...)
{
    char buffer[1024] = {};
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    g_direct << QString::fromLocal8Bit(buffer);
    return n;
}
} // namespace

// The project's upgrade library, loaded from the program's folder, against
// simulated cameras and real files.
class TestUpgradeLibrary : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase() { DeviceCatalog::setInstance(nullptr); }
    void init() { hub.reset(); }

    void readsDeviceInformation();
    void upgradesFromBytesRead();
    void badFilesEndWithMessageAndExit_data();
    void badFilesEndWithMessageAndExit();
    void refusesWhatItCannotUpgrade();
    void rejectsInvalidOptions();

private:
    QStringList messagesOf(const std::function<void()>& run)
    {
        QSignalSpy spy(Vorn_settingUpgrade::getInstance(), &Vorn_settingUpgrade::updateUpgradeInfo);
        run();
        QStringList messages;
        for (const QList<QVariant>& args : spy) {
            messages << args.at(0).toString();
        }
        return messages;
    }
    QString writeFile(const QString& name, const QByteArray& content)
    {
        QFile file(dir.filePath(name));
        file.open(QIODevice::WriteOnly);
        file.write(content);
        return file.fileName();
    }

    SimulatedHub& hub = SimulatedHub::instance();
    SimulatedDeviceCatalog catalog;
    QTemporaryDir dir;
};

void TestUpgradeLibrary::initTestCase()
{
    qputenv("LUMORA_UPGRADE_STEP_MS", "1");
    DeviceCatalog::setInstance(&catalog);
    QVERIFY(QFile::exists(upgradeLibraryPath()));
}

void TestUpgradeLibrary::readsDeviceInformation()
{
    hub.addForeignVideoInput(VideoInputInfo("Built-in", "/dev/video40", false));
    hub.plugCamera();
    SimulatedCameraConfig second;
    second.description = QStringLiteral("Second Camera");
    hub.plugCamera(second);

    QStringList messages = messagesOf([] { readUpgradeInformation(1); });
    QVERIFY(messages.contains(QStringLiteral("Device name: Second Camera")));
    QVERIFY(messages.contains(QStringLiteral("Firmware version: SIM:1.0.0")));
    QCOMPARE(messages.last(), QStringLiteral("get info exit"));

    messages = messagesOf([] { readUpgradeInformation(5); });
    QCOMPARE(messages, (QStringList{"Error: no camera at index 5", "get info exit"}));
    messages = messagesOf([] { readUpgradeInformation(-1); });
    QCOMPARE(messages.first(), QStringLiteral("Error: no camera at index -1"));
}

void TestUpgradeLibrary::upgradesFromBytesRead()
{
    const QString before = hub.plugCamera()->deviceName();
    const QString path = writeFile(QStringLiteral("固件.img"), QByteArray(10000, '\x5a'));
    const QStringList messages = messagesOf([&] { upgradeTask(path, 0); });

    QList<int> sent;
    QList<double> written;
    for (const QString& m : messages) {
        if (m.startsWith(QLatin1String("send file: "))) {
            sent << m.mid(11).chopped(1).toInt();
        } else if (m.startsWith(QLatin1String("flash write: "))) {
            written << m.mid(13).chopped(1).toDouble();
        }
    }
    // 10000 bytes in 40 chunks of 250: 2, 5, 7, 10, ... 100.
    QCOMPARE(sent.size(), 40);
    QCOMPARE(sent.first(), 2);
    QCOMPARE(sent.at(1), 5);
    QCOMPARE(sent.last(), 100);
    QVERIFY(std::is_sorted(sent.begin(), sent.end()));
    QVERIFY(written.size() >= 2);
    QCOMPARE(written.last(), 100.0);
    QVERIFY(std::is_sorted(written.begin(), written.end()));
    QCOMPARE(messages.last(), QStringLiteral("upgrade exit"));
    QCOMPARE(messages.filter(QStringLiteral("exit")).size(), 1);
    // The camera restarted: it left the bus and came back as a new device.
    QCOMPARE(hub.cameras().size(), 1);
    QVERIFY(hub.cameras().first()->deviceName() != before);
}

void TestUpgradeLibrary::badFilesEndWithMessageAndExit_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("problem");
    QTest::newRow("missing") << "none.pkg"
                             << "No such file";
    QTest::newRow("empty") << "empty.pkg"
                           << "is empty";
    QTest::newRow("folder") << "folder.pkg"
                            << "is not a firmware file";
}

void TestUpgradeLibrary::badFilesEndWithMessageAndExit()
{
    QFETCH(QString, name);
    QFETCH(QString, problem);
    hub.plugCamera();
    writeFile(QStringLiteral("empty.pkg"), QByteArray());
    QDir(dir.path()).mkpath(QStringLiteral("folder.pkg"));
    const QStringList messages = messagesOf([&] { upgradeTask(dir.filePath(name), 0); });
    QCOMPARE(messages.size(), 2);
    QVERIFY2(messages.first().startsWith("Error: ") && messages.first().contains(problem),
             qPrintable(messages.first()));
    QCOMPARE(messages.last(), QStringLiteral("upgrade failed, exit"));
}

void TestUpgradeLibrary::refusesWhatItCannotUpgrade()
{
    hub.addForeignVideoInput(VideoInputInfo("Real Camera", "/dev/video41", true));
    const QString path = writeFile(QStringLiteral("a.img"), QByteArray(100, 'a'));
    QStringList messages = messagesOf([&] { upgradeTask(path, 0); });
    QCOMPARE(messages.first(),
             QStringLiteral("Error: this camera does not take firmware from this library"));
    QCOMPARE(messages.last(), QStringLiteral("upgrade failed, exit"));
    messages = messagesOf([&] { upgradeTask(path, 3); });
    QCOMPARE(messages.first(), QStringLiteral("Error: no camera at index 3"));
}

void TestUpgradeLibrary::rejectsInvalidOptions()
{
    QLibrary library(upgradeLibraryPath());
    auto entry = reinterpret_cast<UpgradeEntryPoint>(library.resolve("upgrade"));
    QVERIFY(entry);
    struct Case
    {
        int count;
        const char *s1, *v1, *s2, *v2;
        const char* problem;
    };
    const Case cases[] = {
        {3, "-I", "0", "", "", "option count"},
        {1, "-I", "0x1", "", "", "not a number"},
        {1, "-I", " 1", "", "", "not a number"},
        {1, "-M", "/tmp/a.img", "", "", "no camera index"},
        {2, "-M", "/a.img", "-P", "/b.pkg", "more than one"},
        {2, "-X", "1", "-I", "0", "unknown option"},
    };
    for (const Case& c : cases) {
        g_direct.clear();
        QCOMPARE(QByteArray(entry(c.count, c.s1, c.v1, c.s2, c.v2, &collect)),
                 QByteArray("uvc_upgrade: failed"));
        QCOMPARE(g_direct.size(), 2);
        QVERIFY2(g_direct.first().contains(QLatin1String(c.problem)), qPrintable(g_direct.first()));
        QCOMPARE(g_direct.last(), QStringLiteral("exit"));
    }
    // Without a callback nothing can be reported: the call fails at once.
    QCOMPARE(QByteArray(entry(1, "-I", "0", "", "", nullptr)), QByteArray("uvc_upgrade: failed"));
    library.unload();
}

QTEST_MAIN(TestUpgradeLibrary)
#include "tst_upgradelibrary.moc"
