#pragma once

// Shared by the control suites: simulated cameras as the property side sees
// them, whatever the machine has attached, and their request log in the
// camera protocol's own words.
#include "propertytransport.h"
#include "simulatedhub.h"
#include "simulatedpropertydevices.h"
#include "testunits.h"

#include <QSlider>
#include <QStringList>

class ControlFixture
{
public:
    ControlFixture() { reset(); }
    ~ControlFixture() { reset(); }

    // An empty hub, and the simulated devices back if a test replaced them.
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

// The requests a camera received since the last clear, one line each:
// "GET 9", "SET 25 01" (bytes in hex), "ZOOM SET 12 01 00 06" on the zoom
// unit, "CC Set 10 4 2", "CC GetRange 10", "PA Get 7", "PA Set 1 50 2",
// "PA GetRange 1". Support and length queries are left out.
inline QStringList requests(const std::shared_ptr<SimulatedCamera>& camera)
{
    using Kind = SimulatedControlRequest::Kind;
    QStringList lines;
    for (const SimulatedControlRequest& r : camera->requests()) {
        const QString id = QString::number(r.id);
        const unsigned long kind = r.flags & ~TestUnits::SupportQuery;
        const QString unit = r.propertySet == TestUnits::Zoom ? "ZOOM " : "";
        const QString pa = r.kind >= Kind::PictureGet ? "PA " : "CC ";
        if (r.kind == Kind::UnitRequest && kind == PropertyFlags::Get && r.length > 0) {
            lines << "GET " + id;
        } else if (r.kind == Kind::UnitRequest && kind == PropertyFlags::Set) {
            lines << unit + "SET " + id + ' ' + r.data.toHex(' ').toUpper();
        } else if (r.kind == Kind::CameraControlSet || r.kind == Kind::PictureSet) {
            lines << pa + QStringLiteral("Set %1 %2 %3").arg(id).arg(r.value).arg(r.controlFlags);
        } else if (r.kind == Kind::PictureGet) {
            lines << "PA Get " + id;
        } else if (r.kind == Kind::CameraControlGetRange || r.kind == Kind::PictureGetRange) {
            lines << pa + "GetRange " + id;
        }
    }
    camera->clearRequests();
    return lines;
}

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
