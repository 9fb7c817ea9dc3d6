"""The vendor's event-tracking endpoint.

  POST /stat            a body "data=" + percent-encoded base64 of one JSON
                        event record; answers {"code": 0} when it decodes,
                        {"code": 1, "error": ...} (status 400) otherwise
  GET  /stat/events     every POST so far, oldest first, each
                        {"body", "json", "event", "error", "keys",
                        "property_keys", "headers"}: the raw body, the
                        decoded record text, the record parsed (null when
                        it failed), why it failed (null when it did not),
                        the member names of the record and of its
                        "properties" in the order they were written;
                        ?clear=1 empties the list after answering
"""
import base64
import binascii
import json
from urllib.parse import unquote_to_bytes

from aiohttp import web


def decode(body):
    """(record text, record, error) of one body."""
    if not body.startswith("data="):
        return None, None, "body does not start with data="
    try:
        raw = base64.b64decode(unquote_to_bytes(body[len("data="):]), validate=True)
    except (binascii.Error, ValueError) as e:
        return None, None, "base64: %s" % e
    try:
        text = raw.decode("utf-8")
    except UnicodeDecodeError as e:
        return None, None, "utf-8: %s" % e
    try:
        record = json.loads(text)
    except ValueError as e:
        return text, None, "json: %s" % e
    if not isinstance(record, dict):
        return text, None, "record is not an object"
    return text, record, None


def setup(app, state):
    state.stat_events = []

    async def post(request):
        body = (await request.read()).decode("latin-1")
        text, record, error = decode(body)
        properties = (record or {}).get("properties")
        state.stat_events.append({
            "body": body,
            "json": text,
            "event": record,
            "error": error,
            "keys": list(record) if record else [],
            "property_keys": list(properties) if isinstance(properties, dict) else [],
            "headers": [[k, v] for k, v in request.headers.items()],
        })
        if error:
            return web.json_response({"code": 1, "error": error}, status=400)
        return web.json_response({"code": 0})

    async def events(request):
        answer = web.json_response(state.stat_events)
        if request.query.get("clear") == "1":
            state.stat_events = []
        return answer

    app.router.add_post("/stat", post)
    app.router.add_get("/stat/events", events)
