#!/usr/bin/python3
"""The web remote in a real browser: Debian's chromium, headless, driven
through the DevTools protocol with Debian's python3-websocket. Opens the
page with the token in the fragment at a phone's size, holds the pad with
touches and zoom with the mouse, recalls and saves presets with taps, and
checks each on the simulated camera through the API. Exits 1 at the first
failed check, saying which; writes a screenshot of the page."""

import argparse
import base64
import http.client
import itertools
import json
import shutil
import subprocess
import sys
import tempfile
import time

import websocket

ARGS = None
TIMEOUT = 60


def fail(text):
    print("FAILED: " + text)
    sys.exit(1)


SOURCES = itertools.cycle("127.0.2.%d" % n for n in range(1, 255))


def api(method, path, body=None):
    """Asked again while the agent answers the page's own request (503).
    Each time from another loopback address, so that the checker's pace is
    never the page's rate limit."""
    while True:
        c = http.client.HTTPConnection("127.0.0.1", ARGS.port, timeout=30,
                                       source_address=(next(SOURCES), 0))
        c.request(method, "/api/v1/" + path, body=json.dumps(body) if body else None,
                  headers={"Authorization": "Bearer " + ARGS.token})
        r = c.getresponse()
        data = r.read()
        c.close()
        if r.status != 503:
            return r.status, (json.loads(data or b"{}") if path[-4:] != ".jpg" else data)


def controls(camera=0):
    return api("GET", "cameras/%d/controls" % camera)[1]["cameras"][0]["controls"]


def state(camera=0):
    with open("%s/SIM000%d.json" % (ARGS.state_dir, camera + 1)) as f:
        return json.load(f)


def until(what, check):
    """Waits for `check` to hold, asking again as soon as an answer comes."""
    deadline = time.monotonic() + TIMEOUT
    while time.monotonic() < deadline:
        value = check()
        if value:
            return value
    fail("timed out waiting for " + what)


