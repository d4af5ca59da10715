#include "viscaserver.h"

#include "viscacamera.h"
#include "viscacodec.h"

#include <QNetworkDatagram>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>

namespace {

// A controller keeps one or two connections; more are refused, so that
// no client can take the agent's descriptors.
constexpr int kMaxConnections = 8;
// A connection silent this long (a half-open one) gives its place back.
constexpr int kIdleMs = 60000;
// Replies a client does not read are not kept for it beyond this.
constexpr qint64 kMaxUnread = 4096;
// Clients whose sequence numbers are kept; more start afresh.
constexpr int kMaxClients = 256;

} // namespace

ViscaServer::ViscaServer(const QList<QHostAddress>& allowed,
                         const ViscaCamera::FramingSwitch& framing, QObject* parent)
    : QObject(parent), m_allowed(allowed), m_framing(framing)
{
    connect(&m_udp, &QUdpSocket::readyRead, this, &ViscaServer::readDatagrams);
    connect(&m_tcp, &QTcpServer::newConnection, this, &ViscaServer::acceptConnections);
}

bool ViscaServer::listen(const QHostAddress& address, quint16 udpPort, quint16 tcpPort,
                         QString* problem)
{
    if (!m_udp.bind(address, udpPort)) {
        *problem = QStringLiteral("UDP %1:%2: %3")
                       .arg(address.toString())
                       .arg(udpPort)
                       .arg(m_udp.errorString());
        return false;
    }
    if (!m_tcp.listen(address, tcpPort)) {
        *problem = QStringLiteral("TCP %1:%2: %3")
                       .arg(address.toString())
                       .arg(tcpPort)
                       .arg(m_tcp.errorString());
        m_udp.close();
        return false;
    }
    return true;
}

QString ViscaServer::where() const
{
    return QStringLiteral("UDP %1:%2, TCP %1:%3")
        .arg(m_udp.localAddress().toString())
        .arg(m_udp.localPort())
        .arg(m_tcp.serverPort());
}

void ViscaServer::setCamera(const VideoInputInfo& camera)
{
    if (camera == m_cameraInfo) {
        return;
    }
    delete m_camera;
    m_camera = nullptr;
    m_cameraInfo = camera;
}

ViscaCamera* ViscaServer::target()
{
    if (!m_camera && !m_cameraInfo.isNull()) {
        m_camera = new ViscaCamera(m_cameraInfo, m_framing, this);
    }
    return m_camera;
}

bool ViscaServer::allowed(const QHostAddress& peer)
{
    const bool known =
        std::any_of(m_allowed.cbegin(), m_allowed.cend(), [&peer](const QHostAddress& address) {
            return address.isEqual(peer, QHostAddress::TolerantConversion);
        });
    if (!known && !m_refused.contains(peer) && m_refused.size() < kMaxClients) {
        m_refused.append(peer);
        emit logLine(
            QStringLiteral("VISCA: %1 is not on the allow-list; ignored").arg(peer.toString()));
    }
    return known;
}

void ViscaServer::readDatagrams()
{
    while (m_udp.hasPendingDatagrams()) {
        const qint64 size = m_udp.pendingDatagramSize();
        const QNetworkDatagram datagram =
            m_udp.receiveDatagram(Visca::kHeaderSize + Visca::kMaxMessage);
        // An oversized datagram is no controller's: dropped unread.
        if (size <= Visca::kHeaderSize + Visca::kMaxMessage && allowed(datagram.senderAddress())) {
            handleDatagram(datagram.data(), datagram.senderAddress(),
                           quint16(datagram.senderPort()));
        }
    }
}

// Sequence numbers only go forward (and wrap); a controller resends with
// the same number, so that one is taken again.
bool ViscaServer::sequenceInOrder(const QString& peer, quint32 sequence)
{
    const auto last = m_sequences.constFind(peer);
    if (last != m_sequences.constEnd() && qint32(sequence - *last) < 0) {
        return false;
    }
    if (m_sequences.size() >= kMaxClients && last == m_sequences.constEnd()) {
        m_sequences.clear();
    }
    m_sequences.insert(peer, sequence);
    return true;
}

