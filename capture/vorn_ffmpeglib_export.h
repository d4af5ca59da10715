#pragma once

#if defined(_WIN32)
#if defined(VORN_FFMPEGLIB_BUILD)
#define VORN_FFMPEGLIB_EXPORT __declspec(dllexport)
#else
#define VORN_FFMPEGLIB_EXPORT __declspec(dllimport)
#endif
#else
#define VORN_FFMPEGLIB_EXPORT __attribute__((visibility("default")))
#endif
