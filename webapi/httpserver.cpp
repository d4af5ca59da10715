#include "httpserver.h"

#include "apihandler.h"
#include "apitoken.h"
#include "eventbroadcaster.h"
#include "remotepage.h"
#include "requestcounter.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>

#include <civetweb.h>

#include <atomic>
#include <thread>

namespace {

// Bodies are small JSON documents; anything bigger is refused unread.
constexpr long long kMaxBodyBytes = 64 * 1024;
// Per client address: a burst of 40 requests, then 20 a second.
constexpr double kRequestsPerSecond = 20;
constexpr double kRequestBurst = 40;
const QString kProtocol = QStringLiteral("http");
// Each WebSocket client keeps a worker for as long as it stays; the workers
// past these are the plain requests'.
constexpr int kWorkers = 12;
constexpr int kMaxEventClients = 4;

QString resultOf(int status)
{
    switch (status) {
    case 101:
    case 200:
        return QStringLiteral("ok");
    case 401:
        return QStringLiteral("unauthorized");
    case 403:
        return QStringLiteral("forbidden");
    case 404:
        return QStringLiteral("not_found");
    case 405:
        return QStringLiteral("wrong_method");
    case 413:
        return QStringLiteral("too_large");
    case 429:
        return QStringLiteral("rate_limited");
    case 502:
        return QStringLiteral("camera_failed");
    case 503:
        return QStringLiteral("busy");
    default:
        return status >= 500 ? QStringLiteral("server_error") : QStringLiteral("bad_request");
    }
}

const char* refusalText(int status)
{
    switch (status) {
    case 401:
        return "give the agent's token as \"Authorization: Bearer TOKEN\" (lumora-ctl agent "
               "--show-token)";
    case 403:
        return "requests from other origins are refused";
    case 404:
        return "no such resource";
    case 405:
        return "that method is not offered here";
    case 413:
        return "the request is too large";
    default:
        return "too many requests; slow down";
    }
}

ApiReply refusalReply(int status)
{
    const QJsonObject error{{QStringLiteral("error"), QString::fromLatin1(refusalText(status))}};
    return {status, "application/json", QJsonDocument(error).toJson(QJsonDocument::Compact)};
}

// A page opened at this server's IP address (a phone on the network, the
// server on 0.0.0.0) sends its origin as that address. Only an address
// counts, never a name: a name can be made to point here by someone else's
// page, an address cannot.
bool sameAddress(const char* origin, const char* host)
{
    if (!host || QByteArray(origin) != "http://" + QByteArray(host)) {
        return false;
    }
    const QByteArray where(host);
    const int colon = where.lastIndexOf(':');
    return QHostAddress().setAddress(QString::fromLatin1(colon < 0 ? where : where.left(colon)));
}

} // namespace

HttpServer::HttpServer(ApiHandler& handler, RequestCounter& requests, QObject* parent)
    : QObject(parent), m_handler(handler), m_requests(requests),
      m_rate(kRequestsPerSecond, kRequestBurst), m_events(new EventBroadcaster)
{
    // The page's bundle lives in this static library: registered by hand,
    // since nothing else would pull its object file into the program.
    Q_INIT_RESOURCE(remote);
    m_events->moveToThread(&m_eventThread);
    connect(&m_eventThread, &QThread::finished, m_events, &QObject::deleteLater);
    connect(&handler, &ApiHandler::event, m_events, &EventBroadcaster::send);
    m_eventThread.start();
}

HttpServer::~HttpServer()
{
    stop();
    m_eventThread.quit();
    m_eventThread.wait();
}

bool HttpServer::start(const QString& address, quint16 port, QString* problem)
{
    mg_init_library(MG_FEATURES_WEBSOCKET);
    m_token = ApiToken::current();
    const QString where = QStringLiteral("%1:%2").arg(address).arg(port);
    m_origins = QStringList{QStringLiteral("http://") + where};
    if (address == QLatin1String("127.0.0.1")) {
        m_origins << QStringLiteral("http://localhost:%1").arg(port);
    }
    const QByteArray ports = where.toUtf8();
    const QByteArray workers = QByteArray::number(kWorkers);
    // No document_root: nothing but the handlers below is served. A
    // bounded pool of workers, each request given 10 s in all, so that a
    // slow or silent client holds one worker for a while and no more.
    const char* options[] = {"listening_ports",
                             ports.constData(),
                             "num_threads",
                             workers.constData(),
                             "request_timeout_ms",
                             "10000",
                             "max_request_size",
                             "16384",
                             "enable_keep_alive",
                             "no",
                             "websocket_timeout_ms",
                             "30000",
                             "enable_websocket_ping_pong",
                             "yes",
                             nullptr};
    mg_callbacks callbacks = {};
    m_context = mg_start(&callbacks, this, options);
    if (!m_context) {
        *problem = QStringLiteral("cannot listen on %1 (in use, or not this machine's address)")
                       .arg(where);
        return false;
    }
    mg_set_request_handler(m_context, "/", &HttpServer::onRequest, this);
    // A browser cannot give a WebSocket an Authorization header: the page
    // offers the token as a subprotocol beside the events' own, which is the
    // one the server takes (ApiToken::fromSubprotocols).
    static const char* protocols[] = {"lumora.events"};
    static mg_websocket_subprotocols offered = {1, protocols};
    mg_set_websocket_handler_with_subprotocols(
        m_context, "/api/v1/events", &offered, &HttpServer::onWebSocketConnect,
        &HttpServer::onWebSocketReady, &HttpServer::onWebSocketData, &HttpServer::onWebSocketClose,
        this);
    return true;
}

