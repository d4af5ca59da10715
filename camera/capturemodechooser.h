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
//
// The box stands outside the bottom bar's layout, in the room that bar
// leaves free right of the camera list: in the layout it would take its
// share of that room from everything the bar centres, and move it. It
// follows the camera list wherever the layout puts it.
class CaptureModeChooser : public QObject
{
    Q_OBJECT
public:
    // box: the form's mode box, placed right of `besides`; previewSwitch:
    // on while the preview should run; capture: the window's capture
    // library.
    CaptureModeChooser(QComboBox* box, QWidget* besides, QAbstractButton* previewSwitch,
                       Vorn_FFmpeglib* capture, QObject* parent);

    // Asks the capture library for the mode the camera's profile keeps
    // and lists the camera's modes off the GUI thread; once they are in
    // the box, a kept mode the camera no longer offers gives way to the
    // default.
    void setCamera(const VideoInputInfo& camera);
    // The mode asked of the camera.
    CaptureMode mode() const { return m_mode; }

public slots:
    // Off while no camera is open.
    void setActive(bool active);
    // A recording keeps one size to its end: no choice meanwhile.
    void setRecording(bool recording);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void place();
    void showModes(const QList<CaptureMode>& modes);
    void chosen(int index);
    void restartPreview();
    void apply(const CaptureMode& mode);
    void updateEnabled();

    QComboBox* m_box;
    QWidget* m_besides;
    QAbstractButton* m_previewSwitch;
    Vorn_FFmpeglib* m_capture;
    QString m_profileKey;
    QList<CaptureMode> m_modes;
    CaptureMode m_mode;
    quint64 m_listing = 0; // the listing whose modes the box is to show
    bool m_keptUnconfirmed = false;
    bool m_active = false;
    bool m_recording = false;
};
