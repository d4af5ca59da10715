#!/usr/bin/env python3
"""A VISCA-over-IP controller written from the public protocol description
alone (UDP: 8-byte header of payload type, payload length and sequence
number, big-endian; TCP: bare messages 8x ... FF). It drives a running
`lumora-ctl agent --visca` and checks what the simulated camera does, as
seen in its state files. Exits 1 with the failed check on stderr."""

import argparse
import json
import os
import select
import socket
import struct
import sys
import time

COMMAND, INQUIRY, REPLY, CONTROL, CONTROL_REPLY = 0x0100, 0x0110, 0x0111, 0x0200, 0x0201
WAIT = 30.0  # an upper bound for a loaded machine, never a pause


class Failure(Exception):
    pass


def check(condition, what):
    if not condition:
        raise Failure(what)


def nibbles(value, count):
    return bytes((value >> (4 * (count - 1 - i))) & 0x0F for i in range(count))


def unnibble(data):
    value = 0
    for byte in data:
        value = (value << 4) | byte
    return value


def signed16(value):
    return value - 0x10000 if value >= 0x8000 else value


class UdpController:
    def __init__(self, port, source="127.0.0.1"):
        self.address = ("127.0.0.1", port)
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.sock.bind((source, 0))
        self.sequence = 0

    def send_raw(self, data):
        self.sock.sendto(data, self.address)

    def send(self, payload_type, payload, sequence=None):
        self.sequence = self.sequence + 1 if sequence is None else sequence
        self.send_raw(struct.pack(">HHI", payload_type, len(payload), self.sequence) + payload)
        return self.sequence

    def receive(self):
        ready, _, _ = select.select([self.sock], [], [], WAIT)
        check(ready, "no reply within %d s" % WAIT)
        data = self.sock.recv(64)
        check(len(data) >= 8, "reply shorter than its header: %s" % data.hex())
        payload_type, length, sequence = struct.unpack(">HHI", data[:8])
        check(length == len(data) - 8, "reply length field wrong: %s" % data.hex())
        return payload_type, sequence, data[8:]

    def pending(self):
        return bool(select.select([self.sock], [], [], 0)[0])

    def exchange(self, payload_type, message):
        """Sends one message; the replies up to the completion, an error or an answer."""
        sequence = self.send(payload_type, message)
        replies = []
        while True:
            reply_type, reply_sequence, payload = self.receive()
            check(reply_sequence == sequence,
                  "sequence %d answered with %d" % (sequence, reply_sequence))
            replies.append((reply_type, payload))
            kind = payload[1] & 0xF0 if len(payload) > 1 else 0
            if reply_type != REPLY or kind in (0x50, 0x60):
                return replies

    def command(self, message):
        replies = self.exchange(COMMAND, bytes.fromhex(message))
        check(len(replies) == 2 and replies[0][1] == b"\x90\x41\xff" and
              replies[1][1] == b"\x90\x51\xff",
              "%s: not acknowledged and completed: %s" % (message, replies))

    def inquire(self, message):
        replies = self.exchange(INQUIRY, bytes.fromhex(message))
        check(len(replies) == 1 and replies[0][1][:2] == b"\x90\x50",
              "%s: no answer: %s" % (message, replies))
        return replies[0][1][2:-1]