void HttpServer::stop()
{
    if (!m_context) {
        return;
    }
    // mg_stop waits for the workers, and a worker may be waiting for this
    // thread to answer its request: keep answering until they are done.
    std::atomic<bool> stopped{false};
    mg_context* context = m_context;
    std::thread stopper([context, &stopped] {
        mg_stop(context);
        stopped = true;
    });
    while (!stopped) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    stopper.join();
    mg_exit_library();
    m_context = nullptr;
}

int HttpServer::refusal(const mg_connection* connection, const QByteArray& authorization)
{
    if (!allowedRate(connection)) {
        return 429;
    }
    // Browsers name the page's origin; only this server's own may call it.
    const char* origin = mg_get_header(connection, "Origin");
    if (origin && !m_origins.contains(QString::fromUtf8(origin)) &&
        !sameAddress(origin, mg_get_header(connection, "Host"))) {
        return 403;
    }
    if (!ApiToken::accepts(m_token, authorization)) {
        return 401;
    }
    return 0;
}

bool HttpServer::allowedRate(const mg_connection* connection)
{
    return m_rate.allow(QString::fromLatin1(mg_get_request_info(connection)->remote_addr));
}

int HttpServer::onRequest(mg_connection* connection, void* self)
{
    auto* server = static_cast<HttpServer*>(self);
    const int status = server->answer(connection);
    server->m_requests.count(kProtocol, resultOf(status));
    return status;
}

int HttpServer::answer(mg_connection* connection)
{
    const mg_request_info* info = mg_get_request_info(connection);
    const QByteArray path = info->local_uri;
    if (!path.startsWith("/api/") && path != "/metrics") {
        return page(connection, path);
    }
    ApiRequest request;
    request.route = parseApiRoute(info->request_method, path);
    if (const int refused = refusal(connection, mg_get_header(connection, "Authorization"))) {
        return reply(connection, refusalReply(refused));
    }
    if (request.route.kind == ApiRoute::NotFound || request.route.kind == ApiRoute::WrongMethod) {
        return reply(connection,
                     refusalReply(request.route.kind == ApiRoute::NotFound ? 404 : 405));
    }
    if (!readBody(connection, &request.body)) {
        return reply(connection, refusalReply(413));
    }
    ApiReply answer;
    QMetaObject::invokeMethod(
        &m_handler, [this, &request, &answer] { answer = m_handler.handle(request); },
        Qt::BlockingQueuedConnection);
    return reply(connection, answer);
}

int HttpServer::page(mg_connection* connection, const QByteArray& path)
{
    ApiReply file;
    if (!allowedRate(connection)) {
        file = refusalReply(429);
    } else if (qstrcmp(mg_get_request_info(connection)->request_method, "GET") != 0) {
        file = refusalReply(405);
    } else if (!RemotePage::find(path, &file.body, &file.contentType)) {
        file = refusalReply(404);
    }
    return reply(connection, file, RemotePage::securityPolicy(m_origins));
}

bool HttpServer::readBody(mg_connection* connection, QByteArray* body) const
{
    const long long length = mg_get_request_info(connection)->content_length;
    if (length > kMaxBodyBytes) {
        return false;
    }
    char buffer[4096];
    int got = 0;
    while ((got = mg_read(connection, buffer, sizeof buffer)) > 0) {
        body->append(buffer, got);
        if (body->size() > kMaxBodyBytes) {
            return false;
        }
    }
    return true;
}

int HttpServer::reply(mg_connection* connection, const ApiReply& reply, const QByteArray& policy)
{
    mg_response_header_start(connection, reply.status);
    mg_response_header_add(connection, "Content-Type", reply.contentType.constData(), -1);
    mg_response_header_add(connection, "Content-Length",
                           QByteArray::number(reply.body.size()).constData(), -1);
    mg_response_header_add(connection, "Cache-Control", "no-store", -1);
    mg_response_header_add(connection, "X-Content-Type-Options", "nosniff", -1);
    if (!policy.isEmpty()) {
        mg_response_header_add(connection, "Content-Security-Policy", policy.constData(), -1);
        mg_response_header_add(connection, "Referrer-Policy", "no-referrer", -1);
    }
    if (reply.status == 401) {
        mg_response_header_add(connection, "WWW-Authenticate", "Bearer", -1);
    }
    mg_response_header_send(connection);
    mg_write(connection, reply.body.constData(), size_t(reply.body.size()));
    return reply.status;
}

int HttpServer::onWebSocketConnect(const mg_connection* connection, void* self)
{
    auto* server = static_cast<HttpServer*>(self);
    const char* authorization = mg_get_header(connection, "Authorization");
    int refused =
        server->refusal(connection, authorization ? QByteArray(authorization)
                                                  : ApiToken::fromSubprotocols(mg_get_header(
                                                        connection, "Sec-WebSocket-Protocol")));
    if (!refused && !server->m_events->admit(connection, kMaxEventClients)) {
        refused = 429;
    }
    server->m_requests.count(kProtocol, resultOf(refused ? refused : 101));
    return refused ? 1 : 0;
}

void HttpServer::onWebSocketReady(mg_connection* connection, void* self)
{
    static_cast<HttpServer*>(self)->m_events->add(connection);
}

int HttpServer::onWebSocketData(mg_connection*, int, char*, size_t, void*)
{
    return 1; // the events only go out; what a client sends is ignored
}

void HttpServer::onWebSocketClose(const mg_connection* connection, void* self)
{
    static_cast<HttpServer*>(self)->m_events->remove(connection);
}
