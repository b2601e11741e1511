"""Tests of the demo inventory server: a real server on loopback, spoken to
through the sealed wire exactly as the client speaks to it, plus its JSON
administration.

Run from this folder with tools/tillora-demo-server on PYTHONPATH:
    python3 -m unittest -v test_demo_server
"""

import http.client
import json
import os
import re
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import xml.etree.ElementTree as ET

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
SERVER_DIR = os.path.join(ROOT, "tools", "tillora-demo-server")
SCRIPT = os.path.join(SERVER_DIR, "tillora-demo-server")
SAMPLE_CONFIG = os.path.join(ROOT, "config", "ClientConfig.xml")
if SERVER_DIR not in sys.path:
    sys.path.insert(0, SERVER_DIR)

import xxtea_wire  # noqa: E402

CAFE = "10001"
CAFE_PASSWORD = "666666"
BAR1, BAR2 = "101", "102"

# The paths of the sample configuration, by config key.
PATHS = {
    "ilogin": "/api/login",
    "iNetbarLogin": "/api/netbar_login",
    "iMainConfig": "/api/main_config",
    "iGetWorkSection": "/api/work_sections",
    "iGetBar": "/api/bars",
    "iGetWareType": "/api/ware_types",
    "iGetWare": "/api/wares",
    "iGetMaterial": "/api/materials",
    "iFinishWorkSection": "/api/finish_work_section",
    "iFinishMetarialWorkSection": "/api/finish_material_work_section",
    "ilogout": "/api/logout",
    "iWareStockNormal": "/api/ware_stock_normal",
    "iWareStockQuick": "/api/ware_stock_quick",
}

# A guard so that a broken server fails the test instead of hanging it; no
# test asserts anything about how long a step took.
PATIENCE = 60.0


# ------------------------------------------------------------------ helpers

class Server:
    """One server process on a free port."""

    def __init__(self, *args):
        self.log = tempfile.TemporaryFile()
        self.proc = subprocess.Popen([SCRIPT, "--port", "0", *args], stdout=subprocess.PIPE,
                                     stderr=self.log, text=True)
        line = self.proc.stdout.readline().strip()
        match = re.fullmatch(r"listening on 127\.0\.0\.1:(\d+)", line)
        if not match:
            self.stop()
            raise RuntimeError("server did not start: %r" % line)
        self.port = int(match.group(1))

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(PATIENCE)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self.proc.stdout.close()
        self.log.close()
        return self.proc.returncode

    def http(self, method, path, body=None, headers=None):
        conn = http.client.HTTPConnection("127.0.0.1", self.port, timeout=PATIENCE)
        try:
            conn.request(method, path, body=body, headers=headers or {})
            response = conn.getresponse()
            return response.status, response.read()
        finally:
            conn.close()

    def admin(self, path, body=None):
        if body is None:
            status, data = self.http("GET", "/admin/" + path)
        else:
            status, data = self.http("POST", "/admin/" + path, json.dumps(body).encode("utf-8"),
                                     {"Content-Type": "application/json"})
        return status, json.loads(data.decode("utf-8"))

    def ok_admin(self, path, body=None):
        status, value = self.admin(path, body)
        if status != 200:
            raise AssertionError("admin %s answered %d: %s" % (path, status, value))
        return value

    def post_raw(self, key, body):
        """POST a body as the client does; the raw reply bytes."""
        return self.http("POST", PATHS[key], body,
                         {"Content-Type": "application/x-www-form-urlencoded"})

    def exchange(self, key, fields):
        """Seal a request document, post it, open the reply; the jxcapi root."""
        status, raw = self.post_raw(key, xxtea_wire.seal(request_text(fields)).encode("ascii"))
        if status != 200:
            raise AssertionError("%s answered HTTP %d" % (key, status))
        text = xxtea_wire.open_text(raw)
        if text == xxtea_wire.FALSE_FALSE:
            raise AssertionError("%s: reply cannot be opened: %r" % (key, raw[:80]))
        root = ET.fromstring(text.encode("utf-8"))
        if root.tag != "jxcapi":
            raise AssertionError("%s: root %s" % (key, root.tag))
        return root

    def wait_held(self, count):
        deadline = time.monotonic() + PATIENCE
        while self.ok_admin("faults")["held"] < count:
            if time.monotonic() > deadline:
                raise AssertionError("no request was held")
            time.sleep(0.02)


def request_text(fields):
    """A request as the client writes it: declaration, then one element per
    line ending in CR LF, "<name/>" for empty values."""
    out = ['<?xml version="1.0" encoding="utf-8"?>']

    def write(name, value):
        if isinstance(value, list):
            out.append("<%s>\r\n" % name)
            for child in value:
                write(*child)
            out.append("</%s>\r\n" % name)
        elif value == "":
            out.append("<%s/>\r\n" % name)
        else:
            text = str(value).replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")
            out.append("<%s>%s</%s>\r\n" % (name, text, name))

    write("jxcapi", list(fields))
    return "".join(out)


def tags(element):
    return [child.tag for child in element]


def value(element, name):
    child = element.find(name)
    return None if child is None else (child.text or "")


def status_of(root):
    return value(root, "status")


def items(element):
    return [{c.tag: c.text or "" for c in item} for item in element.findall("item")]


def login(server, account="cashier01", password="123456"):
    root = server.exchange("ilogin", [("account", account), ("password", password)])
    assert status_of(root) == "1", ET.tostring(root, "unicode")
    return value(root.find("data"), "session_id")


def cafe_login(server, account="cashier01", password="123456"):
    session = login(server, account, password)
    root = server.exchange("iNetbarLogin", [("session_id", session),
                                            ("password", CAFE_PASSWORD),
                                            ("netbar_number", CAFE)])
    assert status_of(root) == "1", ET.tostring(root, "unicode")
    return value(root.find("data"), "session_id")


def catalogue_fields(key, session, market_id=BAR1, timestamp="0", cafe=CAFE):
    """The request fields of a catalogue exchange, in the client's order."""
    values = {"session_id": session, "netbar_number": cafe, "market_id": market_id,
              "timestamp": timestamp, "bar_id": market_id}
    order = {
        "iMainConfig": ["session_id", "netbar_number", "bar_id"],
        "iGetWorkSection": ["netbar_number", "session_id"],
        "iGetBar": ["netbar_number", "session_id"],
        "iGetWareType": ["session_id", "netbar_number"],
        "iGetWare": ["session_id", "netbar_number", "timestamp", "market_id"],
        "iWareStockNormal": ["session_id", "netbar_number", "market_id", "timestamp"],
        "iWareStockQuick": ["session_id", "netbar_number", "market_id", "timestamp"],
        "iGetMaterial": ["session_id", "netbar_number", "market_id", "timestamp"],
    }[key]
    return [(name, values[name]) for name in order]


GOODS_FIELDS = ["goods_id", "goods_name", "number", "properties_id", "barcode", "rebate",
                "class_id", "is_del", "is_use", "uint_name", "stock_num", "total_stock_num"]
