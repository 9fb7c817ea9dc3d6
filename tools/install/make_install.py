#!/usr/bin/python3
"""Builds the data of a sample installation from a readable description.

    make_install.py [--description FILE] [--sandbox-port N] INSTALL_DIR

The description (JSON, see default.json) names the configuration XML files
(each stored plain or, when listed under "protect", only as a protected
".vqx"), the market table, the login channels, set.ini, both user record
files, the self-selected stock files, ProxyData.data and the promotion
scripts (name -> Lua file beside the description). Texts may hold
${SANDBOX_HOST} and ${SANDBOX_PORT}, filled in here.
"""
import argparse
import json
import os
import struct
import sys
from xml.sax.saxutils import escape, quoteattr

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "protect-file"))
from protect_file import protect  # noqa: E402

HEADER_SIZE = 527
USER_RECORD_SIZE = 3582
USER2_RECORD_SIZE = 1022

# (offset, kind, units) of the user record fields VelTray reads.
USER_FIELDS = {
    "nickname": (0, "w", 256),
    "token": (768, "a", 127),
    "sid": (1022, "w", 256),
    "reffer": (1534, "w", 256),
    "bid": (2046, "w", 12),
    "org": (2198, "w", 64),
    "appVersion": (2326, "w", 20),
    "softName": (2366, "w", 32),
    "project": (2430, "w", 256),
    "distinctId": (3454, "a", 127),
}
USER2_FIELDS = {"username": (0, "a", 256)}


def fill(text, params):
    for k, v in params.items():
        text = text.replace("${%s}" % k, str(v))
    return text


def fill_all(value, params):
    if isinstance(value, str):
        return fill(value, params)
    if isinstance(value, list):
        return [fill_all(v, params) for v in value]
    if isinstance(value, dict):
        return {k: fill_all(v, params) for k, v in value.items()}
    return value


def record(fields, layout, size):
    data = bytearray(size)
    for name, value in fields.items():
        if name not in layout:
            raise SystemExit("unknown record field %s" % name)
        offset, kind, units = layout[name]
        raw = value.encode("utf-16-le") if kind == "w" else value.encode("utf-8")
        unit = 2 if kind == "w" else 1
        raw = raw[: (units - 1) * unit]  # always NUL-terminated
        data[offset: offset + len(raw)] = raw
    return bytes(data)


def record_file(records, size):
    header = bytes(520) + struct.pack("<HBi", 0, 0, len(records))
    assert len(header) == HEADER_SIZE
    return header + b"".join(records)


def urlcore_xml(sections):
    out = ['<?xml version="1.0" encoding="utf-8"?>', "<root>"]
    for section, keys in sections.items():
        out.append("  <%s>" % section)
        for key, value in keys.items():
            out.append("    <%s>%s</%s>" % (key, escape(value), key))
        out.append("  </%s>" % section)
    out.append("</root>")
    return "\n".join(out) + "\n"


def market_xml(markets):
    out = ['<?xml version="1.0" encoding="utf-8"?>', "<root>", "  <marketdef>"]
    for m in markets:
        out.append("    <market id=%s code=%s/>" % (quoteattr(str(m["id"])), quoteattr(m["code"])))
    out += ["  </marketdef>", "</root>"]
    return "\n".join(out) + "\n"


def domain_xml(domains):
    out = ['<?xml version="1.0" encoding="utf-8"?>', "<ROOT>", "  <channellist>"]
    for c in domains.get("channels", []):
        out.append("    <item type=%s>%s</item>" % (quoteattr(str(c["type"])), escape(c["name"])))
    out += ["  </channellist>", "  <domain_list>"]
    for h in domains.get("hosts", []):
        out.append("    <url key=%s>" % quoteattr(h["key"]))
        for alt in h["channels"]:
            out.append("      <channel val=%s/>" % quoteattr(alt))
        out.append("    </url>")
    out += ["  </domain_list>", "</ROOT>"]
    return "\n".join(out) + "\n"


