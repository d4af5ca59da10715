#include "framingswitch.h"

#include "dialogseam.h"
#include "framingengine.h"
#include "vorn_cameraproperty.h"

#include <QCheckBox>
#include <QDebug>
#include <QPushButton>
#include <QSignalBlocker>

FramingSwitch::FramingSwitch(QPushButton* button, QCheckBox* overlay, QObject* parent)
    : QObject(parent), m_button(button), m_overlay(overlay), m_engine(new FramingEngine(this)),
      m_property(std::make_unique<Vorn_CameraProperty>(MainUnitSet))
{
    connect(m_button, &QPushButton::toggled, this, &FramingSwitch::toggled);
    connect(m_engine, &FramingEngine::acted, this,
            [](const QString& what) { qDebug().noquote() << "auto framing:" << what; });
}

FramingSwitch::~FramingSwitch()
{
    // The engine lets go of the instance's controls before they go.
    m_engine->unbind();
}

void FramingSwitch::bind(const QString& deviceName, bool cameraOpen)
{
    QString why;
    if (!FramingEngine::available()) {
        why = QStringLiteral("This build has no face detector.");
    } else if (cameraOpen) {
        m_engine->unbind();
        m_property->open(deviceName);
        m_engine->bind(m_property->cameraControl, &why);
    } else {
        why = QStringLiteral("No camera is open.");
    }
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
