// lumora-ctl agent over a long run with two simulated cameras that come and
// go: every few seconds one of them is pulled out, given another contrast
// while away (as another computer would leave it) and plugged in again, and
// the agent has to give it its profile back each time. The agent's resident
// memory is read from /proc as it runs.
//
// Usage: bench_agentsoak [seconds, default 1800] [milliseconds between plug
// changes, default 3000]. Prints the agent's VmRSS at start (after a
// warm-up of a fifth of the run, at most a minute), at the end and its
// maximum, the plug cycles, the profile applications and the profiles lost
// (a camera back without its profile within 15 s, or a stored profile gone
// at the end). Fails on a lost profile or a growth above 5 %.

#include "processstats.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSaveFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int kProfileContrast = 30;
constexpr int kBackWithinMs = 15000;
constexpr double kGrowthLimit = 0.05;

class Soak
{
public:
    Soak()
    {
        QDir(m_dir.path()).mkpath(QStringLiteral("run"));
        QFile(m_dir.filePath(QStringLiteral("run")))
            .setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        m_environment = QProcess::systemEnvironment() +
                        QStringList{QStringLiteral("LUMORA_SIMULATED_CAMERAS=2"),
                                    "LUMORA_SIMULATED_STATE_DIR=" + m_dir.filePath("state"),
                                    "XDG_CONFIG_HOME=" + m_dir.filePath("config"),
                                    "XDG_RUNTIME_DIR=" + m_dir.filePath("run")};
    }

    bool ctl(const QStringList& args, QByteArray* out = nullptr) const
    {
        QProcess process;
        process.setEnvironment(m_environment);
        process.start(QCoreApplication::applicationDirPath() + "/lumora-ctl", args);
        const bool done = process.waitForFinished(60000) && process.exitCode() == 0;
        if (out) {
            *out = process.readAllStandardOutput();
        }
        return done;
    }

    bool startAgent()
    {
        m_agent.setEnvironment(m_environment);
        m_agent.start(QCoreApplication::applicationDirPath() + "/lumora-ctl", {"agent"});
        return m_agent.waitForStarted() && waitFor("already as its profile says", 2, 30000);
    }

    int stopAgent()
    {
        m_agent.terminate();
        m_agent.waitForFinished(30000);
        readLog(0);
        return m_agent.exitStatus() == QProcess::NormalExit ? m_agent.exitCode() : -1;
    }

    // Until the agent has told `text` `times` times in all.
    bool waitFor(const QByteArray& text, int times, int withinMs)
    {
        QElapsedTimer clock;
        clock.start();
        while (m_counts.value(text) < times && clock.elapsed() < withinMs &&
               m_agent.state() == QProcess::Running) {
            readLog(50);
        }
        return m_counts.value(text) >= times;
    }

    int told(const QByteArray& text) const { return m_counts.value(text); }

    // Keeps reading the agent's lines meanwhile.
    void pause(int ms) { waitFor("never told", 1, ms); }

    // Written whole, as the simulated camera's other processes read it.
    void changeState(int camera, const QJsonObject& changes)
    {
        QJsonObject json = state(camera);
        for (auto it = changes.begin(); it != changes.end(); ++it) {
            json.insert(it.key(), it.value());
        }
        QSaveFile file(stateFile(camera));
        if (file.open(QIODevice::WriteOnly)) {
            file.write(QJsonDocument(json).toJson());
            file.commit();
        }
    }

    QJsonObject state(int camera) const
    {
        QFile file(stateFile(camera));
        return file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()).object()
                                              : QJsonObject();
    }

    long residentKb() const { return long(residentMb(m_agent.processId()) * 1024); }

private:
    QString stateFile(int camera) const
    {
        return m_dir.filePath(QStringLiteral("state/SIM000%1.json").arg(camera + 1));
    }

    // Only the lines worth counting are kept: the log of a long run is not
    // let to grow in this process either.
    void readLog(int waitMs)
    {
        m_agent.waitForReadyRead(waitMs);
        m_pending += m_agent.readAllStandardError();
        int end;
        while ((end = m_pending.indexOf('\n')) >= 0) {
            const QByteArray line = m_pending.left(end);
            m_pending.remove(0, end + 1);
            for (const char* text : {"already as its profile says", "plugged in; wrote",
                                     "unplugged", "its profile was not applied"}) {
                if (line.contains(text)) {
                    ++m_counts[text];
                }
            }
        }
    }

    QTemporaryDir m_dir;
    QStringList m_environment;
    QProcess m_agent;
    QByteArray m_pending;
    QHash<QByteArray, int> m_counts;
};