MAIN_CONFIG_FIELDS = ["vcapi_goods", "vcapi_relief", "vcapi_market", "vcapi_goods_class",
                      "vcapi_material", "jxc_manage_mode", "vcapi_goods_stock",
                      "vcapi_material_stock", "jxc_relief_mode", "jxc_taste_setting"]


def cashier_upload(session, check_id, goods=None, market_id=BAR1, next_relief="中班",
                   this_shelve="150.00", cafe=CAFE):
    """A cashier handover upload laid out as the client lays it out."""
    handover = [
        ("market_id", market_id), ("market_name", "一楼吧台"), ("relief", "早班"),
        ("next_relief", next_relief), ("sale_money", "36.00"), ("sale_normal_money", "26.00"),
        ("sale_nowdo_money", "10.00"), ("pre_shelve", "200.00"), ("this_shelve", this_shelve),
        ("hand_money", "86.00"), ("errors_price", "-2.00"),
        ("handover_time", "2024-05-01 16:00:00"), ("take_time", "2024-05-01 08:00:00"),
        ("active_gift", "0.00"), ("remark", "备注 & <测试>"),
    ]
    if goods is None:
        goods = [(1001, 1, 1, "饮料", "可口可乐500ml", "瓶", "3.00", 21, 15, 6, 21001),
                 (1301, 2, 4, "奶茶", "珍珠奶茶", "杯", "10.00", 40, 39, 1, 21301)]
    goods_items = [("item", [
        ("goods_id", g[0]), ("properties_id", g[1]), ("class_id", g[2]), ("class_name", g[3]),
        ("goods_name", g[4]), ("unit_name", g[5]), ("rebate", g[6]), ("take_num", g[7]),
        ("handover_num", g[8]), ("this_sale", g[9]), ("number", g[10])]) for g in goods]
    return [("check_id", check_id), ("session_id", session), ("netbar_number", cafe),
            ("handover", handover), ("goods", goods_items)]


def material_upload(session, check_id, cafe=CAFE):
    check = [
        ("market_id", BAR1), ("market_name", "一楼吧台"), ("material_stock", "95"),
        ("material_used", "12"), ("material_active", "1"), ("material_scrap", "2"),
        ("relief", "早班"), ("cup_num", "0"), ("sale_num", "0"), ("scrap_num", "0"),
        ("active_gift", "0"), ("handover_time", "2024-05-01 16:00:00"), ("remark", "杯子够用"),
    ]
    info = [
        ("item", [("material_id", "3001"), ("type", "0"), ("former_num", "45"),
                  ("user_num", "10"), ("material_name", "珍珠粉圆"), ("unit_name", "袋"),
                  ("scrap_num", "2"), ("active_gift", "1")]),
        ("item", [("material_id", "9001"), ("type", "1"), ("former_num", "0"),
                  ("user_num", "0"), ("material_name", "杯子"), ("unit_name", "杯")]),
    ]
    return [("check_id", check_id), ("session_id", session), ("netbar_number", cafe),
            ("materialcheck", check), ("material_info", info)]


def in_thread(function, *args):
    """Run function in a thread; the returned dict gets "result" or "error"."""
    box = {}

    def run():
        try:
            box["result"] = function(*args)
        except Exception as exc:  # the test inspects what happened
            box["error"] = exc

    thread = threading.Thread(target=run, daemon=True)
    thread.start()
    box["thread"] = thread
    return box


SERVER = None


def setUpModule():
    global SERVER
    SERVER = Server()


def tearDownModule():
    SERVER.stop()


class ServerTest(unittest.TestCase):
    def setUp(self):
        self.server = SERVER
        self.server.ok_admin("reset", {"sessions": True})


# -------------------------------------------------------------------- wire

class WireTest(unittest.TestCase):
    """The module shared with the C++ tests, against the worked examples of
    the wire document and published vectors."""

    def test_worked_examples(self):
        for text, body in [("abc", "mVs/4C0uoJA="),
                           ("你好", "TQNdhJo9+qh/mLnL"),
                           ('<jxcapi status="1"/>', "lITBOoT+CXSG50mjMjP3C18IK02gnzAV"),
                           ("", "AAAAAA==")]:
            with self.subTest(text=text):
                self.assertEqual(xxtea_wire.seal(text), body)

    def test_published_vector_with_a_zero_key(self):
        self.assertEqual(xxtea_wire.encrypt_words([0, 0], b""), [0x053704AB, 0x575D8C80])
        self.assertEqual(xxtea_wire.decrypt_words([0x053704AB, 0x575D8C80], b""), [0, 0])

    def test_key_words_are_little_endian(self):
        self.assertEqual(xxtea_wire.key_words()[0], 0x54377148)
        self.assertEqual(xxtea_wire.key_words(b"ab"), [0x6261, 0, 0, 0])

    def test_opening(self):
        for body, text in [
            ("mVs/4C0uoJA=", "abc"),
            (b"\xef\xbb\xbfmVs/4C0uoJA=", "abc"),          # a byte-order mark is dropped
            ("mVs/4C0uoJA=\r\nAAAA", "abc"),              # decoding stops at the line break
            ("AAAA", xxtea_wire.FALSE_FALSE),             # one word: too short
            ("AAAAAA==", xxtea_wire.FALSE_FALSE),         # the empty text
            ("", xxtea_wire.FALSE_FALSE),
            ("<html>error</html>", xxtea_wire.FALSE_FALSE),
            ("mVs/4C0u", xxtea_wire.FALSE_FALSE),         # cut: the length word is wrong
        ]:
            with self.subTest(body=body):
                self.assertEqual(xxtea_wire.open_text(body), text)

    def test_round_trip_of_every_length(self):
        for length in range(0, 70):
            text = ("吧台a<&>" * 20)[:length] + "x"
            with self.subTest(length=length):
                body = xxtea_wire.seal(text)
                self.assertNotIn("\n", body)
                self.assertEqual(xxtea_wire.open_text(body), text)

    def test_base64_trailing_groups(self):
        for text, data in [("QQ", b"A"), ("QUI", b"AB"), ("QUJD", b"ABC"), ("QUJDR", b"ABC"),
                           ("QQ==", b"A"), ("QU=I", b"A"), ("Q", b""), ("Q\nUJD", b"")]:
            with self.subTest(text=text):
                self.assertEqual(xxtea_wire.b64decode(text), data)

    def test_command_line(self):
        module = os.path.join(SERVER_DIR, "xxtea_wire.py")
        sealed = subprocess.run([sys.executable, module, "seal", "你好"], capture_output=True,
                                text=True, check=True).stdout
        self.assertEqual(sealed, "TQNdhJo9+qh/mLnL\n")
        opened = subprocess.run([sys.executable, module, "open", "mVs/4C0uoJA="],
                                capture_output=True, text=True, check=True).stdout
        self.assertEqual(opened, "abc\n")
        bad = subprocess.run([sys.executable, module, "frob"], capture_output=True, text=True)
        self.assertEqual(bad.returncode, 2)


# --------------------------------------------------------------- endpoints

