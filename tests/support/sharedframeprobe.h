#pragma once

// Runs the shared frame reader helper, a separate process, and hands back
// what it found in the segment "shareFrame".
#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

struct SharedRecord
{
    bool present = false;
    // The helper's: 0 read, 3 no segment; anything else is a broken probe.
    int exitCode = -1;
    int width = 0;
    int height = 0;
    int size = 0;
    int segmentBytes = 0;
    QByteArray pixels; // everything after the 12-byte header
};

class SharedFrameProbe
{
public:
    // Reads the segment once, in a process of its own.
    static bool absent() { return read().exitCode == 3; }

    static SharedRecord read()
    {
        SharedFrameProbe probe;
        probe.m_process.start(QCoreApplication::applicationDirPath() +
                                  QStringLiteral("/sharedframe_reader"),
                              {QStringLiteral("read"), probe.pixelsPath()});
        return probe.finish();
    }

private:
    QString pixelsPath() const { return m_dir.filePath(QStringLiteral("pixels")); }

    SharedRecord finish()
    {
        SharedRecord record;
        if (!m_process.waitForFinished(60000) || m_process.exitStatus() != QProcess::NormalExit) {
            return record;
        }
        record.exitCode = m_process.exitCode();
        if (record.exitCode != 0) {
            return record;
        }
        const QList<QByteArray> fields = m_process.readAll().trimmed().split(' ');
        if (fields.size() != 4) {
            return record;
        }
        record.present = true;
        record.width = fields[0].toInt();
        record.height = fields[1].toInt();
        record.size = fields[2].toInt();
        record.segmentBytes = fields[3].toInt();
        QFile file(pixelsPath());
        if (file.open(QIODevice::ReadOnly)) {
            record.pixels = file.readAll();
        }
        return record;
    }

    QTemporaryDir m_dir;
    QProcess m_process;
};
