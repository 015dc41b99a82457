#!/usr/bin/env python3
"""Opens every page of the built documentation in headless Chromium and checks
that it loads without a console error and that every image and internal link
(with its #fragment) resolves.  Standard library only: Chromium is driven over
its DevTools pipe.
Usage: check_pages.py HTML_DIR"""
import glob, json, os, pathlib, select, shutil, subprocess, sys, tempfile, urllib.parse

FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync"]
# Every image complete and decoded, every link and every element id of the page.
INSPECT = """JSON.stringify({
  images: [...document.images].filter(i => !i.complete || i.naturalWidth === 0).map(i => i.src),
  links: [...document.querySelectorAll('a[href], area[href]')].map(a => a.href),
  ids: [...document.querySelectorAll('[id], a[name]')].map(e => e.id || e.name)})"""


class Pipe:
    """Chromium's --remote-debugging-pipe: JSON messages ending in a NUL byte,
    ours on its descriptor 3, its own on descriptor 4."""

    def __init__(self, command):
        to_browser, self.writer = os.pipe()
        self.reader, from_browser = os.pipe()
        self.browser = subprocess.Popen(
            command, close_fds=False, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            preexec_fn=lambda: [os.dup2(to_browser, 3), os.dup2(from_browser, 4),
                                os.set_inheritable(3, True), os.set_inheritable(4, True)])
        os.close(to_browser)
        os.close(from_browser)
        self.buffer = b""

    def send(self, message):
        os.write(self.writer, json.dumps(message).encode() + b"\0")

    def receive(self):
        while b"\0" not in self.buffer:
            if not select.select([self.reader], [], [], 60)[0]:
                raise TimeoutError("Chromium said nothing for a minute")
            chunk = os.read(self.reader, 1 << 16)
            if not chunk:
                raise ConnectionError("Chromium closed its pipe")
            self.buffer += chunk
        message, self.buffer = self.buffer.split(b"\0", 1)
        return json.loads(message)


class Page:
    """One browser tab: commands, and the problems its events report."""

    def __init__(self, pipe):
        self.pipe, self.last_id, self.problems, self.session = pipe, 0, [], None
        target = self.call("Target.createTarget", url="about:blank")["targetId"]
        self.session = self.call("Target.attachToTarget", targetId=target,
                                 flatten=True)["sessionId"]
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
        message = {"id": self.last_id, "method": method, "params": params}
        self.pipe.send(dict(message, sessionId=self.session) if self.session else message)
        while True:
            message = self.pipe.receive()
            if message.get("id") == self.last_id:
                if "error" in message:
                    raise RuntimeError(f"{method}: {message['error']}")
                return message.get("result", {})
            self.note(message)

    def open(self, url):
        self.problems = []
        self.call("Page.navigate", url=url)
        while self.note(self.pipe.receive()) != "Page.loadEventFired":
            pass
        result = self.call("Runtime.evaluate", expression=INSPECT, returnByValue=True)
        return json.loads(result["result"]["value"])


def main(root):
    base = pathlib.Path(root).resolve().as_uri() + "/"
    profile = tempfile.mkdtemp(prefix="zar-docs-chromium-")
    binary = shutil.which("chromium") or shutil.which("chromium-browser")
    pipe = Pipe([binary, *FLAGS, f"--user-data-dir={profile}", "--remote-debugging-pipe"])
    pages, failures = {}, {}
    try:
        page = Page(pipe)
        for path in sorted(os.path.relpath(p, root) for p in glob.glob(f"{root}/**/*.html",
                                                                       recursive=True)):
            found = page.open(base + urllib.parse.quote(path))
            failures[path] = page.problems + ["image: " + src for src in found["images"]]
            pages[path] = found
    finally:
        pipe.browser.terminate()
        pipe.browser.wait()
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