class EndpointTest(ServerTest):
    def test_sample_configuration_names_the_served_paths(self):
        interface = ET.parse(SAMPLE_CONFIG).getroot().find("ServerInterface")
        self.assertEqual(interface.findtext("Host"), "http://127.0.0.1:18080/")
        self.assertEqual({key: "/" + interface.findtext(key) for key in PATHS}, PATHS)
        served = self.server.ok_admin("state")["endpoints"]
        self.assertEqual(served, PATHS)

    def test_every_endpoint_answers_a_sealed_jxcapi_document(self):
        for key in PATHS:
            with self.subTest(key=key):
                root = self.server.exchange(key, [("session_id", "")])
                self.assertEqual(tags(root)[:2], ["status", "info"])

    def test_reply_layout_is_one_element_per_line(self):
        status, raw = self.server.post_raw("ilogin", xxtea_wire.seal(request_text(
            [("account", "cashier01"), ("password", "123456")])).encode())
        text = xxtea_wire.open_text(raw)
        self.assertTrue(text.startswith('<?xml version="1.0" encoding="utf-8"?><jxcapi>\r\n'))
        self.assertTrue(text.endswith("</jxcapi>\r\n"))
        self.assertNotIn("\n", text.replace("\r\n", ""))

    def test_expect_100_continue_is_answered_before_the_body(self):
        # libcurl holds back a larger body until the server says "continue".
        import socket
        body = xxtea_wire.seal(request_text([("account", "cashier01"), ("password", "123456"),
                                             ("padding", "x" * 2000)])).encode()
        with socket.create_connection(("127.0.0.1", self.server.port), PATIENCE) as sock:
            sock.sendall(("POST /api/login HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                          "Content-Type: application/x-www-form-urlencoded\r\n"
                          "Content-Length: %d\r\nExpect: 100-continue\r\n\r\n"
                          % len(body)).encode())
            interim = b""
            while not interim.endswith(b"\r\n\r\n"):
                chunk = sock.recv(1)
                self.assertTrue(chunk, "connection closed before 100 Continue")
                interim += chunk
            self.assertTrue(interim.startswith(b"HTTP/1.1 100"), interim)
            sock.sendall(body)
            answer = b""
            while True:
                chunk = sock.recv(65536)
                if not chunk:
                    break
                answer += chunk
        head, _, payload = answer.partition(b"\r\n\r\n")
        self.assertTrue(head.startswith(b"HTTP/1.1 200"), head)
        self.assertIn(b"Connection: close", head)
        self.assertIn("<identity>user</identity>", xxtea_wire.open_text(payload))

    def test_bad_requests(self):
        for body, info in [
            (b"", "参数不完整"),
            (b"<jxcapi><account>cashier01</account></jxcapi>", "请求无法解密"),
            (xxtea_wire.seal("not xml at all").encode(), "请求格式错误"),
            (xxtea_wire.seal("<other><account/></other>").encode(), "请求格式错误"),
        ]:
            with self.subTest(body=body[:20]):
                status, raw = self.server.post_raw("ilogin", body)
                root = ET.fromstring(xxtea_wire.open_text(raw).encode())
                self.assertEqual((status_of(root), value(root, "info")), ("0", info))

    def test_other_paths(self):
        for method, path, status, start in [
            ("GET", "/update", 200, b"no update"),
            ("POST", "/update", 200, b"no update"),
            ("GET", "/modify_pw", 200, b"<!DOCTYPE html>"),
            ("GET", "/api/login", 405, b""),
            ("POST", "/api/nothing", 404, b""),
            ("GET", "/nothing", 404, b""),
        ]:
            with self.subTest(method=method, path=path):
                got_status, data = self.server.http(method, path)
                self.assertEqual(got_status, status)
                self.assertTrue(data.startswith(start))


class LoginTest(ServerTest):
    def test_user_login(self):
        for account, password, status, identity in [
            ("cashier01", "123456", "1", "user"),
            ("manager01", "888888", "1", "manager"),
            ("cashier01", "888888", "0", None),
            ("cashier01", "", "0", None),
            ("nobody", "123456", "0", None),
            ("", "", "0", None),
        ]:
            with self.subTest(account=account, password=password):
                root = self.server.exchange("ilogin", [("account", account),
                                                       ("password", password)])
                self.assertEqual(status_of(root), status)
                if status == "1":
                    self.assertEqual(tags(root), ["status", "info", "data"])
                    data = root.find("data")
                    self.assertEqual(tags(data), ["session_id", "identity"])
                    self.assertRegex(value(data, "session_id"), r"^[0-9A-F]{32}$")
                    self.assertEqual(value(data, "identity"), identity)
                else:
                    # The client turns exactly this text into "wrong password".
                    self.assertEqual(value(root, "info"), "账号或者密码错误")
                    self.assertIsNone(root.find("data"))

    def test_sessions_are_distinct_under_concurrent_logins(self):
        boxes = [in_thread(login, self.server) for _ in range(20)]
        for box in boxes:
            box["thread"].join(PATIENCE)
        sessions = [box.get("result") for box in boxes]
        self.assertNotIn(None, sessions)
        self.assertEqual(len(set(sessions)), 20)

    def test_cafe_login(self):
        for account, cashier in [("cashier01", "张晓梅"), ("manager01", "李建国")]:
            with self.subTest(account=account):
                session = login(self.server, account, {"cashier01": "123456",
                                                       "manager01": "888888"}[account])
                root = self.server.exchange("iNetbarLogin", [
                    ("session_id", session), ("password", CAFE_PASSWORD),
                    ("netbar_number", CAFE)])
                self.assertEqual(status_of(root), "1")
                data = root.find("data")
                self.assertEqual(tags(data), ["session_id", "netbar_id", "netbar_name", "market",
                                              "cashier", "job_list", "pre_shelve", "job_order"])
                self.assertNotEqual(value(data, "session_id"), session)
                self.assertEqual(value(data, "netbar_id"), CAFE)
                self.assertEqual(value(data, "netbar_name"), "星河网咖（演示店）")
                self.assertEqual(items(data.find("market")),
                                 [{"market_id": BAR1, "market_name": "一楼吧台"},
                                  {"market_id": BAR2, "market_name": "二楼吧台"}])
                self.assertEqual(value(data, "cashier"), cashier)
                self.assertEqual(value(data, "job_list"), "早班,中班,晚班")
                self.assertEqual(value(data, "pre_shelve"), "200.00")
                self.assertEqual(value(data, "job_order"), "早班")

    def test_cafe_login_refusals_and_the_probe(self):
        session = login(self.server)
        for fields, info in [
            ([("session_id", "F" * 32), ("password", CAFE_PASSWORD), ("netbar_number", CAFE)],
             "会话无效，请重新登录"),
            ([("session_id", session), ("password", "000000"), ("netbar_number", CAFE)],
             "网吧编号或密码错误"),
            ([("session_id", session), ("password", CAFE_PASSWORD), ("netbar_number", "99")],
             "网吧编号或密码错误"),
            # The offline probe: fields present, all empty; any answer will do.
            ([("session_id", ""), ("password", ""), ("netbar_number", "")], "参数不完整"),
        ]:
            with self.subTest(fields=fields):
                root = self.server.exchange("iNetbarLogin", fields)
                self.assertEqual((status_of(root), value(root, "info")), ("0", info))
        outcomes = [r["outcome"] for r in self.server.ok_admin("requests")["requests"]]
        self.assertEqual(outcomes[-1], "probe")

    def test_passwords_are_masked_in_the_request_log(self):
        cafe_login(self.server)
        logged = self.server.ok_admin("requests")["requests"]
        self.assertEqual([r["fields"]["password"] for r in logged], ["******", "******"])
        self.assertNotIn("123456", json.dumps(logged))

    def test_logout_without_body(self):
        for _ in range(2):
            status, raw = self.server.post_raw("ilogout", b"")
            self.assertEqual(status, 200)
            root = ET.fromstring(xxtea_wire.open_text(raw).encode())
            self.assertEqual(status_of(root), "1")
        self.assertEqual(self.server.ok_admin("state")["logouts"], 2)


