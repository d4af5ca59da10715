#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The camera sends this many pictures over and over, each with its number
// drawn in; a picture's number tells which buffer it came from.
constexpr int kUvcPictureLoop = 30;

// The pictures of one mode, made once from the simulated camera's renderer:
// JPEG for MJPEG, packed 4:2:2 for YUYV.
const std::vector<std::string>& uvcPictures(uint32_t fourcc, int width, int height);
