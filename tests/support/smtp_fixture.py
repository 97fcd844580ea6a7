#!/usr/bin/python3
"""A mail server on loopback for the mail tests (aiosmtpd, Debian's python3-aiosmtpd).

  smtp_fixture.py MODE [--port N] [--cert DIR] [--auth USER:PASSWORD]

MODE is plain, starttls (the server insists on STARTTLS before anything else) or implicit
(TLS from the first byte); DIR holds server.pem and server.key. With --auth every mail needs
that login. The port goes to stdout first, then one JSON object per mail received: from, to,
the decoded subject and text, the attachments as [name, type, size], and the login used.
"""
import argparse
import asyncio
import email
import email.policy
import json
import os
import ssl
import sys

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword


class Handler:
    async def handle_DATA(self, server, session, envelope):
        message = email.message_from_bytes(envelope.original_content or envelope.content,
                                           policy=email.policy.default)
        body = message.get_body(preferencelist=("plain",))
        attachments = [[part.get_filename(), part.get_content_type(), len(part.get_content())]
                       for part in message.iter_attachments()]
        login = session.auth_data.login.decode() if isinstance(session.auth_data, LoginPassword) else None
        print(json.dumps({"from": envelope.mail_from, "to": envelope.rcpt_tos,
                          "header_to": str(message["To"]), "subject": str(message["Subject"]),
                          "text": body.get_content() if body else "", "attachments": attachments,
                          "login": login}), flush=True)
        return "250 OK"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("mode", choices=["plain", "starttls", "implicit"])
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--cert")
    parser.add_argument("--auth")
    args = parser.parse_args()

    context = None
    if args.mode != "plain":
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(os.path.join(args.cert, "server.pem"), os.path.join(args.cert, "server.key"))

    def authenticator(server, session, envelope, mechanism, auth_data):
        user, password = args.auth.split(":", 1)
        ok = isinstance(auth_data, LoginPassword) and auth_data.login.decode() == user \
            and auth_data.password.decode() == password
        return AuthResult(success=ok, handled=False, auth_data=auth_data if ok else None)

    def protocol():
        return SMTP(Handler(), hostname="kvtest", ident="kvtest",
                    tls_context=context if args.mode == "starttls" else None,
                    require_starttls=args.mode == "starttls",
                    authenticator=authenticator if args.auth else None,
                    auth_required=bool(args.auth), auth_require_tls=False)

    loop = asyncio.new_event_loop()
    asyncio.set_event_loop(loop)
    server = loop.run_until_complete(loop.create_server(
        protocol, "127.0.0.1", args.port, ssl=context if args.mode == "implicit" else None))
    print(server.sockets[0].getsockname()[1], flush=True)
    try:
        loop.run_forever()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    sys.exit(main())