# ---------------------------------------------------------------- catalogue

class CatalogueTest(ServerTest):
    def setUp(self):
        super().setUp()
        self.session = cafe_login(self.server)

    def get(self, key, **kwargs):
        return self.server.exchange(key, catalogue_fields(key, self.session, **kwargs))

    def data(self, key, **kwargs):
        root = self.get(key, **kwargs)
        self.assertEqual(status_of(root), "1", ET.tostring(root, "unicode"))
        self.assertEqual(tags(root), ["status", "info", "data"])
        return root.find("data")

    def test_refusals_without_session_cafe_or_bar(self):
        keys = ["iMainConfig", "iGetWorkSection", "iGetBar", "iGetWareType", "iGetWare",
                "iWareStockNormal", "iWareStockQuick", "iGetMaterial"]
        for key in keys:
            for session, cafe, market, info in [
                ("", CAFE, BAR1, "会话无效，请重新登录"),
                ("0" * 32, CAFE, BAR1, "会话无效，请重新登录"),
                (self.session, "10002", BAR1, "网吧不存在"),
                (self.session, CAFE, "999", "吧台不存在"),
            ]:
                if info == "吧台不存在" and "market_id" not in dict(catalogue_fields(key, "")):
                    continue
                with self.subTest(key=key, info=info):
                    root = self.server.exchange(key, catalogue_fields(
                        key, session, market_id=market, cafe=cafe))
                    self.assertEqual((status_of(root), value(root, "info")), ("0", info))

    def test_main_configuration(self):
        data = self.data("iMainConfig", market_id="")
        self.assertEqual(tags(data), MAIN_CONFIG_FIELDS)
        versions = self.server.ok_admin("state")["versions"]
        for name, number in versions.items():
            self.assertEqual(value(data, name), str(number))
        self.assertEqual(len(set(versions.values())), 7)
        self.assertEqual(value(data, "jxc_relief_mode"), "1")
        self.assertEqual(value(data, "jxc_manage_mode"), "1")
        self.assertEqual(value(data, "jxc_taste_setting").split(","),
                         ["少糖", "半糖", "多糖", "去冰", "少冰", "常温", "加热"])

    def test_work_sections_bars_and_types(self):
        self.assertEqual(tags(self.data("iGetWorkSection")), ["job_list"])
        self.assertEqual(value(self.data("iGetWorkSection"), "job_list"), "早班,中班,晚班")
        self.assertEqual(items(self.data("iGetBar")),
                         [{"market_id": BAR1, "market_name": "一楼吧台"},
                          {"market_id": BAR2, "market_name": "二楼吧台"}])
        types = self.data("iGetWareType")
        for item in types:
            self.assertEqual(tags(item), ["class_id", "class_name"])
        self.assertEqual([(t["class_id"], t["class_name"]) for t in items(types)],
                         [("1", "饮料"), ("2", "零食"), ("3", "方便面"), ("4", "奶茶"),
                          ("5", "小吃"), ("6", "日用品")])

    def goods(self, market_id=BAR1):
        data = self.data("iGetWare", market_id=market_id)
        self.assertEqual(tags(data), ["goods"])
        for item in data.find("goods"):
            self.assertEqual(tags(item), GOODS_FIELDS)
        return items(data.find("goods"))

    def test_goods(self):
        goods = self.goods()
        self.assertGreaterEqual(len(goods), 30)
        names = [g["goods_name"] for g in goods]
        self.assertEqual(len(set(names)), len(names), "the client matches wares by name")
        type_ids = {t["class_id"] for t in items(self.data("iGetWareType"))}
        made_to_order = [g for g in goods if g["properties_id"] == "2"]
        self.assertGreaterEqual(len(made_to_order), 5)
        for g in goods:
            with self.subTest(ware=g["goods_name"]):
                self.assertIn(g["class_id"], type_ids)
                self.assertRegex(g["rebate"], r"^\d+\.\d\d$")
                self.assertRegex(g["goods_name"], r"[\u4e00-\u9fff]")
                if g["properties_id"] == "2":
                    self.assertEqual(g["barcode"], "")
                else:
                    code = [int(c) for c in g["barcode"]]
                    self.assertEqual(len(code), 13)
                    self.assertEqual(sum(d * (3 if i % 2 else 1) for i, d in enumerate(code)) % 10,
                                     0, "EAN-13 check digit")
                self.assertGreaterEqual(int(g["total_stock_num"]), int(g["stock_num"]))
        self.assertEqual([g["goods_name"] for g in goods if g["is_del"] == "1"],
                         ["美年达葡萄味500ml"])
        self.assertEqual([g["goods_name"] for g in goods if g["is_use"] == "0"],
                         ["冰糖雪梨500ml"])

    def test_the_documented_ware_table_is_the_served_one(self):
        with open(os.path.join(ROOT, "docs", "demo-server.md"), encoding="utf-8") as doc:
            rows = [line.split("|")[1:-1] for line in doc if re.match(r"\| \d{4} \| ", line)]
        documented = {}
        for cells in rows:
            cells = [c.strip() for c in cells]
            if len(cells) == 9:
                stock1, stock2 = cells[7].split(" / ")
                documented[cells[0]] = (cells[1], cells[4], cells[6].replace("(empty)", ""),
                                        stock1, stock2)
        self.assertEqual(len(documented), 39)
        served = {g["goods_id"]: (g["goods_name"], g["rebate"], g["barcode"], g["stock_num"])
                  for g in self.goods(BAR1)}
        second = {g["goods_id"]: g["stock_num"] for g in self.goods(BAR2)}
        self.assertEqual({k: v[:4] for k, v in documented.items()}, served)
        self.assertEqual({k: v[4] for k, v in documented.items()}, second)

    def test_every_text_survives_code_page_936(self):
        # The client passes replies through GBK; a character it lacks is lost.
        for key in ["iMainConfig", "iGetWorkSection", "iGetBar", "iGetWareType", "iGetWare",
                    "iWareStockQuick", "iGetMaterial"]:
            with self.subTest(key=key):
                text = ET.tostring(self.get(key), "unicode")
                text.encode("gbk")

    def test_stock_differs_per_bar_and_empty_bar_means_the_first(self):
        first, second, empty = self.goods(BAR1), self.goods(BAR2), self.goods("")
        self.assertEqual(first, empty)
        self.assertNotEqual([g["stock_num"] for g in first], [g["stock_num"] for g in second])
        for a, b in zip(first, second):
            self.assertEqual(int(a["total_stock_num"]), int(a["stock_num"]) + int(b["stock_num"]))

    def test_timestamp_does_not_shrink_the_list(self):
        version = self.server.ok_admin("state")["versions"]["vcapi_goods"]
        self.assertEqual(self.goods(), items(self.data(
            "iGetWare", timestamp=str(version)).find("goods")))
        timestamps = [r["fields"]["timestamp"] for r in
                      self.server.ok_admin("requests?endpoint=iGetWare")["requests"]]
        self.assertEqual(timestamps, ["0", str(version)])

    def test_stock_normal(self):
        for bar in (BAR1, BAR2):
            with self.subTest(bar=bar):
                data = self.data("iWareStockNormal", market_id=bar)
                for item in data.find("goods"):
                    self.assertEqual(tags(item), ["goods_id", "stock_num"])
                expected = {g["goods_id"]: g["stock_num"] for g in self.goods(bar)
                            if g["is_del"] == "0"}
                got = {i["goods_id"]: i["stock_num"] for i in items(data.find("goods"))}
                self.assertEqual(got, expected)

    def test_stock_quick_pools_ordinary_wares_by_type_and_price(self):
        data = self.data("iWareStockQuick")
        rows = items(data.find("goods"))
        for item in data.find("goods"):
            self.assertEqual(tags(item), ["class_id", "rebate", "stock_num", "class_name"])
        expected = {}
        for g in self.goods():
            if g["properties_id"] == "1" and g["is_del"] == "0" and g["is_use"] == "1":
                key = (g["class_id"], g["rebate"])
                expected[key] = expected.get(key, 0) + int(g["stock_num"])
        self.assertEqual({(r["class_id"], r["rebate"]): int(r["stock_num"]) for r in rows},
                         expected)
        self.assertIn({"class_id": "1", "rebate": "3.00", "stock_num": str(expected[("1", "3.00")]),
                       "class_name": "饮料"}, rows)

    def test_materials_and_the_cup_record(self):
        data = self.data("iGetMaterial")
        self.assertEqual(tags(data), ["goods"])
        ordinary, cups = [], []
        for item in data.find("goods"):
            if value(item, "is_special") == "1":
                self.assertEqual(tags(item), ["material_id", "is_special", "stock_num"])
                cups.append(items_of(item))
            else:
                self.assertEqual(tags(item), ["material_id", "is_special", "material_name",
                                              "is_del", "uint_name", "stock_num",
                                              "total_stock_num"])
                ordinary.append(items_of(item))
        self.assertEqual(cups, [{"material_id": "9001", "is_special": "1", "stock_num": "500"}])
        self.assertGreaterEqual(len(ordinary), 10)
        for m in ordinary:
            self.assertGreaterEqual(int(m["total_stock_num"]), int(m["stock_num"]))
        self.assertEqual([m["material_name"] for m in ordinary if m["is_del"] == "1"],
                         ["旧款杯盖"])
        second = self.data("iGetMaterial", market_id=BAR2)
        self.assertEqual(value(second.find("goods")[-1], "stock_num"), "300")


