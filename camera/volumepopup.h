#pragma once

#include <QObject>
#include <QRect>
#include <QString>

#include <functional>

class QLabel;
class QPushButton;
class QSlider;
class QTimer;
class QWidget;

// One of the two volume pop-ups under the preview: a vertical slider that
// opens from its button, a label riding beside the handle and a timer that
// closes it again a little after the user lets go.
class VolumePopup : public QObject
{
    Q_OBJECT
public:
    struct Looks
    {
        const char* normalStyle;
        const char* muteStyle;
        int labelWidth;
    };
    // Reads the level, 0-100, or says why there is nothing to read.
    using Reader = std::function<void(float& value, QString* unreadable)>;
    using Writer = std::function<void(float value)>;

    VolumePopup(QWidget* window, QPushButton* button, const QRect& geometry, const Looks& looks,
                Reader read, Writer write);

    QSlider* slider() const { return m_slider; }
    QTimer* hideTimer() const { return m_timer; }

    // Shows the level the system holds now.
    void refresh();
    // The user dragged the handle to position: shown and written at once.
    void moveTo(int position);
    // Stops the timer first, so nothing fires into a window being closed.
    void stop();

signals:
    void sliderMoved(int position);

private:
    void onButtonToggled(bool checked);
    void onTimeout();
    void restartHideTimer(int interval);
    void placeLabel(float value);
    void styleButton(float value);

    QSlider* m_slider = nullptr;
    QLabel* m_label = nullptr;
    QTimer* m_timer = nullptr;
    QPushButton* m_button = nullptr;
    Looks m_looks;
    Reader m_read;
    Writer m_write;
};
