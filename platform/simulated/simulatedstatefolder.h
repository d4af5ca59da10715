#pragma once

#include "simulatedcamera.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

// A folder of simulated cameras' memories, one file per camera named by its
// serial number, so that processes run one after the other, or side by
// side, see the same cameras, and a camera keeps its own values whatever
// else leaves. The file is the camera as seen from outside the process:
// a test or demo that writes "plugged": false into it pulls the camera out
// of every running process within a second, "plugged": true brings it back
// with the values the file holds, and values written there by another
// process reach this one's camera as another program's writes reach a real
// camera's.
class SimulatedStateFolder
{
public:
    explicit SimulatedStateFolder(const QString& folder);
    ~SimulatedStateFolder() { stop(); }
    // Stops watching and writes every camera's values; again, it only
    // writes them.
    void stop();

    // Takes over cameras just plugged in: each starts from its file, a
    // camera whose file says it is out leaves at once, and the folder is
    // watched from then on.
    void adopt(const QList<std::shared_ptr<SimulatedCamera>>& cameras);

    static QJsonObject valuesOf(const SimulatedCameraState& state);
    // Values the file leaves out stay as the camera has them.
    static void applyValues(const QJsonObject& values, SimulatedCameraState* state);

private:
    struct Camera
    {
        QString serial;
        std::shared_ptr<SimulatedCamera> camera; // the latest plug-in
        QJsonObject values;                      // as last written or read
        QByteArray file;                         // the file's bytes as last seen
        bool plugged = true;                     // as the file last said
    };

    QString pathOf(const Camera& camera) const;
    void watch();
    void syncFromFile(Camera& camera);
    void syncToFile(Camera& camera);
    void write(Camera& camera);

    const QString m_folder;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
    QList<Camera> m_cameras;
    std::thread m_watcher;
};
