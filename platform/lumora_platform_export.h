#pragma once

#if defined(_WIN32)
#if defined(LUMORA_PLATFORM_BUILD)
#define LUMORA_PLATFORM_EXPORT __declspec(dllexport)
#else
#define LUMORA_PLATFORM_EXPORT __declspec(dllimport)
#endif
#else
#define LUMORA_PLATFORM_EXPORT __attribute__((visibility("default")))
#endif
