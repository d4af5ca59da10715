#pragma once

class QLabel;
class QObject;
class QSlider;
class QString;

// A settings slider of the video page and the value label that rides above
// its handle while it is dragged.
class SliderValueLabel
{
public:
    SliderValueLabel(QSlider* slider, QLabel* label) : m_slider(slider), m_label(label) {}

    QSlider* slider() const { return m_slider; }
    QLabel* label() const { return m_label; }

    // Above the handle's place for value, shown, with value as its text.
    void place(int value) const;
    void place(int value, const QString& text) const;
    // Over the middle of the track, keeping its text.
    void centre() const;
    // The slider at its minimum, and the label at the track's start showing it.
    void reset() const;
    // After a release away from the minimum the label goes a moment later;
    // at the minimum it stays.
    void hideAfterRelease(QObject* context) const;

private:
    int trackLength() const;

    QSlider* m_slider;
    QLabel* m_label;
};
