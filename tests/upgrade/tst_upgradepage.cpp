#include "logcapture.h"
#include "upgradebridge.h"
#include "upgradetesthelpers.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QtTest>

// The page and the bridge against the scripted library: every message rule,
// the exact arguments of each call, and the failures of the library.
class TestUpgradePage : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void progressDialogBarAndStatus();
    void singleInstance();
    void buttonsFollowCaptureState();
    void progressMessagesMoveBarAndStatus();
    void exitAndOtherMessages();
    void readInformationPassesIndexAndShowsMessages_data();
    void readInformationPassesIndexAndShowsMessages();
    void callbackFormatsBounded();
    void readInformationWithoutLibrary();
    void upgradeAsksAndStops();
    void upgradePassesPathsAndFollowsMessages();
    void upgradeSuffixIgnoresCase();
    void failedTaskReturnsToIdle_data();
    void failedTaskReturnsToIdle();
    void reportedErrorIsNoSuccess();

private:
    void send(const QString& message) { emit page()->updateUpgradeInfo(message); }
    Vorn_settingUpgrade* page() const { return Vorn_settingUpgrade::getInstance(); }
    void waitForIdle(Vorn_settingUpgradeInspector& in)
    {
        QTRY_VERIFY_WITH_TIMEOUT(!in.upgrading(), 20000);
        QVERIFY(QThreadPool::globalInstance()->waitForDone(20000));
    }

    ScriptedLibrary scripted;
    QTemporaryDir files;
};

void TestUpgradePage::init()
{
    QVERIFY(scripted.ok());
    scripted.reset();
    setUpgradeLibraryFolder(binFolder("scripted"));
    Vorn_settingUpgradeInspector in(page());
    in.setUpgrading(false);
    page()->captureState(true);
    page()->onCameraIDChange(0);
}

void TestUpgradePage::cleanup()
{
    QThreadPool::globalInstance()->waitForDone(20000);
    QCoreApplication::processEvents();
    setUpgradeLibraryFolder(QString());
}

void TestUpgradePage::progressDialogBarAndStatus()
{
    Vorn_ProgressDialog dialog;
    Ui::Vorn_ProgressDialog* ui = Vorn_ProgressDialogInspector::ui(&dialog);
    QCOMPARE(ui->progressBar->value(), 0);
    QVERIFY(ui->label->text().isEmpty());
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Upgrading"));
    dialog.setProgressValue(100);
    QCOMPARE(ui->progressBar->value(), 100);
    dialog.setProgressValue(101);
    QCOMPARE(ui->progressBar->value(), 100);
    dialog.setProgressValue(0);
    QCOMPARE(ui->progressBar->value(), 0);
    dialog.setProgressValue(-1);
    QCOMPARE(ui->progressBar->value(), 0);
    dialog.setStatusText(QStringLiteral("<font color=green>Upgrade complete!</font>"));
    QVERIFY(Qt::mightBeRichText(ui->label->text()));
    dialog.show();
    dialog.hide();
    dialog.show();
    QCOMPARE(ui->label->text(), QStringLiteral("<font color=green>Upgrade complete!</font>"));
}

void TestUpgradePage::singleInstance()
{
    Vorn_settingUpgrade* first = page();
    QList<Vorn_settingUpgrade*> seen;
    QMutex mutex;
    for (int i = 0; i < 8; ++i) {
        QThreadPool::globalInstance()->start([&] {
            Vorn_settingUpgrade* p = Vorn_settingUpgrade::getInstance();
            QMutexLocker lock(&mutex);
            seen.append(p);
        });
    }
    QVERIFY(QThreadPool::globalInstance()->waitForDone(20000));
    QCOMPARE(seen.size(), 8);
    for (Vorn_settingUpgrade* p : seen) {
        QCOMPARE(p, first);
    }
    Vorn_settingUpgradeInspector in(first);
    QVERIFY(in.ui()->textEdit->isReadOnly());
    QVERIFY(in.dialog()->isHidden());
    QCOMPARE(in.dialog()->windowModality(), Qt::WindowModal);
}

