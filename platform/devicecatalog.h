#pragma once

#include "audioinputinfo.h"
#include "lumora_platform_export.h"
#include "videoinputinfo.h"

#include <QStringList>

// Whether a camera may be opened for a stream now.
enum class CameraAvailability
{
    Free,
    InUse,   // another client streams from it
    Gone,    // unplugged
    Unknown, // the system cannot tell without starting a stream
};

// The system's video and audio inputs, in the system's order. Both calls
// run on the GUI thread once a second, so they must be cheap and must never
// block on a dead audio server.
class LUMORA_PLATFORM_EXPORT DeviceCatalog
{
public:
    virtual ~DeviceCatalog();

    // Every video capture input, USB or not.
    virtual VideoInputList videoInputs() = 0;
    // Every audio input that is a real source (no monitors of outputs).
    virtual AudioInputList audioInputs() = 0;
    // Asked without starting a stream, so no camera light comes on and no
    // call loses its camera; takes milliseconds. Unknown unless the
    // platform can tell.
    virtual CameraAvailability availability(const VideoInputInfo& camera);
    // Video device nodes of the last videoInputs() pass that this user may
    // not open: cameras that are there but unusable until the user is given
    // access. None where the system has no such thing.
    virtual QStringList inaccessibleVideoInputs();
    // Waits, at most waitMs, until the audio inputs the system has are
    // known, or known to be unobtainable (no audio server). For one-shot
    // tools, which read the lists once and would otherwise miss a
    // microphone whose server answers late; the window reads them every
    // second and does not wait. Returns at once where the lists are always
    // known.
    virtual void settleAudioInputs(int waitMs);

    // The process-wide catalog: the simulated one when
    // LUMORA_SIMULATED_CAMERAS asks for simulated cameras, else the
    // system's own.
    static DeviceCatalog& instance();
    // Replaces the process-wide catalog (not owned; null restores the
    // default). For tests that bring their own simulated hub setup.
    static void setInstance(DeviceCatalog* catalog);
};
