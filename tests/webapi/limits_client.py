#!/usr/bin/env python3
"""Clients that push the agent's HTTP server to its limits: a request flood
(429), one WebSocket client too many, a request while another is under way
(503), bodies too large (413) and a client that sends its body slowly.
Python's standard library alone. Each check comes from its own loopback
address, so that the rate limit of one never touches another; the server
limits per address. Exits 1 at the first failed check, saying which."""

import argparse
import base64
import http.client
import json
import os
import socket
import sys
import threading
import time

ARGS = None


def fail(text):
    print("FAILED: " + text)
    sys.exit(1)


def connection(source):
    host, port = ARGS.host, ARGS.port
    return http.client.HTTPConnection(host, port, timeout=30, source_address=(source, 0))


def request(source, method, path, body=None, token=True, headers=None):
    c = connection(source)
    h = dict(headers or {})
    if token:
        h["Authorization"] = "Bearer " + ARGS.token
    c.request(method, path, body=body, headers=h)
    r = c.getresponse()
    data = r.read()
    c.close()
    return r.status, data


def raw(source):
    s = socket.create_connection((ARGS.host, ARGS.port), timeout=30, source_address=(source, 0))
    return s


def read_head(s):
    """The status line and headers of a reply; b"" when the server closed."""
    data = b""
    while b"\r\n\r\n" not in data:
        part = s.recv(4096)
        if not part:
            break
        data += part
    return data


def floods_are_refused():
    statuses = []
    for _ in range(2000):
        status, body = request("127.0.0.2", "GET", "/api/v1/cameras", token=False)
        statuses.append(status)
        if status == 429:
            break
    if statuses[-1] != 429:
        fail("2000 requests in a row from one address were never refused with 429")
    if statuses.count(401) < 40 or set(statuses[:-1]) != {401}:
        fail("the burst of 40 was not let through before 429: %s" % statuses[:50])
    if b"slow down" not in body:
        fail("429 without its sentence: %r" % body)
    # Another address is not held to that client's rate.
    if request("127.0.0.3", "GET", "/api/v1/cameras")[0] != 200:
        fail("another client was refused along with the flooding one")