class Browser:
    def __init__(self):
        self.profile = tempfile.mkdtemp(prefix="lumora-chromium-")
        self.process = subprocess.Popen(
            [ARGS.chromium, "--headless=new", "--no-sandbox", "--disable-gpu",
             "--no-first-run", "--no-default-browser-check", "--remote-debugging-port=0",
             "--user-data-dir=" + self.profile, "--window-size=390,844", "about:blank"],
            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        for line in self.process.stderr:  # the browser says where it listens
            if line.startswith("DevTools listening on ws://"):
                port = int(line.split(":")[2].split("/")[0])
                break
        else:
            fail("chromium did not start its DevTools server")
        c = http.client.HTTPConnection("127.0.0.1", port, timeout=30)
        c.request("GET", "/json/list")
        page = [t for t in json.loads(c.getresponse().read()) if t["type"] == "page"][0]
        self.socket = websocket.create_connection(page["webSocketDebuggerUrl"], timeout=TIMEOUT,
                                                  suppress_origin=True)
        self.ids = itertools.count(1)
        self.events = []

    def close(self):
        self.socket.close()
        self.process.terminate()
        self.process.wait(30)
        shutil.rmtree(self.profile, ignore_errors=True)

    def send(self, method, **params):
        ident = next(self.ids)
        self.socket.send(json.dumps({"id": ident, "method": method, "params": params}))
        while True:
            message = json.loads(self.socket.recv())
            if message.get("id") == ident:
                if "error" in message:
                    fail("%s: %s" % (method, message["error"]))
                return message.get("result", {})
            self.events.append(message)

    def wait_event(self, method, match=lambda params: True):
        while True:
            for i, message in enumerate(self.events):
                if message.get("method") == method and match(message.get("params", {})):
                    return self.events.pop(i)
            self.events.append(json.loads(self.socket.recv()))

    def wait_request(self, path, body):
        """Waits until the page has sent `body` to `path` and had its answer."""
        sent = self.wait_event("Network.requestWillBeSent", lambda p: p["request"]["url"].endswith(
            path) and p["request"].get("postData") == body)["params"]["requestId"]
        answer = self.wait_event("Network.responseReceived", lambda p: p["requestId"] == sent)
        return answer["params"]["response"]["status"]

    def js(self, expression):
        result = self.send("Runtime.evaluate", expression=expression, returnByValue=True,
                           awaitPromise=True)
        if "exceptionDetails" in result:
            fail("%s: %s" % (expression, result["exceptionDetails"]))
        return result["result"].get("value")

    def wait_page(self, what, condition):
        """Waits in the page, on each animation frame, until `condition` holds."""
        ok = self.js("new Promise((done) => { const t = Date.now(); (function look() {"
                     " if (%s) done(true); else if (Date.now() - t > %d) done(false);"
                     " else requestAnimationFrame(look); })(); })" % (condition, TIMEOUT * 1000))
        if not ok:
            fail("the page never showed %s; it says: %s" % (
                what, self.js("document.getElementById('status').textContent")))

    def centre(self, selector):
        box = self.js("(() => { const e = document.querySelector(%s);"
                      " e.scrollIntoView({block: 'nearest'}); const r = e.getBoundingClientRect();"
                      " return [r.x + r.width / 2, r.y + r.height / 2]; })()" % json.dumps(selector))
        return box[0], box[1]

    def touch(self, kind, selector=None):
        points = []
        if selector:
            x, y = self.centre(selector)
            points = [{"x": x, "y": y, "id": 1}]
        self.send("Input.dispatchTouchEvent", type=kind, touchPoints=points)

    def tap(self, selector):
        self.touch("touchStart", selector)
        self.touch("touchEnd")

    def mouse(self, kind, selector):
        x, y = self.centre(selector)
        self.send("Input.dispatchMouseEvent", type=kind, x=x, y=y, button="left", clickCount=1)

    def open(self, url):
        # From a page of its own, so a change of fragment alone loads the page.
        self.send("Page.navigate", url="about:blank")
        self.wait_event("Page.loadEventFired")
        self.send("Page.navigate", url=url)
        self.wait_event("Page.loadEventFired")


def asks_for_the_token_without_one(browser):
    browser.open(ARGS.base + "/")
    browser.wait_page("the token form", "!document.getElementById('login').hidden")
    if not browser.js("document.getElementById('remote').hidden"):
        fail("the remote was shown without a token")
    for token in ("wrong", ARGS.token):
        browser.js("document.getElementById('token').value = %s" % json.dumps(token))
        browser.tap("#login button[type=submit]")
        if token == "wrong":
            browser.wait_page("a wrong token refused",
                              "/did not take/.test(document.getElementById('loginerror')"
                              ".textContent)")
    browser.wait_page("the remote after the token was typed",
                      "!document.getElementById('remote').hidden")


def no_page_errors(browser):
    """Nothing the page did was refused by its security policy or threw."""
    for message in browser.events:
        entry = message.get("params", {}).get("entry", {})
        if message.get("method") == "Runtime.exceptionThrown" or (
                message.get("method") == "Log.entryAdded" and entry.get("source") != "network"
                and entry.get("level") == "error"):
            fail("the page logged: %s" % json.dumps(message.get("params"))[:400])


def opens_with_the_token_in_the_fragment(browser):
    browser.open(ARGS.base + "/#token=" + ARGS.token)
    browser.wait_page("the cameras", "document.getElementById('camera').options.length === 2")
    browser.wait_page("the events' connection", "document.getElementById('link').matches('.up')")
    browser.wait_page("a picture", "document.getElementById('snapshot').naturalWidth > 0")
    if browser.js("location.href").find(ARGS.token) >= 0:
        fail("the token stayed in the address bar")


def holding_the_pad_moves_the_camera(browser):
    # The simulated head moves as its pictures are made; that it was set
    # moving, and which way, is what the camera itself keeps.
    browser.touch("touchStart", "#pad [aria-label='Up right']")
    until("the camera to pan right and tilt up",
          lambda: state()["panSpeed"] > 0 and state()["tiltSpeed"] > 0)
    browser.touch("touchEnd")
    until("the camera to stop", lambda: state()["panSpeed"] == 0 and state()["tiltSpeed"] == 0)
    # Space held on the focused button, for a keyboard.
    browser.js("document.querySelector(\"#pad [aria-label='Left']\").focus()")
    browser.send("Input.dispatchKeyEvent", type="keyDown", key=" ", code="Space",
                 windowsVirtualKeyCode=32)
    until("the camera to pan left", lambda: state()["panSpeed"] < 0)
    browser.send("Input.dispatchKeyEvent", type="keyUp", key=" ", code="Space",
                 windowsVirtualKeyCode=32)
    until("the camera to stop again", lambda: state()["panSpeed"] == 0)
    # The mouse holds zoom the same way.
    browser.mouse("mousePressed", "#zoom [aria-label='Zoom in']")
    if browser.wait_request("/cameras/0/move", '{"zoom":1}') != 200:
        fail("the page's zoom in was refused")
    browser.mouse("mouseReleased", "#zoom [aria-label='Zoom in']")
    if browser.wait_request("/cameras/0/move", '{"zoom":0}') != 200:
        fail("the page's zoom stop was refused")


def preset_buttons_recall_and_save(browser):
    if api("PUT", "cameras/0/controls", {"controls": {"pan": 25, "tilt": 5}})[0] != 200:
        fail("the camera could not be placed")
    if api("POST", "cameras/0/presets/2/save")[0] != 200:
        fail("preset 2 could not be saved")
    api("PUT", "cameras/0/controls", {"controls": {"pan": -25, "tilt": -5}})
    browser.tap("#presets [data-preset='2']")
    until("preset 2 to be recalled", lambda: controls()["pan"] == 25 and controls()["tilt"] == 5)
    browser.wait_page("the recall told", "document.getElementById('status').textContent"
                                         " === 'Preset 2 recalled'")
    # Save mode: the next number saves where the camera is.
    api("PUT", "cameras/0/controls", {"controls": {"pan": -40}})
    browser.tap("#save")
    browser.tap("#presets [data-preset='7']")
    browser.wait_page("the save told", "document.getElementById('status').textContent"
                                       " === 'Preset 7 saved'")
    api("PUT", "cameras/0/controls", {"controls": {"pan": 10}})
    status, reply = api("POST", "cameras/0/presets/7/recall")
    if status != 200 or reply["cameras"][0]["position"]["pan"] != -40:
        fail("preset 7, saved from the page, recalled %s %s" % (status, reply))


def the_framing_switch_switches(browser):
    framing = lambda: api("GET", "cameras")[1]["cameras"][0]["framing"]
    browser.tap("#framing")
    # Judged by the agent, not the status line: the framing's first
    # decisions may already have replaced "Auto framing on" there.
    until("the agent to frame the camera", framing)
    if not browser.js("document.getElementById('framing').checked"):
        fail("the switch does not show framing on")
    browser.tap("#framing")
    until("framing to be switched off", lambda: not framing())


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--token", required=True)
    parser.add_argument("--state-dir", required=True)
    parser.add_argument("--screenshot", required=True)
    parser.add_argument("--chromium", default="chromium")
    ARGS = parser.parse_args()
    ARGS.base = "http://127.0.0.1:%d" % ARGS.port
    browser = Browser()
    try:
        browser.send("Page.enable")
        browser.send("Network.enable")
        browser.send("Log.enable")
        browser.send("Runtime.enable")
        browser.send("Emulation.setDeviceMetricsOverride", width=390, height=844,
                     deviceScaleFactor=2, mobile=True)
        browser.send("Emulation.setTouchEmulationEnabled", enabled=True, maxTouchPoints=2)
        for check in (asks_for_the_token_without_one, opens_with_the_token_in_the_fragment,
                      holding_the_pad_moves_the_camera, preset_buttons_recall_and_save,
                      the_framing_switch_switches, no_page_errors):
            check(browser)
            print("ok: " + check.__name__)
        browser.tap("#presets [data-preset='2']")
        browser.wait_page("the picture after the recall",
                          "document.getElementById('status').textContent === 'Preset 2 recalled'")
        browser.js("document.getElementById('snapshot').decode()")
        print("page height: %s" % browser.js("document.documentElement.scrollHeight"))
        browser.js("window.scrollTo(0, 0)")
        shot = browser.send("Page.captureScreenshot", format="png", captureBeyondViewport=False)
        with open(ARGS.screenshot, "wb") as f:
            f.write(base64.b64decode(shot["data"]))
    finally:
        browser.close()


if __name__ == "__main__":
    main()
