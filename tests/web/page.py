"""The browser build in headless Chromium, driven through the DevTools protocol.

  page.py PAGE_DIR SHOTS_DIR PIXELS_PY

Load 1 (a new profile): no console error, the title drawn crisp at 4x, sound waiting for the
first key and running after it, a credit opening its page in a new tab, keys starting a game that
moves, F11 making the canvas fullscreen, "Exit to Desktop" leaving the ended page.
Load 2 (the browser restarted on the same profile): the settings written at the exit are there.
Load 3 (storage refused): the game still plays, keeping nothing.
"""
import base64
import functools
import http.server
import json
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import urllib.request

import websocket

PAGE, SHOTS, PIXELS = sys.argv[1:4]
# 28 px of controls under a 640 x 576 canvas: the picture at exactly 4x.
WINDOW = (800, 604)
PORT = 8624  # one origin for every load, so the storage is the same
SETTINGS = "/kept/config/vantorel/settings.json"
EXPECTED_SETTINGS = '{\n\t"input_map": {\n\t\t"keyboard_map": [\n\t\t\t42, \n\t\t\t44\n\t\t], \n\t\t"gamepad_map": [\n\t\t\t2, \n\t\t\t0\n\t\t]\n\t}\n}'
KEYS = {"Return": ("Enter", "Enter", 13), "Down": ("ArrowDown", "ArrowDown", 40),
        "Right": ("ArrowRight", "ArrowRight", 39), "x": ("x", "KeyX", 88),
        "Escape": ("Escape", "Escape", 27), "F11": ("F11", "F11", 122)}


class Failure(Exception):
    pass


def note(text):
    print("--", text, flush=True)


def wait(seconds, what, check):
    """Polls check until it returns something true; fails after seconds with check's last word."""
    end, last = time.monotonic() + seconds, None
    while True:
        try:
            result = check()
            if result:
                return result
        except Failure as missed:
            last = missed
        if time.monotonic() > end:
            raise Failure(f"timed out after {seconds}s waiting for {what}" + (f": {last}" if last else ""))
        time.sleep(0.05)


