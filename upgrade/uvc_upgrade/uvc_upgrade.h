#pragma once

// The C contract between the program and a firmware upgrade library.
// The library exports one entry point, `upgrade`, with the C calling
// convention; every text message it reports goes through the callback,
// which formats like printf. The returned text belongs to the library.

#ifdef __cplusplus
extern "C" {
#endif

typedef int (*UpgradeMessageCallback)(const char* format, ...);

typedef const char* (*UpgradeEntryPoint)(int optionCount, const char* switch1, const char* value1,
                                         const char* switch2, const char* value2,
                                         UpgradeMessageCallback callback);

#ifdef __cplusplus
}
#endif

#if defined(_WIN32)
#define UVC_UPGRADE_EXPORT __declspec(dllexport)
#else
#define UVC_UPGRADE_EXPORT __attribute__((visibility("default")))
#endif
