#pragma once

#include <QHostAddress>
#include <QList>
#include <QString>
#include <QStringList>

// Where VISCA listens and whom it answers: every camera on its own port
// from the first, on one address, for the clients of the allow-list.
struct ViscaOptions
{
    static constexpr quint16 kDefaultPort = 52381;
    // TCP ports lie this far above their camera's UDP port.
    static constexpr quint16 kTcpOffset = 1000;

    bool enabled = false;
    QHostAddress address = QHostAddress(QHostAddress::LocalHost);
    quint16 port = kDefaultPort;
    QList<QHostAddress> allowed{QHostAddress(QHostAddress::LocalHost),
                                QHostAddress(QHostAddress::LocalHostIPv6)};

    // Takes --visca[=ADDR:PORT] and --visca-allow=ADDR,... out of `args`;
    // false with `problem` when one of them is wrong.
    static bool take(QStringList* args, ViscaOptions* options, QString* problem);
};
