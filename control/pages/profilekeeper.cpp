#include "profilekeeper.h"

#include "cameraprofilestore.h"
#include "camerasession.h"
#include "controlcatalogue.h"
#include "controlchannel.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QCheckBox>
#include <QDebug>
#include <QWidget>

ProfileKeeper::ProfileKeeper(ControlChannel& controls, QWidget* videoPage, QWidget* audioPage,
                             QObject* parent)
    : QObject(parent), m_controls(controls)
{
    // The widgets of the controls a profile keeps; the pages have sent the
    // value by the time these signals reach here (the pages connect first).
    for (const ControlDescriptor* control : ControlCatalogue::profileControls()) {
        for (const QString& name : control->widgets) {
            for (QWidget* page : {videoPage, audioPage}) {
                if (auto* slider = page->findChild<QAbstractSlider*>(name)) {
                    connect(slider, &QAbstractSlider::sliderReleased, this, &ProfileKeeper::save);
                } else if (auto* button = page->findChild<QAbstractButton*>(name)) {
                    connect(button, &QAbstractButton::clicked, this, &ProfileKeeper::save);
                }
            }
        }
    }
    if (auto* restore =
            videoPage->findChild<QCheckBox*>(QStringLiteral("checkBox_restoreProfile"))) {
        restore->setChecked(CameraProfileStore::restoreOnConnect());
        connect(restore, &QCheckBox::toggled, this, &CameraProfileStore::setRestoreOnConnect);
    }
}

void ProfileKeeper::cameraOpened(const VideoInputInfo& camera)
{
    m_camera = camera;
    m_controls.post([camera](ControlWorker&) {
        const QJsonObject values = CameraProfileStore::values(CameraProfileStore::keyOf(camera));
        if (values.isEmpty() || !CameraProfileStore::restoreOnConnect()) {
            return;
        }
        // Bound for this alone: the page binds the window's session next.
        CameraSession restoring(camera);
        if (!restoring.open()) {
            return;
        }
        const QStringList written = restoring.controls().applyProfile(values);
        qDebug() << "profile restored:" << written;
    });
}

void ProfileKeeper::save()
{
    if (m_camera.isNull()) {
        return;
    }
    const VideoInputInfo camera = m_camera;
    // One reading after the latest change is all that is needed: a camera
    // slow to answer would otherwise read its whole profile per click.
    m_controls.postLatest(QStringLiteral("profile"), [camera](ControlWorker& worker) {
        const QString key = CameraProfileStore::keyOf(camera);
        // A control that does not answer now keeps its stored value.
        QJsonObject values = CameraProfileStore::values(key);
        const QJsonObject now = worker.session().controls().readProfile();
        for (auto it = now.begin(); it != now.end(); ++it) {
            values.insert(it.key(), it.value());
        }
        CameraProfileStore::setValues(key, values);
    });
}
