"""Headless Chromium driven through the DevTools protocol, standard library only.

A minimal WebSocket client (RFC 6455, client side: masked text frames out,
unmasked frames in, fragments joined, pings answered) carries the protocol's
JSON messages. One browser, one page target attached in flattened mode; every
event is kept so that a test can look for console errors afterwards.
"""

import base64
import json
import os
import shutil
import socket
import struct
import subprocess
import tempfile
import threading
import time
import zlib

CHROMIUM_NAMES = ("chromium", "chromium-browser", "google-chrome", "google-chrome-stable")

CHROMIUM_FLAGS = (
    "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
    "--disable-background-networking", "--disable-component-update", "--disable-sync",
    "--hide-scrollbars", "--force-device-scale-factor=1",
    "--enable-logging=stderr", "--v=0",
)


class BrowserError(Exception):
    pass


def find_chromium():
    """The browser to run: $KELTO_CHROMIUM, else the first known name on PATH."""
    wanted = os.environ.get("KELTO_CHROMIUM")
    if wanted:
        return wanted if shutil.which(wanted) else None
    for name in CHROMIUM_NAMES:
        path = shutil.which(name)
        if path:
            return path
    return None


class WebSocket:
    def __init__(self, host, port, path, timeout):
        self.sock = socket.create_connection((host, port), timeout=timeout)
        key = base64.b64encode(os.urandom(16)).decode()
        request = (f"GET {path} HTTP/1.1\r\nHost: {host}:{port}\r\nUpgrade: websocket\r\n"
                   f"Connection: Upgrade\r\nSec-WebSocket-Key: {key}\r\nSec-WebSocket-Version: 13\r\n\r\n")
        self.sock.sendall(request.encode())
        head = b""
        while b"\r\n\r\n" not in head:
            chunk = self.sock.recv(4096)
            if not chunk:
                raise BrowserError("the DevTools socket closed during the handshake")
            head += chunk
        head, self.pending = head.split(b"\r\n\r\n", 1)
        if b" 101 " not in head.split(b"\r\n", 1)[0]:
            raise BrowserError("DevTools refused the WebSocket: " + head.decode(errors="replace"))

    def _read(self, n):
        while len(self.pending) < n:
            chunk = self.sock.recv(max(65536, n - len(self.pending)))
            if not chunk:
                raise BrowserError("the DevTools socket closed")
            self.pending += chunk
        data, self.pending = self.pending[:n], self.pending[n:]
        return data

    def _send_frame(self, opcode, payload):
        header = bytes([0x80 | opcode])
        n = len(payload)
        if n < 126:
            header += bytes([0x80 | n])
        elif n < 65536:
            header += bytes([0x80 | 126]) + struct.pack(">H", n)
        else:
            header += bytes([0x80 | 127]) + struct.pack(">Q", n)
        mask = os.urandom(4)
        masked = bytes(b ^ mask[i % 4] for i, b in enumerate(payload))
        self.sock.sendall(header + mask + masked)

    def send(self, text):
        self._send_frame(0x1, text.encode())

    def receive(self):
        message = b""
        while True:
            first, second = self._read(2)
            opcode, n = first & 0x0F, second & 0x7F
            if n == 126:
                n = struct.unpack(">H", self._read(2))[0]
            elif n == 127:
                n = struct.unpack(">Q", self._read(8))[0]
            mask = self._read(4) if second & 0x80 else None
            payload = self._read(n)
            if mask:
                payload = bytes(b ^ mask[i % 4] for i, b in enumerate(payload))
            if opcode == 0x9:
                self._send_frame(0xA, payload)
                continue
            if opcode == 0x8:
                raise BrowserError("the DevTools socket was closed by the browser")
            if opcode in (0x0, 0x1, 0x2):
                message += payload
                if first & 0x80:
                    return message.decode()

    def close(self):
        try:
            self.sock.close()
        except OSError:
            pass


