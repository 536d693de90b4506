"""Headless Chromium driven through the DevTools protocol, standard library only.

The protocol's JSON messages, each ended by a NUL byte, go through two pipes
(--remote-debugging-pipe: Chromium reads descriptor 3 and writes descriptor
4). One page target is attached in flattened mode; every event is kept, so
that a test can look for console errors afterwards.
"""

import fcntl
import json
import os
import select
import shutil
import subprocess
import tempfile
import time

CHROMIUM_NAMES = ("chromium", "chromium-browser", "google-chrome", "google-chrome-stable")

CHROMIUM_FLAGS = ("--headless", "--no-sandbox", "--disable-gpu", "--no-first-run", "--disable-background-networking",
                  "--disable-component-update", "--disable-sync", "--hide-scrollbars",
                  "--force-device-scale-factor=1", "--remote-debugging-pipe")


class BrowserError(Exception):
    pass


def find_chromium():
    """The browser to run: $KELTO_CHROMIUM, else the first known name on PATH."""
    wanted = os.environ.get("KELTO_CHROMIUM")
    if wanted:
        return shutil.which(wanted)
    return next(filter(None, map(shutil.which, CHROMIUM_NAMES)), None)


class Browser:
    """One headless Chromium with one page; use as a context manager."""

    def __init__(self, chromium, width=1200, height=1600, timeout=60):
        self.timeout, self.events, self.next_id, self.pending = timeout, [], 0, b""
        self.profile = tempfile.mkdtemp(prefix="kelto-chromium-")
        self.stderr = tempfile.TemporaryFile()
        commands, self.commands = os.pipe()
        self.replies, replies = os.pipe()

        def plumb():  # in the child: the pipes' ends on descriptors 3 and 4
            ends = [fcntl.fcntl(end, fcntl.F_DUPFD, 10) for end in (commands, replies)]
            os.dup2(ends[0], 3)
            os.dup2(ends[1], 4)

        self.proc = subprocess.Popen([chromium, *CHROMIUM_FLAGS, f"--user-data-dir={self.profile}",
                                      f"--window-size={width},{height}", "about:blank"],
                                     stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=self.stderr,
                                     close_fds=False, preexec_fn=plumb)
        os.close(commands)
        os.close(replies)
        try:
            target = self.call("Target.createTarget", {"url": "about:blank"})["targetId"]
            self.session = self.call("Target.attachToTarget", {"targetId": target, "flatten": True})["sessionId"]
            for domain in ("Page", "Runtime", "Log"):
                self.call(domain + ".enable", session=True)
            self.call("Emulation.setDeviceMetricsOverride",
                      {"width": width, "height": height, "deviceScaleFactor": 1, "mobile": False}, session=True)
        except BaseException:
            self.close()
            raise

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def close(self):
        os.close(self.commands)
        os.close(self.replies)
        self.proc.terminate()
        try:
            self.proc.wait(10)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
        shutil.rmtree(self.profile, ignore_errors=True)

    def messages(self):
        """What Chromium wrote on standard error."""
        self.stderr.seek(0)
        return self.stderr.read().decode(errors="replace")

    def _receive(self, deadline):
        while b"\0" not in self.pending:
            if not select.select([self.replies], [], [], max(0.0, deadline - time.time()))[0]:
                raise BrowserError("no message from chromium in time")
            chunk = os.read(self.replies, 1 << 20)
            if not chunk:
                raise BrowserError("chromium closed the DevTools pipe; its messages:\n" + self.messages())
            self.pending += chunk
        message, self.pending = self.pending.split(b"\0", 1)
        return json.loads(message)

    def call(self, method, params=None, session=False):
        self.next_id += 1
        message = {"id": self.next_id, "method": method, "params": params or {}}
        if session:
            message["sessionId"] = self.session
        data = json.dumps(message).encode() + b"\0"
        while data:
            data = data[os.write(self.commands, data):]
        deadline = time.time() + self.timeout
        while True:
            reply = self._receive(deadline)
            if reply.get("id") == self.next_id:
                if "error" in reply:
                    raise BrowserError(f"{method}: {reply['error']}")
                return reply.get("result", {})
            if "method" in reply:
                self.events.append(reply)

    def evaluate(self, expression):
        """The value of a script expression (a promise is awaited)."""
        result = self.call("Runtime.evaluate", {"expression": expression, "returnByValue": True,
                                                "awaitPromise": True}, session=True)
        if "exceptionDetails" in result:
            raise BrowserError(f"evaluating {expression!r}: {result['exceptionDetails']}")
        return result["result"].get("value")

    def wait_for(self, expression, what=None):
        deadline = time.time() + self.timeout
        while not self.evaluate(expression):
            if time.time() > deadline:
                raise BrowserError(f"timed out waiting for {what or expression}")
            time.sleep(0.02)

    def navigate(self, url):
        self.events = [e for e in self.events if e["method"] != "Page.loadEventFired"]
        result = self.call("Page.navigate", {"url": url}, session=True)
        if result.get("errorText"):
            raise BrowserError(f"navigating to {url}: {result['errorText']}")
        deadline = time.time() + self.timeout
        while not any(e["method"] == "Page.loadEventFired" for e in self.events):
            if time.time() > deadline:
                raise BrowserError(f"{url} did not finish loading")
            self.evaluate("1")  # the answer brings the events before it
            time.sleep(0.02)

    def console_errors(self):
        """Uncaught exceptions, console.error calls and error log entries seen so far."""
        errors = []
        for event in self.events:
            method, params = event["method"], event.get("params", {})
            if method == "Runtime.exceptionThrown":
                details = params.get("exceptionDetails", {})
                description = details.get("exception", {}).get("description", "")
                errors.append(f"exception: {details.get('text', '')} {description}")
            elif method == "Runtime.consoleAPICalled" and params.get("type") in ("error", "assert"):
                errors.append(f"console.{params['type']}: " +
                              " ".join(str(a.get("value", a.get("description", ""))) for a in params.get("args", [])))
            elif method == "Log.entryAdded" and params.get("entry", {}).get("level") == "error":
                errors.append("log: " + params["entry"].get("text", ""))
        return errors

    def screenshot(self, selector=None, colours=(), scale=1):
        """Counts the pixels of a PNG screenshot of the whole page, or of the
        first element matching selector: all, those not white, and those
        within 10 of each colour given (the PNG decoded on a canvas)."""
        if selector is None:
            metrics = self.call("Page.getLayoutMetrics", session=True)
            size = metrics.get("cssContentSize") or metrics["contentSize"]
            clip = {"x": 0, "y": 0, "width": size["width"], "height": size["height"]}
        else:
            clip = self.evaluate("(() => { const r = document.querySelector(%s).getBoundingClientRect();"
                                 " return {x: r.left + scrollX, y: r.top + scrollY, width: r.width, height: r.height};"
                                 " })()" % json.dumps(selector))
        png = self.call("Page.captureScreenshot", {"format": "png", "captureBeyondViewport": True,
                                                   "clip": dict(clip, scale=scale)}, session=True)["data"]
        return self.evaluate("""new Promise(done => { const image = new Image(); image.onload = () => {
            const canvas = Object.assign(document.createElement('canvas'), {width: image.width, height: image.height});
            const g = canvas.getContext('2d'), colours = %s, near = colours.map(() => 0);
            g.drawImage(image, 0, 0);
            const d = g.getImageData(0, 0, image.width, image.height).data;
            let blank = 0;
            for (let i = 0; i < d.length; i += 4) {
              if (d[i] === 255 && d[i + 1] === 255 && d[i + 2] === 255) blank++;
              colours.forEach((c, k) => { if (c.every((v, j) => Math.abs(v - d[i + j]) <= 10)) near[k]++; });
            }
            done({pixels: d.length / 4, not_white: d.length / 4 - blank, near}); };
            image.src = 'data:image/png;base64,%s'; })""" % (json.dumps(colours), png))
