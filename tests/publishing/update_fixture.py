#!/usr/bin/python3
"""Loopback peers for the update tests. Each prints its port on the first line of stdout.

  update_fixture.py pki DIR                  a test CA (ca.pem) and a 127.0.0.1 server
                                             certificate it signed (server.pem, server.key)
  update_fixture.py https DIR ROOT LOG       HTTPS server with DIR's certificate
  update_fixture.py http ROOT LOG            plain HTTP server
  update_fixture.py proxy USER PASS LOG      HTTP CONNECT proxy with basic authentication

The servers answer GET "/download.php?f=NAME" with ROOT/NAME and any other path with the file
below ROOT; a line "PATH LOCATION" in ROOT/redirects answers PATH with a 302 to LOCATION. Every
request is appended to LOG as "PATH<TAB>USER-AGENT"; the proxy logs "CONNECT HOST:PORT".
Only loopback addresses are served or tunnelled to.
"""
import base64
import http.server
import os
import select
import socket
import ssl
import subprocess
import sys
import threading
import urllib.parse


def log(path, line):
    with open(path, "a") as f:
        f.write(line + "\n")


def pki(folder):
    def run(*args):
        subprocess.run(["openssl", *args], check=True, capture_output=True)
    ca_key, ca = os.path.join(folder, "ca.key"), os.path.join(folder, "ca.pem")
    key, csr = os.path.join(folder, "server.key"), os.path.join(folder, "server.csr")
    cert, ext = os.path.join(folder, "server.pem"), os.path.join(folder, "server.ext")
    run("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", ca_key, "-out", ca,
        "-days", "2", "-subj", "/CN=Kelvara test CA")
    run("req", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", csr, "-subj", "/CN=127.0.0.1")
    with open(ext, "w") as f:
        f.write("subjectAltName=IP:127.0.0.1,DNS:localhost\nbasicConstraints=CA:FALSE\n")
    run("x509", "-req", "-in", csr, "-CA", ca, "-CAkey", ca_key, "-CAcreateserial", "-out", cert,
        "-days", "2", "-extfile", ext)
    print(0, flush=True)


def make_handler(root, logfile):
    class Handler(http.server.BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def log_message(self, *args):
            pass

        def do_GET(self):
            log(logfile, self.path + "\t" + self.headers.get("User-Agent", ""))
            redirects = os.path.join(root, "redirects")
            if os.path.exists(redirects):
                for line in open(redirects):
                    parts = line.split()
                    if len(parts) == 2 and parts[0] == self.path:
                        self.send_response(302)
                        self.send_header("Location", parts[1])
                        self.send_header("Content-Length", "0")
                        self.end_headers()
                        return
            url = urllib.parse.urlsplit(self.path)
            query = urllib.parse.parse_qs(url.query)
            name = query["f"][0] if url.path == "/download.php" and "f" in query else url.path
            target = os.path.realpath(os.path.join(root, name.lstrip("/")))
            if not target.startswith(os.path.realpath(root) + os.sep) or not os.path.isfile(target):
                body = b"<html>not found</html>"
                self.send_response(404)
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)
                return
            with open(target, "rb") as f:
                body = f.read()
            self.send_response(200)
            self.send_header("Content-Type", "application/octet-stream")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)
    return Handler


def serve(root, logfile, context=None):
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), make_handler(root, logfile))
    server.daemon_threads = True
    if context:
        server.socket = context.wrap_socket(server.socket, server_side=True)
    print(server.server_address[1], flush=True)
    server.serve_forever()


def proxy(user, password, logfile):
    expected = "Basic " + base64.b64encode(f"{user}:{password}".encode()).decode()

    class Handler(http.server.BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def log_message(self, *args):
            pass

        def refuse(self, code, extra=()):
            self.send_response(code)
            for name, value in extra:
                self.send_header(name, value)
            self.send_header("Content-Length", "0")
            self.end_headers()

        def do_CONNECT(self):
            if self.headers.get("Proxy-Authorization") != expected:
                log(logfile, "REFUSED " + self.path)
                self.refuse(407, [("Proxy-Authenticate", 'Basic realm="kv"')])
                return
            host, _, port = self.path.rpartition(":")
            if host not in ("127.0.0.1", "localhost"):
                self.refuse(403)
                return
            log(logfile, "CONNECT " + self.path)
            upstream = socket.create_connection((host, int(port)), timeout=10)
            self.send_response(200, "Connection established")
            self.end_headers()
            self.wfile.flush()
            sockets = [self.connection, upstream]
            while True:
                ready, _, _ = select.select(sockets, [], [], 20)
                if not ready:
                    break
                for s in ready:
                    data = s.recv(65536)
                    if not data:
                        upstream.close()
                        return
                    (upstream if s is self.connection else self.connection).sendall(data)
            upstream.close()
        do_GET = lambda self: self.refuse(405)

    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    print(server.server_address[1], flush=True)
    server.serve_forever()


def main():
    mode = sys.argv[1]
    if mode == "pki":
        pki(sys.argv[2])
    elif mode == "https":
        folder, root, logfile = sys.argv[2:5]
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(os.path.join(folder, "server.pem"), os.path.join(folder, "server.key"))
        serve(root, logfile, context)
    elif mode == "http":
        serve(sys.argv[2], sys.argv[3])
    elif mode == "proxy":
        proxy(*sys.argv[2:5])
    else:
        sys.exit("unknown mode " + mode)


if __name__ == "__main__":
    main()
