#!/usr/bin/env python3
"""kelvara's HTTP server under hostile clients, on loopback (not part of CI).

    bench/http-hostile.py [BIN_DIR]

Starts a headless kelvara serving on a free port and measures:
  1. one client streaming header lines for 8 s, then one streaming a chunked POST body for
     8 s, each reconnecting whenever it is cut off: kelvara's RSS growth (goal < 32 MB);
  2. 300 clients dripping one byte of their heads every 2 s for 20 s (reconnecting when cut
     off) while a probe asks for /metrics every 0.25 s: the probe's slowest answer (goal < 1 s);
  3. 5 requests pipelined on one connection: the answers (goal 5, in order);
  4. a second monitor (its own settings and instance folders) told to serve the same port:
     refused, with the reason in its event log, while the first goes on serving;
  5. `kelvara -close` with 200 slow clients connected: time until the process has ended
     (goal < 5 s).
"""
import os
import re
import socket
import subprocess
import sys
import tempfile
import threading
import time

BIN = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build/bin")


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Monitor:
    """A headless kelvara with folders of its own."""

    def __init__(self, root, port):
        self.data = os.path.join(root, "data")
        self.run = os.path.join(root, "run")
        settings = os.path.join(self.data, "kelvara")
        os.makedirs(settings, mode=0o700)
        os.makedirs(self.run, mode=0o700)
        with open(os.path.join(settings, "KVClient.ini"), "w") as f:
            f.write(f"[Misc]\nLocalPath={root}/\nReadTemp=5000\n[Debug]\nDebug=1\n")
        with open(os.path.join(settings, "KVDisplay.ini"), "w") as f:
            f.write(f"[Misc]\nHTTPServerActive=1\nHTTPServerPort={port}\n")
        self.log = os.path.join(settings, "KVEvents.txt")
        self.env = dict(os.environ, XDG_DATA_HOME=self.data, XDG_RUNTIME_DIR=self.run, QT_QPA_PLATFORM="offscreen")
        self.process = subprocess.Popen([os.path.join(BIN, "kelvara"), "-headless"], env=self.env,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def rss_kib(self):
        with open(f"/proc/{self.process.pid}/status") as f:
            for line in f:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
        return 0

    def events(self):
        try:
            with open(self.log, errors="replace") as f:
                return f.read()
        except OSError:
            return ""

    def close(self):
        subprocess.run([os.path.join(BIN, "kelvara"), "-close"], env=self.env, timeout=30)


def get(port, path, timeout=5.0):
    with socket.create_connection(("127.0.0.1", port), timeout=timeout) as s:
        s.sendall(f"GET {path} HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n".encode())
        data = b""
        while True:
            chunk = s.recv(65536)
            if not chunk:
                return data
            data += chunk


def wait_serving(port):
    for _ in range(200):
        try:
            if get(port, "/metrics").startswith(b"HTTP/1.1 200"):
                return
        except OSError:
            pass
        time.sleep(0.1)
    raise SystemExit(f"nothing answers on port {port}")


def stream(port, head, piece, seconds):
    """Sends head, then piece again and again; reconnects whenever the server hangs up."""
    end = time.monotonic() + seconds
    cut = 0
    while time.monotonic() < end:
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=1) as s:
                s.sendall(head)
                while time.monotonic() < end:
                    s.sendall(piece)
        except OSError:
            cut += 1
    return cut


def peak_rss_while(monitor, work):
    peak = [monitor.rss_kib()]
    done = threading.Event()

    def sample():
        while not done.is_set():
            peak[0] = max(peak[0], monitor.rss_kib())
            time.sleep(0.02)

    sampler = threading.Thread(target=sample)
    sampler.start()
    result = work()
    done.set()
    sampler.join()
    return peak[0], result


