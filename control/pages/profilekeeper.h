#pragma once

#include "videoinputinfo.h"

#include <QObject>

class ControlChannel;
class QWidget;

// Keeps the opened camera's profile in step with the video and audio pages:
// every change a user makes there is stored under the camera's identity,
// and the stored values are written back when the camera connects again
// (unless "Restore my settings when the camera connects" is off). Both run
// on the camera's control worker, in turn with the pages' requests.
class ProfileKeeper : public QObject
{
    Q_OBJECT
public:
    // controls: the chosen camera's channel, which the pages use too.
    ProfileKeeper(ControlChannel& controls, QWidget* videoPage, QWidget* audioPage,
                  QObject* parent = nullptr);

    // Called before the pages read the camera, so that they show what was
    // restored.
    void cameraOpened(const VideoInputInfo& camera);

public slots:
    // Stores the values of the opened camera's pages as it reports them.
    void save();

private:
    ControlChannel& m_controls;
    VideoInputInfo m_camera;
};
