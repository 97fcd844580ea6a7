"""Loopback peers for the upload tests.

server ROOT USER PASSWORD [--tls [--implicit]] [--readonly] [--echo] [--throttle BYTES_PER_S]
    pyftpdlib on 127.0.0.1, any free port; prints the port on the first line.
proxy TARGET_PORT PROXY_USER PROXY_PASSWORD LOG
    an FTP proxy that accepts the conventional login sequences, writes every line it got
    before relaying into LOG, then relays the control connection to 127.0.0.1:TARGET_PORT.
"""
import socket
import sys
import threading


def serve(args):
    from pyftpdlib.authorizers import DummyAuthorizer
    from pyftpdlib.servers import FTPServer
    from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
    root, user, password = args[0], args[1], args[2]
    opts = args[3:]
    perm = "elr" if "--readonly" in opts else "elradfmwMT"
    msg = "Welcome " + password if "--echo" in opts else "Login successful."
    auth = DummyAuthorizer()
    auth.add_user(user, password, root, perm=perm, msg_login=msg)
    handler = FTPHandler
    if "--tls" in opts:
        from pyftpdlib.handlers import TLS_FTPHandler
        handler = TLS_FTPHandler
        # Clients resume the control connection's session on the data connection, which
        # needs a session id context the library's own context lacks.
        from OpenSSL import SSL
        cert = root + "/../cert.pem"
        ctx = SSL.Context(SSL.TLS_SERVER_METHOD)
        ctx.use_certificate_chain_file(cert)
        ctx.use_privatekey_file(cert)
        ctx.set_session_id(b"kelvara-tests")
        handler.ssl_context = ctx

        # libcurl starts the data connection's handshake before it sends STOR; this server
        # would take the early bytes for a closed connection.
        from pyftpdlib.handlers import TLS_DTPHandler

        class DTP(TLS_DTPHandler):
            def readable(self):
                return self._ssl_accepting or super().readable()

        handler.dtp_handler = DTP

        if "--implicit" in opts:
            base = handler

            class Implicit(base):  # TLS from the first byte, before the greeting
                def handle(self):
                    self.secure_connection(self.ssl_context)
                    super().handle()

            handler = Implicit
    if "--throttle" in opts:
        dtp = ThrottledDTPHandler
        dtp.read_limit = int(opts[opts.index("--throttle") + 1])
        handler.dtp_handler = dtp
    handler.authorizer = auth
    handler.passive_ports = None
    server = FTPServer(("127.0.0.1", 0), handler)
    print(server.socket.getsockname()[1], flush=True)
    server.serve_forever()


def proxy(args):
    target, puser, ppass, logpath = int(args[0]), args[1], args[2], args[3]
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen(4)
    print(listener.getsockname()[1], flush=True)
    class log:  # opened for every line: the test removes the file between sessions
        @staticmethod
        def write(text):
            with open(logpath, "a") as f:
                f.write(text)

        @staticmethod
        def flush():
            pass

    def relay(a, b):
        try:
            while True:
                data = a.recv(65536)
                if not data:
                    break
                b.sendall(data)
        except OSError:
            pass
        for s in (a, b):
            try:
                s.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass

    def session(client):
        f = client.makefile("rb")
        def reply(text):
            client.sendall((text + "\r\n").encode())
        def upstream():
            s = socket.create_connection(("127.0.0.1", target))
            g = s.makefile("rb")
            greeting = g.readline()
            return s, g, greeting
        def ask(s, g, line):
            s.sendall((line + "\r\n").encode())
            return g.readline().decode().rstrip("\r\n")
        reply("220 proxy ready")
        proxy_ok = False
        while True:
            line = f.readline().decode().rstrip("\r\n")
            if not line:
                return
            log.write(line + "\n")
            log.flush()
            verb, _, rest = line.partition(" ")
            if verb == "USER" and rest == puser:
                reply("331 proxy password")
            elif verb == "PASS" and rest == ppass:
                proxy_ok = True
                reply("230 proxy login ok")
            elif verb in ("SITE", "OPEN") and proxy_ok and rest.endswith(":%d" % target):
                s, g, greeting = upstream()
                client.sendall(greeting)
                break
            elif verb == "USER" and rest.count("@") == 2:  # user@proxyuser@site
                u, pu, site = rest.split("@")
                if pu != puser or not site.endswith(":%d" % target):
                    reply("530 bad proxy user")
                    return
                s, g, _ = upstream()
                reply(ask(s, g, "USER " + u))
                pw = f.readline().decode().rstrip("\r\n")
                log.write(pw + "\n")
                log.flush()
                p, _, pp = pw.partition(" ")[2].rpartition("@")
                if pp != ppass:
                    reply("530 bad proxy password")
                    return
                reply(ask(s, g, "PASS " + p))
                break
            elif verb == "USER" and rest.count("@") == 1:  # user@site
                u, site = rest.split("@")
                if not site.endswith(":%d" % target):
                    reply("530 unknown site")
                    return
                s, g, _ = upstream()
                reply(ask(s, g, "USER " + u))
                break
            elif verb == "USER" and proxy_ok:  # transparent: the proxy knows the site
                s, g, _ = upstream()
                reply(ask(s, g, "USER " + rest))
                break
            else:
                reply("530 unexpected " + verb)
                return
        threading.Thread(target=relay, args=(s, client), daemon=True).start()
        relay(client, s)

    while True:
        c, _ = listener.accept()
        threading.Thread(target=session, args=(c,), daemon=True).start()


if __name__ == "__main__":
    {"server": serve, "proxy": proxy}[sys.argv[1]](sys.argv[2:])