class Drippers:
    """count connections each sending one byte of an endless head every period seconds."""

    HEAD = b"GET /metrics HTTP/1.1\r\nHost: x\r\nX-Drip: "

    def __init__(self, port, count, period):
        self.port, self.period = port, period
        self.sockets = [self.connect() for _ in range(count)]
        self.reconnects = 0
        self.stop = threading.Event()
        self.thread = threading.Thread(target=self.drip)
        self.thread.start()

    def connect(self):
        s = socket.create_connection(("127.0.0.1", self.port), timeout=1)
        s.sendall(self.HEAD)
        return s

    def drip(self):
        while not self.stop.wait(self.period):
            for i, s in enumerate(self.sockets):
                try:
                    s.sendall(b"a")
                except OSError:
                    s.close()
                    self.reconnects += 1
                    try:
                        self.sockets[i] = self.connect()
                    except OSError:
                        pass

    def end(self):
        self.stop.set()
        self.thread.join()
        for s in self.sockets:
            s.close()


def main():
    root = tempfile.mkdtemp()
    port = free_port()
    first = Monitor(os.path.join(root, "first"), port)
    wait_serving(port)
    time.sleep(1)
    results = []

    base = first.rss_kib()
    filler = b"X-Filler: " + b"a" * 50 + b"\r\n"
    peak, cuts = peak_rss_while(first, lambda: stream(port, b"GET / HTTP/1.1\r\nHost: x\r\n", filler, 8))
    results.append(("header stream 8 s: RSS growth", f"{(peak - base) / 1024:.1f} MB ({cuts} cut-offs)", peak - base < 32 * 1024))
    base = first.rss_kib()
    chunk = b"400\r\n" + b"b" * 1024 + b"\r\n"
    head = b"POST / HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n"
    peak, cuts = peak_rss_while(first, lambda: stream(port, head, chunk, 8))
    results.append(("chunked body 8 s: RSS growth", f"{(peak - base) / 1024:.1f} MB ({cuts} cut-offs)", peak - base < 32 * 1024))

    drippers = Drippers(port, 300, 2.0)
    worst, failures, end = 0.0, 0, time.monotonic() + 20
    while time.monotonic() < end:
        asked = time.monotonic()
        try:
            if not get(port, "/metrics").startswith(b"HTTP/1.1 200"):
                failures += 1
        except OSError:
            failures += 1
        worst = max(worst, time.monotonic() - asked)
        time.sleep(0.25)
    drippers.end()
    results.append(("300 drippers 20 s: slowest probe", f"{worst * 1000:.0f} ms, {failures} failed, "
                    f"{drippers.reconnects} drippers cut off", worst < 1 and failures == 0))

    with socket.create_connection(("127.0.0.1", port), timeout=2) as s:
        s.sendall(b"".join(f"GET /{p} HTTP/1.1\r\nHost: x\r\n\r\n".encode()
                           for p in ("metrics", "api/v1/readings", "metrics", "nothing", "metrics")))
        data, end = b"", time.monotonic() + 2
        while data.count(b"HTTP/1.1 ") < 5 and time.monotonic() < end:
            try:
                data += s.recv(65536)
            except socket.timeout:
                break
    statuses = [m.decode() for m in re.findall(rb"HTTP/1\.1 (\d{3}) ", data)]
    results.append(("5 pipelined requests", " ".join(statuses), statuses == ["200", "200", "200", "404", "200"]))

    second = Monitor(os.path.join(root, "second"), port)
    time.sleep(3)
    refused = f"cannot listen on port {port}: the port is in use" in second.events()
    still = get(port, "/metrics").startswith(b"HTTP/1.1 200")
    results.append(("second monitor on the same port", "refused and logged" if refused else "NOT refused",
                    refused and still))
    second.close()
    second.process.wait(timeout=20)

    slow = Drippers(port, 200, 0.5)
    time.sleep(1)
    asked = time.monotonic()
    first.close()
    try:
        first.process.wait(timeout=30)
        took = time.monotonic() - asked
    except subprocess.TimeoutExpired:
        first.process.kill()
        took = float("inf")
    slow.end()
    results.append(("-close with 200 slow clients", f"ended after {took:.2f} s", took < 5))

    width = max(len(r[0]) for r in results)
    for name, value, ok in results:
        print(f"{name:<{width}}  {value:<40} {'ok' if ok else 'MISSED'}")
    subprocess.run(["rm", "-rf", root])
    return 0 if all(r[2] for r in results) else 1


if __name__ == "__main__":
    sys.exit(main())
