#pragma once

#include <QByteArray>
#include <QMap>
#include <QSet>
#include <QString>
#include <QUuid>

// How a simulated camera answers control requests. The defaults are those
// of a healthy camera; tests move the units to other nodes, make requests
// fail and make the camera report odd lengths.
struct SimulatedControlConfig
{
    // The topology node at which each extension unit answers.
    unsigned long mainUnitNode = 4;
    unsigned long zoomUnitNode = 6;

    // The device-information text (selector 9), sent zero-padded to its
    // 24 bytes; longer texts are cut.
    QByteArray deviceInformation = QByteArrayLiteral("SIM:1.0.0");

    // Extension-unit selectors whose transfers fail (support and length
    // queries still succeed, as with a control that stalls on access).
    QSet<unsigned long> failingSelectors;
    // Lengths the camera reports for a selector instead of its own.
    QMap<unsigned long, unsigned long> reportedLengths;

    // Standard requests that fail, named as the request log names them
    // without their values, e.g. "CC GetRange 10" or "PA Get 7".
    QSet<QString> failingStandardRequests;

    // The top of the contrast range, which cameras choose freely (some
    // past 255).
    long contrastMaximum = 100;

    // Switching the audio function (selector 26) restarts the camera, as the
    // firmware does: it leaves the bus right after its answer and comes back
    // this much later as a new device. Tests make it short.
    int restartMilliseconds = 3000;

    // The device path cannot be read from the system's enumeration, or the
    // device cannot be bound: the property side must skip or fail it.
    bool devicePathReadable = true;
    bool bindable = true;
};

// One request as the simulated camera received it.
struct SimulatedControlRequest
{
    enum class Kind
    {
        UnitRequest, // extension unit: support/length query or transfer
        CameraControlSet,
        CameraControlGet,
        CameraControlGetRange,
        PictureGet,
        PictureSet,
        PictureGetRange,
        DialogQuery, // the vendor dialog's control enumeration
        DialogGet,
        DialogSet,
    };

    Kind kind = Kind::UnitRequest;
    QUuid propertySet;
    unsigned long id = 0; // selector, or property number, or V4L2 control id
    unsigned long flags = 0;
    unsigned long node = 0;
    unsigned long length = 0;
    // Bytes sent (SET) or returned (GET) by a transfer.
    QByteArray data;
    long value = 0;
    long controlFlags = 0;
    long result = 0;
};