def script_xml(scripts, source_dir):
    out = ['<?xml version="1.0" encoding="utf-8"?>', "<root>"]
    for name, file_name in scripts.items():
        with open(os.path.join(source_dir, file_name), encoding="utf-8") as f:
            out.append("  <%s>%s</%s>" % (name, escape(f.read()), name))
    out.append("</root>")
    return "\n".join(out) + "\n"


def ini_text(sections):
    out = []
    for section, keys in sections.items():
        out.append("[%s]" % section)
        out += ["%s=%s" % (k, v) for k, v in keys.items()]
    return "\r\n".join(out) + "\r\n"


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def build(desc, dest, override="asis", source_dir=HERE):
    protect_spec = desc.get("protect", {})
    if override in ("chacha", "legacy"):
        protect_spec = {"files": ["urlcore.xml", "market.xml", "domain_url_config_v1.xml"], "form": override}
    elif override == "none":
        protect_spec = {}
    protected = set(protect_spec.get("files", []))
    legacy = protect_spec.get("form", "chacha") == "legacy"

    def config_file(name, text):
        data = text.encode("utf-8")
        plain = os.path.join(dest, "Config", name)
        if name in protected:
            if os.path.exists(plain):
                os.remove(plain)
            write(plain + ".vqx", protect(data, legacy))
        else:
            write(plain, data)

    if "urlcore" in desc:
        config_file("urlcore.xml", urlcore_xml(desc["urlcore"]))
    if "markets" in desc:
        config_file("market.xml", market_xml(desc["markets"]))
    if desc.get("domains") is not None:
        config_file("domain_url_config_v1.xml", domain_xml(desc["domains"]))
    if desc.get("promotescript") is not None:
        config_file("promotescript.xml", script_xml(desc["promotescript"], source_dir))

    common = os.path.join(dest, "Data", "Common")
    os.makedirs(common, exist_ok=True)
    if "set_ini" in desc:
        write(os.path.join(common, "set.ini"), ini_text(desc["set_ini"]).encode("utf-8"))
    if "tray_ini" in desc:
        write(os.path.join(common, "tray.ini"), ini_text(desc["tray_ini"]).encode("utf-8"))
    if desc.get("user") is not None:
        write(os.path.join(common, "UserInfo.data"),
              record_file([record(desc["user"], USER_FIELDS, USER_RECORD_SIZE)], USER_RECORD_SIZE))
    if desc.get("user2") is not None:
        write(os.path.join(common, "UserInfoV2.data"),
              record_file([record(desc["user2"], USER2_FIELDS, USER2_RECORD_SIZE)], USER2_RECORD_SIZE))
    selfselect = desc.get("selfselect")
    if selfselect:
        user = (desc.get("user2") or {}).get("username", "") or "guest"
        encoding = selfselect.get("encoding", "utf-8")
        for group, content in selfselect.get("groups", {}).items():
            text = json.dumps(content, ensure_ascii=False, separators=(",", ":"))
            write(os.path.join(common, user, "SelfSelectStock_%s.data" % group), text.encode(encoding))
    if desc.get("proxy") is not None:
        form = desc.get("proxy_form", "chacha") == "legacy"
        text = json.dumps(desc["proxy"], ensure_ascii=False, separators=(",", ":")).encode("utf-8")
        write(os.path.join(common, "ProxyData.data"), protect(text, form))


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--description", default=os.path.join(HERE, "default.json"))
    ap.add_argument("--sandbox-host", default="127.0.0.1")
    ap.add_argument("--sandbox-port", default=os.environ.get("VELTRAY_SANDBOX_PORT", "8765"))
    ap.add_argument("--protect-config", choices=["asis", "none", "chacha", "legacy"], default="asis",
                    help="store every configuration XML plain (none) or only protected, overriding the description")
    ap.add_argument("install_dir")
    args = ap.parse_args()
    with open(args.description, encoding="utf-8") as f:
        desc = json.load(f)
    desc = fill_all(desc, {"SANDBOX_HOST": args.sandbox_host, "SANDBOX_PORT": args.sandbox_port})
    build(desc, args.install_dir, args.protect_config, os.path.dirname(os.path.abspath(args.description)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
