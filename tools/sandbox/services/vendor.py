"""The vendor's user and live-broadcast services.

  GET /live/schedule       the live schedule of seven days around today,
                           signed with style 2 (secret "signv1"); the
                           "token" header selects a canned answer (below)
  GET /user/info           the user record of the "token" parameter, signed
                           with style 1 (secret "sign"); "code" 1 on success,
                           0 with a guest record for an unknown token
  GET /user/head/NAME.png  a small PNG (head images, program covers);
                           404 for NAME "missing"
  GET /page/live           the page a program's jump address opens

A wrong signature gets status 401 with "code" 401. Canned live-schedule
answers, by token: "live-code500" (code 500 with a message), "live-nodays"
(code 200, data without "days"), "live-emptydays" (an empty day list),
"live-code1" (code 1, the normal schedule), "live-malformed" (not JSON),
"live-array" (a JSON array). Any other token gets code 200 and the schedule.
Every request is recorded like those of services/http.py.
"""
import datetime
import json
import struct
import zlib

from aiohttp import web

from . import http

# Rooms, hosts and programs of the simulated broadcaster.
ROOMS = [("8001", "早盘策略室"), ("8002", "午间复盘室"), ("8003", "主题投资研究室"), ("8004", "量化交易课堂")]
TEACHERS = [("T1001", "王立新"), ("T1002", "陈晓梅"), ("T1003", "刘振东"), ("T1004", "赵雅琴"), ("T1005", "孙浩然")]
TITLES = [
    "开盘前瞻：外围市场与今日热点",
    "集合竞价看强弱：早盘资金动向",
    "半导体板块轮动机会解析",
    "午间复盘：北向资金流向追踪",
    "新能源产业链估值梳理",
    "量化选股入门：因子与回测",
    "高股息策略的攻与守",
    "北交所新股申购要点",
]

# (session, start, end) of the fixed programs of every day; sessions and
# programs are listed out of time order, as the service does.
SLOTS = [
    ("MID_MARKET", "15:10", "16:00"),
    ("MID_MARKET", "11:35", "12:20"),
    ("MID_MARKET", "13:00", "13:40"),
    ("PRE_MARKET", "08:50", "09:20"),
    ("PRE_MARKET", "08:00", "08:45"),
]

USERS = {
    "sandbox-token-0001": {"username": "sandboxuser", "nickname": "林间听雨", "roomToken": "room-7f3a91"},
    # A server that names its user like a path: the client must not write
    # the head image outside its folder.
    "sandbox-token-traversal": {"username": "..\\..\\escaped", "nickname": "越界用户", "roomToken": "room-0"},
    "sandbox-token-brokenimage": {"username": "sandboxuser", "nickname": "无头像用户", "roomToken": "room-1",
                                  "image": "missing"},
}


def png(width=16, height=16):
    """A real PNG: an RGB gradient, built here so that no file is needed."""
    rows = b"".join(
        b"\x00" + b"".join(bytes((x * 16 % 256, y * 16 % 256, 160)) for x in range(width)) for y in range(height))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b"")


PNG = png()


def hm(moment):
    return moment.strftime("%H:%M")


def program(base, index, day, session, start, end, status, period=True):
    room_no, room_name = ROOMS[index % len(ROOMS)]
    author_id, author_name = TEACHERS[(index + day.toordinal()) % len(TEACHERS)]
    hot = (index * 7919 + day.toordinal() * 31) % 12000
    return {
        "periodNo": "P%s%02d" % (day.strftime("%Y%m%d"), index) if period else "",
        "programIntro": TITLES[(index + day.day) % len(TITLES)],
        "roomNo": room_no,
        "roomName": room_name,
        "authorId": author_id,
        "authorName": author_name,
        "coverUrl": "%s/user/head/cover%s.png" % (base, room_no),
        "startTime": hm(start),
        "endTime": hm(end),
        "periodStatus": status,
        "appointmentFlag": 1 if status == 0 and index % 2 else 0,
        "reportBeginTime": int(start.timestamp() * 1000),
        "hot": hot,
        "hotFlag": hot > 6000,
        "_session": session,
    }