class Quiet(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


def serve():
    handler = functools.partial(Quiet, directory=PAGE)
    for port in range(PORT, PORT + 20):
        try:
            server = http.server.ThreadingHTTPServer(("127.0.0.1", port), handler)
        except OSError:
            continue
        threading.Thread(target=server.serve_forever, daemon=True).start()
        return f"http://127.0.0.1:{port}/"
    raise Failure(f"no free port from {PORT}")


class Browser:
    """One Chromium with one page, whose console errors are collected."""

    def __init__(self, profile, refuse_storage=False):
        self.log = open(os.path.join(profile, "chromium.log"), "ab")
        port_file = os.path.join(profile, "DevToolsActivePort")
        if os.path.exists(port_file):
            os.remove(port_file)
        self.process = subprocess.Popen(
            ["chromium", "--headless", "--no-sandbox", "--use-angle=swiftshader", "--enable-unsafe-swiftshader",
             "--disable-background-networking", "--disable-component-update", "--disable-sync", "--no-first-run",
             "--disable-quic", "--autoplay-policy=document-user-activation-required",
             f"--user-data-dir={profile}", "--remote-debugging-port=0", "about:blank"],
            stdout=self.log, stderr=self.log)
        port = wait(60, "Chromium's DevTools port", lambda: self._port(port_file))
        version = json.load(urllib.request.urlopen(f"http://127.0.0.1:{port}/json/version"))
        self.ws = websocket.create_connection(version["webSocketDebuggerUrl"], timeout=60)
        self.next_id, self.errors = 0, []
        target = self.call("Target.createTarget", url="about:blank")["targetId"]
        self.session = self.call("Target.attachToTarget", targetId=target, flatten=True)["sessionId"]
        for domain in ("Page", "Runtime", "Log"):
            self.page(f"{domain}.enable")
        self.page("Emulation.setDeviceMetricsOverride", width=WINDOW[0], height=WINDOW[1], deviceScaleFactor=1,
                  mobile=False)
        if refuse_storage:
            self.page("Page.addScriptToEvaluateOnNewDocument", source="Object.defineProperty(window, 'indexedDB', "
                      "{get() { throw new DOMException('refused', 'SecurityError'); }});")

    @staticmethod
    def _port(port_file):
        try:
            return int(open(port_file).readline())
        except (OSError, ValueError):
            return None

    def call(self, method, session=None, **params):
        self.next_id += 1
        message = {"id": self.next_id, "method": method, "params": params}
        if session:
            message["sessionId"] = session
        self.ws.send(json.dumps(message))
        while True:
            reply = json.loads(self.ws.recv())
            if reply.get("id") == self.next_id:
                if "error" in reply:
                    raise Failure(f"{method}: {reply['error']}")
                return reply.get("result", {})
            self._event(reply)

    def _event(self, event):
        method, params = event.get("method"), event.get("params", {})
        if method == "Runtime.exceptionThrown":
            self.errors.append(params["exceptionDetails"].get("exception", {}).get("description", "exception"))
        elif method == "Runtime.consoleAPICalled" and params["type"] == "error":
            self.errors.append(" ".join(str(a.get("value", a.get("description"))) for a in params["args"]))
        elif method == "Log.entryAdded" and params["entry"]["level"] == "error":
            self.errors.append(params["entry"]["text"])

    def page(self, method, **params):
        return self.call(method, self.session, **params)

    def eval(self, expression):
        result = self.page("Runtime.evaluate", expression=expression, returnByValue=True, awaitPromise=True)
        if "exceptionDetails" in result:
            raise Failure(f"{expression}: {result['exceptionDetails']['text']}")
        return result["result"].get("value")

    def key(self, name, down=True, up=True):
        key, code, vk = KEYS[name]
        for kind, wanted in (("keyDown", down), ("keyUp", up)):
            if wanted:
                self.page("Input.dispatchKeyEvent", type=kind, key=key, code=code,
                          windowsVirtualKeyCode=vk, nativeVirtualKeyCode=vk)

    def shot(self, name, clip_canvas=True):
        params = {"format": "png"}
        if clip_canvas:
            r = self.eval("(r => [r.x, r.y, r.width, r.height])(Module.canvas.getBoundingClientRect())")
            params["clip"] = {"x": r[0], "y": r[1], "width": r[2], "height": r[3], "scale": 1}
        path = os.path.join(SHOTS, f"web-{name}.png")
        with open(path, "wb") as f:
            f.write(base64.b64decode(self.page("Page.captureScreenshot", **params)["data"]))
        return path

    def close(self):
        self.ws.close()
        self.process.terminate()
        self.process.wait(30)


def pixels(*args):
    return subprocess.run([sys.executable, PIXELS, *map(str, args)], capture_output=True, text=True,
                          check=True).stdout.split()


def shows(browser, name, what, *checks):
    """Screenshots until every (x, y, w, h, colour, at least) count holds."""
    def check():
        path = browser.shot(name)
        for x, y, w, h, colour, least in checks:
            n = int(pixels("count", path, x, y, w, h, colour)[0])
            if n < least:
                raise Failure(f"{n} pixels of colour {colour} in ({x}, {y}, {w}, {h}), expected {least}")
        return path
    return wait(60, what, check)


# The screens the keys lead to, as in the desktop tests (tests/e2e/lib/common.sh).
MAIN_MENU = (10, 28, 140, 20, 0, 30)
IN_SPACE = (0, 0, 160, 144, 3, 8000)
INTRO = (10, 36, 130, 9, 0, 40)
PAUSE = (10, 4, 100, 16, 1, 40)
CREDITS = (10, 2, 60, 14, 1, 30)


def selected(row):
    return (40, row, 40, 9, 0, 10)


def load(browser, base):
    browser.page("Page.navigate", url=base + "index.html?seed=1")
    wait(180, "the first frame", lambda: browser.eval("document.documentElement.dataset.game") == "running")
    return browser.eval("Module.firstFrameMs")


def first_load(browser, base):
    ms = load(browser, base)
    note(f"first title frame {ms:.0f} ms after the page started loading (new profile)")
    title = shows(browser, "title", "the title", MAIN_MENU)
    geometry = pixels("geometry", title)
    if geometry[2:5] != ["640", "576", "1"] or pixels("blocks", title, 0, 0, 4) != ["1"]:
        raise Failure(f"the title is not the 160 x 144 palette picture at 4x: {geometry}")
    browser.shot("title-page", clip_canvas=False)
    if browser.eval("Module.SDL2.audioContext.state") != "suspended":
        raise Failure("sound started before any key")
    if browser.eval("document.getElementById('sound').hidden"):
        raise Failure("the page does not say how sound starts")

    browser.key("Down")  # the first key starts the sound
    shows(browser, "menu-credits", "Credits selected", selected(96))
    wait(30, "the AudioContext to run", lambda: browser.eval("Module.SDL2.audioContext.state") == "running")
    wait(30, "the sound line to go", lambda: browser.eval("document.getElementById('sound').hidden"))
    browser.key("Return")
    shows(browser, "credits", "the credits", CREDITS)
    browser.key("Return")
    tab = wait(30, "the credit page in a new tab", lambda: next(
        (t for t in browser.call("Target.getTargets")["targetInfos"] if t["url"] == base + "README.md"), None))
    browser.call("Target.closeTarget", targetId=tab["targetId"])
    browser.key("Escape")
    shows(browser, "menu", "the main menu", MAIN_MENU, selected(88))

    browser.key("Return")
    shows(browser, "intro", "the intro", IN_SPACE, INTRO)
    browser.key("Right", up=False)
    before = wait(60, "the world to move", lambda: moved(browser))
    shutil.copy(before, os.path.join(SHOTS, "web-play.png"))
    browser.shot("play-page", clip_canvas=False)
    # "energy 1/1", then "energy 0/1" after the shot: the digit matches the maximum, then the score's 0.
    wait(60, "a charge", lambda: pixels("same", browser.shot("charging"), 34, 136, 42, 136) == ["1"])
    browser.key("Right", down=False)
    browser.key("x")
    wait(60, "the shot", lambda: pixels("same", browser.shot("fired"), 34, 136, 29, 0) == ["1"])

    # The request waits for the key's release, the first input event after the frame.
    browser.key("F11", up=False)
    wait(30, "the game to ask for fullscreen", lambda: browser.eval("JSEvents.deferredCalls.length > 0"))
    browser.key("F11", down=False)
    wait(30, "the canvas to go fullscreen", lambda: browser.eval("document.fullscreenElement === Module.canvas"))
    browser.key("F11")
    wait(30, "fullscreen to end", lambda: browser.eval("document.fullscreenElement === null"))

    browser.key("Escape")
    shows(browser, "pause", "the pause menu", PAUSE)
    browser.key("Down")
    shows(browser, "pause-main-menu", "Main Menu selected", (10, 40, 40, 9, 0, 10))
    browser.key("Return")
    shows(browser, "menu-again", "the main menu after the pause", MAIN_MENU)
    for row in (96, 104):
        browser.key("Down")
        shows(browser, f"menu-{row}", f"row {row} selected", selected(row))
    browser.key("Return")
    wait(30, "the ended page", lambda: browser.eval("document.documentElement.dataset.game") == "ended")
    if browser.eval("Module.canvas.getClientRects().length") != 0:
        raise Failure("the canvas stays on the ended page")
    browser.shot("ended", clip_canvas=False)
    wait(30, "the settings to be saved", lambda: browser.eval("document.documentElement.dataset.storage") == "saved")


def moved(browser):
    """Two canvas pictures a moment apart differ."""
    a = browser.shot("play-a")
    time.sleep(0.2)
    b = browser.shot("play-b")
    return a if open(a, "rb").read() != open(b, "rb").read() else None


def main():
    base = serve()
    profile = tempfile.mkdtemp(prefix="vantorel-web-")
    failed = []
    steps = [("new profile", {}, first_load),
             ("restarted browser", {}, lambda b, u: second_load(b, u)),
             ("storage refused", {"refuse_storage": True}, lambda b, u: refused_load(b, u))]
    try:
        for name, options, run in steps:
            browser = Browser(profile, **options)
            try:
                run(browser, base)
                if browser.errors:
                    raise Failure("console errors: " + " | ".join(browser.errors))
                note(f"{name}: passed")
            except Failure as error:
                failed.append(f"{name}: {error}")
                print(f"FAIL: {name}: {error}", file=sys.stderr)
            finally:
                browser.close()
    finally:
        shutil.rmtree(profile, ignore_errors=True)
    print(f"{len(steps) - len(failed)} passed, {len(failed)} failed")
    return 1 if failed else 0


def second_load(browser, base):
    ms = load(browser, base)
    note(f"first title frame {ms:.0f} ms after the page started loading (cached)")
    text = browser.eval(f"new TextDecoder().decode(Module.FS.readFile('{SETTINGS}'))")
    if text != EXPECTED_SETTINGS:
        raise Failure(f"settings.json after the restart: {text!r}")


def refused_load(browser, base):
    load(browser, base)
    shows(browser, "refused", "the title", MAIN_MENU)
    if browser.eval("document.documentElement.dataset.storage") != "unavailable":
        raise Failure("storage should be unavailable")


if __name__ == "__main__":
    sys.exit(main())
