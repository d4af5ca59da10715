#pragma once

#include <QByteArray>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

// A PulseAudio server of the test's own: its socket, runtime folder and
// home in a temporary folder, so that suites running side by side never meet.
// start() points this process (PULSE_SERVER) at it; call it before anything
// in the process talks to an audio server.
class PrivatePulseServer
{
public:
    PrivatePulseServer();
    ~PrivatePulseServer();

    PrivatePulseServer(const PrivatePulseServer&) = delete;
    PrivatePulseServer& operator=(const PrivatePulseServer&) = delete;

    // Starts (or starts again, on the same socket) and waits until pactl
    // gets an answer. False with a reason when it cannot.
    bool start(QString* error = nullptr);
    void stop();
    bool isRunning() const;
    // Freezes and thaws the server process: a server that takes connections
    // and never answers them.
    void pause();
    void resume();

    QString address() const;

    // Runs pactl against the server; the output goes to *output.
    bool pactl(const QStringList& arguments, QByteArray* output = nullptr) const;
    // Module index, or -1.
    int loadModule(const QString& module, const QStringList& arguments);
    bool unloadModule(int index);
    int addNullSink(const QString& name, const QString& description);
    int addNullSource(const QString& name, const QString& description);

    // Raw volumes (PA_VOLUME_NORM = 65536) of every channel of a "sink" or
    // "source"; empty when the device is unknown.
    QList<quint32> volumes(const char* kind, const QString& name) const;
    bool setVolumes(const char* kind, const QString& name, const QList<quint32>& volumes);

private:
    QTemporaryDir m_dir;
    QProcess m_process;
};
