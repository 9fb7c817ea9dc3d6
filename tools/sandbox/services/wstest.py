"""/ws/test: a WebSocket endpoint that does on request what a real service
may do, so that the client's frame handling can be checked end to end.

Text messages starting with "!" are commands, anything else is echoed:
  !fragment N TEXT  TEXT as N fragments, a ping between the first two
  !binary TEXT      TEXT's bytes as one binary frame
  !big N            one text message of N bytes "x"
  !ping PAYLOAD     a ping; the client's pong is counted
  !pongs            answers "pongs COUNT LASTPAYLOAD"
  !close CODE       a close frame with CODE
  !drop             ends the TCP connection without a close frame
  !bad              a frame with a reserved opcode
"""
import struct

from aiohttp import WSMsgType, web

OP_CONT, OP_TEXT, OP_BINARY, OP_PING = 0x0, 0x1, 0x2, 0x9


def raw_frame(opcode, payload, fin=True):
    """A server frame (unmasked), for what aiohttp's writer cannot send."""
    head = bytes([(0x80 if fin else 0) | opcode])
    n = len(payload)
    if n < 126:
        head += bytes([n])
    elif n < 1 << 16:
        head += bytes([126]) + struct.pack("!H", n)
    else:
        head += bytes([127]) + struct.pack("!Q", n)
    return head + payload


def split(data, parts):
    parts = max(1, min(parts, len(data) or 1))
    size = -(-len(data) // parts) if data else 0
    return [data[i * size:(i + 1) * size] for i in range(parts)]


async def handle(request, state):
    ws = web.WebSocketResponse(autoping=False, max_msg_size=0)
    await ws.prepare(request)
    state.sockets.add(ws)
    try:
        await serve(ws, request.transport)
    finally:
        state.sockets.discard(ws)
    return ws


async def serve(ws, transport):
    pongs = []
    async for msg in ws:
        if msg.type == WSMsgType.PING:
            await ws.pong(msg.data)
            continue
        if msg.type == WSMsgType.PONG:
            pongs.append(msg.data)
            continue
        if msg.type == WSMsgType.BINARY:
            await ws.send_bytes(msg.data)
            continue
        if msg.type != WSMsgType.TEXT:
            break
        text = msg.data
        if not text.startswith("!"):
            await ws.send_str(text)
            continue
        command, _, arg = text[1:].partition(" ")
        if command == "fragment":
            count, _, body = arg.partition(" ")
            pieces = split(body.encode(), int(count))
            for i, piece in enumerate(pieces):
                opcode = OP_TEXT if i == 0 else OP_CONT
                transport.write(raw_frame(opcode, piece, fin=i == len(pieces) - 1))
                if i == 0 and len(pieces) > 1:
                    transport.write(raw_frame(OP_PING, b"between"))
        elif command == "binary":
            await ws.send_bytes(arg.encode())
        elif command == "big":
            await ws.send_str("x" * int(arg))
        elif command == "ping":
            await ws.ping(arg.encode())
        elif command == "pongs":
            last = pongs[-1].decode(errors="replace") if pongs else ""
            await ws.send_str(f"pongs {len(pongs)} {last}")
        elif command == "close":
            await ws.close(code=int(arg or 1000))
            break
        elif command == "drop":
            transport.abort()
            break
        elif command == "bad":
            transport.write(raw_frame(0x3, b"reserved"))
        else:
            await ws.send_str(f"unknown command {command}")


def setup(app, state):
    async def handle_test(request):
        return await handle(request, state)

    app.router.add_get("/ws/test", handle_test)
