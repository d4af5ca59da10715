#include "framingswitch.h"

#include "controlchannel.h"
#include "dialogseam.h"
#include "framingengine.h"

#include <QCheckBox>
#include <QDebug>
#include <QPushButton>
#include <QSignalBlocker>

FramingSwitch::FramingSwitch(ControlChannel& channel, QPushButton* button, QCheckBox* overlay,
                             QObject* parent)
    : QObject(parent), m_button(button), m_overlay(overlay),
      m_engine(new FramingEngine(channel, this))
{
    connect(m_button, &QPushButton::toggled, this, &FramingSwitch::toggled);
    connect(m_engine, &FramingEngine::acted, this, [this](const QString& what) {
        qDebug().noquote() << "auto framing:" << what << QStringLiteral("(%1)").arg(m_device);
    });
    connect(m_engine, &FramingEngine::bound, this, &FramingSwitch::showUsable);
}

FramingSwitch::~FramingSwitch()
{
    // What framing sent and the camera has not done yet is dropped.
    m_engine->unbind();
}

void FramingSwitch::bind(const QString& deviceName, bool cameraOpen)
{
    m_device = deviceName;
    if (!FramingEngine::available()) {
        showUsable(QStringLiteral("This build has no face detector."));
    } else if (!cameraOpen) {
        showUsable(QStringLiteral("No camera is open."));
    } else {
        m_engine->unbind();
        m_button->setEnabled(false);
        m_button->setToolTip(QStringLiteral("Reading the camera's pan, tilt and zoom..."));
        m_engine->bind();
    }
}

void FramingSwitch::showUsable(const QString& why)
{
    const bool usable = why.isEmpty();
    if (!usable) {
        m_button->setChecked(false);
    }
    m_button->setEnabled(usable);
    m_button->setToolTip(usable ? QStringLiteral("Keep the people in the picture with the "
                                                 "camera's pan, tilt and zoom")
                                : why);
}

void FramingSwitch::unbind()
{
    m_button->setChecked(false);
    m_button->setEnabled(false);
    m_engine->unbind();
}

bool FramingSwitch::overlayShown() const
{
    return m_engine->isRunning() && m_overlay->isChecked();
}

void FramingSwitch::pauseForManualMove()
{
    m_engine->pauseForManualMove();
}

void FramingSwitch::toggled(bool on)
{
    if (!on) {
        m_engine->stop();
        return;
    }
    QString problem;
    if (!m_engine->start(&problem)) {
        const QSignalBlocker quiet(m_button);
        m_button->setChecked(false);
        m_button->setToolTip(problem);
        DialogSeam::information(nullptr, QStringLiteral("Notice"), problem);
        return;
    }
    m_engine->resume();
}
