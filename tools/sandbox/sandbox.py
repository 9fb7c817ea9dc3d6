#!/usr/bin/python3
"""The vendor's services on loopback, for tests and demos.

One aiohttp process; each service is a module under services/ with a
setup(app, state) function that adds its routes. The port is chosen by the
system and written to --port-file once the socket listens, so that starters
can wait for the file instead of guessing a free port.
"""
import argparse
import asyncio
import os
import signal
import ssl
import sys

from aiohttp import web

# No __pycache__ beside the sources in the repository.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from services import connectproxy, http, push, quote, stat, vendor, wstest  # noqa: E402

# Services on the aiohttp application: setup(app, state) adds their routes.
SERVICES = [wstest, http, quote, push, vendor, stat]


class State:
    """What the services share: the records tests read back."""

    def __init__(self):
        self.records = []
        # Open WebSocket connections of every service: closed with 1001 at
        # shutdown, which would otherwise wait for them.
        self.sockets = set()


async def close_sockets(app):
    for ws in list(app["state"].sockets):
        await ws.close(code=1001, message=b"sandbox stopping")


def build_app(state):
    app = web.Application()
    app["state"] = state
    app.on_shutdown.append(close_sockets)
    for service in SERVICES:
        service.setup(app, state)
    return app


def write_atomically(path, text):
    tmp = path + ".tmp"
    with open(tmp, "w", encoding="utf-8") as f:
        f.write(text)
    os.replace(tmp, path)


async def serve(args):
    app = build_app(State())
    runner = web.AppRunner(app)
    await runner.setup()
    site = web.TCPSite(runner, args.host, 0)
    await site.start()
    port = site._server.sockets[0].getsockname()[1]
    ports = {"port": port}

    if args.cert and args.key:
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(args.cert, args.key)
        tls_site = web.TCPSite(runner, args.host, 0, ssl_context=context)
        await tls_site.start()
        ports["tls_port"] = tls_site._server.sockets[0].getsockname()[1]

    proxy, ports["proxy_port"] = await connectproxy.start(app["state"], args.host)

    stop = asyncio.Event()
    loop = asyncio.get_running_loop()
    for sig in (signal.SIGTERM, signal.SIGINT):
        loop.add_signal_handler(sig, stop.set)

    # One "name=value" per line: port, proxy_port, and tls_port when TLS is on.
    write_atomically(args.port_file, "".join(f"{k}={v}\n" for k, v in ports.items()))
    print(f"sandbox listening on {args.host}: {ports}", flush=True)
    await stop.wait()
    proxy.close()
    await runner.cleanup()


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--port-file", required=True)
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--cert", help="PEM certificate: also serve TLS (wss://, https://)")
    parser.add_argument("--key", help="PEM private key of --cert")
    args = parser.parse_args()
    asyncio.run(serve(args))


if __name__ == "__main__":
    main()
