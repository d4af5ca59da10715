// The firmware upgrade: the library, the page against a scripted library,
// and a whole upgrade in the main window.
#include "mainwindowinspector.h"
#include "scripteddialogs.h"
#include "simulateddevicecatalog.h"
#include "simulatedhub.h"
#include "thirtytwobitprobe.h"
#include "ui_vorn_progressdialog.h"
#include "ui_vorn_settingupgrade.h"
#include "upgradebridge.h"
#include "upgradelibrary.h"
#include "upgraderelay.h"
#include "uvc_upgrade.h"
#include "vorn_ffmpeglib.h"
#include "vorn_progressdialog.h"
#include "vorn_settingupgrade.h"

#include <QLibrary>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QtTest>

#include <cstdarg>
#include <cstdio>
#include <tuple>

struct Vorn_ProgressDialogInspector
{
    static Ui::Vorn_ProgressDialog* ui(Vorn_ProgressDialog* d) { return d->ui; }
};

struct Vorn_settingUpgradeInspector
{
    Vorn_settingUpgrade* p = Vorn_settingUpgrade::getInstance();
    Ui::Vorn_settingUpgrade* ui() const { return p->ui; }
    Vorn_ProgressDialog* dialog() const { return p->progressDialog; }
    Ui::Vorn_ProgressDialog* shown() const { return Vorn_ProgressDialogInspector::ui(dialog()); }
    int bar() const { return shown()->progressBar->value(); }
    QString status() const { return shown()->label->text(); }
    QString text() const { return p->ui->textEdit->toPlainText(); }
    bool upgrading() const { return p->upgrading; }
    int cameraId() const { return p->cameraId; }
    void setUpgrading() { p->ui->textEdit->clear(), p->outcome.reset(), p->upgrading = true; }
    void send(const QString& message) { emit p->updateUpgradeInfo(message); }
};

namespace {

const QString kComplete = QStringLiteral("<font color=green>Upgrade complete!</font>");

std::shared_ptr<SimulatedCamera> plug(const char* description)
{
    SimulatedCameraConfig config;
    config.description = QString::fromLatin1(description);
    return SimulatedHub::instance().plugCamera(config);
}

// The user swaps cameras while the file dialog is open.
struct SwappingDialogs : ScriptedDialogs
{
    DialogSeam::Answer answer(const DialogSeam::Request& request) override
    {
        if (request.kind == DialogSeam::Kind::OpenFile) {
            whileChoosing();
        }
        return ScriptedDialogs::answer(request);
    }
    std::function<void()> whileChoosing;
};

QString bin(const QString& sub)
{
    return QCoreApplication::applicationDirPath() + QLatin1Char('/') + sub;
}

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

struct Scripted
{
    QTemporaryDir dir;
    void script(const QStringList& lines)
    {
        QFile::remove(dir.filePath("calls"));
        QFile::remove(dir.filePath("results"));
        QFile file(dir.filePath("script"));
        file.open(QIODevice::WriteOnly);
        file.write(lines.join('\n').toUtf8());
    }
    QStringList read(const char* name) const
    {
        QFile file(dir.filePath(name));
        file.open(QIODevice::ReadOnly);
        // The library writes text lines: CR LF on Windows.
        return QString::fromUtf8(file.readAll())
            .split(QRegularExpression(QStringLiteral("\r?\n")), Qt::SkipEmptyParts);
    }
    QStringList call(int n) const { return read("calls").value(n).split('\t'); }
};

} // namespace

class tst_Upgrade : public QObject
{
    Q_OBJECT

private:
    SimulatedHub& hub = SimulatedHub::instance();
    SimulatedDeviceCatalog catalog;
    QTemporaryDir dir;
    Scripted scripted;

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

