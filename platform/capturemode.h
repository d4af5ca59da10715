#pragma once

#include "lumora_platform_export.h"

#include <QList>
#include <QString>

// One way a camera can stream: picture size, frame rate and the format the
// pictures travel in. Written WIDTHxHEIGHT@FPS[/FORMAT], as lumora-ctl takes
// it and the profile keeps it: "1920x1080@60/mjpeg", "1280x720@30".
class LUMORA_PLATFORM_EXPORT CaptureMode
{
public:
    enum class Format
    {
        Any, // whichever the camera sends best at that size and rate
        Mjpeg,
        Yuyv,
        Nv12,
        H264,
    };

    CaptureMode() = default;
    CaptureMode(int width, int height, double fps, Format format = Format::Any);

    int width() const { return m_width; }
    int height() const { return m_height; }
    // 0: a camera that does not tell its rate.
    double fps() const { return m_fps; }
    Format format() const { return m_format; }
    bool isNull() const { return m_width <= 0 || m_height <= 0; }

    // The written form; "@FPS" only with a known rate, "/FORMAT" only with
    // a format.
    QString toString() const;
    // As lumora-ctl lists a camera's modes: "1920x1080@60 mjpeg".
    QString listing() const;
    // The written form read back (rates may have decimals: 29.97; the
    // format in any case); a null mode for anything else, and for sizes
    // and rates past what a camera delivers.
    static CaptureMode fromString(const QString& text);

    // "mjpeg", "yuyv", "nv12", "h264"; empty for Any.
    static QString formatName(Format format);

    // Whether this offered mode is what `wanted` asks for: the same size,
    // the same rate to a hundredth (any rate when wanted names none) and
    // the same format (any, when wanted names none).
    bool satisfies(const CaptureMode& wanted) const;
    bool operator==(const CaptureMode& other) const;
    bool operator!=(const CaptureMode& other) const { return !(*this == other); }

    // The offered mode that satisfies wanted, MJPEG first (the format that
    // carries the large sizes over USB 2), then in the order given; null
    // when none does.
    static CaptureMode find(const QList<CaptureMode>& offered, const CaptureMode& wanted);
    // The one to open when none satisfies: the nearest in area, then in
    // rate; a null mode when nothing is offered.
    static CaptureMode nearest(const QList<CaptureMode>& offered, const CaptureMode& wanted);
    // For a chooser: by format, then the largest and fastest first, each
    // mode once.
    static QList<CaptureMode> sorted(QList<CaptureMode> modes);

private:
    int m_width = 0;
    int m_height = 0;
    double m_fps = 0;
    Format m_format = Format::Any;
};