void TestUpgradePage::buttonsFollowCaptureState()
{
    Vorn_settingUpgradeInspector in(page());
    page()->captureState(false);
    QVERIFY(!in.ui()->pushButton_info->isEnabled());
    QVERIFY(!in.ui()->pushButton_upgrade->isEnabled());
    page()->captureState(true);
    QVERIFY(in.ui()->pushButton_info->isEnabled());
    QVERIFY(in.ui()->pushButton_upgrade->isEnabled());
    LogCapture log;
    page()->onCameraIDChange(7);
    QCOMPARE(in.cameraId(), 7);
    QVERIFY(log.contains(QStringLiteral("CameraId:")));
}

void TestUpgradePage::progressMessagesMoveBarAndStatus()
{
    Vorn_settingUpgradeInspector in(page());
    in.setUpgrading(true);
    QSignalSpy sendSpy(page(), &Vorn_settingUpgrade::sendFileProgress);
    QSignalSpy writeSpy(page(), &Vorn_settingUpgrade::upgradeProgress);

    send(QStringLiteral("send file 37%"));
    QCOMPARE(in.bar(), 37);
    QCOMPARE(in.status(), QStringLiteral("send file..."));
    QVERIFY(in.text().isEmpty());

    send(QStringLiteral("flash write 12.5 percent"));
    QCOMPARE(in.bar(), 12);
    QCOMPARE(in.status(), QStringLiteral("upgrade..."));
    send(QStringLiteral("flash write 100.0"));
    QCOMPARE(in.bar(), 100);
    QCOMPARE(in.status(), QStringLiteral("Please wait device reboot..."));

    // A decimal point in a transfer percentage does not convert.
    send(QStringLiteral("send file 45.5"));
    QCOMPARE(in.bar(), 0);
    QCOMPARE(sendSpy.last().at(0).toInt(), 0);

    // Both keys: read as a transfer message only.
    send(QStringLiteral("send file 20 flash write 90"));
    QCOMPARE(in.bar(), 20);
    QCOMPARE(in.status(), QStringLiteral("send file..."));
    QCOMPARE(writeSpy.size(), 2);

    // No digits: nothing moves and nothing is appended.
    const int sends = sendSpy.size();
    send(QStringLiteral("send file started"));
    send(QStringLiteral("flash write started"));
    QCOMPARE(sendSpy.size(), sends);
    QCOMPARE(writeSpy.size(), 2);
    QCOMPARE(in.bar(), 20);
    QCOMPARE(in.status(), QStringLiteral("send file..."));
    QVERIFY(in.text().isEmpty());

    // Out of range: the bar keeps its value.
    send(QStringLiteral("send file 250"));
    QCOMPARE(in.bar(), 20);

    // Progress and the end in one message: the bar first, then complete.
    send(QStringLiteral("flash write 100 exit"));
    QCOMPARE(in.bar(), 100);
    QCOMPARE(in.status(), QStringLiteral("<font color=green>Upgrade complete!</font>"));
    QVERIFY(!in.upgrading());
}

void TestUpgradePage::exitAndOtherMessages()
{
    Vorn_settingUpgradeInspector in(page());
    in.ui()->textEdit->clear();
    in.dialog()->setStatusText(QStringLiteral("before"));
    send(QStringLiteral("get info exit"));
    QCOMPARE(in.status(), QStringLiteral("before"));
    QVERIFY(in.text().isEmpty());

    send(QStringLiteral("line one\nline two"));
    send(QString());
    send(QStringLiteral("third"));
    QCOMPARE(in.text(), QStringLiteral("line one\nline two\n\nthird"));
    QCOMPARE(in.ui()->textEdit->textCursor().position(),
             in.ui()->textEdit->document()->characterCount() - 1);
}

void TestUpgradePage::readInformationPassesIndexAndShowsMessages_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("text");
    QTest::newRow("0") << 0 << "0";
    QTest::newRow("12") << 12 << "12";
    QTest::newRow("-1") << -1 << "-1";
}

void TestUpgradePage::readInformationPassesIndexAndShowsMessages()
{
    QFETCH(int, index);
    QFETCH(QString, text);
    Vorn_settingUpgradeInspector in(page());
    in.ui()->textEdit->setPlainText(QStringLiteral("old text"));
    scripted.addText("Firmware version: SIM:1.0.0");
    scripted.addInt("Serial %d", 42);
    scripted.addText("get info exit");
    scripted.setReturnNull(1);
    page()->onCameraIDChange(index);
    LogCapture log;
    in.clickInfo();

    QCOMPARE(scripted.callCount(), 1);
    QCOMPARE(scripted.call(0), (QStringList{"1", "-I", text, "", ""}));
    QCOMPARE(in.text(), QStringLiteral("Firmware version: SIM:1.0.0\nSerial 42"));
    QCOMPARE(log.count(QStringLiteral("uvc get info exit")), 1);
    QCOMPARE(scripted.result(1), 9);
}

