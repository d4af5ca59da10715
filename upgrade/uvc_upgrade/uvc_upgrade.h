#pragma once

// The C contract between the program and a firmware upgrade library.
// The library exports one entry point, `upgrade`, with the C calling
// convention; every text message it reports goes through the callback,
// which formats like printf. The returned text belongs to the library.

// Spelled out for 32-bit Windows, where the C calling convention is not the
// only one; elsewhere it is the only one there is.
#if defined(_WIN32) && !defined(_WIN64)
#define UVC_UPGRADE_CDECL __cdecl
#else
#define UVC_UPGRADE_CDECL
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef int(UVC_UPGRADE_CDECL* UpgradeMessageCallback)(const char* format, ...);

typedef const char*(UVC_UPGRADE_CDECL* UpgradeEntryPoint)(int optionCount, const char* switch1,
                                                          const char* value1, const char* switch2,
                                                          const char* value2,
                                                          UpgradeMessageCallback callback);

#ifdef __cplusplus
}
#endif

#if defined(_WIN32)
#define UVC_UPGRADE_EXPORT __declspec(dllexport)
#else
#define UVC_UPGRADE_EXPORT __attribute__((visibility("default")))
#endif
