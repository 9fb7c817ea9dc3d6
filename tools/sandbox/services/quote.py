"""/quote: the vendor's quote service over a simulated market.

Protocol, as the client speaks it:
  - the first text must be AUTH (otherwise the socket is closed with 4001);
  - HEARTBEAT is answered with a heartbeat frame (No 0);
  - a request frame {"Header":{"No":N,"MsgType":T,"Info":I},"Body":{...}}:
      T 2001  index and stock quotes for Body.info.stockid; with
              Body.pushflag true the subscription streams an answer every
              tick, otherwise one answer;
      T 1001  abnormal movements of Body.stockid: a first snapshot, then
              new movements every few ticks, at most Body.num per answer;
      Info 32 removes the subscription N.
Answers carry the request's No and MsgType in their Header.

Control, for tests and demos:
  /quote/control?action=drop          end every connection without a close
  /quote/control?action=stall&seconds=S  for S seconds hold new upgrades
  /quote/control?action=refuse&seconds=S for S seconds answer 503
  /quote/control?action=tick&seconds=S   time between streamed answers
  /quote/control?action=movement&code=C  one movement of C now
  /quote/control?action=snapshot&count=N items in a first snapshot (3)
  POST /quote/inject {"text": T}      T as it is, to every connection
  POST /quote/inject {"msgtype": M, "data": D}
                   an answer with D to every subscription of type M
  /quote/state    open connections with their subscriptions, and every
                  frame received so far (newest last)
"""
import asyncio
import datetime
import json
import random
import time

from aiohttp import WSMsgType, web

AUTH = '{"Header":{"MsgType":"auth"}}'
HEARTBEAT = '{"Header":{"MsgType":"heartbeat"}}'
INFO_REMOVE = 32
PRECISE = 2

# The ball's six indices: (market, code, name, previous close in yuan).
INDICES = [
    (1, "000001", "上证指数", 3302.15),
    (0, "399001", "深证成指", 10512.38),
    (0, "399006", "创业板指", 2108.74),
    (1, "000688", "科创50", 1012.56),
    (1, "000300", "沪深300", 3904.21),
    (1, "000016", "上证50", 2698.47),
]

STOCK_NAMES = {
    "600519": ("贵州茅台", 1688.00), "000858": ("五粮液", 152.30),
    "601318": ("中国平安", 48.62), "600036": ("招商银行", 35.18),
    "000333": ("美的集团", 68.45), "300750": ("宁德时代", 198.66),
    "002594": ("比亚迪", 268.90), "601012": ("隆基绿能", 21.37),
    "600900": ("长江电力", 28.74), "000001": ("平安银行", 11.52),
    "600030": ("中信证券", 21.05), "688981": ("中芯国际", 52.88),
    "600000": ("浦发银行", 7.52), "830799": ("艾融软件", 20.16),
}

# (type name, display key, display colour, sign of the move)
MOVEMENT_TYPES = [
    ("火箭发射", "rocket", 1, 1), ("快速反弹", "rebound", 1, 1),
    ("大笔买入", "bigbuy", 1, 1), ("封涨停板", "limitup", 1, 1),
    ("高台跳水", "dive", 2, -1), ("加速下跌", "plunge", 2, -1),
    ("大笔卖出", "bigsell", 2, -1), ("打开跌停", "openlimitdown", 1, 1),
]

SECTOR_MARKET = 12


class Market:
    """Index and stock prices that wander a little every tick."""

    def __init__(self, seed=None):
        self.rng = random.Random(seed)
        self.prev_close = {}
        self.price = {}
        for market, code, _, close in INDICES:
            self.prev_close[(market, code)] = round(close * 100)
            self.price[(market, code)] = round(close * 100)

    def quote(self, market, code):
        key = (market, code)
        if key not in self.price:
            base = STOCK_NAMES.get(code, (None, 10 + int(code[-3:] or 0) / 10))[1]
            self.prev_close[key] = self.price[key] = round(base * 100)
        return self.prev_close[key], self.price[key]

    def step(self):
        for key, price in self.price.items():
            close = self.prev_close[key]
            drift = (close - price) * 0.01
            move = self.rng.gauss(drift, close * 0.0006)
            # Mainland limit: at most 10 % from the previous close.
            self.price[key] = max(round(close * 0.9), min(round(close * 1.1), round(price + move)))


def index_name(market, code):
    for m, c, name, _ in INDICES:
        if (m, c) == (market, code):
            return name
    return STOCK_NAMES.get(code, ("股票" + code, 0))[0]