struct Figures
{
    long firstKb = 0, startKb = 0, endKb = 0, maxKb = 0;
    int cycles = 0, applications = 0, lost = 0;
};

// One camera out, changed while away, and back: true when the agent gave
// it its profile again.
bool plugCycle(Soak& soak, int camera, int pauseMs, int cycle)
{
    const int applied = soak.told("plugged in; wrote");
    const int unplugged = soak.told("unplugged");
    soak.changeState(camera, {{"plugged", false}, {"contrast", 50 + cycle % 40}});
    soak.waitFor("unplugged", unplugged + 1, kBackWithinMs);
    soak.pause(pauseMs);
    soak.changeState(camera, {{"plugged", true}});
    if (!soak.waitFor("plugged in; wrote", applied + 1, kBackWithinMs)) {
        return false;
    }
    // The agent's simulated camera writes its values back within a fifth
    // of a second.
    QElapsedTimer clock;
    clock.start();
    while (soak.state(camera)["contrast"].toInt() != kProfileContrast &&
           clock.elapsed() < kBackWithinMs) {
        soak.pause(50);
    }
    soak.pause(pauseMs);
    return soak.state(camera)["contrast"].toInt() == kProfileContrast;
}

int storedProfilesLost(const Soak& soak)
{
    QByteArray shown;
    soak.ctl({"profile", "show", "all", "--json"}, &shown);
    const QJsonArray cameras =
        QJsonDocument::fromJson(shown).object()[QStringLiteral("cameras")].toArray();
    int whole = 0;
    for (const QJsonValue& camera : cameras) {
        whole += camera[QStringLiteral("controls")][QStringLiteral("contrast")].toInt() ==
                 kProfileContrast;
    }
    return 2 - whole;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(20, QByteArray(argv[1]).toInt()) : 1800;
    const int pauseMs = argc > 2 ? std::max(200, QByteArray(argv[2]).toInt()) : 3000;
    const qint64 warmUpMs = std::min<qint64>(60000, seconds * 200LL);

    Soak soak;
    const QString contrast = QStringLiteral("contrast=%1").arg(kProfileContrast);
    if (!soak.ctl({"set", "all", contrast}) || !soak.ctl({"profile", "save", "all"}) ||
        !soak.startAgent()) {
        std::fprintf(stderr, "bench_agentsoak: the agent did not start with two profiles\n");
        return 2;
    }
    Figures figures;
    figures.firstKb = figures.maxKb = soak.residentKb();
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < seconds * 1000LL) {
        if (!plugCycle(soak, figures.cycles % 2, pauseMs, figures.cycles)) {
            ++figures.lost;
        }
        ++figures.cycles;
        figures.endKb = soak.residentKb();
        figures.maxKb = std::max(figures.maxKb, figures.endKb);
        if (!figures.startKb && clock.elapsed() >= warmUpMs) {
            figures.startKb = figures.endKb;
        }
        if (figures.cycles % 20 == 0) {
            std::printf("%5lld s  VmRSS %ld kB  cycles %d  lost %d\n", clock.elapsed() / 1000,
                        figures.endKb, figures.cycles, figures.lost);
            std::fflush(stdout);
        }
    }
    figures.applications = soak.told("plugged in; wrote");
    figures.lost += soak.told("its profile was not applied") + storedProfilesLost(soak);
    const int stopped = soak.stopAgent();
    const double growth = figures.startKb > 0
                              ? double(figures.endKb - figures.startKb) / double(figures.startKb)
                              : 1.0;
    std::printf("agent soak, %d s, a plug change every %d ms\n"
                "VmRSS: at launch %ld kB, start (after %lld s) %ld kB, end %ld kB, max %ld kB; "
                "growth %+.2f %%\n"
                "plug cycles %d, profile applications %d, lost profiles %d, agent exit %d\n",
                seconds, pauseMs, figures.firstKb, warmUpMs / 1000, figures.startKb, figures.endKb,
                figures.maxKb, growth * 100.0, figures.cycles, figures.applications, figures.lost,
                stopped);
    return figures.lost == 0 && growth <= kGrowthLimit && stopped == 0 ? 0 : 1;
}