class Browser:
    """One headless Chromium with one page; use as a context manager."""

    def __init__(self, chromium, width=1200, height=1600, timeout=60):
        self.timeout = timeout
        self.profile = tempfile.mkdtemp(prefix="kelto-chromium-")
        self.stderr_path = os.path.join(self.profile, "stderr.txt")
        self.stderr = open(self.stderr_path, "wb")
        self.proc = subprocess.Popen(
            [chromium, *CHROMIUM_FLAGS, f"--user-data-dir={self.profile}", "--remote-debugging-port=0",
             f"--window-size={width},{height}", "about:blank"],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=self.stderr)
        port_file = os.path.join(self.profile, "DevToolsActivePort")
        deadline = time.time() + timeout
        while not (os.path.exists(port_file) and len(open(port_file).read().splitlines()) >= 2):
            if self.proc.poll() is not None or time.time() > deadline:
                self.close()
                raise BrowserError("chromium did not open its DevTools port; its messages:\n" + self.messages())
            time.sleep(0.05)
        port, path = open(port_file).read().splitlines()[:2]
        self.ws = WebSocket("127.0.0.1", int(port), path, timeout)
        self.next_id = 0
        self.events = []
        self.lock = threading.Lock()
        target = self.call("Target.createTarget", {"url": "about:blank",
                                                   "newWindow": False})["targetId"]
        self.session = self.call("Target.attachToTarget", {"targetId": target, "flatten": True})["sessionId"]
        for domain in ("Page", "Runtime", "Log"):
            self.call(domain + ".enable", session=True)
        self.call("Emulation.setDeviceMetricsOverride",
                  {"width": width, "height": height, "deviceScaleFactor": 1, "mobile": False}, session=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def close(self):
        ws = getattr(self, "ws", None)
        if ws:
            ws.close()
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self.stderr.close()
        self.stderr_text = self.messages()
        shutil.rmtree(self.profile, ignore_errors=True)

    def messages(self):
        try:
            return open(self.stderr_path, "rb").read().decode(errors="replace")
        except OSError:
            return getattr(self, "stderr_text", "")

    def call(self, method, params=None, session=False, timeout=None):
        self.next_id += 1
        message = {"id": self.next_id, "method": method, "params": params or {}}
        if session:
            message["sessionId"] = self.session
        self.ws.send(json.dumps(message))
        deadline = time.time() + (timeout or self.timeout)
        while True:
            if time.time() > deadline:
                raise BrowserError(f"no answer to {method}")
            reply = json.loads(self.ws.receive())
            if reply.get("id") == self.next_id:
                if "error" in reply:
                    raise BrowserError(f"{method}: {reply['error']}")
                return reply.get("result", {})
            if "method" in reply:
                self.events.append(reply)

    def pump(self, seconds):
        """Collects events for a while (answers to a harmless call)."""
        end = time.time() + seconds
        while time.time() < end:
            self.evaluate("1")
            time.sleep(0.02)

    def evaluate(self, expression, timeout=None):
        result = self.call("Runtime.evaluate", {"expression": expression, "returnByValue": True,
                                                "awaitPromise": True}, session=True, timeout=timeout)
        if "exceptionDetails" in result:
            raise BrowserError(f"evaluating {expression!r}: {result['exceptionDetails']}")
        return result["result"].get("value")

    def wait_for(self, expression, timeout=None, what=None):
        deadline = time.time() + (timeout or self.timeout)
        while time.time() < deadline:
            value = self.evaluate(expression)
            if value:
                return value
            time.sleep(0.02)
        raise BrowserError(f"timed out waiting for {what or expression}")

    def navigate(self, url):
        self.events = [e for e in self.events if e["method"] != "Page.loadEventFired"]
        result = self.call("Page.navigate", {"url": url}, session=True)
        if result.get("errorText"):
            raise BrowserError(f"navigating to {url}: {result['errorText']}")
        deadline = time.time() + self.timeout
        while not any(e["method"] == "Page.loadEventFired" for e in self.events):
            if time.time() > deadline:
                raise BrowserError(f"{url} did not finish loading")
            self.pump(0.05)

    def console_errors(self):
        """Uncaught exceptions, console.error calls and error log entries seen so far."""
        errors = []
        for event in self.events:
            method, params = event["method"], event.get("params", {})
            if method == "Runtime.exceptionThrown":
                details = params.get("exceptionDetails", {})
                errors.append("exception: " + details.get("text", "") + " " +
                              str(details.get("exception", {}).get("description", "")))
            elif method == "Runtime.consoleAPICalled" and params.get("type") in ("error", "assert"):
                errors.append("console." + params["type"] + ": " +
                              " ".join(str(a.get("value", a.get("description", ""))) for a in params.get("args", [])))
            elif method == "Log.entryAdded" and params.get("entry", {}).get("level") == "error":
                errors.append("log: " + params["entry"].get("text", ""))
        return errors

    def screenshot(self, clip=None, scale=1):
        """A PNG of the page (or of a clip in page coordinates) as an Image;
        a scale below 1 keeps the pure-Python decoding of large areas short."""
        params = {"format": "png", "captureBeyondViewport": True}
        if clip is None:
            metrics = self.call("Page.getLayoutMetrics", session=True)
            size = metrics.get("cssContentSize") or metrics["contentSize"]
            clip = {"x": 0, "y": 0, "width": size["width"], "height": size["height"]}
        params["clip"] = dict(clip, scale=scale)
        data = self.call("Page.captureScreenshot", params, session=True)["data"]
        return decode_png(base64.b64decode(data))

    def element_clip(self, selector):
        """The page-coordinate box of the first element matching selector."""
        return self.evaluate(
            "(() => { const r = document.querySelector(%s).getBoundingClientRect();"
            " return {x: r.left + scrollX, y: r.top + scrollY, width: r.width, height: r.height}; })()"
            % json.dumps(selector))

    def mouse_move(self, x, y):
        self.call("Input.dispatchMouseEvent", {"type": "mouseMoved", "x": x, "y": y}, session=True)

    def allow_downloads(self, directory):
        self.call("Browser.setDownloadBehavior", {"behavior": "allow", "downloadPath": directory,
                                                  "eventsEnabled": True})


class Image:
    def __init__(self, width, height, pixels):
        self.width, self.height, self.pixels = width, height, pixels  # pixels: rows of (r, g, b)

    def count(self, predicate):
        return sum(1 for row in self.pixels for p in row if predicate(p))


def decode_png(data):
    """Decodes an 8-bit RGB or RGBA PNG (what Chromium writes) into an Image."""
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise BrowserError("the screenshot is not a PNG")
    pos, idat, width, height, channels = 8, b"", 0, 0, 0
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        pos += 12 + length
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            if depth != 8 or colour not in (2, 6) or interlace:
                raise BrowserError(f"unexpected PNG layout: depth {depth}, colour type {colour}")
            channels = 3 if colour == 2 else 4
        elif kind == b"IDAT":
            idat += body
        elif kind == b"IEND":
            break
    raw = zlib.decompress(idat)
    stride = width * channels
    rows, previous, at = [], bytearray(stride), 0
    for _ in range(height):
        kind, line = raw[at], bytearray(raw[at + 1:at + 1 + stride])
        at += 1 + stride
        for i in range(stride):
            left = line[i - channels] if i >= channels else 0
            up = previous[i]
            upper_left = previous[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + left) & 0xFF
            elif kind == 2:
                line[i] = (line[i] + up) & 0xFF
            elif kind == 3:
                line[i] = (line[i] + (left + up) // 2) & 0xFF
            elif kind == 4:
                p = left + up - upper_left
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - upper_left)
                predictor = left if pa <= pb and pa <= pc else up if pb <= pc else upper_left
                line[i] = (line[i] + predictor) & 0xFF
        rows.append([tuple(line[j:j + 3]) for j in range(0, stride, channels)])
        previous = line
    return Image(width, height, rows)