class Checks:
    def __init__(self, port, state_dir):
        self.port = port
        self.state_dir = state_dir
        self.udp = UdpController(port)

    def state(self, camera=0):
        path = os.path.join(self.state_dir, "SIM%04d.json" % (camera + 1))
        try:
            with open(path) as f:
                return json.load(f)
        except (OSError, ValueError):
            return {}

    def wait_state(self, what, predicate):
        deadline = time.monotonic() + WAIT
        while time.monotonic() < deadline:
            if predicate(self.state()):
                return
            select.select([], [], [], 0.02)  # polls the file, bounded by WAIT
        raise Failure("the camera never showed " + what)

    def pan_tilt(self):
        data = self.udp.inquire("81090612ff")
        check(len(data) == 8, "pan-tilt answer of %d bytes" % len(data))
        return signed16(unnibble(data[:4])), signed16(unnibble(data[4:]))

    def reset_and_sequences(self):
        replies = self.udp.exchange(CONTROL, b"\x01")
        check(replies == [(CONTROL_REPLY, b"\x01")], "RESET: %s" % replies)
        self.udp.send(INQUIRY, bytes.fromhex("81090002ff"), sequence=10)
        check(self.udp.receive()[1] == 10, "sequence 10 not echoed")
        self.udp.send(INQUIRY, bytes.fromhex("81090002ff"), sequence=3)
        reply = self.udp.receive()
        check(reply == (CONTROL_REPLY, 3, b"\x0f\x01"), "an old sequence number: %s" % (reply,))
        # Sequence numbers wrap: after the highest one, 0 comes next.
        self.udp.exchange(CONTROL, b"\x01")
        self.udp.send(INQUIRY, bytes.fromhex("81090002ff"), sequence=0xFFFFFFFF)
        reply = self.udp.receive()
        check(reply[:2] == (REPLY, 0xFFFFFFFF), "the highest sequence number: %s" % (reply,))
        self.udp.send(INQUIRY, bytes.fromhex("81090002ff"), sequence=0)
        reply = self.udp.receive()
        check(reply[:2] == (REPLY, 0), "sequence 0 after the highest: %s" % (reply,))
        self.udp.exchange(CONTROL, b"\x01")
        self.udp.sequence = 0

    def drive_and_stop(self):
        # The head moves at the speed the camera is given (it advances only
        # while the camera streams).
        self.udp.command("810106010c0c0203ff")  # right
        self.wait_state("a pan to the right", lambda s: s.get("panSpeed", 0) > 0)
        self.udp.command("810106010c0c0303ff")  # stop
        self.wait_state("the pan stopped", lambda s: s.get("panSpeed") == 0)
        self.udp.command("810106010c0c0101ff")  # up and left
        self.wait_state("a tilt up and left",
                        lambda s: s.get("tiltSpeed", 0) > 0 and s.get("panSpeed", 0) < 0)
        self.udp.command("810106010c0c0303ff")
        self.wait_state("the head stopped",
                        lambda s: s.get("tiltSpeed") == 0 and s.get("panSpeed") == 0)

    def absolute_and_memory(self):
        self.udp.command("81010602181403020100" + "0f0e0d0c" + "ff")
        check(self.pan_tilt() == (0x3210, signed16(0xFEDC)), "pan-tilt after an absolute move")
        self.udp.command("81010603181400010000" + "0f0f0f0f" + "ff")  # right 0x100, down 1
        check(self.pan_tilt() == (0x3310, signed16(0xFEDB)), "pan-tilt after a relative move")
        self.udp.command("8101044702000000ff")
        check(self.udp.inquire("81090447ff") == nibbles(0x2000, 4), "zoom after a direct move")
        # The state files follow the camera a moment later.
        self.wait_state("the moves", lambda s: s.get("pan", 0) > 0 and s.get("zoom", 0) > 0)
        saved = self.state()
        place = lambda s: (s.get("pan"), s.get("tilt"), s.get("zoom"))
        self.udp.command("8101043f0107ff")  # memory set 7
        self.udp.command("810106021814" + "00" * 8 + "ff")
        self.wait_state("the move to the middle", lambda s: s.get("pan") == 0)
        self.udp.command("8101043f0207ff")  # recall 7: completed on arrival
        self.wait_state("the recall of 7 at %s" % (place(saved),),
                        lambda s: place(s) == place(saved))
        replies = self.udp.exchange(COMMAND, bytes.fromhex("8101043f0208ff"))
        check(replies[-1][1] == b"\x90\x61\x41\xff", "recall of an unsaved memory: %s" % replies)

    def power(self):
        self.udp.command("8101040003ff")
        check(self.udp.inquire("81090400ff") == b"\x03", "power off not told")
        replies = self.udp.exchange(COMMAND, bytes.fromhex("810106010c0c0203ff"))
        check(replies[-1][1] == b"\x90\x61\x41\xff", "a drive in standby: %s" % replies)
        self.udp.command("8101040002ff")
        check(self.udp.inquire("81090400ff") == b"\x02", "power on not told")

    def malformed(self):
        self.udp.send_raw(b"\x01\x00\x00")  # no header: dropped
        reply = self.udp.exchange(COMMAND, bytes.fromhex("81010604"))  # no terminator
        check(reply[-1][1] == b"\x90\x60\x02\xff", "unterminated message: %s" % reply)
        self.udp.send_raw(struct.pack(">HHI", COMMAND, 9, 99) + b"\x81\x01\xff")
        reply = self.udp.receive()
        check(reply == (CONTROL_REPLY, 99, b"\x0f\x02"), "length field lies: %s" % (reply,))
        check(self.udp.exchange(COMMAND, bytes.fromhex("81090612ff"))[-1][1] ==
              b"\x90\x60\x02\xff", "an inquiry sent as a command was taken")
        check(not self.udp.pending(), "a reply too many")

    def stranger(self):
        outsider = UdpController(self.port, source="127.0.0.2")
        outsider.send(INQUIRY, bytes.fromhex("81090002ff"))
        # Datagrams are read in order: once ours is answered, the outsider's
        # was read too, and any answer to it would be here by now.
        self.udp.inquire("81090002ff")
        check(not outsider.pending(), "a client off the allow-list was answered")

    def framing(self):
        pan = self.state().get("pan", 0)
        self.udp.command("8101047d02ff")  # auto framing on
        # Someone stands right of centre: the agent's framing turns right.
        self.wait_state("framing turning right", lambda s: s.get("pan", 0) > pan)
        self.udp.command("8101047d03ff")
        self.wait_state("the head left still", lambda s: s.get("panSpeed") == 0)

    def tcp(self):
        clients = [socket.create_connection(("127.0.0.1", self.port + 1000), WAIT)
                   for _ in range(9)]
        extra = clients.pop()
        try:
            refused = extra.recv(16) == b""
        except ConnectionResetError:
            refused = True
        check(refused, "a ninth connection was kept")
        clients[0].sendall(b"\x81\x09")  # a slow client, halfway through a message
        clients[1].sendall(bytes.fromhex("81090002ff"))
        check(clients[1].recv(16).startswith(b"\x90\x50"), "TCP version inquiry")
        clients[2].sendall(b"\x81" * 17)
        check(clients[2].recv(16) == b"\x90\x60\x02\xff", "no error for an endless message")
        for client in clients:
            client.close()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--state-dir", required=True)
    parser.add_argument("--checks", default="reset_and_sequences,drive_and_stop,"
                        "absolute_and_memory,power,malformed,stranger,tcp,framing")
    args = parser.parse_args()
    checks = Checks(args.port, args.state_dir)
    for name in args.checks.split(","):
        try:
            getattr(checks, name)()
        except Failure as failure:
            print("%s: %s" % (name, failure), file=sys.stderr)
            return 1
        print("%s: passed" % name)
    return 0


if __name__ == "__main__":
    sys.exit(main())
