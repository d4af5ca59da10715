#pragma once

#include <QByteArray>

// The bearer token of the agent's HTTP API: LUMORA_API_TOKEN when set
// (scripts, tests), else the one kept in the user's settings, made at first
// use from the system's random source.
class ApiToken
{
public:
    static QByteArray current();
    // `given` is the whole Authorization header. The comparison takes the
    // same time wherever the two differ, so the answers' timing tells an
    // attacker nothing about the token.
    static bool accepts(const QByteArray& token, const QByteArray& given);
    // The token a WebSocket client offered among its subprotocols
    // (Sec-WebSocket-Protocol: "lumora.events, bearer.TOKEN"), as an
    // Authorization header carries it; empty when none is offered.
    static QByteArray fromSubprotocols(const QByteArray& offered);
};
