"""/http/...: the vendor's plain HTTP services, as far as the client's
request building and signing can be checked against them.

  /http/echo            any method: answers what arrived (JSON)
  /http/signed/STYLE    the same, after checking the signature of signing
                        style STYLE (1, 2, 3, 4) the way the vendor does;
                        401 with the expected signature when it is wrong
  /http/file?size=N     N bytes of a fixed pattern (downloads)
  /http/status/CODE     answers CODE with a short body
  /http/records         every request and proxy tunnel so far (JSON list),
                        newest last

The signing secrets are configuration["urldata"]["sign"] and ["signv1"] of
the client; the sandbox's are SECRETS.
"""
import hashlib
import json
from urllib.parse import parse_qsl

from aiohttp import web

SECRETS = {"sign": "sandbox-sign", "signv1": "sandbox-signv1"}


def pattern(size):
    return bytes((i * 7 + 3) % 251 for i in range(size))


def raw_query(request):
    """The query as sent: aiohttp's query_string is already decoded."""
    return request.raw_path.partition("?")[2]


def signed_values(request, body):
    """The parameters' values sorted by name, as the client signs them."""
    if request.method == "GET":
        pairs = parse_qsl(raw_query(request), keep_blank_values=True)
    elif request.content_type == "application/json" or body.lstrip().startswith("{"):
        try:
            obj = json.loads(body)
        except ValueError:
            return None
        pairs = [(k, v if isinstance(v, str) else json.dumps(v)) for k, v in obj.items()]
    else:
        # Form bodies are sent unencoded: split them as they were joined.
        pairs = [tuple(p.split("=", 1)) if "=" in p else (p, "") for p in body.split("&") if p]
    return "".join(v for _, v in sorted(pairs, key=lambda p: p[0].encode()))


def expected_signature(style, request, body):
    ts = request.headers.get("timestamp", "")
    if style == 3:
        text = SECRETS["signv1"] + body + ts
    else:
        values = signed_values(request, body)
        if values is None:
            return None
        text = SECRETS["signv1" if style == 2 else "sign"] + values + ts
    return hashlib.md5(text.encode()).hexdigest()


async def describe(request, state):
    body = (await request.read()).decode("utf-8", errors="replace")
    record = {
        "method": request.method,
        "path": request.path,
        "query": raw_query(request),
        "headers": [[k, v] for k, v in request.headers.items()],
        "body": body,
    }
    state.records.append(record)
    return record, body


def setup(app, state):
    async def echo(request):
        record, _ = await describe(request, state)
        return web.json_response(record)

    async def signed(request):
        record, body = await describe(request, state)
        style = int(request.match_info["style"])
        expected = expected_signature(style, request, body)
        record["expected"] = expected
        ok = expected is not None and request.headers.get("signature") == expected
        return web.json_response(record, status=200 if ok else 401)

    async def file(request):
        state.records.append({"method": request.method, "path": request.path, "query": raw_query(request)})
        return web.Response(body=pattern(int(request.query.get("size", "0"))),
                            content_type="application/octet-stream")

    async def status(request):
        code = int(request.match_info["code"])
        return web.Response(status=code, text=f"status {code}")

    async def records(request):
        # Tunnels of the proxy are there too, as ["proxy", "host:port"].
        return web.json_response(state.records)

    app.router.add_route("*", "/http/echo", echo)
    app.router.add_route("*", "/http/signed/{style}", signed)
    app.router.add_get("/http/file", file)
    app.router.add_route("*", "/http/status/{code}", status)
    app.router.add_get("/http/records", records)
