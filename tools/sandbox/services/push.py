"""/push: the vendor's push service.

  POST /push/address   signed (the parameters' values, none for this POST,
                       with secret "sign"); body {"username","appCode",
                       "channel"}; answers {"code":0,"data":{"wss":...,
                       "userId":N}} with a user id derived from the name.
                       401 for a wrong signature.
  GET  /push/ws        the WebSocket. Frames from the client are JSON:
                       type 1 and 3 open the session (username, userId),
                       type 2 is a heartbeat (answered with {"type":2}),
                       type 5 subscribes and type 6 unsubscribes "topic".
                       Every few seconds a case-stock message of type
                       "3001" goes to the connections subscribed to
                       CASE_TOPIC: {"topic", "type":"3001", "sendType":
                       "wc_stock_case_push", "message": JSON text}.

Control, for tests and demos:
  /push/control?action=drop[&username=U]   end connections without a close
  /push/control?action=refuse&seconds=S    for S s the address request fails
                                           and the WebSocket answers 503
  /push/control?action=interval&seconds=S  time between case pushes (0: none)
  /push/control?action=mute&on=1|0         leave heartbeats unanswered
  /push/control?action=reset               forget closed connections
  POST /push/inject {"topic": T, "message": M[, "sendType": S][, "username": U]}
                   a message on topic T to the connections subscribed to it
                   (M a JSON value or text, sent as the "message" member
                   text; with "asIs": true M goes out as the JSON it is);
                   {"text": X} sends X as it is to every connection
  POST /push/expire {"tokens": [...]}     a token-expiry message on
                                           "user:off:line:topic"
  GET  /push/state      connections (open and recently closed) with user,
                        topics and every frame received, and the address
                        requests

Every address request is recorded like those of services/http.py.
"""
import asyncio
import hashlib
import json
import random
import time
import zlib

from aiohttp import WSMsgType, web

from . import http

CASE_TOPIC = "qnlx_stock_case_topic"
EXPIRY_TOPIC = "user:off:line:topic"
APP_CODE = "com.tmkw.corvid"

# (market, code, name, teacher's course, title, brief)
CASES = [
    ("SH", "600519", "贵州茅台", "C1024", "【案例跟踪】贵州茅台：高端白酒龙头量价齐升",
     "一季度营收稳健增长，渠道库存处于合理区间，关注回调后的配置机会。"),
    ("SZ", "300750", "宁德时代", "C1025", "【案例复盘】宁德时代：储能订单放量带动估值修复",
     "海外储能项目陆续交付，毛利率环比改善，短线关注前高压力。"),
    ("SZ", "002594", "比亚迪", "C1026", "【案例跟踪】比亚迪：月销量再创新高",
     "新车型上市节奏紧凑，出口占比提升，板块情绪回暖。"),
    ("SH", "601318", "中国平安", "C1027", "【价值精选】中国平安：寿险新业务价值回暖",
     "负债端改善叠加权益市场修复，股息率具备吸引力。"),
    ("SH", "688981", "中芯国际", "C1028", "【案例跟踪】中芯国际：成熟制程产能利用率回升",
     "国产替代持续推进，资本开支维持高位，关注订单兑现。"),
    ("BJ", "830799", "艾融软件", "C1029", "【北交所掘金】艾融软件：金融信创订单落地",
     "银行核心系统改造需求释放，在手订单充足。"),
    ("SZ", "000858", "五粮液", "C1030", "五粮液：批价企稳，渠道信心恢复",
     "节后动销平稳，经销商打款积极性提升。"),
]


def user_id(name):
    return zlib.crc32(name.encode("utf-8")) + 10_000_000


class Push:
    def __init__(self, state):
        self.state = state
        self.connections = []  # open and recently closed, oldest first
        self.refuse_until = 0.0
        self.interval = 5.0
        self.mute = False
        self.ticker = None
        self.sequence = 0

    def open_connections(self):
        return [c for c in self.connections if c.open]

    def case_message(self, rng):
        market, code, name, course, title, brief = rng.choice(CASES)
        self.sequence += 1
        body = {
            "caseStock": 1,
            "courseId": course,
            "caseId": "K%06d" % self.sequence,
            "title": title,
            "showTitle": title.split("】")[-1],
            "stockInfo": "%s(%s)" % (name, code),
            "brief": brief,
            "showContent": brief[:18],
            "tag": "",
            "auditTime": int(time.time() * 1000),
            "clickUrl": "https://case.example.invalid/detail?course=%s&code=%s" % (course, code),
            "stock": {"market": market, "code": code, "name": name},
        }
        return body

    def start(self):
        if self.ticker is None:
            self.ticker = asyncio.get_running_loop().create_task(self.run())

    async def run(self):
        rng = random.Random()
        last = time.monotonic()
        while True:
            await asyncio.sleep(0.1)
            if self.interval <= 0 or time.monotonic() - last < self.interval:
                continue
            last = time.monotonic()
            message = json.dumps(self.case_message(rng), ensure_ascii=False)
            await self.publish(CASE_TOPIC, {"type": "3001", "sendType": "wc_stock_case_push", "message": message})

    async def publish(self, topic, members, username=None):
        sent = 0
        for conn in self.open_connections():
            if topic in conn.topics and (username is None or conn.username == username):
                await conn.send(dict({"topic": topic}, **members))
                sent += 1
        return sent