def retries(seconds=60):
    """As many tries as come within `seconds`, each as soon as the last is answered."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        yield


def websocket(source, protocols=None, token=True, origin=None):
    s = raw(source)
    key = base64.b64encode(os.urandom(16)).decode()
    lines = ["GET /api/v1/events HTTP/1.1", "Host: %s:%d" % (ARGS.host, ARGS.port),
             "Upgrade: websocket", "Connection: Upgrade", "Sec-WebSocket-Key: " + key,
             "Sec-WebSocket-Version: 13"]
    if token:
        lines.append("Authorization: Bearer " + ARGS.token)
    if protocols:
        lines.append("Sec-WebSocket-Protocol: " + ", ".join(protocols))
    if origin:
        lines.append("Origin: " + origin)
    s.sendall(("\r\n".join(lines) + "\r\n\r\n").encode())
    return s, read_head(s)


def websockets_are_capped():
    kept = []
    for _ in range(ARGS.events_cap + 1):
        s, head = websocket("127.0.0.4")
        if not head.startswith(b"HTTP/1.1 101"):
            s.close()
            break
        kept.append(s)
    if len(kept) + ARGS.events_open != ARGS.events_cap:
        fail("%d WebSocket clients were let in beside %d, not up to the cap of %d"
             % (len(kept), ARGS.events_open, ARGS.events_cap))
    # A client that leaves gives its place back.
    kept.pop().close()
    for _ in retries():
        s, head = websocket("127.0.0.4")
        if head.startswith(b"HTTP/1.1 101"):
            kept.append(s)
            break
        s.close()
    else:
        fail("the place of a client that left was never given back")
    for s in kept:
        s.close()


def browsers_give_the_token_as_a_subprotocol():
    offer = ["lumora.events", "bearer." + ARGS.token]
    origin = "http://%s:%d" % (ARGS.host, ARGS.port)
    for _ in retries():  # a place among the capped clients, once the last ones have gone
        s, head = websocket("127.0.0.5", offer, token=False, origin=origin)
        s.close()
        if head.startswith(b"HTTP/1.1 101"):
            break
    else:
        fail("a browser's WebSocket with the token as a subprotocol was refused: %r" % head)
    if b"sec-websocket-protocol: lumora.events\r\n" not in head.lower():
        fail("the events' subprotocol was not the one taken: %r" % head)
    if ARGS.token.encode() in head:
        fail("the token came back in the handshake: %r" % head)
    for protocols, where in ((["lumora.events", "bearer.wrong"], origin),
                             (offer, "http://example.org")):
        s, head = websocket("127.0.0.5", protocols, token=False, origin=where)
        s.close()
        if head.startswith(b"HTTP/1.1 101"):
            fail("a WebSocket with %s from %s was let in" % (protocols[1][:12], where))


def origins_are_this_servers_addresses():
    """A page opened at the server's address may call it; a name made to
    point here (DNS rebinding) or another site may not."""
    here = "127.0.0.3:%d" % ARGS.port  # as a page opened by another address of this machine
    for origin, host, expected in (("http://" + here, here, 200),
                                   ("http://rebound.example:%d" % ARGS.port,
                                    "rebound.example:%d" % ARGS.port, 403),
                                   ("http://example.org", here, 403)):
        status = request("127.0.0.10", "GET", "/api/v1/cameras",
                         headers={"Origin": origin, "Host": host})[0]
        if status != expected:
            fail("Origin %s with Host %s was answered %d, not %d"
                 % (origin, host, status, expected))


def one_request_at_a_time():
    """A snapshot waits for the camera's first frames in the agent: a
    request meanwhile is told to come back (503), never run half-way."""
    for _ in range(10):
        result = {}

        def snapshot():
            result["snapshot"] = request("127.0.0.6", "GET", "/api/v1/cameras/0/snapshot.jpg")[0]

        taker = threading.Thread(target=snapshot)
        taker.start()
        seen, n = None, 0
        while taker.is_alive() and seen is None:
            n += 1
            status, body = request("127.0.1.%d" % (n % 250 + 1), "GET", "/api/v1/cameras")
            if status == 503:
                seen = body
        taker.join()
        if result["snapshot"] != 200:
            fail("the snapshot itself failed with %s" % result["snapshot"])
        if seen is not None:
            if b"retry" not in seen:
                fail("503 without its sentence: %r" % seen)
            return
    fail("no request was ever told 503 while a snapshot was under way")


def large_bodies_are_refused():
    # Declared too large: refused without waiting for a body never sent.
    s = raw("127.0.0.7")
    s.sendall(("PUT /api/v1/cameras/0/controls HTTP/1.1\r\nHost: x\r\nAuthorization: Bearer %s"
               "\r\nContent-Length: 10000000\r\n\r\n" % ARGS.token).encode())
    head = read_head(s)
    s.close()
    if not head.startswith(b"HTTP/1.1 413"):
        fail("a body declared at 10 MB was not refused at once: %r" % head[:80])
    # Chunked, with no length given: refused once it has grown past the limit.
    c = connection("127.0.0.7")
    chunks = (b" " * 4096 for _ in range(40))
    c.request("PUT", "/api/v1/cameras/0/controls", body=chunks, encode_chunked=True,
              headers={"Authorization": "Bearer " + ARGS.token, "Transfer-Encoding": "chunked"})
    status = c.getresponse().status
    c.close()
    if status != 413:
        fail("a chunked body of 160 KiB was answered %d, not 413" % status)


def a_slow_body_holds_up_no_other():
    body = json.dumps({"controls": {"contrast": 33}}).encode()
    s = raw("127.0.0.8")
    s.sendall(("PUT /api/v1/cameras/0/controls HTTP/1.1\r\nHost: x\r\nAuthorization: Bearer %s"
               "\r\nContent-Length: %d\r\n\r\n" % (ARGS.token, len(body))).encode() + body[:5])
    if request("127.0.0.9", "GET", "/api/v1/cameras")[0] != 200:
        fail("a request was not answered while another client sent its body slowly")
    s.sendall(body[5:])
    head = read_head(s)
    s.close()
    if not head.startswith(b"HTTP/1.1 200"):
        fail("the slow client's own request failed once its body was complete: %r" % head[:80])


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--token", required=True)
    parser.add_argument("--events-open", type=int, default=0)
    parser.add_argument("--events-cap", type=int, default=4)
    ARGS = parser.parse_args()
    for check in (floods_are_refused, websockets_are_capped,
                  browsers_give_the_token_as_a_subprotocol, origins_are_this_servers_addresses,
                  one_request_at_a_time,
                  large_bodies_are_refused, a_slow_body_holds_up_no_other):
        check()
        print("ok: " + check.__name__)


if __name__ == "__main__":
    main()
