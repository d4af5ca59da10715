#pragma once

#include "lumora_platform_export.h"
#include "simulatedcamerastate.h"

#include <QString>

#include <algorithm>
#include <cstdint>
#include <memory>

class SimulatedPeople;

// Planes of one 4:2:0 picture in full (JPEG) range, as the camera's MJPEG
// encoder takes them. The chroma planes are half the width and height.
struct SimulatedYuvPlanes
{
    uint8_t* y = nullptr;
    uint8_t* u = nullptr;
    uint8_t* v = nullptr;
    int yStride = 0;
    int uStride = 0;
    int vStride = 0;
};

// Draws the simulated camera's picture: a conference room several times
// larger than the view, seen through a crop window that pan, tilt and zoom
// move, with the picture controls applied as tone curves, flips applied to
// the sensor read-out, and an on-screen clock plus a moving marker so a
// live picture is told apart from a frozen one at a glance.
//
// The room is drawn once per picture size and shared by every renderer of
// that size; a frame then costs one table-driven crop and scale, three
// 256-entry look-ups per pixel and a small overlay.
class LUMORA_PLATFORM_EXPORT SimulatedFrameRenderer
{
public:
    // width and height are rounded down to even numbers (4:2:0 chroma).
    // An identity (taken modulo 256) is stamped into the top right corner
    // (see SimulatedIdentityStamp), so that the pictures of identical
    // cameras can be told apart; -1 stamps nothing.
    // `scene` names the people in the room (SimulatedPeople); empty: nobody.
    SimulatedFrameRenderer(int width, int height, int identity = -1,
                           const QString& scene = QString());
    ~SimulatedFrameRenderer();

    int width() const { return m_width; }
    int height() const { return m_height; }

    // msecsOfDay drives the clock, elapsedSeconds the moving marker and the
    // people's script.
    void render(const SimulatedCameraState& state, int msecsOfDay, double elapsedSeconds,
                const SimulatedYuvPlanes& out) const;

    struct Scene;

private:
    int m_width;
    int m_height;
    int m_identity;
    std::shared_ptr<const Scene> m_scene;
    std::unique_ptr<SimulatedPeople> m_people;
};

// The crop window over the room for a pan / tilt / zoom state, in room
// pixels. Exposed for tests that check where the camera looks.
// Where the identity stamp lies in a picture of that height, and its
// reading: eight squares of side `side`, the most significant bit first,
// white for 1 and black for 0, the last one ending `side` pixels from the
// right and top edges. A picture scaled as a whole keeps the proportions.
struct SimulatedIdentityStamp
{
    int side = 0;
    static constexpr int kBits = 8;
    explicit SimulatedIdentityStamp(int height) : side(std::max(2, height / 40) & ~1) {}
    int left(int width, int bit) const { return width - side - (kBits - bit) * side; }
};

struct SimulatedViewWindow
{
    double left = 0;
    double top = 0;
    double width = 0;
    double height = 0;
};

// Pan and tilt turn the view by a fixed angle per unit, whatever the zoom,
// as a real head does: the widest view spans kSimulatedWideFieldOfView pan
// units across and kSimulatedWideFieldOfViewTilt tilt units down, and zoom
// 0 .. 100 narrows both linearly in magnification up to
// kSimulatedMaxZoomFactor.
constexpr double kSimulatedWideFieldOfView = 540.0;
constexpr double kSimulatedWideFieldOfViewTilt = 270.0;
constexpr double kSimulatedMaxZoomFactor = 4.0;

LUMORA_PLATFORM_EXPORT SimulatedViewWindow simulatedViewWindow(const SimulatedCameraState& state,
                                                               int sceneWidth, int sceneHeight,
                                                               int outWidth, int outHeight);