class Connection:
    def __init__(self, ws, transport):
        self.ws = ws
        self.transport = transport
        self.open = True
        self.username = None
        self.user_id = None
        self.topics = []
        self.frames = []
        self.opened = time.time()

    async def send(self, obj):
        try:
            await self.ws.send_str(json.dumps(obj, ensure_ascii=False))
        except (ConnectionResetError, RuntimeError):
            pass

    def describe(self):
        return {"id": id(self), "open": self.open, "username": self.username, "userId": self.user_id,
                "topics": self.topics, "frames": self.frames, "opened": self.opened}


def address_signature_ok(request):
    # This POST carries no parameters: the signed values are empty.
    ts = request.headers.get("timestamp", "")
    expected = hashlib.md5((http.SECRETS["sign"] + ts).encode()).hexdigest()
    return request.headers.get("signature") == expected


def setup(app, state):
    push = Push(state)
    app["push"] = push
    addresses = []

    async def address(request):
        record, body = await http.describe(request, state)
        addresses.append(record)
        del addresses[:-200]
        if not address_signature_ok(request):
            return web.json_response({"code": 401, "message": "bad signature"}, status=401)
        if time.monotonic() < push.refuse_until:
            return web.json_response({"code": 500, "message": "push service unavailable"}, status=500)
        try:
            order = json.loads(body)
        except ValueError:
            return web.json_response({"code": 400, "message": "malformed body"}, status=400)
        if not isinstance(order, dict) or order.get("appCode") != APP_CODE:
            return web.json_response({"code": 400, "message": "unknown app"}, status=400)
        name = order.get("username") if isinstance(order.get("username"), str) else ""
        wss = "ws://%s/push/ws" % request.host
        return web.json_response({"code": 0, "data": {"wss": wss, "userId": user_id(name)}})

    async def socket(request):
        push.start()
        if time.monotonic() < push.refuse_until:
            return web.json_response({"code": 503, "message": "push service unavailable"}, status=503)
        ws = web.WebSocketResponse(max_msg_size=1 << 20)
        await ws.prepare(request)
        conn = Connection(ws, request.transport)
        push.connections.append(conn)
        closed = [c for c in push.connections if not c.open]
        for old in closed[:-100]:
            push.connections.remove(old)
        state.sockets.add(ws)
        try:
            async for msg in ws:
                if msg.type != WSMsgType.TEXT:
                    continue
                conn.frames.append(msg.data)
                del conn.frames[:-500]
                try:
                    frame = json.loads(msg.data)
                except ValueError:
                    await conn.send({"type": 0, "code": 400, "message": "malformed frame"})
                    continue
                if not isinstance(frame, dict):
                    continue
                kind = frame.get("type")
                if kind in (1, 3):
                    conn.username = frame.get("username")
                    conn.user_id = frame.get("userId")
                elif kind == 2:
                    if not push.mute:
                        await conn.send({"type": 2})
                elif kind == 5:
                    topic = frame.get("topic")
                    if isinstance(topic, str) and topic not in conn.topics:
                        conn.topics.append(topic)
                elif kind == 6:
                    if frame.get("topic") in conn.topics:
                        conn.topics.remove(frame.get("topic"))
        finally:
            conn.open = False
            state.sockets.discard(ws)
        return ws

    async def control(request):
        action = request.query.get("action", "")
        seconds = float(request.query.get("seconds", "0") or 0)
        if action == "drop":
            name = request.query.get("username")
            dropped = [c for c in push.open_connections() if name is None or c.username == name]
            for conn in dropped:
                if conn.transport:
                    conn.transport.abort()
            return web.json_response({"dropped": len(dropped)})
        if action == "refuse":
            push.refuse_until = time.monotonic() + seconds
        elif action == "interval":
            push.interval = max(0.0, seconds)
        elif action == "mute":
            push.mute = request.query.get("on", "1") == "1"
        elif action == "reset":
            push.connections = push.open_connections()
        else:
            return web.json_response({"error": f"unknown action {action!r}"}, status=400)
        return web.json_response({"ok": True})

    async def inject(request):
        order = await request.json()
        if "text" in order:
            for conn in push.open_connections():
                try:
                    await conn.ws.send_str(order["text"])
                except (ConnectionResetError, RuntimeError):
                    pass
            return web.json_response({"sent": len(push.open_connections())})
        message = order.get("message")
        if not isinstance(message, str) and not order.get("asIs"):
            message = json.dumps(message, ensure_ascii=False)
        members = {"type": "3001", "sendType": order.get("sendType", "wc_stock_case_push"), "message": message}
        sent = await push.publish(order.get("topic", CASE_TOPIC), members, order.get("username"))
        return web.json_response({"sent": sent})

    async def expire(request):
        order = await request.json()
        sent = await push.publish(EXPIRY_TOPIC, {"expireTokenList": order.get("tokens", [])})
        return web.json_response({"sent": sent})

    async def push_state(request):
        return web.json_response({"connections": [c.describe() for c in push.connections],
                                  "addresses": addresses})

    app.router.add_post("/push/address", address)
    app.router.add_get("/push/ws", socket)
    app.router.add_get("/push/control", control)
    app.router.add_post("/push/inject", inject)
    app.router.add_post("/push/expire", expire)
    app.router.add_get("/push/state", push_state)
