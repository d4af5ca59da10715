#include "windowwatch.h"

#include "windowpresence.h"

#include <QLocalSocket>

namespace {
// A device path is far shorter; a window that sends more is not listened to.
constexpr qint64 kMaxLine = 4096;
} // namespace

WindowWatch::WindowWatch(QObject* parent) : QObject(parent), m_socket(new QLocalSocket(this))
{
    connect(m_socket, &QLocalSocket::connected, this, &WindowWatch::windowOpened);
    connect(m_socket, &QLocalSocket::readyRead, this, &WindowWatch::readLines);
    connect(m_socket, &QLocalSocket::disconnected, this, [this] {
        setOpenCamera(QString());
        emit windowClosed();
    });
}

bool WindowWatch::isWindowOpen() const
{
    return m_socket->state() == QLocalSocket::ConnectedState;
}

void WindowWatch::lookNow()
{
    look();
    if (m_socket->waitForConnected(500)) {
        // The window tells its camera as soon as the agent connects.
        m_socket->waitForReadyRead(500);
        readLines();
    }
}

void WindowWatch::look()
{
    if (m_socket->state() == QLocalSocket::UnconnectedState) {
        m_socket->connectToServer(WindowPresence::serverName());
    }
}

void WindowWatch::readLines()
{
    while (m_socket->canReadLine()) {
        setOpenCamera(QString::fromUtf8(m_socket->readLine(kMaxLine)).trimmed());
    }
    if (m_socket->bytesAvailable() > kMaxLine) {
        m_socket->abort();
    }
}

void WindowWatch::setOpenCamera(const QString& camera)
{
    if (camera == m_openCamera) {
        return;
    }
    const QString left = m_openCamera;
    m_openCamera = camera;
    if (!left.isEmpty()) {
        emit cameraLeft(left);
    }
}
