#include "callkeys.h"

#include "globalkeygrabber.h"
#include "ptzcontrols.h"

#include <QDebug>
#include <QPushButton>
#include <QWidget>

CallKeys::CallKeys(QWidget* window, QObject* parent) : QObject(parent), m_window(window)
{
    m_grabber = GlobalKeyGrabber::create(this, &m_unavailable);
    if (!m_grabber) {
        return;
    }
    connect(m_grabber, &GlobalKeyGrabber::pressed, this, &CallKeys::pressed);
    connect(m_grabber, &GlobalKeyGrabber::released, this, &CallKeys::released);
    connect(m_grabber, &GlobalKeyGrabber::refused, this, &CallKeys::refusedLater);
    if (CallKeyBindings::enabled()) {
        grabAll();
    }
}

void CallKeys::setOn(bool on)
{
    CallKeyBindings::setEnabled(on);
    if (!m_grabber) {
        return;
    }
    if (on) {
        grabAll();
        return;
    }
    m_grabber->releaseAll();
    m_refused.clear();
    m_grabbed.clear();
    m_on = false;
    qInfo().noquote() << "keys during calls: off";
}

QStringList CallKeys::summary() const
{
    QStringList lines;
    for (int index = 0; index < m_bindings.size(); ++index) {
        const CallKeyBinding& binding = m_bindings.at(index);
        if (m_grabbed.value(index)) {
            const QString bound = m_grabber->boundKeys(index);
            lines << (bound.isEmpty() ? binding.keys.toString(QKeySequence::NativeText) : bound) +
                         QStringLiteral("  ") + binding.label;
        }
    }
    return lines;
}

void CallKeys::grabAll()
{
    m_grabber->releaseAll();
    m_refused.clear();
    // Read each time, so that keys changed in the settings file count.
    m_bindings = CallKeyBindings::load();
    m_grabbed.fill(false, m_bindings.size());
    int grabbed = 0;
    for (int index = 0; index < m_bindings.size(); ++index) {
        const CallKeyBinding& binding = m_bindings.at(index);
        QString error;
        if (binding.keys.isEmpty()) {
            continue;
        }
        m_grabber->describe(index, binding.name, binding.label);
        if (m_grabber->grab(index, binding.keys, &error)) {
            m_grabbed[index] = true;
            ++grabbed;
        } else {
            m_refused << refusalLine(index, error);
        }
    }
    m_grabber->grabsDone();
    m_on = true;
    qInfo().noquote() << "keys during calls: on," << grabbed << "keys";
    if (!m_refused.isEmpty()) {
        qWarning().noquote() << "keys during calls:" << m_refused.join(QStringLiteral("; "));
        emit keysRefused(refusalText());
    }
}

QString CallKeys::refusalLine(int index, const QString& error) const
{
    const CallKeyBinding& binding = m_bindings.at(index);
    return QStringLiteral("%1 (%2): %3")
        .arg(binding.keys.toString(QKeySequence::NativeText), binding.label, error);
}

// The desktop's answer, after grabAll() took the keys as asked for.
void CallKeys::refusedLater(const QMap<int, QString>& errors)
{
    for (auto it = errors.begin(); it != errors.end(); ++it) {
        if (m_grabbed.value(it.key())) {
            m_grabbed[it.key()] = false;
            m_refused << refusalLine(it.key(), it.value());
        }
    }
    if (!m_refused.isEmpty()) {
        qWarning().noquote() << "keys during calls:" << m_refused.join(QStringLiteral("; "));
        emit keysRefused(refusalText());
    }
}

QString CallKeys::refusalText() const
{
    return tr("These keys during calls could not be had:\n") + m_refused.join(QLatin1Char('\n'));
}

PtzControls* CallKeys::ptz() const
{
    return m_window->findChild<PtzControls*>();
}

void CallKeys::pressed(int index)
{
    const CallKeyBinding& binding = m_bindings.at(index);
    PtzControls* controls = ptz();
    if (!controls) {
        return;
    }
    switch (binding.action) {
    case CallKeyBinding::Action::Preset:
        if (!controls->recall(binding.preset)) {
            qInfo().noquote() << "keys during calls:" << binding.label
                              << "not recalled (not saved, or no camera open)";
        }
        break;
    case CallKeyBinding::Action::Pad:
        controls->padKey(binding.padKey, true);
        break;
    case CallKeyBinding::Action::Framing: {
        // The video page's own switch, which is off while no camera shows.
        auto* button = m_window->findChild<QPushButton*>(QStringLiteral("pushButton_AutoFraming"));
        if (button && button->isEnabled()) {
            button->click();
        } else {
            qInfo().noquote() << "keys during calls: auto framing needs a camera showing";
        }
        break;
    }
    }
}

void CallKeys::released(int index)
{
    const CallKeyBinding& binding = m_bindings.at(index);
    PtzControls* controls = ptz();
    if (controls && binding.action == CallKeyBinding::Action::Pad) {
        controls->padKey(binding.padKey, false);
    }
}