def items_of(item):
    return {c.tag: c.text or "" for c in item}


# ------------------------------------------------------------------ versions

class VersionTest(ServerTest):
    def setUp(self):
        super().setUp()
        self.session = cafe_login(self.server)

    def versions(self):
        data = self.server.exchange("iMainConfig", catalogue_fields(
            "iMainConfig", self.session)).find("data")
        return {name: int(value(data, name)) for name in MAIN_CONFIG_FIELDS
                if name.startswith("vcapi_")}

    def test_changes_bump_the_versions_of_what_changed(self):
        for path, change, bumped in [
            ("ware", {"goods_id": 1001, "rebate": 3.5}, ["vcapi_goods"]),
            ("ware", {"goods_id": 1001, "goods_name": "可口可乐330ml"}, ["vcapi_goods"]),
            ("ware", {"goods_id": 1001, "stock": 7}, ["vcapi_goods_stock"]),
            ("ware", {"goods_id": 1001, "stock": 8, "market_id": BAR2, "is_use": 0},
             ["vcapi_goods", "vcapi_goods_stock"]),
            ("ware", {"goods_id": 1001, "rebate": 3.5, "stock": 8, "market_id": BAR2}, []),
            ("ware", {"goods_id": 1601, "goods_name": "新品饮料", "class_id": 1, "rebate": 4},
             ["vcapi_goods"]),
            ("material", {"material_id": 3001, "material_name": "黑珍珠"}, ["vcapi_material"]),
            ("material", {"material_id": 3001, "stock": 3}, ["vcapi_material_stock"]),
            ("material", {"material_id": 9001, "stock": 99}, ["vcapi_material_stock"]),
            ("combined_stock", {"class_id": 1, "rebate": "3.00", "stock": 5},
             ["vcapi_goods_stock"]),
            ("bar", {"market_id": BAR2, "market_name": "网吧二楼"}, ["vcapi_market"]),
            ("ware_type", {"class_id": 6, "class_name": "生活用品"}, ["vcapi_goods_class"]),
            ("config", {"job_list": "白班,夜班"}, ["vcapi_relief"]),
            ("config", {"jxc_relief_mode": 2}, []),
            ("versions", {"bump": ["vcapi_goods", "vcapi_material"]},
             ["vcapi_goods", "vcapi_material"]),
        ]:
            with self.subTest(path=path, change=change):
                before = self.versions()
                self.server.ok_admin(path, change)
                after = self.versions()
                self.assertEqual(sorted(n for n in after if after[n] != before[n]), sorted(bumped))
                for name in bumped:
                    self.assertEqual(after[name], before[name] + 1)

    def test_changes_reach_the_lists(self):
        self.server.ok_admin("ware", {"goods_id": 1001, "rebate": 3.5, "stock": 4,
                                      "market_id": BAR1})
        self.server.ok_admin("material", {"material_id": 9001, "stock": 77, "market_id": BAR1})
        self.server.ok_admin("config", {"jxc_relief_mode": 2, "jxc_taste_setting": "冰,热",
                                        "job_order": "晚班", "pre_shelve": "88.5"})
        goods = items(self.server.exchange("iGetWare", catalogue_fields(
            "iGetWare", self.session)).find("data/goods"))
        cola = [g for g in goods if g["goods_id"] == "1001"][0]
        self.assertEqual((cola["rebate"], cola["stock_num"]), ("3.50", "4"))
        stock = items(self.server.exchange("iWareStockNormal", catalogue_fields(
            "iWareStockNormal", self.session)).find("data/goods"))
        self.assertIn({"goods_id": "1001", "stock_num": "4"}, stock)
        cup = self.server.exchange("iGetMaterial", catalogue_fields(
            "iGetMaterial", self.session)).find("data/goods")[-1]
        self.assertEqual(value(cup, "stock_num"), "77")
        data = self.server.exchange("iMainConfig", catalogue_fields(
            "iMainConfig", self.session)).find("data")
        self.assertEqual((value(data, "jxc_relief_mode"), value(data, "jxc_taste_setting")),
                         ("2", "冰,热"))
        session = login(self.server)
        cafe = self.server.exchange("iNetbarLogin", [("session_id", session),
                                                     ("password", CAFE_PASSWORD),
                                                     ("netbar_number", CAFE)]).find("data")
        self.assertEqual((value(cafe, "job_order"), value(cafe, "pre_shelve")),
                         ("晚班", "88.50"))

    def test_a_removed_bar_leaves_the_cafe_login(self):
        self.server.ok_admin("bar", {"market_id": BAR2, "remove": True})
        session = login(self.server)
        cafe = self.server.exchange("iNetbarLogin", [("session_id", session),
                                                     ("password", CAFE_PASSWORD),
                                                     ("netbar_number", CAFE)]).find("data")
        self.assertEqual([i["market_id"] for i in items(cafe.find("market"))], [BAR1])
        root = self.server.exchange("iGetWare", catalogue_fields("iGetWare", self.session,
                                                                 market_id=BAR2))
        self.assertEqual(status_of(root), "0")

    def test_generated_catalogue(self):
        result = self.server.ok_admin("generate", {"wares": 300, "materials": 20})
        goods = self.server.exchange("iGetWare", catalogue_fields(
            "iGetWare", self.session)).find("data/goods")
        self.assertEqual(len(goods), result["wares"])
        self.assertEqual(len(goods), 300 + 39)
        materials = self.server.exchange("iGetMaterial", catalogue_fields(
            "iGetMaterial", self.session)).find("data/goods")
        self.assertEqual(len(materials), 20 + 13 + 1)
        self.server.ok_admin("generate", {"wares": 0, "materials": 0})
        goods = self.server.exchange("iGetWare", catalogue_fields(
            "iGetWare", self.session)).find("data/goods")
        self.assertEqual(len(goods), 39)

    def test_admin_refusals(self):
        for method, path, body, status in [
            ("POST", "ware", {"rebate": 1}, 400),
            ("POST", "ware", {"goods_id": 5555}, 400),
            ("POST", "ware", {"goods_id": 1001, "stock": 1, "market_id": "999"}, 400),
            ("POST", "ware", {"goods_id": 1001, "goods_name": "改名", "rebate": "abc"}, 400),
            ("POST", "material", {}, 400),
            ("POST", "material", {"material_id": 9001, "material_name": "杯"}, 400),
            ("POST", "versions", {"bump": ["vcapi_nothing"]}, 400),
            ("POST", "faults", {"mode": "explode"}, 400),
            ("POST", "faults", {"mode": "status0", "endpoints": ["iNothing"]}, 400),
            ("POST", "generate", {"wares": -1}, 400),
            ("POST", "nothing", {}, 404),
            ("GET", "nothing", None, 404),
        ]:
            with self.subTest(path=path, body=body):
                got, _ = self.server.admin(path, body) if method == "POST" else \
                    self.server.admin(path)
                self.assertEqual(got, status)
        got, data = self.server.http("POST", "/admin/ware", b"{not json", {})
        self.assertEqual(got, 400)
        # A refused change leaves nothing half done.
        cola = [w for w in self.server.ok_admin("catalogue")["wares"] if w["goods_id"] == 1001]
        self.assertEqual(cola[0]["goods_name"], "可口可乐500ml")

    def test_reset_restores_the_start(self):
        start = self.server.ok_admin("state")
        self.server.ok_admin("ware", {"goods_id": 1001, "rebate": 9})
        self.server.ok_admin("faults", {"mode": "status0"})
        self.server.exchange("iFinishWorkSection", cashier_upload(self.session, "R-1"))
        after = self.server.ok_admin("reset", {})
        self.assertEqual(after["versions"], start["versions"])
        self.assertEqual(after["fault"]["mode"], "none")
        self.assertEqual(after["uploads"]["received"], 0)
        self.assertEqual(self.server.ok_admin("requests")["requests"], [])
        # Sessions survive a plain reset, so a running client keeps working.
        root = self.server.exchange("iMainConfig", catalogue_fields("iMainConfig", self.session))
        self.assertEqual(status_of(root), "1")
        self.server.ok_admin("reset", {"sessions": True})
        root = self.server.exchange("iMainConfig", catalogue_fields("iMainConfig", self.session))
        self.assertEqual(status_of(root), "0")


