#pragma once

#include "cliselection.h"
#include "upgradeoutcome.h"

#include <QObject>
#include <QStringList>

#include <cstdio>

// Upgrades one camera with the same bridge, identity check and message
// rules as the upgrade page, showing progress as a bar on a terminal and as
// one line per step elsewhere.
class CliUpgrade : public QObject
{
    Q_OBJECT
public:
    // Progress goes to `stream` (standard output, or standard error when
    // standard output carries JSON).
    explicit CliUpgrade(std::FILE* stream);

    struct Result
    {
        bool succeeded = false;
        QString failure;
        QStringList messages; // the library's texts, as the page lists them
    };

    // `camera.index` is where the camera is now; `listedIndex` where it was
    // when the command started, which is how the user knows it.
    Result run(const QString& fileName, const CliCamera& camera, int listedIndex);

private:
    void onMessage(const QString& message);
    void show(const QString& text, bool replaceLine);

    std::FILE* m_stream;
    bool m_terminal;
    QString m_label;
    QString m_status;
    UpgradeOutcome m_outcome;
    Result m_result;
};
