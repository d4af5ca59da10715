#pragma once

#include <QString>

#include <string>

// File names of snapshots and recordings, as the window and lumora-ctl
// both choose them.

// The file formats a snapshot is written in, chosen by the name's suffix.
extern const char kPictureFilter[]; // "PNG(*.png);;JPG(*.jpg);;BMP(*.bmp);;TIF(*.tif)"
extern const char kVideoFilter[];   // "MP4(*.mp4)"

// "JPG(*.jpg)" -> "jpg"; the first pattern of the filter, or `fallback`.
QString suffixOfFilter(const QString& filter, const QString& fallback);

// A name typed without any suffix gets the one of the chosen filter.
QString withSuffix(const QString& fileName, const QString& selectedFilter,
                   const QString& defaultFilter);

// True when a snapshot can be written under this name: its suffix names
// one of the picture formats (in any case; "jpeg" and "tiff" too).
bool isPictureFileName(const QString& fileName);
bool isVideoFileName(const QString& fileName);

// The record path as the capture library takes it: GB18030 on Windows,
// which holds any character and keeps the bytes of the Chinese code page.
std::string libraryFileName(const QString& path);