# ------------------------------------------------------------------- uploads

class UploadTest(ServerTest):
    def setUp(self):
        super().setUp()
        self.session = cafe_login(self.server)

    def upload(self, key, fields):
        root = self.server.exchange(key, fields)
        return status_of(root), value(root, "info")

    def test_cashier_upload_is_stored_field_by_field(self):
        self.assertEqual(self.upload("iFinishWorkSection",
                                     cashier_upload(self.session, "UUID-A"))[0], "1")
        uploads = self.server.ok_admin("uploads")
        self.assertEqual(len(uploads["uploads"]), 1)
        entry = uploads["uploads"][0]
        self.assertEqual((entry["kind"], entry["outcome"], entry["problems"]),
                         ("cashier", "accepted", []))
        stored = uploads["accepted"]["cashier"]
        self.assertEqual(len(stored), 1)
        record = stored[0]
        self.assertEqual((record["check_id"], record["session_id"], record["netbar_number"]),
                         ("UUID-A", self.session, CAFE))
        self.assertTrue(record["session_known"])
        self.assertEqual(record["handover"]["errors_price"], "-2.00")
        self.assertEqual(record["handover"]["remark"], "备注 & <测试>")
        self.assertEqual(list(record["handover"]), [
            "market_id", "market_name", "relief", "next_relief", "sale_money",
            "sale_normal_money", "sale_nowdo_money", "pre_shelve", "this_shelve", "hand_money",
            "errors_price", "handover_time", "take_time", "active_gift", "remark"])
        self.assertEqual(record["goods"][0], {
            "goods_id": "1001", "properties_id": "1", "class_id": "1", "class_name": "饮料",
            "goods_name": "可口可乐500ml", "unit_name": "瓶", "rebate": "3.00",
            "take_num": "21", "handover_num": "15", "this_sale": "6", "number": "21001"})
        self.assertEqual(len(record["goods"]), 2)

    def test_material_upload_is_stored_field_by_field(self):
        self.assertEqual(self.upload("iFinishMetarialWorkSection",
                                     material_upload(self.session, "UUID-M"))[0], "1")
        record = self.server.ok_admin("uploads")["accepted"]["material"][0]
        self.assertEqual(record["materialcheck"]["remark"], "杯子够用")
        self.assertEqual(record["materialcheck"]["material_scrap"], "2")
        self.assertEqual(record["material_info"][1], {
            "material_id": "9001", "type": "1", "former_num": "0", "user_num": "0",
            "material_name": "杯子", "unit_name": "杯"})
        self.assertEqual(self.server.ok_admin("uploads")["uploads"][0]["problems"], [])

    def test_a_repeated_check_id_is_accepted_and_stored_once(self):
        for key, build, kind in [("iFinishWorkSection", cashier_upload, "cashier"),
                                 ("iFinishMetarialWorkSection", material_upload, "material")]:
            with self.subTest(kind=kind):
                for _ in range(3):
                    self.assertEqual(self.upload(key, build(self.session, "SAME-" + kind))[0],
                                     "1")
                uploads = self.server.ok_admin("uploads")
                stored = uploads["accepted"][kind]
                self.assertEqual([r["check_id"] for r in stored], ["SAME-" + kind])
                self.assertEqual(stored[0]["duplicates"], 2)
                outcomes = [u["outcome"] for u in uploads["uploads"] if u["kind"] == kind]
                self.assertEqual(outcomes, ["accepted", "duplicate", "duplicate"])
        # The same uuid for a cashier and a material record names two records.
        self.assertEqual(self.upload("iFinishMetarialWorkSection",
                                     material_upload(self.session, "SAME-cashier"))[0], "1")
        self.assertEqual(len(self.server.ok_admin("uploads")["accepted"]["material"]), 2)

    def test_refused_uploads(self):
        for key, fields, info in [
            ("iFinishWorkSection", cashier_upload(self.session, ""), "交班记录缺少check_id"),
            ("iFinishWorkSection", cashier_upload(self.session, "X", cafe="2"), "网吧不存在"),
            ("iFinishMetarialWorkSection", material_upload(self.session, " "),
             "交班记录缺少check_id"),
        ]:
            with self.subTest(fields=fields[:3]):
                self.assertEqual(self.upload(key, fields), ("0", info))
        self.assertEqual(self.server.ok_admin("uploads")["accepted"],
                         {"cashier": [], "material": []})

    def test_an_unknown_session_does_not_lose_the_shift(self):
        self.assertEqual(self.upload("iFinishWorkSection",
                                     cashier_upload("EXPIRED", "LATE-1"))[0], "1")
        record = self.server.ok_admin("uploads")["accepted"]["cashier"][0]
        self.assertFalse(record["session_known"])

    def test_layout_departures_are_noted_but_accepted(self):
        fields = cashier_upload(self.session, "ODD-1")
        fields[0], fields[1] = fields[1], fields[0]
        handover = fields[3][1]
        handover[0], handover[1] = handover[1], handover[0]
        self.assertEqual(self.upload("iFinishWorkSection", fields)[0], "1")
        problems = self.server.ok_admin("uploads")["uploads"][0]["problems"]
        self.assertEqual(len(problems), 2)
        self.assertTrue(problems[0].startswith("jxcapi: expected check_id, session_id"))
        self.assertTrue(problems[1].startswith("handover: expected market_id, market_name"))

    def test_accepted_handover_sets_stock_float_and_shift(self):
        quick_row = (0, 1, 1, "饮料", "3.00元饮料", "", "3.00", 100, 90, 10, 0)
        ordinary = (1002, 1, 1, "饮料", "百事可乐500ml", "瓶", "3.00", 28, 20, 8, 21002)
        self.upload("iFinishWorkSection", cashier_upload(
            self.session, "EFFECT-1", goods=[ordinary, quick_row], next_relief="晚班",
            this_shelve="123.4"))
        catalogue = self.server.ok_admin("catalogue")
        pepsi = [w for w in catalogue["wares"] if w["goods_id"] == 1002][0]
        self.assertEqual(pepsi["stock"], {BAR1: 20, BAR2: 14})
        self.assertIn({"class_id": 1, "rebate": "3.00", "stock_num": 90, "class_name": "饮料"},
                      catalogue["combined_stock"][BAR1])
        state = self.server.ok_admin("state")
        self.assertEqual((state["pre_shelve"], state["job_order"]), ("123.40", "晚班"))
        # The counter already holds these counts: nothing to download again.
        self.assertEqual(state["versions"], self.server.ok_admin("reset", {})["versions"])


