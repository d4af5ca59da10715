#pragma once

#include "capturemode.h"
#include "videoinputinfo.h"

#include <QList>
#include <QObject>
#include <QString>

class QAbstractButton;
class QComboBox;
class Vorn_FFmpeglib;

// The mode choice beside the camera list: the sizes, rates and formats the
// open camera offers, the one its profile keeps, and the preview started
// again in a newly chosen one. Without a choice the capture asks for
// 1280x720, and the camera's nearest is what the box shows.
class CaptureModeChooser : public QObject
{
    Q_OBJECT
public:
    // box: the form's mode box; previewSwitch: on while the preview should
    // run; capture: the window's capture library.
    CaptureModeChooser(QComboBox* box, QAbstractButton* previewSwitch, Vorn_FFmpeglib* capture,
                       QObject* parent);

    // Lists the camera's modes and asks the capture library for the one
    // its profile keeps, when the camera still offers it.
    void setCamera(const VideoInputInfo& camera);
    // The mode asked of the camera.
    CaptureMode mode() const { return m_mode; }

public slots:
    // Off while no camera is open.
    void setActive(bool active);
    // A recording keeps one size to its end: no choice meanwhile.
    void setRecording(bool recording);

private:
    void chosen(int index);
    void apply(const CaptureMode& mode);
    void updateEnabled();

    QComboBox* m_box;
    QAbstractButton* m_previewSwitch;
    Vorn_FFmpeglib* m_capture;
    QString m_profileKey;
    QList<CaptureMode> m_modes;
    CaptureMode m_mode;
    bool m_active = false;
    bool m_recording = false;
};
