#include "remotepage.h"

#include <QFile>

bool RemotePage::find(const QByteArray& path, QByteArray* body, QByteArray* contentType)
{
    static const struct
    {
        const char* path;
        const char* file;
        const char* type;
    } files[] = {
        {"/", ":/remote/index.html", "text/html; charset=utf-8"},
        {"/index.html", ":/remote/index.html", "text/html; charset=utf-8"},
        {"/remote.js", ":/remote/remote.js", "text/javascript; charset=utf-8"},
        {"/remote.css", ":/remote/remote.css", "text/css; charset=utf-8"},
    };
    for (const auto& entry : files) {
        if (path != entry.path) {
            continue;
        }
        QFile file(QString::fromLatin1(entry.file));
        if (!file.open(QIODevice::ReadOnly)) {
            return false;
        }
        *body = file.readAll();
        *contentType = entry.type;
        return true;
    }
    return false;
}

QByteArray RemotePage::securityPolicy(const QStringList& origins)
{
    // connect-src names the WebSocket addresses too: older browsers do not
    // count ws:// as 'self'. Snapshots are shown from blob: URLs, since the
    // picture is fetched with the token rather than by an <img> address.
    QByteArray sockets;
    for (QString origin : origins) {
        sockets += ' ' + origin.replace(0, 4, QStringLiteral("ws")).toUtf8();
    }
    return "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self' blob:; "
           "connect-src 'self'" +
           sockets + "; base-uri 'none'; form-action 'none'; frame-ancestors 'none'";
}
