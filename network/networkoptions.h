#pragma once

#include "viscaoptions.h"

#include <QString>
#include <QStringList>

class QSettings;

// What the network servers serve, and where: read from the user's settings
// (the same keys for the window and lumora-ctl agent), the agent's options
// taking precedence over them. Everything is off unless switched on.
struct NetworkOptions
{
    static constexpr quint16 kDefaultHttpPort = 8740;

    ViscaOptions visca;
    bool http = false;
    QString httpAddress = QStringLiteral("127.0.0.1");
    quint16 httpPort = kDefaultHttpPort;

    // The settings' values (network/viscaEnabled, network/viscaAddress,
    // network/viscaAllow, network/httpEnabled, network/httpAddress); false,
    // with a sentence naming the key, when one of them cannot be read.
    static bool fromSettings(NetworkOptions* options, QString* problem);
    static bool fromSettings(const QSettings& settings, NetworkOptions* options, QString* problem);
    // Takes --http and its ADDR:PORT (main.cpp hands --http=ADDR:PORT over
    // as two arguments) out of `args`; false when the address is wrong.
    static bool takeHttpOption(QStringList* args, NetworkOptions* options);
    // "ADDR:PORT" with a port from 1 to 65535.
    static bool parseHttpAddress(const QString& text, QString* address, quint16* port);
};
