#pragma once

#include <QObject>
#include <QString>

class ControlChannel;
class FramingEngine;
class QCheckBox;
class QPushButton;

// The video page's auto framing switch and the engine it runs. The engine
// reads and steers the head through the camera's control channel, behind
// whatever the page asked of the camera before, so a camera slow to answer
// holds up neither the frames nor the window.
class FramingSwitch : public QObject
{
    Q_OBJECT
public:
    // On the window's camera.
    FramingSwitch(ControlChannel& channel, QPushButton* button, QCheckBox* overlay,
                  QObject* parent);
    ~FramingSwitch() override;

    FramingEngine* engine() const { return m_engine; }
    // Binds the engine to the camera at deviceName, which the channel's
    // worker has opened, or says on the switch why it cannot frame (no
    // detector, no camera open, no head). The switch waits greyed while
    // the worker reads the head.
    void bind(const QString& deviceName, bool cameraOpen);
    // The capture went off: the switch goes off and greys.
    void unbind();
    // Whether the preview shows the faces found and the box being framed.
    bool overlayShown() const;
    void pauseForManualMove();

private:
    void toggled(bool on);
    void showUsable(const QString& why);

    QPushButton* m_button;
    QCheckBox* m_overlay;
    FramingEngine* m_engine;
    QString m_device; // for the log
};