void ViscaServer::handleDatagram(const QByteArray& data, const QHostAddress& sender, quint16 port)
{
    Visca::Datagram in;
    const Visca::HeaderCheck check =
        Visca::parseDatagram(data.constData(), std::size_t(data.size()), &in);
    if (check == Visca::HeaderCheck::Drop) {
        return;
    }
    const auto send = [this, sender, port, sequence = in.sequence](quint16 type,
                                                                   const QByteArray& payload) {
        m_udp.writeDatagram(Visca::datagram(type, sequence, payload), sender, port);
    };
    const QString peer = sender.toString() + QLatin1Char('/') + QString::number(port);
    if (check == Visca::HeaderCheck::BadMessage ||
        (in.type == Visca::ControlPayload && in.payload != QByteArray(1, 0x01))) {
        send(Visca::ControlReplyPayload, QByteArray("\x0F\x02", 2));
        return;
    }
    if (in.type == Visca::ControlPayload) {
        m_sequences.remove(peer);
        send(Visca::ControlReplyPayload, QByteArray(1, 0x01));
        return;
    }
    if (!sequenceInOrder(peer, in.sequence)) {
        send(Visca::ControlReplyPayload, QByteArray("\x0F\x01", 2));
        return;
    }
    Visca::Command command = Visca::parseMessage(in.payload);
    // An inquiry sent as a command, or the other way round, is not understood.
    if ((in.type == Visca::InquiryPayload) != command.isInquiry()) {
        command.kind = Visca::Kind::Invalid;
    }
    const auto reply = [send](const QByteArray& message) { send(Visca::ReplyPayload, message); };
    if (ViscaCamera* camera = target()) {
        camera->execute(command, reply);
    } else {
        reply(Visca::error(command.address, 1, Visca::kNotExecutable));
    }
}

void ViscaServer::acceptConnections()
{
    while (QTcpSocket* socket = m_tcp.nextPendingConnection()) {
        if (!allowed(socket->peerAddress()) || m_streams.size() >= kMaxConnections) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        m_streams.insert(socket, QByteArray());
        auto* idle = new QTimer(socket);
        idle->setSingleShot(true);
        idle->start(kIdleMs);
        connect(idle, &QTimer::timeout, socket, &QTcpSocket::abort);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, idle] {
            idle->start(kIdleMs);
            readStream(socket);
        });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QObject::destroyed, this, [this, socket] { m_streams.remove(socket); });
    }
}

void ViscaServer::readStream(QTcpSocket* socket)
{
    QByteArray& buffer = m_streams[socket];
    buffer += socket->readAll();
    QPointer<QTcpSocket> guard(socket);
    const auto reply = [guard](const QByteArray& message) {
        if (!guard || guard->state() != QAbstractSocket::ConnectedState) {
            return;
        }
        guard->write(message);
        if (guard->bytesToWrite() > kMaxUnread) {
            guard->abort();
        }
    };
    int end;
    while ((end = buffer.indexOf(char(0xFF))) >= 0) {
        const QByteArray message = buffer.left(end + 1);
        buffer.remove(0, end + 1);
        const Visca::Command command = Visca::parseMessage(message);
        if (ViscaCamera* camera = target()) {
            camera->execute(command, reply);
        } else {
            reply(Visca::error(command.address, 1, Visca::kNotExecutable));
        }
        if (!guard || guard->state() != QAbstractSocket::ConnectedState) {
            return;
        }
    }
    // Without a terminator within a message's length it is no VISCA stream.
    if (buffer.size() > Visca::kMaxMessage) {
        reply(Visca::error(1, 0, Visca::kSyntaxError));
        socket->disconnectFromHost();
        buffer.clear();
    }
}
