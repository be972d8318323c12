#!/usr/bin/env python3
"""A local SMTP server for the tests: on 127.0.0.1 only, one port with
STARTTLS and one with implicit TLS, sharing a test certificate.

It accepts the login USER / PASSWORD only, refuses the recipient
REFUSED_RECIPIENT, and stores each message received as <n>.eml (the data as
received) beside <n>.env (envelope sender, recipients, the login used) in
the folder given. Its two ports go to PORTS_FILE once it listens.

usage: smtp_server.py DIR CERT KEY PORTS_FILE
"""
import os
import signal
import socket
import ssl
import sys
import threading

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult, LoginPassword

USER = b"quorvel"
PASSWORD = b"segreta-di-prova"
REFUSED_RECIPIENT = "rifiutato@example.com"


class Store:
    def __init__(self, folder):
        self.folder = folder
        self.lock = threading.Lock()
        self.count = 0

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address.lower() == REFUSED_RECIPIENT:
            return "550 5.1.1 Destinatario sconosciuto"
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        with self.lock:
            self.count += 1
            n = self.count
        base = os.path.join(self.folder, str(n))
        data = session.auth_data
        login = data.login.decode() if session.authenticated and data is not None else ""
        with open(base + ".eml.tmp", "wb") as f:
            f.write(envelope.original_content or envelope.content)
        with open(base + ".env", "w") as f:
            f.write("%s\n%s\n%s\n" % (envelope.mail_from, ",".join(envelope.rcpt_tos), login))
        os.rename(base + ".eml.tmp", base + ".eml")
        return "250 2.0.0 Messaggio accettato"


def authenticate(server, session, envelope, mechanism, auth_data):
    ok = isinstance(auth_data, LoginPassword) and \
        auth_data.login == USER and auth_data.password == PASSWORD
    return AuthResult(success=ok, handled=False, auth_data=auth_data if ok else None)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def main():
    folder, cert, key, ports_file = sys.argv[1:5]
    ctx = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    ctx.load_cert_chain(cert, key)
    store = Store(folder)
    common = dict(hostname="127.0.0.1", authenticator=authenticate, auth_required=False)
    # The login only after STARTTLS on the first port; the second is TLS throughout.
    starttls = Controller(store, port=free_port(), tls_context=ctx, auth_require_tls=True,
                          **common)
    implicit = Controller(store, port=free_port(), ssl_context=ctx, auth_require_tls=False,
                          **common)
    starttls.start()
    implicit.start()
    with open(ports_file + ".tmp", "w") as f:
        f.write("%d %d\n" % (starttls.port, implicit.port))
    os.rename(ports_file + ".tmp", ports_file)
    stop = threading.Event()
    for sig in (signal.SIGTERM, signal.SIGINT):
        signal.signal(sig, lambda *_: stop.set())
    stop.wait()
    starttls.stop()
    implicit.stop()


if __name__ == "__main__":
    main()
