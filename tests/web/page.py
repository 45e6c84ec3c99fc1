"""The browser build in headless Chromium through the DevTools protocol: page.py PAGE_DIR SHOTS_DIR PIXELS_PY.
Three page loads on one profile (new; the browser restarted; storage refused), none logging a console error.
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
VIEWPORT = (800, 604)  # 28 px of controls under a 640 x 576 canvas: the picture at exactly 4x
PORT = 8624  # one origin for every load, so the storage is the same
SETTINGS = "/kept/config/vantorel/settings.json"
EXPECTED_SETTINGS = ('{\n\t"input_map": {\n\t\t"keyboard_map": [\n\t\t\t42, \n\t\t\t44\n\t\t], \n'
                     '\t\t"gamepad_map": [\n\t\t\t2, \n\t\t\t0\n\t\t]\n\t}\n}')
KEYS = {"Return": ("Enter", "Enter", 13), "Down": ("ArrowDown", "ArrowDown", 40), "F11": ("F11", "F11", 122),
        "Right": ("ArrowRight", "ArrowRight", 39), "Escape": ("Escape", "Escape", 27)}
# (x, y, w, h, palette colour, at least): the screens as the desktop tests see them (tests/e2e/lib/common.sh).
MAIN_MENU, CREDITS = (10, 28, 140, 20, 0, 30), (10, 2, 60, 14, 1, 30)
IN_SPACE, INTRO = (0, 0, 160, 144, 3, 8000), (10, 36, 130, 9, 0, 40)


class Failure(Exception):
    """What a check missed."""


def wait(seconds, what, check):
    """Polls check until it returns something true; fails after seconds with check's last complaint."""
    end, last = time.monotonic() + seconds, ""
    while True:
        try:
            result = check()
            if result:
                return result
        except Failure as missed:
            last = f": {missed}"
        if time.monotonic() > end:
            raise Failure(f"timed out after {seconds}s waiting for {what}{last}")
        time.sleep(0.05)


def serve():
    class Quiet(http.server.SimpleHTTPRequestHandler):
        def log_message(self, *args):
            pass
    for port in range(PORT, PORT + 20):
        try:
            server = http.server.ThreadingHTTPServer(("127.0.0.1", port), functools.partial(Quiet, directory=PAGE))
        except OSError:
            continue
        threading.Thread(target=server.serve_forever, daemon=True).start()
        return f"http://127.0.0.1:{port}/"
    raise Failure(f"no free port from {PORT}")


class Browser:
    """One Chromium with one page, whose console errors are collected."""

    def __init__(self, profile):
        port_file = os.path.join(profile, "DevToolsActivePort")
        if os.path.exists(port_file):
            os.remove(port_file)
        # Desktop Chromium's own sound policy; headless would let sound start unasked.
        self.process = subprocess.Popen(
            ["chromium", "--headless", "--no-sandbox", "--use-angle=swiftshader", "--enable-unsafe-swiftshader",
             "--disable-background-networking", "--disable-component-update", "--disable-sync", "--no-first-run",
             "--disable-quic", "--autoplay-policy=document-user-activation-required", f"--user-data-dir={profile}",
             "--remote-debugging-port=0", "about:blank"],
            stdout=subprocess.DEVNULL, stderr=open(os.path.join(profile, "chromium.log"), "ab"))
        port = wait(60, "Chromium's DevTools port", lambda: os.path.exists(port_file) and open(port_file).readline())
        self.json = f"http://127.0.0.1:{int(port)}/json"
        tab = wait(30, "the first tab", lambda: next((t for t in self.tabs() if t["type"] == "page"), None))
        self.ws = websocket.create_connection(tab["webSocketDebuggerUrl"], timeout=60)
        self.next_id, self.errors = 0, []
        for domain in ("Page", "Runtime", "Log"):
            self.call(f"{domain}.enable")
        self.call("Emulation.setDeviceMetricsOverride", width=VIEWPORT[0], height=VIEWPORT[1], deviceScaleFactor=1,
                  mobile=False)

    def tabs(self):
        return json.load(urllib.request.urlopen(self.json + "/list"))

    def call(self, method, **params):
        self.next_id += 1
        self.ws.send(json.dumps({"id": self.next_id, "method": method, "params": params}))
        while True:
            reply = json.loads(self.ws.recv())
            if reply.get("id") == self.next_id:
                if "error" in reply:
                    raise Failure(f"{method}: {reply['error']}")
                return reply.get("result", {})
            kind, params_ = reply.get("method"), reply.get("params", {})
            if kind == "Runtime.exceptionThrown":
                self.errors.append(params_["exceptionDetails"].get("exception", {}).get("description", "exception"))
            elif kind == "Runtime.consoleAPICalled" and params_["type"] == "error":
                self.errors.append(" ".join(str(a.get("value", a.get("description"))) for a in params_["args"]))
            elif kind == "Log.entryAdded" and params_["entry"]["level"] == "error":
                self.errors.append(params_["entry"]["text"])

    def eval(self, expression):
        result = self.call("Runtime.evaluate", expression=expression, returnByValue=True, awaitPromise=True)
        if "exceptionDetails" in result:
            raise Failure(f"{expression}: {result['exceptionDetails']['text']}")
        return result["result"].get("value")

    def key(self, name, down=True, up=True):
        key, code, vk = KEYS[name]
        for kind in ["keyDown"] * down + ["keyUp"] * up:
            self.call("Input.dispatchKeyEvent", type=kind, key=key, code=code, windowsVirtualKeyCode=vk,
                      nativeVirtualKeyCode=vk)

    def shot(self, name, canvas_only=True):
        params = {"format": "png"}
        if canvas_only:
            x, y, w, h = self.eval("(r => [r.x, r.y, r.width, r.height])(Module.canvas.getBoundingClientRect())")
            params["clip"] = {"x": x, "y": y, "width": w, "height": h, "scale": 1}
        path = os.path.join(SHOTS, f"web-{name}.png")
        with open(path, "wb") as f:
            f.write(base64.b64decode(self.call("Page.captureScreenshot", **params)["data"]))
        return path

    def state(self, name):
        return self.eval(f"document.documentElement.dataset.{name}")

    def shows(self, name, *regions):
        """Screenshots the canvas until every region holds enough pixels of its colour."""
        def check():
            path = self.shot(name)
            for x, y, w, h, colour, least in regions:
                if int(pixels("count", path, x, y, w, h, colour)[0]) < least:
                    raise Failure(f"too few pixels of colour {colour} in ({x}, {y}, {w}, {h})")
            return path
        return wait(60, name, check)

    def load(self, base, what):
        self.call("Page.navigate", url=base + "index.html?seed=1")
        wait(180, "the first frame", lambda: self.state("game") == "running")
        print(f"-- first title frame {self.eval('Module.firstFrameMs'):.0f} ms after the page started loading"
              f" ({what})", flush=True)


