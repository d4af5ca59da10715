#pragma once

#include <QString>

#include <memory>

class SimulatedCamera;

// The camera an index names: its position among the USB cameras, in the
// order the main window lists them.
struct UpgradeCamera
{
    bool found = false;
    QString description;
    QString deviceName;
    std::shared_ptr<SimulatedCamera> simulated; // null for a real device
};

UpgradeCamera findUpgradeCamera(int index);

// The firmware the simulated camera reports, the same text its extension
// unit gives for the version request.
constexpr const char kSimulatedFirmwareVersion[] = "SIM:1.0.0";
