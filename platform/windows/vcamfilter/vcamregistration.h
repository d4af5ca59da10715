#pragma once

#include <windows.h>

// The camera's entries in the registry: its COM class (the library's path)
// and, through IFilterMapper2, its place among the video input devices.
// Unregistering removes exactly these, and nothing else.
namespace VcamRegistration {

HRESULT registerServer(const wchar_t* libraryPath);
HRESULT unregisterServer();

} // namespace VcamRegistration