def pixels(*args):
    return subprocess.run([sys.executable, PIXELS, *map(str, args)], capture_output=True, text=True,
                          check=True).stdout.split()


def new_profile(browser, base):
    browser.load(base, "new profile")
    title = browser.shows("title", MAIN_MENU)
    geometry = pixels("geometry", title)
    if geometry[2:5] != ["640", "576", "1"] or pixels("blocks", title, 0, 0, 4) != ["1"]:
        raise Failure(f"the title is not the 160 x 144 palette picture at 4x: {geometry}")
    browser.shot("title-page", canvas_only=False)
    sound = "document.getElementById('sound').hidden"
    if browser.eval("Module.SDL2.audioContext.state") != "suspended" or browser.eval(sound):
        raise Failure("sound started before any key, or the page does not say when it will")
    browser.key("Down")
    browser.shows("menu-credits", (40, 96, 40, 9, 0, 10))
    wait(30, "the AudioContext to run", lambda: browser.eval("Module.SDL2.audioContext.state") == "running")
    wait(30, "the sound line to go", lambda: browser.eval(sound))
    browser.key("Return")
    browser.shows("credits", CREDITS)
    browser.key("Return")
    tab = wait(30, "the credit page in a new tab", lambda: next(
        (t for t in browser.tabs() if t["url"] == base + "README.md"), None))
    urllib.request.urlopen(f"{browser.json}/close/{tab['id']}").read()
    browser.key("Escape")
    browser.shows("menu", MAIN_MENU)
    for row in (96, 104):
        browser.key("Down")
        browser.shows(f"menu-{row}", (40, row, 40, 9, 0, 10))
    browser.key("Return")
    wait(30, "the ended page", lambda: browser.state("game") == "ended")
    if browser.eval("Module.canvas.getClientRects().length") != 0:
        raise Failure("the canvas stays on the ended page")
    browser.shot("ended", canvas_only=False)
    wait(30, "the settings to be saved", lambda: browser.state("storage") == "saved")


def new_game(browser, base):
    browser.load(base, "cached")
    text = browser.eval(f"new TextDecoder().decode(Module.FS.readFile('{SETTINGS}'))")
    if text != EXPECTED_SETTINGS:
        raise Failure(f"settings.json after the restart: {text!r}")
    browser.key("Return")
    browser.shows("intro", IN_SPACE, INTRO)
    browser.key("Right", up=False)
    shutil.copy(wait(60, "the world to move", lambda: moved(browser)), os.path.join(SHOTS, "web-play.png"))
    browser.shot("play-page", canvas_only=False)
    browser.key("Right", down=False)
    # The request waits for the key's release, the first input event after the frame.
    browser.key("F11", up=False)
    wait(30, "the game to ask for fullscreen", lambda: browser.eval("JSEvents.deferredCalls.length > 0"))
    browser.key("F11", down=False)
    wait(30, "the canvas to go fullscreen", lambda: browser.eval("document.fullscreenElement === Module.canvas"))
    browser.key("F11")
    wait(30, "fullscreen to end", lambda: browser.eval("document.fullscreenElement === null"))


def moved(browser):
    """Two canvas pictures a moment apart differ."""
    a, b = browser.shot("play-a"), browser.shot("play-b")
    return a if open(a, "rb").read() != open(b, "rb").read() else None


def refused(browser, base):
    browser.call("Page.addScriptToEvaluateOnNewDocument", source="Object.defineProperty(window, 'indexedDB', "
                 "{get() { throw new DOMException('refused', 'SecurityError'); }});")
    browser.load(base, "storage refused")
    browser.shows("refused", MAIN_MENU)
    if browser.state("storage") != "unavailable":
        raise Failure("storage should be unavailable")


def main():
    base, profile, failed = serve(), tempfile.mkdtemp(prefix="vantorel-web-"), []
    # The second browser, started on the first one's profile, plays a game and then refuses storage.
    steps = [[new_profile], [new_game, refused]]
    for runs in steps:
        browser = Browser(profile)
        for run in runs:
            try:
                run(browser, base)
                if browser.errors:
                    raise Failure("console errors: " + " | ".join(browser.errors))
                print(f"-- {run.__name__}: passed", flush=True)
            except Failure as error:
                failed.append(run.__name__)
                print(f"FAIL: {run.__name__}: {error}", file=sys.stderr)
        browser.ws.close()
        browser.process.terminate()
        browser.process.wait(30)
    shutil.rmtree(profile, ignore_errors=True)
    print(f"{3 - len(failed)} passed, {len(failed)} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
