#pragma once

#include <QObject>
#include <QString>

#include <memory>

class FramingEngine;
class QCheckBox;
class QPushButton;
class Vorn_CameraProperty;

// The video page's auto framing switch and the engine it runs. The engine
// steers the head on the GUI thread, frame by frame, so it has a property
// instance of its own rather than the control worker's.
class FramingSwitch : public QObject
{
    Q_OBJECT
public:
    FramingSwitch(QPushButton* button, QCheckBox* overlay, QObject* parent);
    ~FramingSwitch() override;

    FramingEngine* engine() const { return m_engine; }
    // Binds the engine to the camera at deviceName, or says on the switch why
    // it cannot frame (no detector, no camera open).
    void bind(const QString& deviceName, bool cameraOpen);
    // The capture went off: the switch goes off and greys.
    void unbind();
    // Whether the preview shows the faces found and the box being framed.
    bool overlayShown() const;
    void pauseForManualMove();

private:
    void toggled(bool on);

    QPushButton* m_button;
    QCheckBox* m_overlay;
    FramingEngine* m_engine;
    std::unique_ptr<Vorn_CameraProperty> m_property;
};
