#pragma once

#include "videoinputinfo.h"
#include "viscacamera.h"

#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QTcpServer>
#include <QUdpSocket>

class QTcpSocket;

// One camera on the network: VISCA over UDP with its header on one port,
// bare VISCA over TCP on another. VISCA has no authentication, so only the
// allowed client addresses get an answer; everything else is dropped
// without a word.
class ViscaServer : public QObject
{
    Q_OBJECT
public:
    ViscaServer(const QList<QHostAddress>& allowed, const ViscaCamera::FramingSwitch& framing,
                QObject* parent = nullptr);

    bool listen(const QHostAddress& address, quint16 udpPort, quint16 tcpPort, QString* problem);
    // The camera on this port; a null one when there is none now.
    void setCamera(const VideoInputInfo& camera);
    const VideoInputInfo& camera() const { return m_cameraInfo; }
    QString where() const;

signals:
    void logLine(const QString& line);

private:
    void readDatagrams();
    void handleDatagram(const QByteArray& data, const QHostAddress& sender, quint16 port);
    void acceptConnections();
    void readStream(QTcpSocket* socket);
    bool allowed(const QHostAddress& peer);
    bool sequenceInOrder(const QString& peer, quint32 sequence);
    ViscaCamera* target();

    QList<QHostAddress> m_allowed;
    ViscaCamera::FramingSwitch m_framing;
    QList<QHostAddress> m_refused; // told once each
    QUdpSocket m_udp;
    QTcpServer m_tcp;
    VideoInputInfo m_cameraInfo;
    ViscaCamera* m_camera = nullptr;
    QHash<QString, quint32> m_sequences; // per client address and port
    QHash<QTcpSocket*, QByteArray> m_streams;
};
