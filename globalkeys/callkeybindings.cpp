#include "callkeybindings.h"

#include <QSettings>

namespace {

const QString kGroup = QStringLiteral("callKeys");

QSettings userSettings()
{
    return QSettings(QStringLiteral("Lumora"), QStringLiteral("Lumora"));
}

// Ctrl+Alt is free in the usual meeting programs and browsers, which take
// Ctrl and Ctrl+Shift for themselves.
QVector<CallKeyBinding> defaults()
{
    QVector<CallKeyBinding> all;
    for (int number = 1; number <= 9; ++number) {
        CallKeyBinding preset;
        preset.preset = number;
        preset.name = QStringLiteral("preset%1").arg(number);
        preset.label = QStringLiteral("Preset %1").arg(number);
        preset.keys = QKeySequence(Qt::CTRL | Qt::ALT | (Qt::Key_0 + number));
        all << preset;
    }
    const struct
    {
        int padKey;
        const char* name;
        const char* label;
        int key;
    } pad[] = {
        {Qt::Key_Left, "panLeft", "Pan left", Qt::Key_Left},
        {Qt::Key_Right, "panRight", "Pan right", Qt::Key_Right},
        {Qt::Key_Up, "tiltUp", "Tilt up", Qt::Key_Up},
        {Qt::Key_Down, "tiltDown", "Tilt down", Qt::Key_Down},
        {Qt::Key_Plus, "zoomIn", "Zoom in", Qt::Key_PageUp},
        {Qt::Key_Minus, "zoomOut", "Zoom out", Qt::Key_PageDown},
    };
    for (const auto& entry : pad) {
        CallKeyBinding move;
        move.action = CallKeyBinding::Action::Pad;
        move.padKey = entry.padKey;
        move.name = QLatin1String(entry.name);
        move.label = QLatin1String(entry.label);
        move.keys = QKeySequence(Qt::CTRL | Qt::ALT | entry.key);
        all << move;
    }
    CallKeyBinding framing;
    framing.action = CallKeyBinding::Action::Framing;
    framing.name = QStringLiteral("framing");
    framing.label = QStringLiteral("Auto framing on/off");
    framing.keys = QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_F);
    all << framing;
    return all;
}

} // namespace

namespace CallKeyBindings {

QVector<CallKeyBinding> load()
{
    QSettings settings = userSettings();
    settings.beginGroup(kGroup);
    QVector<CallKeyBinding> all = defaults();
    for (CallKeyBinding& binding : all) {
        const QString text = settings.value(binding.name).toString();
        const QKeySequence keys = QKeySequence::fromString(text, QKeySequence::PortableText);
        // An empty entry turns the key off; one that names no key is
        // replaced by the default rather than left to grab nothing.
        if (settings.contains(binding.name) && (text.isEmpty() || keys.count() == 1)) {
            binding.keys = keys;
        } else {
            settings.setValue(binding.name, binding.keys.toString(QKeySequence::PortableText));
        }
    }
    return all;
}

bool enabled()
{
    return userSettings().value(kGroup + QStringLiteral("/enabled"), false).toBool();
}

void setEnabled(bool on)
{
    userSettings().setValue(kGroup + QStringLiteral("/enabled"), on);
}

} // namespace CallKeyBindings
