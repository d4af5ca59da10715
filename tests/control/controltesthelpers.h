#pragma once

// Shared by the control suites: the simulated camera as the property side
// sees it, its request log in a readable form, and answers for the boxes.
#include "dialogseam.h"
#include "propertytransport.h"
#include "simulatedhub.h"
#include "simulatedpropertydevices.h"
#include "vorn_cameraproperty.h"

#include <QSlider>
#include <QStringList>

#include <memory>

// Simulated cameras only, whatever the machine has attached: each test
// starts from an empty hub and plugs the cameras it needs.
class ControlFixture
{
public:
    ControlFixture() { PropertyDevices::setInstance(&m_devices); }
    ~ControlFixture()
    {
        PropertyDevices::setInstance(nullptr);
        SimulatedHub::instance().reset();
    }

    // Also puts back the simulated devices a test may have replaced.
    void reset()
    {
        SimulatedHub::instance().reset();
        PropertyDevices::setInstance(&m_devices);
    }

    std::shared_ptr<SimulatedCamera> plug(const QString& description)
    {
        SimulatedCameraConfig config;
        config.description = description;
        return SimulatedHub::instance().plugCamera(config);
    }

private:
    SimulatedPropertyDevices m_devices;
};

// The requests a camera received from now on, one line each, as the
// camera protocol reads: "GET 9", "SET 25 01" (bytes in hex),
// "ZOOM SET 12 01 00 06" on the zoom unit, "CC Set 10 4 2",
// "CC GetRange 10", "PA Get 7", "PA Set 1 50 2", "PA GetRange 1".
// Support and length queries are left out: the node-search suite counts
// them on the raw log.
class WireLog
{
public:
    explicit WireLog(std::shared_ptr<SimulatedCamera> camera) : m_camera(std::move(camera))
    {
        m_camera->clearRequests();
    }

    void clear() { m_camera->clearRequests(); }

    QStringList requests() const
    {
        QStringList lines;
        for (const SimulatedControlRequest& r : m_camera->requests()) {
            const QString line = describe(r);
            if (!line.isEmpty()) {
                lines.append(line);
            }
        }
        return lines;
    }

    static QString describe(const SimulatedControlRequest& r)
    {
        using Kind = SimulatedControlRequest::Kind;
        const QString id = QString::number(r.id);
        switch (r.kind) {
        case Kind::UnitRequest: {
            const unsigned long kind = r.flags & ~PropertyFlags::Topology;
            if (!r.data.size() && !(kind == PropertyFlags::Get && r.length > 0) &&
                kind != PropertyFlags::Set) {
                return QString(); // support or length query
            }
            const QString unit = r.propertySet == ZoomUnitSet ? QStringLiteral("ZOOM ") : QString();
            if (kind == PropertyFlags::Get) {
                return unit + QStringLiteral("GET ") + id;
            }
            return unit + QStringLiteral("SET ") + id + QLatin1Char(' ') +
                   QString::fromLatin1(r.data.toHex(' ').toUpper());
        }
        case Kind::CameraControlSet:
            return QStringLiteral("CC Set %1 %2 %3").arg(id).arg(r.value).arg(r.controlFlags);
        case Kind::CameraControlGetRange:
            return QStringLiteral("CC GetRange ") + id;
        case Kind::PictureGet:
            return QStringLiteral("PA Get ") + id;
        case Kind::PictureSet:
            return QStringLiteral("PA Set %1 %2 %3").arg(id).arg(r.value).arg(r.controlFlags);
        case Kind::PictureGetRange:
            return QStringLiteral("PA GetRange ") + id;
        default:
            return QString(); // the vendor dialog's own traffic
        }
    }

private:
    std::shared_ptr<SimulatedCamera> m_camera;
};

inline void setDeviceInformation(const std::shared_ptr<SimulatedCamera>& camera,
                                 const QByteArray& text)
{
    camera->modifyControlConfig([&](SimulatedControlConfig& c) { c.deviceInformation = text; });
}

inline void failSelector(const std::shared_ptr<SimulatedCamera>& camera, unsigned long selector)
{
    camera->modifyControlConfig([&](SimulatedControlConfig& c) { c.failingSelectors << selector; });
}

inline void failStandard(const std::shared_ptr<SimulatedCamera>& camera, const QString& request)
{
    camera->modifyControlConfig(
        [&](SimulatedControlConfig& c) { c.failingStandardRequests << request; });
}

inline void failContrastRange(const std::shared_ptr<SimulatedCamera>& camera)
{
    failStandard(camera, QStringLiteral("PA GetRange 1"));
}

inline void failPanSpeedRange(const std::shared_ptr<SimulatedCamera>& camera)
{
    failStandard(camera, QStringLiteral("CC GetRange 10"));
}

// Answers every box with one button, keeping each request.
class ScriptedAnswers : public DialogSeam::Responder
{
public:
    ScriptedAnswers() { DialogSeam::setResponder(this); }
    ~ScriptedAnswers() override { DialogSeam::setResponder(nullptr); }

    DialogSeam::Answer answer(const DialogSeam::Request& request) override
    {
        requests.append(request);
        DialogSeam::Answer reply;
        reply.button = button;
        return reply;
    }

    QMessageBox::StandardButton button = QMessageBox::Yes;
    QList<DialogSeam::Request> requests;
};

// A user's drag of a slider handle to value, then the release.
inline void drag(QSlider* slider, int value)
{
    slider->setSliderDown(true);
    slider->setSliderPosition(value);
    slider->setSliderDown(false);
}