# -------------------------------------------------------------------- faults

class FaultTest(ServerTest):
    def setUp(self):
        super().setUp()
        self.session = cafe_login(self.server)
        self.addCleanup(self.server.ok_admin, "faults", {"mode": "none"})

    def main_config_raw(self):
        body = xxtea_wire.seal(request_text(catalogue_fields("iMainConfig", self.session)))
        return self.server.post_raw("iMainConfig", body.encode())

    def test_spoiled_replies(self):
        for mode, expected in [("garbage", xxtea_wire.FALSE_FALSE),
                               ("truncated", xxtea_wire.FALSE_FALSE),
                               ("empty", xxtea_wire.FALSE_FALSE)]:
            with self.subTest(mode=mode):
                self.server.ok_admin("faults", {"mode": mode})
                status, raw = self.main_config_raw()
                self.assertEqual(status, 200)
                self.assertEqual(xxtea_wire.open_text(raw), expected)
                if mode == "empty":
                    self.assertEqual(raw, b"")
        self.server.ok_admin("faults", {"mode": "none"})
        status, raw = self.main_config_raw()
        self.assertIn("<status>1</status>", xxtea_wire.open_text(raw))

    def test_status0_answers_every_exchange_with_status_0(self):
        self.server.ok_admin("faults", {"mode": "status0"})
        for key, fields in [("ilogin", [("account", "cashier01"), ("password", "123456")]),
                            ("iMainConfig", catalogue_fields("iMainConfig", self.session)),
                            ("iGetWare", catalogue_fields("iGetWare", self.session)),
                            ("iFinishWorkSection", cashier_upload(self.session, "S0"))]:
            with self.subTest(key=key):
                root = self.server.exchange(key, fields)
                self.assertEqual((status_of(root), value(root, "info")),
                                 ("0", "服务器维护中，请稍后再试"))
        uploads = self.server.ok_admin("uploads")
        self.assertEqual([u["outcome"] for u in uploads["uploads"]], ["status0"])
        self.assertEqual(uploads["accepted"]["cashier"], [])

    def test_rejected_uploads(self):
        for reject_status in (2, 0):
            with self.subTest(reject_status=reject_status):
                self.server.ok_admin("faults", {"mode": "reject_uploads",
                                                "reject_status": reject_status})
                for key, fields in [
                        ("iFinishWorkSection", cashier_upload(self.session, "REJ")),
                        ("iFinishMetarialWorkSection", material_upload(self.session, "REJ"))]:
                    root = self.server.exchange(key, fields)
                    self.assertEqual(status_of(root), str(reject_status))
                # Only uploads are rejected.
                root = self.server.exchange("iGetWare", catalogue_fields("iGetWare",
                                                                         self.session))
                self.assertEqual(status_of(root), "1")
        self.assertEqual(self.server.ok_admin("uploads")["accepted"],
                         {"cashier": [], "material": []})
        self.server.ok_admin("faults", {"mode": "none"})
        root = self.server.exchange("iFinishWorkSection", cashier_upload(self.session, "REJ"))
        self.assertEqual(status_of(root), "1")
        self.assertEqual(len(self.server.ok_admin("uploads")["accepted"]["cashier"]), 1)

    def test_a_stored_upload_whose_answer_was_lost_is_a_duplicate_later(self):
        self.server.ok_admin("faults", {"mode": "garbage", "endpoints": ["iFinishWorkSection"]})
        fields = cashier_upload(self.session, "LOST-ANSWER")
        body = xxtea_wire.seal(request_text(fields)).encode()
        self.assertEqual(xxtea_wire.open_text(self.server.post_raw("iFinishWorkSection",
                                                                    body)[1]),
                         xxtea_wire.FALSE_FALSE)
        self.server.ok_admin("faults", {"mode": "none"})
        self.assertEqual(status_of(self.server.exchange("iFinishWorkSection", fields)), "1")
        uploads = self.server.ok_admin("uploads")
        self.assertEqual([u["outcome"] for u in uploads["uploads"]], ["accepted", "duplicate"])
        self.assertEqual(len(uploads["accepted"]["cashier"]), 1)

    def test_endpoint_filter_and_count(self):
        self.server.ok_admin("faults", {"mode": "status0", "endpoints": ["iGetWare"],
                                        "count": 2})
        keys = ["iMainConfig", "iGetWare", "iGetMaterial", "iGetWare", "iGetWare"]
        got = [status_of(self.server.exchange(k, catalogue_fields(k, self.session)))
               for k in keys]
        self.assertEqual(got, ["1", "0", "1", "0", "1"])
        self.assertEqual(self.server.ok_admin("faults")["mode"], "none")

    def test_drop_closes_without_an_answer(self):
        self.server.ok_admin("faults", {"mode": "drop"})
        with self.assertRaises((http.client.RemoteDisconnected, ConnectionError)):
            self.main_config_raw()
        outcome = self.server.ok_admin("requests")["requests"][-1]["outcome"]
        self.assertEqual(outcome, "drop")

    def test_no_answer_holds_until_the_fault_is_lifted(self):
        for process, stored in [(False, 0), (True, 1)]:
            with self.subTest(process=process):
                self.server.ok_admin("reset", {})
                self.server.ok_admin("faults", {"mode": "no_answer", "process": process})
                box = in_thread(self.server.exchange, "iFinishWorkSection",
                                cashier_upload(self.session, "HELD-%s" % process))
                self.server.wait_held(1)
                # The administration answers while a request hangs.
                self.assertEqual(self.server.ok_admin("state")["held"], 1)
                self.assertNotIn("result", box)
                self.server.ok_admin("faults", {"mode": "none"})
                box["thread"].join(PATIENCE)
                self.assertIsInstance(box.get("error"),
                                      (http.client.RemoteDisconnected, ConnectionError))
                self.assertEqual(self.server.ok_admin("faults")["held"], 0)
                uploads = self.server.ok_admin("uploads")
                self.assertEqual(len(uploads["accepted"]["cashier"]), stored)
                self.assertEqual(uploads["uploads"][0]["outcome"],
                                 "accepted" if process else "no_answer")

    def test_slow_answers_after_the_delay_or_when_lifted(self):
        self.server.ok_admin("faults", {"mode": "slow", "slow_seconds": 0.05})
        root = self.server.exchange("iMainConfig", catalogue_fields("iMainConfig",
                                                                    self.session))
        self.assertEqual(status_of(root), "1")
        self.server.ok_admin("faults", {"mode": "slow", "slow_seconds": 600})
        box = in_thread(self.server.exchange, "iGetWare",
                        catalogue_fields("iGetWare", self.session))
        self.server.wait_held(1)
        self.assertNotIn("result", box)
        self.server.ok_admin("faults", {"mode": "none"})
        box["thread"].join(PATIENCE)
        self.assertEqual(status_of(box["result"]), "1")
        self.assertGreater(len(box["result"].find("data/goods")), 30)


