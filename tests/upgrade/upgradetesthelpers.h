#pragma once

// Shared by the upgrade suites: reach into the page and its dialog, answer
// its dialogs, and drive the scripted upgrade library.
#include "dialogseam.h"
#include "ui_vorn_progressdialog.h"
#include "ui_vorn_settingupgrade.h"
#include "vorn_progressdialog.h"
#include "vorn_settingupgrade.h"

#include <QCoreApplication>
#include <QLibrary>
#include <QList>
#include <QStringList>

struct Vorn_ProgressDialogInspector
{
    static Ui::Vorn_ProgressDialog* ui(Vorn_ProgressDialog* d) { return d->ui; }
};

struct Vorn_settingUpgradeInspector
{
    explicit Vorn_settingUpgradeInspector(Vorn_settingUpgrade* page) : p(page) {}
    Ui::Vorn_settingUpgrade* ui() const { return p->ui; }
    Vorn_ProgressDialog* dialog() const { return p->progressDialog; }
    int bar() const { return Vorn_ProgressDialogInspector::ui(dialog())->progressBar->value(); }
    QString status() const { return Vorn_ProgressDialogInspector::ui(dialog())->label->text(); }
    QString text() const { return p->ui->textEdit->toPlainText(); }
    bool upgrading() const { return p->upgrading; }
    void setUpgrading(bool on) { p->upgrading = on; }
    int cameraId() const { return p->cameraId; }
    bool captureOn() const { return p->captureOn; }
    void clickInfo() { p->ui->pushButton_info->click(); }
    void clickUpgrade() { p->ui->pushButton_upgrade->click(); }
    Vorn_settingUpgrade* p;
};

// Answers every box with one button and the file dialog with one name,
// keeping each request.
class ScriptedResponder : public DialogSeam::Responder
{
public:
    ScriptedResponder() { DialogSeam::setResponder(this); }
    ~ScriptedResponder() override { DialogSeam::setResponder(nullptr); }

    DialogSeam::Answer answer(const DialogSeam::Request& request) override
    {
        requests.append(request);
        DialogSeam::Answer reply;
        reply.button = button;
        reply.fileName = fileName;
        return reply;
    }

    QMessageBox::StandardButton button = QMessageBox::Yes;
    QString fileName;
    QList<DialogSeam::Request> requests;
};

inline QString binFolder(const QString& sub = QString())
{
    const QString bin = QCoreApplication::applicationDirPath();
    return sub.isEmpty() ? bin : bin + QLatin1Char('/') + sub;
}

// The scripted library, held loaded by the test so that its script and
// records outlive the program's load and unload around each call.
class ScriptedLibrary
{
public:
    ScriptedLibrary() : lib(binFolder("scripted") + "/uvc_upgrade")
    {
        if (lib.load()) {
            reset = resolve<void (*)()>("scripted_reset");
            addText = resolve<void (*)(const char*)>("scripted_addText");
            addInt = resolve<void (*)(const char*, int)>("scripted_addInt");
            addDouble = resolve<void (*)(const char*, double)>("scripted_addDouble");
            setReturnNull = resolve<void (*)(int)>("scripted_setReturnNull");
            callCount = resolve<int (*)()>("scripted_callCount");
            argFn = resolve<const char* (*)(int, int)>("scripted_arg");
            result = resolve<int (*)(int)>("scripted_result");
        }
    }
    ~ScriptedLibrary() { lib.unload(); }

    bool ok() const { return reset && addText && argFn && result && callCount; }
    QStringList call(int n) const
    {
        QStringList args;
        for (int i = 0; i < 5; ++i) {
            args << QString::fromUtf8(argFn(n, i));
        }
        return args;
    }
    QByteArray rawArg(int n, int i) const { return QByteArray(argFn(n, i)); }

    void (*reset)() = nullptr;
    void (*addText)(const char*) = nullptr;
    void (*addInt)(const char*, int) = nullptr;
    void (*addDouble)(const char*, double) = nullptr;
    void (*setReturnNull)(int) = nullptr;
    int (*callCount)() = nullptr;
    const char* (*argFn)(int, int) = nullptr;
    int (*result)(int) = nullptr;

private:
    template <typename F> F resolve(const char* name)
    {
        return reinterpret_cast<F>(lib.resolve(name));
    }
    QLibrary lib;
};