void TestUpgradePage::callbackFormatsBounded()
{
    QSignalSpy spy(page(), &Vorn_settingUpgrade::updateUpgradeInfo);
    const QByteArray longText(2000, 'x');
    scripted.addText(longText.constData());
    scripted.addText("");
    scripted.addDouble("%.2f", 3.14159);
    scripted.addText("中文 message");
    Vorn_settingUpgradeInspector(page()).clickInfo();
    QCOMPARE(spy.size(), 4);
    QCOMPARE(spy.at(0).at(0).toString(), QString(longText.left(kUpgradeMessageBytes)));
    QCOMPARE(spy.at(1).at(0).toString(), QString());
    QCOMPARE(spy.at(2).at(0).toString(), QStringLiteral("3.14"));
    QCOMPARE(spy.at(3).at(0).toString(), QStringLiteral("中文 message"));
    QCOMPARE(scripted.result(0), 2000);
}

void TestUpgradePage::readInformationWithoutLibrary()
{
    ScriptedResponder responder;
    LogCapture log;
    QTemporaryDir empty;
    setUpgradeLibraryFolder(empty.path());
    Vorn_settingUpgradeInspector(page()).clickInfo();
    setUpgradeLibraryFolder(binFolder("nosymbol"));
    Vorn_settingUpgradeInspector(page()).clickInfo();

    QCOMPARE(responder.requests.size(), 2);
    QCOMPARE(responder.requests.at(0).title, QStringLiteral("Notice"));
    QCOMPARE(responder.requests.at(0).text, QStringLiteral("DLL is not loaded!"));
    QCOMPARE(responder.requests.at(0).buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QVERIFY(!responder.requests.at(0).parent);
    QCOMPARE(responder.requests.at(1).text, QStringLiteral("Linke to Function is not OK!!!!"));
    QCOMPARE(log.count(QStringLiteral("uvc get info exit")), 2);
    QCOMPARE(scripted.callCount(), 0);
}

void TestUpgradePage::upgradeAsksAndStops()
{
    ScriptedResponder responder;
    QSignalSpy disconnect(page(), &Vorn_settingUpgrade::disConnectDevice);
    Vorn_settingUpgradeInspector in(page());

    page()->onCameraIDChange(-1);
    in.clickUpgrade();
    QCOMPARE(responder.requests.size(), 1);
    QCOMPARE(responder.requests.at(0).text, QStringLiteral("No camera selected, can't upgrade!"));

    page()->onCameraIDChange(0);
    responder.button = QMessageBox::No;
    in.clickUpgrade();
    QCOMPARE(responder.requests.size(), 2);
    QCOMPARE(responder.requests.at(1).text,
             QStringLiteral("This will shut down the device, Do you want to upgrade?"));
    QCOMPARE(responder.requests.at(1).buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(responder.requests.at(1).defaultButton, QMessageBox::Yes);

    responder.button = QMessageBox::Yes;
    responder.fileName.clear();
    in.clickUpgrade();
    QCOMPARE(responder.requests.size(), 4);
    QCOMPARE(responder.requests.at(3).kind, DialogSeam::Kind::OpenFile);
    QCOMPARE(responder.requests.at(3).title, QStringLiteral("选择升级文件"));
    QCOMPARE(responder.requests.at(3).dir, QDir::currentPath());
    QCOMPARE(responder.requests.at(3).filter, QStringLiteral("Files(*.pkg *.img)"));

    QCOMPARE(disconnect.size(), 0);
    QVERIFY(in.dialog()->isHidden());
    QVERIFY(!in.upgrading());
    QCOMPARE(scripted.callCount(), 0);
}

void TestUpgradePage::upgradePassesPathsAndFollowsMessages()
{
    ScriptedResponder responder;
    responder.fileName = files.filePath(QStringLiteral("固件 升级.img"));
    QSignalSpy disconnect(page(), &Vorn_settingUpgrade::disConnectDevice);
    Vorn_settingUpgradeInspector in(page());
    QStringList expected;
    for (int i = 0; i <= 100; ++i) {
        scripted.addInt("send file %d%%", i);
        scripted.addInt("block %d written", i);
        expected << QStringLiteral("block %1 written").arg(i);
    }
    scripted.addDouble("flash write %.1f", 100.0);
    scripted.addText("upgrade exit");
    page()->onCameraIDChange(3);
    in.clickUpgrade();
    QCOMPARE(disconnect.size(), 1);
    QVERIFY(in.upgrading());
    QVERIFY(in.dialog()->isVisible());
    waitForIdle(in);
    QTRY_COMPARE(in.status(), QStringLiteral("<font color=green>Upgrade complete!</font>"));
    QCOMPARE(in.bar(), 100);
    QCOMPARE(in.text(), expected.join(QLatin1Char('\n')));
    QCOMPARE(scripted.callCount(), 1);
    QCOMPARE(scripted.call(0), (QStringList{"2", "-M", responder.fileName, "-I", "3"}));
    QCOMPARE(scripted.rawArg(0, 2), responder.fileName.toUtf8());

    // A second upgrade shows the dialog as the first left it.
    scripted.reset();
    scripted.addText("upgrade exit");
    responder.fileName = files.filePath(QStringLiteral("包.pkg"));
    in.clickUpgrade();
    QCOMPARE(in.bar(), 100);
    waitForIdle(in);
    QCOMPARE(scripted.call(0), (QStringList{"2", "-P", responder.fileName, "-I", "3"}));
}

void TestUpgradePage::upgradeSuffixIgnoresCase()
{
    ScriptedResponder responder;
    responder.fileName = files.filePath(QStringLiteral("FIRMWARE.IMG"));
    scripted.addText("upgrade exit");
    LogCapture log;
    Vorn_settingUpgradeInspector in(page());
    in.clickUpgrade();
    waitForIdle(in);
    QCOMPARE(scripted.callCount(), 1);
    QCOMPARE(scripted.call(0).at(1), QStringLiteral("-M"));
    QVERIFY(log.contains(QStringLiteral("file suffix is:")));
    QCOMPARE(log.count(QStringLiteral("uvc upgrade exit")), 1);
}

void TestUpgradePage::failedTaskReturnsToIdle_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("reason");
    QTest::newRow("no library") << "missing"
                                << "a.img"
                                << "DLL is not loaded!";
    QTest::newRow("no entry point") << "nosymbol"
                                    << "a.pkg"
                                    << "Linke to Function is not OK!!!!";
    QTest::newRow("unknown suffix") << "scripted"
                                    << "a.bin"
                                    << "unknown file type";
    QTest::newRow("no exit message") << "scripted"
                                     << "a.img"
                                     << "without finishing";
}

void TestUpgradePage::failedTaskReturnsToIdle()
{
    QFETCH(QString, folder);
    QFETCH(QString, file);
    QFETCH(QString, reason);
    ScriptedResponder responder;
    responder.fileName = files.filePath(file);
    setUpgradeLibraryFolder(binFolder(folder));
    scripted.addText("send file 30");
    Vorn_settingUpgradeInspector in(page());
    in.dialog()->setStatusText(QString());
    LogCapture log;
    in.clickUpgrade();
    QVERIFY(in.upgrading());
    waitForIdle(in);
    QTRY_VERIFY(in.status().contains(reason.toHtmlEscaped()));
    QVERIFY(in.status().contains(QStringLiteral("Upgrade failed")));
    QCOMPARE(log.count(QStringLiteral("uvc upgrade exit")), 1);
    QCOMPARE(scripted.callCount(), folder == "scripted" && file.endsWith("img") ? 1 : 0);
}

void TestUpgradePage::reportedErrorIsNoSuccess()
{
    ScriptedResponder responder;
    responder.fileName = files.filePath(QStringLiteral("b.img"));
    scripted.addText("Error: the firmware file is empty");
    scripted.addText("upgrade failed, exit");
    Vorn_settingUpgradeInspector in(page());
    in.clickUpgrade();
    waitForIdle(in);
    QCOMPARE(in.status(), QStringLiteral("<font color=red>Upgrade failed!</font>"));
    QCOMPARE(in.text(), QStringLiteral("Error: the firmware file is empty"));
}

QTEST_MAIN(TestUpgradePage)
#include "tst_upgradepage.moc"