class Quotes:
    def __init__(self, state):
        self.state = state
        self.market = Market()
        self.connections = set()
        self.frames = []
        self.stall_until = 0.0
        self.refuse_until = 0.0
        self.tick = 1.0
        self.snapshot = 3
        self.movements = []  # recent movements, newest last
        self.ticker = None

    def element(self, market, code):
        close, price = self.market.quote(market, code)
        prefix = {0: "SZ", 1: "SH"}.get(market, "")
        return {
            "base": {"marketid": market, "code": code, "oldmarketcode": prefix + code, "status": 0,
                     "name": index_name(market, code), "precise": PRECISE},
            "newprice": str(price),
            "yclose": str(close),
        }

    def movement(self, market, code, rng):
        name, _ = STOCK_NAMES.get(code, ("股票" + code, 0))
        type_name, key, color, sign = rng.choice(MOVEMENT_TYPES)
        close, price = self.market.quote(market, code)
        zdf = round((price - close) * 10000 / close) if close else 0
        if sign > 0 and zdf <= 0:
            zdf = rng.randint(50, 990)
        if sign < 0 and zdf >= 0:
            zdf = -rng.randint(50, 990)
        price = round(close * (10000 + zdf) / 10000)
        now = datetime.datetime.now()
        item = {
            "date": int(now.strftime("%Y%m%d")), "time": int(now.strftime("%H%M%S")),
            "marketid": market, "code": code, "oldmarketcode": {0: "SZ", 1: "SH"}.get(market, "") + code,
            "displaycolor": color, "name": name, "price": str(price), "precise": PRECISE,
            "zdf": zdf, "refmarketid": 1, "refcode": "000001",
            "refzdf": max(0, round((self.market.price[(1, "000001")] - self.market.prev_close[(1, "000001")])
                                   * 10000 / self.market.prev_close[(1, "000001")])),
            "displaykey": key, "typename": type_name, "displayrate": rng.randint(1, 100),
        }
        # Some movements come without a text: the client composes one.
        if rng.random() < 0.7:
            item["text"] = f"{name}{type_name}，涨跌幅{zdf / 100:.2f}%"
        return item

    def start(self):
        if self.ticker is None:
            self.ticker = asyncio.get_running_loop().create_task(self.run())

    async def run(self):
        rng = random.Random()
        count = 0
        last = time.monotonic()
        while True:
            # Short naps, so that a new tick length applies at once.
            await asyncio.sleep(min(self.tick, 0.05))
            if time.monotonic() - last < self.tick:
                continue
            last = time.monotonic()
            self.market.step()
            count += 1
            for conn in list(self.connections):
                await conn.on_tick(count, rng)


class Connection:
    def __init__(self, quotes, ws, transport):
        self.quotes = quotes
        self.ws = ws
        self.transport = transport
        self.authed = False
        self.subs = {}  # No -> (MsgType, Body)

    async def answer(self, no, msg_type, data):
        frame = {"Header": {"FrameId": 0, "GroupId": 0, "ModelId": 0, "Length": 0, "RawLength": 0,
                            "No": no, "MsgType": msg_type, "Info": 0},
                 "Body": {"data": data}}
        try:
            await self.ws.send_str(json.dumps(frame, ensure_ascii=False))
        except (ConnectionResetError, RuntimeError):
            pass

    def quote_data(self, body):
        stocks = body.get("info", {}).get("stockid", []) if isinstance(body.get("info"), dict) else []
        return [self.quotes.element(int(s.get("marketid", 0)), str(s.get("code", ""))) for s in stocks
                if isinstance(s, dict)]

    def movement_data(self, body, rng, count):
        stocks = [s for s in body.get("stockid", []) if isinstance(s, dict)]
        if not stocks:
            return []
        out = []
        for _ in range(min(count, int(body.get("num", 5)))):
            s = rng.choice(stocks)
            out.append(self.quotes.movement(int(s.get("marketid", 0)), str(s.get("code", "")), rng))
        return out

    async def on_request(self, frame):
        header = frame.get("Header", {})
        no = header.get("No", 0)
        msg_type = header.get("MsgType")
        body = frame.get("Body", {}) if isinstance(frame.get("Body"), dict) else {}
        if header.get("Info") == INFO_REMOVE:
            self.subs.pop(no, None)
            return
        if str(msg_type) == "2001":
            await self.answer(no, msg_type, self.quote_data(body))
            if body.get("pushflag", False):
                self.subs[no] = (msg_type, body)
        elif str(msg_type) == "1001":
            self.subs[no] = (msg_type, body)
            # The first snapshot: what happened lately to these stocks.
            await self.answer(no, msg_type, self.movement_data(body, random.Random(no), self.quotes.snapshot))

    async def on_tick(self, count, rng):
        for no, (msg_type, body) in list(self.subs.items()):
            if str(msg_type) == "2001":
                await self.answer(no, msg_type, self.quote_data(body))
            elif str(msg_type) == "1001" and count % 4 == 0:
                await self.answer(no, msg_type, self.movement_data(body, rng, 1))

    async def movement_now(self, code, rng):
        for no, (msg_type, body) in list(self.subs.items()):
            if str(msg_type) != "1001":
                continue
            stocks = [s for s in body.get("stockid", []) if isinstance(s, dict) and str(s.get("code")) == code]
            if stocks:
                s = stocks[0]
                await self.answer(no, msg_type, [self.quotes.movement(int(s.get("marketid", 0)), code, rng)])


