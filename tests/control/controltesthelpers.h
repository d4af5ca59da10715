#pragma once

// Shared by the control suites: simulated cameras as the property side
// sees them, and their request log in the camera protocol's own words.
#include "propertytransport.h"
#include "simulatedhub.h"
#include "simulatedpropertydevices.h"
#include "testunits.h"

#include <QSlider>
#include <QStringList>

// Simulated cameras only, whatever the machine has attached: each test
// starts from an empty hub and plugs the cameras it needs.
class ControlFixture
{
public:
    ControlFixture() { PropertyDevices::setInstance(&m_devices); }
    ~ControlFixture() { reset(); }

    // Also puts back the simulated devices a test may have replaced.
    void reset()
    {
        SimulatedHub::instance().reset();
        PropertyDevices::setInstance(&m_devices);
    }

    std::shared_ptr<SimulatedCamera> plug(const QString& description,
                                          const QByteArray& information = "SIM:1.0.0")
    {
        SimulatedCameraConfig config;
        config.description = description;
        auto camera = SimulatedHub::instance().plugCamera(config);
        camera->modifyControlConfig(
            [&](SimulatedControlConfig& c) { c.deviceInformation = information; });
        return camera;
    }

private:
    SimulatedPropertyDevices m_devices;
};

// The requests a camera received from now on, one line each: "GET 9",
// "SET 25 01" (bytes in hex), "ZOOM SET 12 01 00 06" on the zoom unit,
// "CC Set 10 4 2", "CC GetRange 10", "PA Get 7", "PA Set 1 50 2",
// "PA GetRange 1". Support and length queries are left out.
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
        using Kind = SimulatedControlRequest::Kind;
        QStringList lines;
        for (const SimulatedControlRequest& r : m_camera->requests()) {
            const QString id = QString::number(r.id);
            const unsigned long kind = r.flags & ~TestUnits::SupportQuery;
            if (r.kind == Kind::UnitRequest && kind == PropertyFlags::Get && r.length > 0) {
                lines << QStringLiteral("GET ") + id;
            } else if (r.kind == Kind::UnitRequest && kind == PropertyFlags::Set) {
                lines << (r.propertySet == TestUnits::Zoom ? "ZOOM SET " : "SET ") + id + ' ' +
                             QString::fromLatin1(r.data.toHex(' ').toUpper());
            } else if (r.kind == Kind::CameraControlSet || r.kind == Kind::PictureSet) {
                lines << QStringLiteral("%1 Set %2 %3 %4")
                             .arg(r.kind == Kind::PictureSet ? "PA" : "CC", id)
                             .arg(r.value)
                             .arg(r.controlFlags);
            } else if (r.kind == Kind::PictureGet) {
                lines << QStringLiteral("PA Get ") + id;
            } else if (r.kind == Kind::CameraControlGetRange || r.kind == Kind::PictureGetRange) {
                lines << (r.kind == Kind::PictureGetRange ? "PA GetRange " : "CC GetRange ") + id;
            }
        }
        return lines;
    }

private:
    std::shared_ptr<SimulatedCamera> m_camera;
};

inline void failRequests(const std::shared_ptr<SimulatedCamera>& camera,
                         QSet<unsigned long> selectors, QSet<QString> standard = {})
{
    camera->modifyControlConfig([&](SimulatedControlConfig& c) {
        c.failingSelectors = selectors;
        c.failingStandardRequests = standard;
    });
}

// A user's drag of a slider handle to value, then the release.
inline void drag(QSlider* slider, int value)
{
    slider->setSliderDown(true);
    slider->setSliderPosition(value);
    slider->setSliderDown(false);
}