class StartOptionTest(unittest.TestCase):
    """Flags given at start, each on a server of its own."""

    def start(self, *args):
        server = Server(*args)
        self.addCleanup(server.stop)
        return server

    def test_fault_flags_hold_from_the_start_and_after_reset(self):
        server = self.start("--fault", "status0", "--fault-endpoints", "iGetBar,ilogin")
        root = server.exchange("ilogin", [("account", "cashier01"), ("password", "123456")])
        self.assertEqual(status_of(root), "0")
        server.ok_admin("faults", {"mode": "none"})
        session = cafe_login(server)
        server.ok_admin("reset", {})
        self.assertEqual(server.ok_admin("faults")["mode"], "status0")
        root = server.exchange("iGetBar", catalogue_fields("iGetBar", session))
        self.assertEqual(status_of(root), "0")
        root = server.exchange("iGetWorkSection", catalogue_fields("iGetWorkSection", session))
        self.assertEqual(status_of(root), "1")

    def test_quick_mode_and_bulk_catalogue(self):
        server = self.start("--relief-mode", "2", "--extra-wares", "100",
                            "--extra-materials", "5")
        session = cafe_login(server)
        data = server.exchange("iMainConfig", catalogue_fields("iMainConfig",
                                                               session)).find("data")
        self.assertEqual(value(data, "jxc_relief_mode"), "2")
        goods = server.exchange("iGetWare", catalogue_fields("iGetWare", session))
        self.assertEqual(len(goods.find("data/goods")), 139)
        materials = server.exchange("iGetMaterial", catalogue_fields("iGetMaterial", session))
        self.assertEqual(len(materials.find("data/goods")), 5 + 13 + 1)

    def test_paths_from_a_configuration_file(self):
        with open(SAMPLE_CONFIG, encoding="utf-8") as sample:
            text = sample.read()
        text = text.replace("<Host>http://127.0.0.1:18080/</Host>",
                            "<Host>http://127.0.0.1:18080/jxc/</Host>")
        text = text.replace("<ilogin>api/login</ilogin>", "<ilogin>v2/signin</ilogin>")
        with tempfile.NamedTemporaryFile("w", suffix=".xml", delete=False,
                                         encoding="utf-8") as config:
            config.write(text)
        self.addCleanup(os.unlink, config.name)
        server = self.start("--config", config.name)
        endpoints = server.ok_admin("state")["endpoints"]
        self.assertEqual(endpoints["ilogin"], "/jxc/v2/signin")
        self.assertEqual(endpoints["iGetWare"], "/jxc/api/wares")
        body = xxtea_wire.seal(request_text([("account", "cashier01"),
                                             ("password", "123456")])).encode()
        status, raw = server.http("POST", "/jxc/v2/signin", body)
        self.assertIn("<status>1</status>", xxtea_wire.open_text(raw))
        status, _ = server.http("POST", "/api/login", body)
        self.assertEqual(status, 404)

    def test_bad_command_lines(self):
        for args in (["--fault", "explode"], ["--fault-endpoints", "iNothing"],
                     ["--config", "/nonexistent/ClientConfig.xml"]):
            with self.subTest(args=args):
                result = subprocess.run([SCRIPT, "--port", "0", *args], capture_output=True,
                                        text=True, timeout=PATIENCE)
                self.assertEqual(result.returncode, 2)
                self.assertEqual(result.stdout, "")

    def test_a_taken_port_is_reported(self):
        server = self.start()
        result = subprocess.run([SCRIPT, "--port", str(server.port)], capture_output=True,
                                text=True, timeout=PATIENCE)
        self.assertEqual(result.returncode, 1)
        self.assertIn("cannot listen", result.stderr)

    def test_stops_cleanly_on_sigterm(self):
        server = Server()
        self.assertEqual(server.stop(), 0)


if __name__ == "__main__":
    unittest.main()