async def handle(request, quotes):
    quotes.start()
    now = time.monotonic()
    if now < quotes.refuse_until:
        return web.json_response({"error": "quote service unavailable"}, status=503)
    while time.monotonic() < quotes.stall_until:
        await asyncio.sleep(0.2)
    ws = web.WebSocketResponse(autoping=True, max_msg_size=1 << 20)
    await ws.prepare(request)
    conn = Connection(quotes, ws, request.transport)
    quotes.state.sockets.add(ws)
    try:
        async for msg in ws:
            if msg.type != WSMsgType.TEXT:
                continue
            text = msg.data
            quotes.frames.append({"time": time.time(), "text": text, "connection": id(conn)})
            del quotes.frames[:-2000]
            if not conn.authed:
                if text != AUTH:
                    await ws.close(code=4001, message=b"auth required")
                    break
                conn.authed = True
                quotes.connections.add(conn)
                continue
            if text == HEARTBEAT:
                await ws.send_str(json.dumps({"Header": {"No": 0, "MsgType": "heartbeat"}}))
                continue
            try:
                frame = json.loads(text)
            except ValueError:
                await ws.send_str(json.dumps({"Header": {"No": 0}, "error": "malformed frame"}))
                continue
            if isinstance(frame, dict) and isinstance(frame.get("Header"), dict):
                await conn.on_request(frame)
    finally:
        quotes.connections.discard(conn)
        quotes.state.sockets.discard(ws)
    return ws


def setup(app, state):
    quotes = Quotes(state)
    app["quotes"] = quotes

    async def handle_quote(request):
        return await handle(request, quotes)

    async def control(request):
        action = request.query.get("action", "")
        seconds = float(request.query.get("seconds", "0") or 0)
        if action == "drop":
            dropped = list(quotes.connections)
            for conn in dropped:
                if conn.transport:
                    conn.transport.abort()
            return web.json_response({"dropped": len(dropped)})
        if action == "stall":
            quotes.stall_until = time.monotonic() + seconds
        elif action == "refuse":
            quotes.refuse_until = time.monotonic() + seconds
        elif action == "tick":
            quotes.tick = max(0.01, seconds)
        elif action == "snapshot":
            quotes.snapshot = max(0, int(request.query.get("count", "3")))
        elif action == "movement":
            code = request.query.get("code", "")
            for conn in list(quotes.connections):
                await conn.movement_now(code, random.Random())
        else:
            return web.json_response({"error": f"unknown action {action!r}"}, status=400)
        return web.json_response({"ok": True})

    async def inject(request):
        order = await request.json()
        sent = 0
        for conn in list(quotes.connections):
            if "text" in order:
                await conn.ws.send_str(order["text"])
                sent += 1
                continue
            for no, (msg_type, _) in list(conn.subs.items()):
                if str(msg_type) == str(order.get("msgtype")):
                    await conn.answer(no, msg_type, order.get("data", []))
                    sent += 1
        return web.json_response({"sent": sent})

    async def quote_state(request):
        return web.json_response({
            "connections": [{"id": id(c), "subscriptions": {str(no): {"MsgType": t, "Body": b}
                                                            for no, (t, b) in c.subs.items()}}
                            for c in quotes.connections],
            "frames": quotes.frames,
        })

    app.router.add_get("/quote", handle_quote)
    app.router.add_get("/quote/control", control)
    app.router.add_get("/quote/state", quote_state)
    app.router.add_post("/quote/inject", inject)
