#pragma once

#include "lumora_platform_export.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <vector>

struct SimulatedYuvPlanes;
struct SimulatedViewWindow;

// People in the simulated room: portrait photographs standing in the room
// like cardboard cut-outs, moved on a script, so that a face detector looking
// through the camera sees real faces. The photographs come from Debian's
// opencv-doc (the face-swapping tutorial's two portraits), read where that
// package installs them (LUMORA_SIMULATED_PEOPLE_DIR to look elsewhere);
// without them the room stays empty and a warning says why.
//
// Scenes (LUMORA_SIMULATED_SCENE or the camera's configuration): "one" (a
// person standing off centre), "two" (two people far apart), "walk" (a person
// walking across and stopping), "leave" (a person who leaves after 12 s),
// "demo" (all of it in a 48 s loop). Anything else: an empty room.
class LUMORA_PLATFORM_EXPORT SimulatedPeople
{
public:
    SimulatedPeople(const QString& scene, int sceneWidth, int sceneHeight);
    ~SimulatedPeople();

    static QStringList sceneNames();
    static QString photoFolder();
    bool isEmpty() const { return m_actors.empty(); }

    // Draws the people standing in the room at `seconds` after the stream
    // started, seen through `view`, through the same tone tables as the room.
    struct Tones
    {
        const uint8_t* y;
        const uint8_t* u;
        const uint8_t* v;
    };
    void draw(double seconds, const SimulatedViewWindow& view, bool hflip, bool vflip,
              const Tones& tones, const SimulatedYuvPlanes& out, int outWidth, int outHeight) const;

    // Centres of the faces in the room at `seconds`, in room pixels.
    struct Placement
    {
        int photo = 0;
        double x = 0; // face centre
        double y = 0;
        bool visible = false;
    };
    std::vector<Placement> placements(double seconds) const;

    struct Photo;
    struct Actor;

private:
    int m_sceneWidth;
    int m_sceneHeight;
    std::vector<std::shared_ptr<const Photo>> m_photos;
    std::vector<std::shared_ptr<const Actor>> m_actors;
};
