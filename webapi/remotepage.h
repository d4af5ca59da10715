#pragma once

#include <QByteArray>
#include <QStringList>

// The web remote: a page, its script and its style, compiled in (remote.qrc)
// and served without the token, since they hold nothing but code; every
// request the page makes goes to /api/v1/ with the token like any other.
class RemotePage
{
public:
    // The file for `path` ("/", "/remote.js", ...); false for any other path.
    static bool find(const QByteArray& path, QByteArray* body, QByteArray* contentType);

    // The page may run its own script and style and speak to this server
    // alone (`origins` are its http:// addresses); nothing else, inline
    // code included.
    static QByteArray securityPolicy(const QStringList& origins);
};