    // A valid image for the simulated camera, as scripts/make-firmware-image
    // made it at build time.
    QByteArray validImage() const
    {
        QFile file(bin(QStringLiteral("firmware.img")));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QString writeFile(const QString& name, const QByteArray& content)
    {
        QFile file(dir.filePath(name));
        file.open(QIODevice::WriteOnly);
        file.write(content);
        return file.fileName();
    }

    // The page with the scripted library and a camera chosen.
    Vorn_settingUpgradeInspector scriptedPage()
    {
        scripted.script({});
        setUpgradeLibraryFolder(bin("scripted"));
        while (hub.cameras().size() < 4) {
            hub.plugCamera();
        }
        Vorn_settingUpgradeInspector page;
        page.p->captureState(true);
        page.p->onCameraIDChange(3);
        return page;
    }

    // Upgrades the file named through the page and waits for the task to end.
    void upgradeThrough(const Vorn_settingUpgradeInspector& page, const QString& file)
    {
        ScriptedDialogs user;
        user.fileName = file;
        page.dialog()->setStatusText(QString());
        page.ui()->pushButton_upgrade->click();
        QTRY_VERIFY_WITH_TIMEOUT(!page.upgrading(), 60000);
        QVERIFY(QThreadPool::globalInstance()->waitForDone(60000));
        QCoreApplication::processEvents();
    }

private slots:
    void initTestCase()
    {
        qputenv("LUMORA_UPGRADE_STEP_MS", "1");
        DeviceCatalog::setInstance(&catalog);
        qputenv("LUMORA_SCRIPTED_UPGRADE", scripted.dir.path().toLocal8Bit());
    }
    void cleanupTestCase() { DeviceCatalog::setInstance(nullptr); }
    void init() { hub.reset(); }
    void cleanup()
    {
        QThreadPool::globalInstance()->waitForDone(60000);
        QCoreApplication::processEvents();
        setUpgradeLibraryFolder(QString());
    }

    // The path reaches the library, and names the file there, whatever
    // language its folder is named in.
    void libraryUpgradesFromAnyFolder_data()
    {
        QTest::addColumn<QString>("folder");
        for (const char* folder : {"Jörg", "Peña", "한국어", "party 🎉", "固件"}) {
            QTest::newRow(folder) << QString::fromUtf8(folder);
        }
    }

    void libraryUpgradesFromAnyFolder()
    {
        QFETCH(QString, folder);
        hub.plugCamera();
        QDir(dir.path()).mkpath(folder);
        const QString path = writeFile(folder + QStringLiteral("/固件.img"), validImage());
        const QStringList messages = messagesOf([&] { upgradeTask(path, 0); });
        const QStringList written = messages.filter(QStringLiteral("flash write: "));
        QVERIFY2(!written.isEmpty(), qPrintable(messages.join('\n')));
        QCOMPARE(written.last().mid(13).chopped(1).toDouble(), 100.0);
        QCOMPARE(messages.filter(QStringLiteral("exit")), QStringList{"upgrade exit"});
    }

    void libraryRefusesWhatItCannotUpgrade()
    {
        hub.plugCamera();
        hub.addForeignVideoInput(VideoInputInfo("Real Camera", "/dev/video41", true));
        writeFile(QStringLiteral("empty.pkg"), QByteArray());
        writeFile(QStringLiteral("a.img"), QByteArray(100, 'a'));
        QDir(dir.path()).mkpath(QStringLiteral("folder.pkg"));
        QByteArray image = validImage();
        writeFile(QStringLiteral("short.img"), image.left(image.size() - 1));
        image[image.size() - 1] = char(image.back() ^ 1);
        writeFile(QStringLiteral("damaged.img"), image);
        const std::tuple<const char*, int, const char*> rows[] = {
            {"none.pkg", 0, "No such file"},
            {"empty.pkg", 0, "is empty"},
            {"folder.pkg", 0, "is not a firmware file"},
            {"a.img", 0, "no firmware image for this camera"},
            {"short.img", 0, "cut short"},
            {"damaged.img", 0, "damaged"},
            {"a.img", 1, "does not take firmware"},
            {"a.img", 3, "no camera at index 3"}};
        for (const auto& [file, camera, problem] : rows) {
            const QStringList messages =
                messagesOf([&, f = file, c = camera] { upgradeTask(dir.filePath(f), c); });
            QCOMPARE(messages.size(), 2);
            QVERIFY2(messages.first().startsWith("Error: ") && messages.first().contains(problem),
                     qPrintable(messages.first()));
            QCOMPARE(messages.last(), QStringLiteral("upgrade failed, exit"));
        }
    }

    void libraryRejectsInvalidOptions()
    {
        QLibrary library(upgradeLibraryPath());
        auto entry = reinterpret_cast<UpgradeEntryPoint>(library.resolve("upgrade"));
        QVERIFY(entry);
        const std::tuple<int, const char*, const char*, const char*, const char*, const char*>
            cases[] = {
                {3, "-I", "0", "", "", "option count"},
                {1, "-I", " 1", "", "", "not a number"},
                {1, "-M", "/tmp/a.img", "", "", "no camera index"},
                {2, "-M", "/a.img", "-P", "/b.pkg", "more than one"},
                {2, "-X", "1", "-I", "0", "unknown option"},
            };
        for (const auto& [count, s1, v1, s2, v2, problem] : cases) {
            g_direct.clear();
            QCOMPARE(QByteArray(entry(count, s1, v1, s2, v2, &collect)),
                     QByteArray("uvc_upgrade: failed"));
            QCOMPARE(g_direct.size(), 2);
            QVERIFY2(g_direct.first().contains(QLatin1String(problem)),
                     qPrintable(g_direct.first()));
        }
        // Without a callback nothing can be reported: the call fails at once.
        QCOMPARE(QByteArray(entry(1, "-I", "0", "", "", nullptr)),
                 QByteArray("uvc_upgrade: failed"));
    }

    void pageReadsProgressFromTheMessages()
    {
        Vorn_settingUpgradeInspector page = scriptedPage();
        page.setUpgrading();
        const std::tuple<const char*, int, const char*> steps[] = {
            {"send file 37%", 37, "send file..."},
            {"flash write 12.5 percent", 12, "upgrade..."},
            {"flash write 100.0", 100, "Please wait device reboot..."},
            {"send file 45.5", 0, "send file..."}, // a decimal point does not convert
            {"send file 20 flash write 90", 20, "send file..."},
            {"send file started", 20, "send file..."}, // no digits: nothing moves
            {"send file 250", 20, "send file..."},     // out of range
        };
        for (const auto& [message, bar, status] : steps) {
            page.send(QString::fromLatin1(message));
            QCOMPARE(page.bar(), bar);
            QCOMPARE(page.status(), QString::fromLatin1(status));
        }
        QVERIFY(page.text().isEmpty());
        page.send(QStringLiteral("send file 50 exit"));
        QCOMPARE(page.bar(), 50);
        QCOMPARE(page.status(), kComplete);
        QVERIFY(!page.upgrading());
    }

    void pagePassesTheCameraAndBoundsTheMessages()
    {
#ifdef Q_OS_WIN
        QSKIP("messages are read in the local 8-bit code page, which is UTF-8 only on Linux");
#endif
        Vorn_settingUpgradeInspector page = scriptedPage();
        const QString longText(2000, QLatin1Char('x'));
        scripted.script({longText, "f:%.2f:3.14159", "中文 message", "get info exit", "null"});
        page.ui()->pushButton_info->click();
        QCOMPARE(scripted.call(0), (QStringList{"1", "-I", "3", "", ""}));
        QCOMPARE(page.text(), QString(longText.left(kUpgradeMessageBytes)) +
                                  QStringLiteral("\n3.14\n中文 message"));
        // The callback tells the library what vsnprintf produced.
        QCOMPARE(scripted.read("results").value(0), QStringLiteral("2000"));
    }

    void pageAsksBeforeItUpgrades()
    {
        Vorn_settingUpgradeInspector page = scriptedPage();
        ScriptedDialogs user;
        QSignalSpy disconnect(page.p, &Vorn_settingUpgrade::disConnectDevice);
        user.button = QMessageBox::No;
        page.ui()->pushButton_upgrade->click();
        user.button = QMessageBox::Yes; // then the file dialog is cancelled
        page.ui()->pushButton_upgrade->click();
        QCOMPARE(user.requests.size(), 3);
        QCOMPARE(user.requests.at(2).kind, DialogSeam::Kind::OpenFile);
        QCOMPARE(disconnect.size(), 0);
        QVERIFY(!page.upgrading());
        QVERIFY(scripted.read("calls").isEmpty());
    }

    void pageReportsFailures()
    {
        const std::tuple<const char*, const char*, const char*> rows[] = {
            {"missing", "a.img", "DLL is not loaded!"},
            {"nosymbol", "a.pkg", "Linke to Function is not OK"},
            {"scripted", "a.bin", "unknown file type"},
            {"scripted", "a.img", "without finishing"}};
        for (const auto& [folder, file, reason] : rows) {
            Vorn_settingUpgradeInspector page = scriptedPage();
            setUpgradeLibraryFolder(bin(folder));
            upgradeThrough(page, dir.filePath(file));
            QVERIFY2(page.status().contains(QString(reason).toHtmlEscaped()),
                     qPrintable(page.status()));
        }
    }

    // Success is read from what the library's messages mean, not from a word.
    void verdictFollowsTheMessagesMeaning()
    {
        const QString done = QStringLiteral("flash write: 100.0%");
        const std::tuple<QStringList, const char*, const char*, bool> rows[] = {
            {{"check: no error", done, "exit"}, "固件 升级.IMG", "-M", true},
            {{done, "0 errors", "exit"}, "包.pkg", "-P", true},
            {{"Error: timeout", done, "exit"}, "a.pkg", "-P", false},
            {{"flash write: 55.0%", "exit"}, "a.img", "-M", false}};
        for (const auto& [messages, file, option, success] : rows) {
            Vorn_settingUpgradeInspector page = scriptedPage();
            scripted.script(messages);
            const QString path = dir.filePath(QString::fromUtf8(file));
            upgradeThrough(page, path);
            QCOMPARE(scripted.read("calls").size(), 1);
#ifdef Q_OS_WIN
            // There the path reaches the library as GBK bytes, read here as UTF-8.
            QCOMPARE(scripted.call(0).value(1), QString(option));
#else
            QCOMPARE(scripted.call(0), (QStringList{"2", option, path, "-I", "3"}));
#endif
            QCOMPARE(page.status(), success
                                        ? kComplete
                                        : QStringLiteral("<font color=red>Upgrade failed!</font>"));
        }
    }

#ifdef LUMORA_I686_BIN
    // A vendor's 32-bit library runs in the 32-bit relay and reads as one in
    // this process does; a relay that dies mid-way never reads as done.
    void thirtyTwoBitLibraryRunsInTheRelay()
    {
        const QString i686 = QStringLiteral(LUMORA_I686_BIN "/");
        if (!startsThirtyTwoBitPrograms(i686 + "lumora-upgrade-relay.exe")) {
            QSKIP("this machine starts no 32-bit programs");
        }
        QCOMPARE(libraryMachine(i686 + "scripted/uvc_upgrade.dll"), LibraryMachine::X86);
        QCOMPARE(libraryMachine(bin("scripted/uvc_upgrade.dll")), LibraryMachine::X64);
        Vorn_settingUpgradeInspector page = scriptedPage();
        setUpgradeLibraryFolder(i686 + "scripted");
        const QString longText(2000, QLatin1Char('x'));
        scripted.script({longText, "f:%.2f:3.14159", "get info exit"});
        page.ui()->pushButton_info->click();
        QCOMPARE(scripted.call(0), (QStringList{"1", "-I", "3", "", ""}));
        QCOMPARE(page.text(), longText.left(kUpgradeMessageBytes) + QStringLiteral("\n3.14"));
        QCOMPARE(scripted.read("results").value(0), QStringLiteral("2000"));

        const QString path = dir.filePath(QStringLiteral("固件 Jörg 🎉.img"));
        const std::tuple<const char*, QStringList, const char*, int> rows[] = {
            {"nosymbol", {}, "Linke to Function is not OK", -1},
            {"scripted", {"Error: camera did not answer", "exit"}, "Upgrade failed", -1},
            {"scripted", {"flash write: 100.0%", "die"}, "before the library returned", -1},
            { "scripted",
              {"send file: 100%", "flash write: 100.0%", "exit"},
              "complete",
              100 }};
        for (const auto& [folder, messages, status, bar] : rows) {
            scripted.script(messages);
            setUpgradeLibraryFolder(i686 + folder);
            upgradeThrough(page, path);
            QVERIFY2(page.status().contains(status), qPrintable(page.status()));
            QVERIFY(bar < 0 || page.bar() == bar);
        }
        QFile calls(scripted.dir.filePath("calls")); // the path's bytes, unchanged
        QVERIFY(calls.open(QIODevice::ReadOnly));
        QCOMPARE(calls.readAll().split('\t').value(2), upgradeFilePathBytes(path));
    }
#endif

    // Firmware goes to the camera the user clicked Upgrade for, wherever it
    // is by then, or nowhere: cameras leave while the file dialog is open.
    void firmwareGoesOnlyToTheChosenCamera_data()
    {
        QTest::addColumn<int>("chosen");
        QTest::addColumn<QList<int>>("leaving");
        QTest::addColumn<QString>("index"); // what the library gets; empty: no call
        QTest::newRow("an earlier one left") << 3 << QList<int>{1} << "1";
        QTest::newRow("the chosen one left") << 2 << QList<int>{2} << "";
        QTest::newRow("it left, another was opened") << 3 << QList<int>{3, 2} << "";
    }
    void firmwareGoesOnlyToTheChosenCamera()
    {
        QFETCH(int, chosen);
        QFETCH(QList<int>, leaving);
        QFETCH(QString, index);
        const QList<std::shared_ptr<SimulatedCamera>> cameras = {plug("Cam"), plug("Cam"),
                                                                 plug("Cam")};
        Vorn_Cam window;
        MainWindowInspector inspect(window);
        inspect.activate(chosen);
        scripted.script({});
        setUpgradeLibraryFolder(bin("scripted"));
        SwappingDialogs user;
        user.fileName = dir.filePath(QStringLiteral("fw.img"));
        user.whileChoosing = [&] {
            for (int key : leaving) {
                hub.unplug(cameras.at(key - 1)->deviceName());
            }
            inspect.discoveryPass();
            if (hub.cameras().size() == 1) {
                inspect.activate(1); // as the window opens a lone camera
            }
        };
        Vorn_settingUpgradeInspector page;
        page.ui()->pushButton_upgrade->click();
        QVERIFY(QThreadPool::globalInstance()->waitForDone(60000));
        if (!index.isEmpty()) {
            QCOMPARE(scripted.call(0).mid(3), (QStringList{"-I", index}));
            QCOMPARE(page.cameraId(), index.toInt()); // what the information reads
            return;
        }
        QVERIFY(scripted.read("calls").isEmpty());
        QVERIFY2(user.messages().last().contains("has left; nothing was written"),
                 qPrintable(user.messages().last()));
        // The task checks again just before the call, and never passes -1.
        QSignalSpy ended(&UpgradeRelay::instance(), &UpgradeRelay::taskEnded);
        checkedUpgradeTask(user.fileName, chosen - 1,
                           VideoInputInfo("Cam", cameras.at(chosen - 1)->deviceName(), true));
        upgradeTask(user.fileName, -1);
        QCOMPARE(ended.size(), 2);
        QVERIFY(ended.first().at(0).toString().contains("has left"));
        QVERIFY(scripted.read("calls").isEmpty());
    }

    void upgradeInTheWindow()
    {
        qputenv("LUMORA_UPGRADE_STEP_MS", "20");
        const QString before = hub.plugCamera()->deviceName();
        const QString file = writeFile(QStringLiteral("固件 firmware.pkg"), validImage());
        Vorn_Cam window;
        MainWindowInspector cam(window);
        Vorn_settingUpgradeInspector page;
        cam.ui()->pushButton_preview->setChecked(true);
        QTRY_VERIFY_WITH_TIMEOUT(cam.captureLib()->CaptureIsOpen(), 30000);
        QSignalSpy sending(page.p, &Vorn_settingUpgrade::sendFileProgress);
        QSignalSpy writing(page.p, &Vorn_settingUpgrade::upgradeProgress);
        ScriptedDialogs user;
        user.fileName = file;
        page.dialog()->setStatusText(QString());
        page.ui()->pushButton_upgrade->click();

        QVERIFY(!cam.captureLib()->CaptureIsOpen());
        QVERIFY(!cam.captureOn());
        QVERIFY(!page.ui()->pushButton_upgrade->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(page.status(), kComplete, 120000);
        QCOMPARE(page.bar(), 100);
        // The file's bytes in 40 chunks, then the flash write, each to 100.
        QCOMPARE(sending.size(), 40);
        QVERIFY(sending.last().at(0).toInt() == 100 && writing.last().at(0).toInt() == 100);
        QVERIFY(page.text().contains(QLatin1String("Device rebooting...")));
        QVERIFY(QThreadPool::globalInstance()->waitForDone(60000));
        // Restarted as a new device, opened again; only then is the page usable.
        QCOMPARE(hub.cameras().size(), 1);
        QVERIFY(hub.cameras().first()->deviceName() != before);
        QTRY_VERIFY_WITH_TIMEOUT(cam.captureOn(), 30000);
        QVERIFY(page.ui()->pushButton_upgrade->isEnabled());
        qputenv("LUMORA_UPGRADE_STEP_MS", "1");
    }
};

QTEST_MAIN(tst_Upgrade)
#include "tst_upgrade.moc"
