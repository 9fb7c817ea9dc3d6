"""An HTTP proxy that only tunnels (CONNECT), with Basic authentication, so
that clients' proxy settings can be tested without a system proxy.

Every tunnel it opens is recorded as ("proxy", "host:port") in state.records.
"""
import asyncio
import base64

USER = "veltray-proxy"
PASSWORD = "pr0xy:secret"


async def _pipe(reader, writer):
    try:
        while data := await reader.read(65536):
            writer.write(data)
            await writer.drain()
    except (ConnectionError, asyncio.CancelledError):
        pass
    finally:
        writer.close()


async def _client(state, reader, writer):
    try:
        head = await asyncio.wait_for(reader.readuntil(b"\r\n\r\n"), 10)
    except (asyncio.IncompleteReadError, asyncio.LimitOverrunError, asyncio.TimeoutError):
        writer.close()
        return
    lines = head.decode("latin-1").split("\r\n")
    method, _, rest = lines[0].partition(" ")
    target = rest.partition(" ")[0]
    headers = {}
    for line in lines[1:]:
        name, _, value = line.partition(":")
        headers[name.strip().lower()] = value.strip()

    expected = "Basic " + base64.b64encode(f"{USER}:{PASSWORD}".encode()).decode()
    if method != "CONNECT":
        writer.write(b"HTTP/1.1 405 Method Not Allowed\r\nContent-Length: 0\r\n\r\n")
    elif headers.get("proxy-authorization") != expected:
        writer.write(b"HTTP/1.1 407 Proxy Authentication Required\r\n"
                     b"Proxy-Authenticate: Basic realm=\"sandbox\"\r\nContent-Length: 0\r\n\r\n")
    else:
        host, _, port = target.rpartition(":")
        try:
            up_reader, up_writer = await asyncio.open_connection(host, int(port))
        except (OSError, ValueError):
            writer.write(b"HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\n\r\n")
        else:
            state.records.append(("proxy", target))
            writer.write(b"HTTP/1.1 200 Connection established\r\n\r\n")
            await writer.drain()
            await asyncio.gather(_pipe(reader, up_writer), _pipe(up_reader, writer))
            return
    await writer.drain()
    writer.close()


async def start(state, host):
    """Listens on a free port; returns the server and the port."""
    server = await asyncio.start_server(lambda r, w: _client(state, r, w), host, 0)
    return server, server.sockets[0].getsockname()[1]
