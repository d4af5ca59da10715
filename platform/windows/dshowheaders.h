#pragma once

// DirectShow's headers name two enumerations CameraControlProperty and
// VideoProcAmpProperty, as propertytransport.h names its namespaces of
// the same numbers; here the system's names step aside (the interfaces
// take plain longs).
#define CameraControlProperty DshowCameraControlProperty
#define VideoProcAmpProperty DshowVideoProcAmpProperty
#include <windows.h>

#include <dshow.h>
#include <ks.h>
#include <ksproxy.h>
#undef CameraControlProperty
#undef VideoProcAmpProperty
