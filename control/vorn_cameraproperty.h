#pragma once

#include <QString>
#include <QUuid>

#include <memory>

class PropertyTransport;
struct LensOptics;

// The camera-control calls the pages make directly (pan, tilt, zoom and
// their relative forms). Null in Vorn_CameraProperty while it is unbound.
class CameraControl
{
public:
    explicit CameraControl(PropertyTransport* transport);

    long Set(long property, long value, long flags);
    long Get(long property, long* value);
    // Any output may be null.
    long GetRange(long property, long* min, long* max, long* step, long* def, long* capsFlags);
    LensOptics lensOptics() const;

private:
    PropertyTransport* m_transport;
};

// Binds the program to one extension unit of the opened camera and to the
// camera's standard properties. The window's camera is reached through
// cameraProperty and zoomProperty, which only the window's control worker
// touches (its camera session); any other instance belongs to the one
// thread that made it.
class Vorn_CameraProperty
{
public:
    explicit Vorn_CameraProperty(const QUuid& propertySet);
    ~Vorn_CameraProperty();
    Vorn_CameraProperty(const Vorn_CameraProperty&) = delete;
    Vorn_CameraProperty& operator=(const Vorn_CameraProperty&) = delete;

    // Binds the capture device whose path occurs in deviceName; 0 when
    // bound, negative (and unbound) otherwise.
    long open(QString deviceName);
    // One GET (flags 1) or SET (flags 2) of an extension-unit control; data
    // is the caller's buffer, length its size.
    long extensionUnitRequest(unsigned long selector, unsigned long flags, void* data,
                              unsigned long length);
    long readWhiteBalanceMode();
    // A request found the bound device unplugged.
    bool deviceGone() const;
    long setVideoProcAmp(long property, long value, long flags);
    long getVideoProcAmp(long property, long* value, long* flags);
    long getVideoProcAmpRange(long property, long* minimum, long* maximum);
    // True when an attempt to show the vendor dialog was made; the caller
    // then reads the camera's settings again. A dialog that cannot be
    // shown is reported to the user and gives false.
    bool showPropertyDialog();

    // Where the vendor dialog library is loaded from. Empty (the default):
    // libVideoCaptureFilter.so beside the program, then the system's library
    // search. Tests point it at their own libraries.
    void setDialogLibraryFile(const QString& file) { m_dialogLibraryFile = file; }

    // The white-balance flags last read: 1 automatic, 2 manual, 3 until the
    // first successful read.
    long whiteBalanceMode = 3;
    CameraControl* cameraControl = nullptr;
    const QUuid propertySet;
    bool dialogOpen = false;

private:
    void unbind();
    // The first node, from the highest down, that answers the support query.
    unsigned long searchNode(unsigned long selector);
    bool bound() const { return m_transport != nullptr; }

    std::unique_ptr<PropertyTransport> m_transport;
    std::unique_ptr<CameraControl> m_cameraControl;
    QString m_dialogLibraryFile;
};

extern const QUuid MainUnitSet;
extern const QUuid ZoomUnitSet;

extern Vorn_CameraProperty cameraProperty;
extern Vorn_CameraProperty zoomProperty;
