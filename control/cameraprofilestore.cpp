#include "cameraprofilestore.h"

#include "profiletext.h"
#include "propertytransport.h"

#include <QSettings>
#include <QStringList>

#include <memory>

namespace {

// Written by the window and lumora-ctl alike: named here, not after
// whichever program runs.
std::unique_ptr<QSettings> userSettings()
{
    auto settings = std::make_unique<QSettings>(QStringLiteral("Lumora"), QStringLiteral("Lumora"));
    // A process killed while it saves must leave the profiles it found: so
    // the file is written whole beside the old one and renamed over it,
    // never rewritten in place (a sync that cannot do so fails instead).
    settings->setAtomicSyncRequired(true);
    return settings;
}

// QSettings reads '/' and '\' in a key as groups; the rest it escapes itself.
QString group(const QString& key)
{
    return QStringLiteral("profiles/") + QString(key)
                                             .replace(QLatin1Char('/'), QLatin1Char('|'))
                                             .replace(QLatin1Char('\\'), QLatin1Char('|'));
}

QString presetKey(const QString& key, int number)
{
    return group(key) + QStringLiteral("/preset%1").arg(number);
}

} // namespace

QString CameraProfileStore::keyOf(const VideoInputInfo& camera)
{
    const QString identity = PropertyDevices::instance().identity(camera.deviceName());
    return identity.isEmpty() ? camera.description() + QStringLiteral(" at ") + camera.deviceName()
                              : identity;
}

QJsonObject CameraProfileStore::values(const QString& key)
{
    return ProfileText::values(
        userSettings()->value(group(key) + QStringLiteral("/values")).toByteArray());
}

void CameraProfileStore::setValues(const QString& key, const QJsonObject& values)
{
    const auto settings = userSettings();
    settings->setValue(group(key) + QStringLiteral("/values"),
                       QString::fromUtf8(ProfileText::valuesText(values)));
    settings->sync();
}

bool CameraProfileStore::preset(const QString& key, int number, PtzPosition* position)
{
    return ProfileText::preset(userSettings()->value(presetKey(key, number)).toString(), position);
}

QVector<bool> CameraProfileStore::savedPresets(const QString& key, int count)
{
    const auto settings = userSettings();
    QVector<bool> saved(qMax(count, 0));
    for (int number = 1; number <= count; ++number) {
        PtzPosition position;
        saved[number - 1] =
            ProfileText::preset(settings->value(presetKey(key, number)).toString(), &position);
    }
    return saved;
}

void CameraProfileStore::setPreset(const QString& key, int number, const PtzPosition& position)
{
    const auto settings = userSettings();
    settings->setValue(presetKey(key, number), ProfileText::presetText(position));
    settings->sync();
}

void CameraProfileStore::removePreset(const QString& key, int number)
{
    const auto settings = userSettings();
    settings->remove(presetKey(key, number));
    settings->sync();
}

bool CameraProfileStore::held(const QString& key)
{
    return userSettings()->value(group(key) + QStringLiteral("/held"), false).toBool();
}

void CameraProfileStore::setHeld(const QString& key, bool held)
{
    const auto settings = userSettings();
    settings->setValue(group(key) + QStringLiteral("/held"), held);
    settings->sync();
}

QString CameraProfileStore::captureMode(const QString& key)
{
    return userSettings()->value(group(key) + QStringLiteral("/mode")).toString();
}

void CameraProfileStore::setCaptureMode(const QString& key, const QString& mode)
{
    const auto settings = userSettings();
    settings->setValue(group(key) + QStringLiteral("/mode"), mode);
    settings->sync();
}

void CameraProfileStore::clear(const QString& key)
{
    const auto settings = userSettings();
    settings->remove(group(key));
    settings->sync();
}

QString CameraProfileStore::location()
{
    return userSettings()->fileName();
}

bool CameraProfileStore::restoreOnConnect()
{
    return userSettings()->value(QStringLiteral("options/restoreOnConnect"), true).toBool();
}

void CameraProfileStore::setRestoreOnConnect(bool on)
{
    const auto settings = userSettings();
    settings->setValue(QStringLiteral("options/restoreOnConnect"), on);
    settings->sync();
}
