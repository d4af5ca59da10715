#!/usr/bin/env python3
"""HTTP clients for bench_httpload: N clients, each from an address of its
own on the loopback network (127.0.0.2, 127.0.0.3, ...) as N controllers in
a building would be, each sending R requests a second to the agent's API for
a given time, a new connection per request (the agent keeps none alive).

The requests go round: the camera list, a camera's controls, a control
written, the metrics page. Prints one JSON document: requests, answers by
status, transport errors, the rate reached and the latency percentiles.
Python's own http.client speaks HTTP, so that the server is measured with a
client written apart from it.
"""

import argparse
import http.client
import json
import sys
import threading
import time


def percentile(values, fraction):
    if not values:
        return 0.0
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(fraction * len(ordered)))]


class Client(threading.Thread):
    def __init__(self, number, args, start_at):
        super().__init__(daemon=True)
        self.number = number
        self.args = args
        self.start_at = start_at
        self.source = "127.0.0.%d" % (2 + number)
        self.latencies = []
        self.statuses = {}
        self.errors = []

    def request(self, step):
        camera = self.args.camera
        kinds = [("GET", "/api/v1/cameras", None),
                 ("GET", "/api/v1/cameras/%d/controls" % camera, None),
                 ("PUT", "/api/v1/cameras/%d/controls" % camera,
                  json.dumps({"controls": {"contrast": 20 + (step + self.number) % 60}})),
                 ("GET", "/metrics", None)]
        method, path, body = kinds[(step + self.number) % len(kinds)]
        headers = {"Authorization": "Bearer " + self.args.token}
        if body is not None:
            headers["Content-Type"] = "application/json"
        connection = http.client.HTTPConnection("127.0.0.1", self.args.port, timeout=10,
                                                source_address=(self.source, 0))
        began = time.monotonic()
        try:
            connection.request(method, path, body=body, headers=headers)
            answer = connection.getresponse()
            answer.read()
            status = answer.status
        except (OSError, http.client.HTTPException) as error:
            self.errors.append("%s %s: %s" % (method, path, error))
            return
        finally:
            connection.close()
        self.latencies.append((time.monotonic() - began) * 1000.0)
        self.statuses[status] = self.statuses.get(status, 0) + 1

    def run(self):
        period = 1.0 / self.args.rate
        # The clients' sends are spread over the period, not all at once.
        due = self.start_at + period * self.number / self.args.clients
        end = self.start_at + self.args.seconds
        step = 0
        while due < end:
            delay = due - time.monotonic()
            if delay > 0:
                time.sleep(delay)
            self.request(step)
            step += 1
            due += period


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--token", required=True)
    parser.add_argument("--clients", type=int, default=50)
    parser.add_argument("--rate", type=float, default=10.0, help="requests a second per client")
    parser.add_argument("--seconds", type=float, default=60.0)
    parser.add_argument("--camera", type=int, default=1)
    args = parser.parse_args()

    start_at = time.monotonic() + 0.5
    clients = [Client(n, args, start_at) for n in range(args.clients)]
    for client in clients:
        client.start()
    print("ready", file=sys.stderr, flush=True)  # the threads are up; sending begins
    for client in clients:
        client.join()
    elapsed = time.monotonic() - start_at

    latencies = [ms for client in clients for ms in client.latencies]
    statuses = {}
    for client in clients:
        for status, count in client.statuses.items():
            statuses[str(status)] = statuses.get(str(status), 0) + count
    errors = [error for client in clients for error in client.errors]
    print(json.dumps({
        "requests": len(latencies) + len(errors),
        "statuses": statuses,
        "transportErrors": len(errors),
        "firstErrors": errors[:5],
        "rate": (len(latencies) + len(errors)) / elapsed,
        "latencyMs": {"median": percentile(latencies, 0.5), "p99": percentile(latencies, 0.99),
                      "max": max(latencies) if latencies else 0.0},
    }))
    return 0


if __name__ == "__main__":
    sys.exit(main())
