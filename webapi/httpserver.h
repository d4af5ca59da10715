#pragma once

#include "ratelimiter.h"

#include <QByteArray>
#include <QObject>
#include <QStringList>
#include <QThread>

class ApiHandler;
class EventBroadcaster;
class RequestCounter;
struct ApiReply;
struct mg_connection;
struct mg_context;

// The agent's HTTP server (CivetWeb): the API under /api/v1/, its
// WebSocket of events and /metrics, each behind the bearer token, and the
// web remote's page at / that uses them. Requests
// are read and checked in the server's own threads; only a checked one
// reaches the agent's thread (ApiHandler).
class HttpServer : public QObject
{
    Q_OBJECT
public:
    HttpServer(ApiHandler& handler, RequestCounter& requests, QObject* parent = nullptr);
    ~HttpServer() override;

    // `address` is an IPv4 address or a name of this machine.
    bool start(const QString& address, quint16 port, QString* problem);
    void stop();

private:
    static int onRequest(mg_connection* connection, void* self);
    static int onWebSocketConnect(const mg_connection* connection, void* self);
    static void onWebSocketReady(mg_connection* connection, void* self);
    static int onWebSocketData(mg_connection* connection, int, char*, size_t, void*);
    static void onWebSocketClose(const mg_connection* connection, void* self);

    // The HTTP status that refuses the request before it is read further
    // (rate, origin, token); 0 when it may go on.
    // `authorization` is what the client gave as "Bearer TOKEN".
    int refusal(const mg_connection* connection, const QByteArray& authorization);
    bool allowedRate(const mg_connection* connection);
    int answer(mg_connection* connection);
    // The web remote's files, outside /api/ and without the token.
    int page(mg_connection* connection, const QByteArray& path);
    bool readBody(mg_connection* connection, QByteArray* body) const;
    // `policy` is the Content-Security-Policy of a page; none for the API.
    int reply(mg_connection* connection, const ApiReply& reply, const QByteArray& policy = {});

    ApiHandler& m_handler;
    RequestCounter& m_requests;
    RateLimiter m_rate;
    QByteArray m_token;
    QStringList m_origins;
    mg_context* m_context = nullptr;
    QThread m_eventThread;
    EventBroadcaster* m_events;
};