def schedule(base, now):
    days = []
    for offset in range(-3, 4):
        day = (now + datetime.timedelta(days=offset)).date()
        programs = []
        for index, (session, start, end) in enumerate(SLOTS):
            s = datetime.datetime.combine(day, datetime.time.fromisoformat(start))
            e = datetime.datetime.combine(day, datetime.time.fromisoformat(end))
            if offset < 0 or (offset == 0 and e <= now):
                status = 2 + index % 2  # ended, or ended with a replay
            elif offset == 0 and s <= now:
                status = 1
            else:
                status = 0
            # The morning broadcast of a room is a standing one, without a period.
            programs.append(program(base, index, day, session, s, e, status, period=index != 4))
        if offset == 0:
            # Something always goes on today: one live now, two starting soon.
            programs.append(program(base, 5, day, "MID_MARKET", now - datetime.timedelta(minutes=10),
                                    now + datetime.timedelta(minutes=30), 1))
            for n, minutes in enumerate((5, 15)):
                start = now + datetime.timedelta(minutes=minutes)
                programs.append(program(base, 6 + n, day, "PRE_MARKET", start,
                                        start + datetime.timedelta(minutes=40), 0))
        if offset == 2:
            # A state the client does not know: shown by its start time.
            programs.append(program(base, 8, day, "PRE_MARKET",
                                    datetime.datetime.combine(day, datetime.time(7, 30)),
                                    datetime.datetime.combine(day, datetime.time(7, 55)), 4))
        sessions = []
        for kind in ("MID_MARKET", "PRE_MARKET"):
            listed = [dict((k, v) for k, v in p.items() if k != "_session") for p in programs if p["_session"] == kind]
            sessions.append({"sessionType": kind, "sessionName": "盘中" if kind == "MID_MARKET" else "盘前",
                             "programs": listed})
        current = ""
        if offset == 0:
            current = "PRE_MARKET" if now.time() < datetime.time(9, 30) else "MID_MARKET"
        days.append({
            "date": day.isoformat(),
            "weekday": day.isoweekday(),
            "currentSession": current,
            "programCount": len(programs),
            "today": offset == 0,
            "sessions": sessions,
        })
    return {"days": days}


CANNED = {
    "live-code500": lambda base, now: {"code": 500, "message": "服务繁忙，请稍后再试"},
    "live-nodays": lambda base, now: {"code": 200, "message": "success", "data": {}},
    "live-emptydays": lambda base, now: {"code": 200, "message": "success", "data": {"days": []}},
    "live-code1": lambda base, now: {"code": 1, "message": "success", "data": schedule(base, now)},
}
RAW = {"live-malformed": '{"code": 200, "data": {"days": [', "live-array": '[{"code": 200}]'}


def json_answer(obj, status=200):
    return web.Response(text=json.dumps(obj, ensure_ascii=False), status=status, content_type="application/json")


def setup(app, state):
    async def signed(request, style):
        record, body = await http.describe(request, state)
        expected = http.expected_signature(style, request, body)
        return expected is not None and request.headers.get("signature") == expected

    async def live_schedule(request):
        if not await signed(request, 2):
            return json_answer({"code": 401, "message": "签名校验失败"}, status=401)
        token = request.headers.get("token", "")
        if token in RAW:
            return web.Response(text=RAW[token], content_type="application/json")
        base = "http://" + request.host
        answer = CANNED.get(token, lambda b, n: {"code": 200, "message": "success", "data": schedule(b, n)})
        return json_answer(answer(base, datetime.datetime.now()))

    async def user_info(request):
        if not await signed(request, 1):
            return json_answer({"code": 401, "message": "签名校验失败"}, status=401)
        token = request.query.get("token", "")
        user = USERS.get(token)
        if user is None:
            return json_answer({"code": 0, "message": "登录已失效，请重新登录",
                                "data": {"username": "guest", "nickname": "游客", "token": ""}})
        image = user.get("image", user["username"])
        return json_answer({"code": 1, "message": "success", "data": {
            "username": user["username"],
            "nickname": user["nickname"],
            "token": token,
            "headImage": "http://%s/user/head/%s.png" % (request.host, image),
            "roomToken": user["roomToken"],
        }})

    async def head(request):
        state.records.append({"method": request.method, "path": request.path, "query": http.raw_query(request)})
        if request.match_info["name"] == "missing":
            return web.Response(status=404, text="no such image")
        return web.Response(body=PNG, content_type="image/png")

    async def page(request):
        state.records.append({"method": request.method, "path": request.path, "query": http.raw_query(request)})
        return web.Response(text="<html><body>直播间 %s</body></html>" % request.query.get("room", ""),
                            content_type="text/html")

    app.router.add_get("/live/schedule", live_schedule)
    app.router.add_get("/user/info", user_info)
    app.router.add_get("/user/head/{name}.png", head)
    app.router.add_get("/page/live", page)
