#!/usr/bin/env python3
"""Opens every page of the built documentation in headless Chromium and checks
that it loads without a console error and that every image and internal link
(with its #fragment) resolves.  Standard library only: Chromium is driven over
its DevTools websocket.
Usage: check_pages.py HTML_DIR"""
import base64, glob, json, os, pathlib, shutil, socket, struct, subprocess, sys, tempfile
import time, urllib.parse, urllib.request

FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync"]
# Every image complete and decoded, every link and every element id of the page.
INSPECT = """JSON.stringify({
  images: [...document.images].filter(i => !i.complete || i.naturalWidth === 0).map(i => i.src),
  links: [...document.querySelectorAll('a[href], area[href]')].map(a => a.href),
  ids: [...document.querySelectorAll('[id], a[name]')].map(e => e.id || e.name)})"""


class WebSocket:
    """The client side of RFC 6455, text frames only, enough for DevTools."""

    def __init__(self, url):
        u = urllib.parse.urlparse(url)
        self.sock = socket.create_connection((u.hostname, u.port), timeout=60)
        key = base64.b64encode(os.urandom(16)).decode()
        self.sock.sendall(f"GET {u.path} HTTP/1.1\r\nHost: {u.netloc}\r\nUpgrade: websocket\r\n"
                          f"Connection: Upgrade\r\nSec-WebSocket-Key: {key}\r\n"
                          "Sec-WebSocket-Version: 13\r\n\r\n".encode())
        self.buffer = b""
        while b"\r\n\r\n" not in self.buffer:
            self.buffer += self.sock.recv(4096)
        head, self.buffer = self.buffer.split(b"\r\n\r\n", 1)
        if b" 101 " not in head.split(b"\r\n")[0]:
            raise RuntimeError("websocket refused: " + head.decode(errors="replace"))

    def send(self, text):
        data, mask = text.encode(), os.urandom(4)
        n = len(data)
        size = bytes([0x80 | n]) if n < 126 else struct.pack("!BH", 0xFE, n) \
            if n < 65536 else struct.pack("!BQ", 0xFF, n)
        self.sock.sendall(b"\x81" + size + mask + bytes(b ^ mask[i % 4] for i, b in enumerate(data)))

    def read(self, n):
        while len(self.buffer) < n:
            chunk = self.sock.recv(1 << 16)
            if not chunk:
                raise ConnectionError("DevTools closed the connection")
            self.buffer += chunk
        data, self.buffer = self.buffer[:n], self.buffer[n:]
        return data

    def receive(self):
        message = b""
        while True:
            first, second = self.read(2)
            n = second & 0x7F
            n = struct.unpack("!H", self.read(2))[0] if n == 126 else \
                struct.unpack("!Q", self.read(8))[0] if n == 127 else n
            payload, opcode = self.read(n), first & 0x0F
            if opcode == 8:
                raise ConnectionError("DevTools closed the connection")
            message += payload if opcode in (0, 1) else b""
            if first & 0x80 and opcode in (0, 1):
                return json.loads(message)


class Page:
    """One browser tab: commands, and the problems its events report."""

    def __init__(self, ws):
        self.ws, self.last_id, self.problems = ws, 0, []
        for domain in ("Page", "Runtime", "Log", "Network"):
            self.call(domain + ".enable")

    def note(self, event):
        method, p = event.get("method"), event.get("params", {})
        if method == "Runtime.exceptionThrown":
            details = p["exceptionDetails"]
            self.problems.append("exception: " + details.get("exception", {}).get(
                "description", details.get("text", "")))
        elif method == "Runtime.consoleAPICalled" and p["type"] in ("error", "assert"):
            self.problems.append("console: " + " ".join(str(a.get("value", a.get(
                "description", ""))) for a in p["args"]))
        elif method == "Log.entryAdded" and p["entry"]["level"] == "error":
            self.problems.append("log: %s %s" % (p["entry"]["text"], p["entry"].get("url", "")))
        elif method == "Network.loadingFailed" and not p.get("canceled"):
            self.problems.append("load failed: " + p["errorText"])
        return method

    def call(self, method, **params):
        self.last_id += 1
        self.ws.send(json.dumps({"id": self.last_id, "method": method, "params": params}))
        while True:
            message = self.ws.receive()
            if message.get("id") == self.last_id:
                if "error" in message:
                    raise RuntimeError(f"{method}: {message['error']}")
                return message.get("result", {})
            self.note(message)

    def open(self, url):
        self.problems = []
        self.call("Page.navigate", url=url)
        while self.note(self.ws.receive()) != "Page.loadEventFired":
            pass
        result = self.call("Runtime.evaluate", expression=INSPECT, returnByValue=True)
        return json.loads(result["result"]["value"])


def start_browser(profile):
    binary = shutil.which("chromium") or shutil.which("chromium-browser")
    browser = subprocess.Popen([binary, *FLAGS, f"--user-data-dir={profile}",
                                "--remote-debugging-port=0", "about:blank"],
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    port_file = os.path.join(profile, "DevToolsActivePort")
    for _ in range(300):
        if os.path.exists(port_file) and open(port_file).read().count("\n") >= 1:
            port = open(port_file).read().split("\n")[0]
            targets = json.load(urllib.request.urlopen(f"http://127.0.0.1:{port}/json/list"))
            page = next(t for t in targets if t["type"] == "page")
            return browser, Page(WebSocket(page["webSocketDebuggerUrl"]))
        time.sleep(0.1)
    browser.kill()
    raise RuntimeError("Chromium did not start")


def main(root):
    base = pathlib.Path(root).resolve().as_uri() + "/"
    profile = tempfile.mkdtemp(prefix="zar-docs-chromium-")
    browser, page = start_browser(profile)
    pages, failures = {}, {}
    try:
        for path in sorted(os.path.relpath(p, root) for p in glob.glob(f"{root}/**/*.html",
                                                                       recursive=True)):
            found = page.open(base + urllib.parse.quote(path))
            failures[path] = page.problems + ["image: " + src for src in found["images"]]
            pages[path] = found
    finally:
        browser.terminate()
        browser.wait()
        shutil.rmtree(profile, ignore_errors=True)
    for path, found in pages.items():
        for link in sorted(set(found["links"])):
            if not link.startswith(base):
                continue  # another site, or javascript:
            target, _, fragment = urllib.parse.unquote(link[len(base):]).partition("#")
            target = target or path
            if not os.path.isfile(os.path.join(root, target)):
                failures[path].append("link to a missing file: " + link)
            elif fragment and target in pages and fragment not in pages[target]["ids"]:
                failures[path].append("link to a missing anchor: " + link)
    for path, problems in failures.items():
        for problem in problems:
            print(f"{path}: {problem}")
    failed = sum(1 for problems in failures.values() if problems)
    print(f"pages: {len(failures) - failed} passed, {failed} failed")
    return 1 if failed or not failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else "build/docs/html"))
