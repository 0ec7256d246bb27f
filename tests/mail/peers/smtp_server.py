#!/usr/bin/python3
"""A real SMTP server for the tests: aiosmtpd on 127.0.0.1 with AUTH LOGIN.

Usage: smtp_server.py OUTDIR USER PASSWORD [PORT]

Listens on PORT, or on a port the system picks when none is given, and prints "PORT <n>" on a line of its own once it accepts
connections. AUTH is offered without TLS and succeeds only for USER and PASSWORD. Every message
is stored as OUTDIR/msg-<n>.eml (the DATA as received, dot-stuffing removed) with
OUTDIR/msg-<n>.env beside it (lines: "from <address>", "to <address>", "auth <user>"). Every
session appends a line to OUTDIR/sessions.log. Ends when its standard input closes or on SIGTERM.
"""
import asyncio
import os
import signal
import sys

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword

out, user, password = sys.argv[1], sys.argv[2].encode(), sys.argv[3].encode()
listen_port = int(sys.argv[4]) if len(sys.argv) > 4 else 0
count = 0


class Handler:
    async def handle_DATA(self, server, session, envelope):
        global count
        count += 1
        base = os.path.join(out, "msg-%d" % count)
        with open(base + ".eml", "wb") as f:
            f.write(envelope.original_content)
        with open(base + ".env", "w", encoding="utf-8") as f:
            f.write("from %s\n" % envelope.mail_from)
            for rcpt in envelope.rcpt_tos:
                f.write("to %s\n" % rcpt)
            login = session.auth_data.login.decode() if isinstance(session.auth_data, LoginPassword) else ""
            f.write("auth %s\n" % login)
        return "250 Message accepted for delivery"


def authenticator(server, session, envelope, mechanism, auth_data):
    ok = isinstance(auth_data, LoginPassword) and auth_data.login == user and auth_data.password == password
    return AuthResult(success=ok, handled=False, auth_data=auth_data)


class LoggingSMTP(SMTP):
    def connection_made(self, transport):
        with open(os.path.join(out, "sessions.log"), "a") as f:
            f.write("session\n")
        super().connection_made(transport)


async def main():
    loop = asyncio.get_running_loop()
    server = await loop.create_server(
        lambda: LoggingSMTP(Handler(), authenticator=authenticator, auth_require_tls=False,
                            hostname="aiosmtpd.test"),
        host="127.0.0.1", port=listen_port)
    print("PORT %d" % server.sockets[0].getsockname()[1], flush=True)
    done = asyncio.Event()
    loop.add_signal_handler(signal.SIGTERM, done.set)
    loop.add_reader(sys.stdin.fileno(), lambda: done.set() if not os.read(sys.stdin.fileno(), 4096) else None)
    await done.wait()
    server.close()
    await server.wait_closed()


asyncio.run(main())
