#pragma once

#include "videoinputinfo.h"

#include <QObject>
#include <QStringList>

class QWidget;

// Keeps the opened camera's profile in step with the video and audio pages:
// every change a user makes there is stored under the camera's identity,
// and the stored values are written back when the camera connects again
// (unless "Restore my settings when the camera connects" is off).
class ProfileKeeper : public QObject
{
    Q_OBJECT
public:
    ProfileKeeper(QWidget* videoPage, QWidget* audioPage, QObject* parent = nullptr);

    // Called before the pages read the camera, so that they show what was
    // restored. The names of the controls written.
    QStringList cameraOpened(const VideoInputInfo& camera);

public slots:
    // Stores the values of the opened camera's pages as it reports them.
    void save();

private:
    VideoInputInfo m_camera;
};
