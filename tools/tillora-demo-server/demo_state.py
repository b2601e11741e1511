"""The demo inventory server's data and its answers to the thirteen exchanges.

Everything here runs under one lock held by the caller (DemoState.lock); the
HTTP layer in demo_server.py decides faults, seals replies and holds
connections. Each exchange handler takes the parsed request and returns the
ordered reply children (see demo_xml.document) plus a short outcome word for
the request log.
"""

import copy
import threading
import time
import uuid

import demo_catalogue as cat
from demo_xml import money, order_problem, text_of

# Config key (ClientConfig.xml, ServerInterface) -> path under Host, exactly as
# the sample configuration names them.
ENDPOINT_PATHS = {
    "ilogin": "api/login",
    "iNetbarLogin": "api/netbar_login",
    "iMainConfig": "api/main_config",
    "iGetWorkSection": "api/work_sections",
    "iGetBar": "api/bars",
    "iGetWareType": "api/ware_types",
    "iGetWare": "api/wares",
    "iGetMaterial": "api/materials",
    "iFinishWorkSection": "api/finish_work_section",
    "iFinishMetarialWorkSection": "api/finish_material_work_section",
    "ilogout": "api/logout",
    "iWareStockNormal": "api/ware_stock_normal",
    "iWareStockQuick": "api/ware_stock_quick",
}

UPLOAD_ENDPOINTS = ("iFinishWorkSection", "iFinishMetarialWorkSection")

# The lists whose sealed replies are kept until the catalogue changes: sealing
# a large goods list in pure Python takes seconds.
CACHED_ENDPOINTS = ("iGetWareType", "iGetWare", "iWareStockNormal", "iWareStockQuick",
                    "iGetMaterial")

# The request fields of each exchange in the order the client writes them.
REQUEST_FIELDS = {
    "ilogin": ["account", "password"],
    "iNetbarLogin": ["session_id", "password", "netbar_number"],
    "iMainConfig": ["session_id", "netbar_number", "bar_id"],
    "iGetWorkSection": ["netbar_number", "session_id"],
    "iGetBar": ["netbar_number", "session_id"],
    "iGetWareType": ["session_id", "netbar_number"],
    "iGetWare": ["session_id", "netbar_number", "timestamp", "market_id"],
    "iWareStockNormal": ["session_id", "netbar_number", "market_id", "timestamp"],
    "iWareStockQuick": ["session_id", "netbar_number", "market_id", "timestamp"],
    "iGetMaterial": ["session_id", "netbar_number", "market_id", "timestamp"],
    "iFinishWorkSection": ["check_id", "session_id", "netbar_number", "handover", "goods"],
    "iFinishMetarialWorkSection": ["check_id", "session_id", "netbar_number",
                                   "materialcheck", "material_info"],
    "ilogout": [],
}

HANDOVER_FIELDS = [
    "market_id", "market_name", "relief", "next_relief", "sale_money", "sale_normal_money",
    "sale_nowdo_money", "pre_shelve", "this_shelve", "hand_money", "errors_price",
    "handover_time", "take_time", "active_gift", "remark",
]
HANDOVER_GOODS_FIELDS = [
    "goods_id", "properties_id", "class_id", "class_name", "goods_name", "unit_name", "rebate",
    "take_num", "handover_num", "this_sale", "number",
]
MATERIALCHECK_FIELDS = [
    "market_id", "market_name", "material_stock", "material_used", "material_active",
    "material_scrap", "relief", "cup_num", "sale_num", "scrap_num", "active_gift",
    "handover_time", "remark",
]
MATERIAL_INFO_FIELDS = [
    "material_id", "type", "former_num", "user_num", "material_name", "unit_name",
    "scrap_num", "active_gift",
]
CUP_INFO_FIELDS = MATERIAL_INFO_FIELDS[:6]

VERSION_NAMES = list(cat.VERSIONS)

# Texts of the failure replies. The first is the one the client turns into
# "wrong password", so it must stay letter for letter.
WRONG_PASSWORD = "账号或者密码错误"
BAD_SESSION = "会话无效，请重新登录"
BAD_CAFE = "网吧编号或密码错误"
NO_CAFE = "网吧不存在"
NO_BAR = "吧台不存在"
INCOMPLETE = "参数不完整"
NO_CHECK_ID = "交班记录缺少check_id"
MAINTENANCE = "服务器维护中，请稍后再试"
REJECTED = "服务器拒绝了交班记录"
UNREADABLE = "请求无法解密"
MALFORMED = "请求格式错误"

REQUEST_LOG_LIMIT = 2000
UPLOAD_LOG_LIMIT = 10000


def now_text():
    return time.strftime("%Y-%m-%d %H:%M:%S")


def ok(data=None, info="成功"):
    children = [("status", "1"), ("info", info)]
    if data is not None:
        children.append(("data", data))
    return children


def fail(info, status=0):
    return [("status", str(status)), ("info", info)]


def to_int(text, default=None):
    try:
        return int(str(text).strip())
    except (TypeError, ValueError):
        return default


def to_cents(value):
    try:
        return int(round(float(value) * 100))
    except (TypeError, ValueError):
        return None


class Options:
    """What the command line fixed; /admin/reset returns to it."""

    def __init__(self, relief_mode=cat.RELIEF_MODE, extra_wares=0, extra_materials=0,
                 fault=None):
        self.relief_mode = relief_mode
        self.extra_wares = extra_wares
        self.extra_materials = extra_materials
        self.fault = fault or {}


class DemoState:
    def __init__(self, options=None):
        self.lock = threading.RLock()
        # Woken whenever an administrator changes the faults, so that held
        # connections can let go.
        self.fault_changed = threading.Condition(self.lock)
        self.options = options or Options()
        # The served path of each exchange; the HTTP server may replace them.
        self.paths = {key: "/" + path for key, path in ENDPOINT_PATHS.items()}
        self.sessions = {}
        self.stopping = False
        self.release_generation = 0
        self.held = 0
        self.reset(keep_sessions=False)

    # ----------------------------------------------------------- start state

    def reset(self, keep_sessions=True):
        with self.lock:
            self.versions = dict(cat.VERSIONS)
            self.manage_mode = cat.MANAGE_MODE
            self.relief_mode = self.options.relief_mode
            self.taste_setting = cat.TASTE_SETTING
            self.job_list = cat.JOB_LIST
            self.job_order = cat.JOB_ORDER
            self.pre_shelve = cat.PRE_SHELVE
            self.bars = [list(bar) for bar in cat.BARS]
            self.ware_types = [list(t) for t in cat.WARE_TYPES]
            self.wares = {}
            for row in cat.WARES:
                self._add_ware(row)
            self.materials = {}
            for row in cat.MATERIALS:
                self._add_material(row)
            self.cup_stock = dict(cat.CUP_STOCK)
            self.generated_wares = 0
            self.generated_materials = 0
            self._generate(self.options.extra_wares, self.options.extra_materials)
            self.combined = {}
            for market_id, _ in self.bars:
                self.combined[market_id] = self._combined_from_wares(market_id)
            self.uploads = []
            self.accepted = {"cashier": {}, "material": {}}
            self.requests = []
            self.request_seq = 0
            self.logouts = 0
            self.counts = {key: 0 for key in ENDPOINT_PATHS}
            if not keep_sessions:
                self.sessions = {}
            self.generation = getattr(self, "generation", 0) + 1
            self.cache = {}
            self.set_fault(dict(self.options.fault), release=True)

    def _add_ware(self, row):
        goods_id, name, class_id, properties, price, unit, is_del, is_use = row
        self.wares[goods_id] = {
            "goods_id": goods_id,
            "goods_name": name,
            "number": 20000 + goods_id,
            "properties_id": properties,
            "barcode": cat.ware_barcode(goods_id, properties),
            "rebate": price,
            "class_id": class_id,
            "is_del": is_del,
            "is_use": is_use,
            "uint_name": unit,
            "stock": {market_id: cat.ware_stock(goods_id, market_id) for market_id, _ in self.bars},
        }

    def _add_material(self, row):
        material_id, name, unit, is_del = row
        self.materials[material_id] = {
            "material_id": material_id,
            "material_name": name,
            "uint_name": unit,
            "is_del": is_del,
            "stock": {market_id: cat.material_stock(material_id, market_id)
                      for market_id, _ in self.bars},
        }

    def _generate(self, wares, materials):
        """Replace the generated bulk catalogue (benchmarks) by one of the given size."""
        for goods_id in [g for g in self.wares if g >= 100000]:
            del self.wares[goods_id]
        for material_id in [m for m in self.materials if m >= 50000]:
            del self.materials[material_id]
        generated_ids = {t[0] for t in cat.GENERATED_TYPES}
        self.ware_types = [t for t in self.ware_types if t[0] not in generated_ids]
        if wares:
            self.ware_types += [list(t) for t in cat.GENERATED_TYPES]
        for index in range(wares):
            self._add_ware(cat.generated_ware(index))
        for index in range(materials):
            self._add_material(cat.generated_material(index))
        self.generated_wares = wares
        self.generated_materials = materials

    def _combined_from_wares(self, market_id):
        """The quick-mode stock of one bar: ordinary wares on sale, summed per
        type and price, the way the chain pools identical-price goods."""
        rows = {}
        for ware in self.wares.values():
            if ware["properties_id"] != cat.ORDINARY or ware["is_del"] or not ware["is_use"]:
                continue
            key = (ware["class_id"], to_cents(ware["rebate"]))
            rows[key] = rows.get(key, 0) + ware["stock"].get(market_id, 0)
        return rows

    def type_name(self, class_id):
        for tid, name in self.ware_types:
            if tid == class_id:
                return name
        return ""

    def changed(self, *version_names):
        """Catalogue data changed: bump the named versions, drop cached replies."""
        for name in version_names:
            self.versions[name] += 1
        self.generation += 1
        self.cache = {}

    # ---------------------------------------------------------------- faults

    def set_fault(self, fault, release=True):
        mode = fault.get("mode", "none")
        self.fault = {
            "mode": mode,
            "slow_seconds": float(fault.get("slow_seconds", 5)),
            "endpoints": list(fault.get("endpoints") or []),
            "reject_status": int(fault.get("reject_status", 2)),
            "count": int(fault.get("count", 0) or 0),
            "process": fault.get("process"),
        }
        if release:
            self.release_generation += 1
            self.fault_changed.notify_all()

    def take_fault(self, endpoint):
        """The fault that hits this request, or None. A fault with a count
        runs out after that many requests; held connections are not let go
        by that, only by an administrator's change."""
        fault = self.fault
        mode = fault["mode"]
        if mode == "none":
            return None
        if mode == "reject_uploads":
            if endpoint not in UPLOAD_ENDPOINTS:
                return None
        if fault["endpoints"] and endpoint not in fault["endpoints"]:
            return None
        taken = dict(fault)
        if fault["count"]:
            fault["count"] -= 1
            if fault["count"] == 0:
                fault["mode"] = "none"
        return taken

    # ------------------------------------------------------------ request log

    def log_request(self, entry):
        self.request_seq += 1
        entry["seq"] = self.request_seq
        entry["received_at"] = now_text()
        self.requests.append(entry)
        if len(self.requests) > REQUEST_LOG_LIMIT:
            del self.requests[:len(self.requests) - REQUEST_LOG_LIMIT]
        if entry.get("endpoint") in self.counts:
            self.counts[entry["endpoint"]] += 1
        return entry

    # --------------------------------------------------------------- helpers

    def _session(self, root):
        return self.sessions.get(text_of(root, "session_id") or "")

    def _catalogue_check(self, root):
        """Failure reply for a catalogue request without a valid session or café."""
        if self._session(root) is None:
            return fail(BAD_SESSION)
        if (text_of(root, "netbar_number") or "") != cat.CAFE_NUMBER:
            return fail(NO_CAFE)
        return None

    def _bar(self, root, field="market_id"):
        """The bar a request names; an empty id means the café's first bar
        (a client whose café record has no bar yet still gets a catalogue)."""
        market_id = (text_of(root, field) or "").strip()
        if market_id == "":
            return self.bars[0][0] if self.bars else None
        for bar_id, _ in self.bars:
            if bar_id == market_id:
                return bar_id
        return None

    def new_session(self, account, cafe=None):
        session_id = uuid.uuid4().hex.upper()
        self.sessions[session_id] = {"account": account, "cafe": cafe, "since": now_text()}
        return session_id

    # ------------------------------------------------------------- exchanges

    def cache_key(self, endpoint, root):
        """The key under which the sealed reply to this request may be kept,
        or None when the request is refused or its reply is not kept."""
        if endpoint not in CACHED_ENDPOINTS or self._catalogue_check(root):
            return None
        if endpoint == "iGetWareType":
            return (endpoint,)
        bar = self._bar(root)
        return None if bar is None else (endpoint, bar)

    def handle(self, endpoint, root):
        """Reply children, outcome word and cache key (None: do not cache)."""
        handler = getattr(self, "_x_" + endpoint)
        return handler(root)

    def _x_ilogin(self, root):
        account = text_of(root, "account") or ""
        password = text_of(root, "password") or ""
        entry = cat.ACCOUNTS.get(account)
        if entry is None or entry[0] != password:
            return fail(WRONG_PASSWORD), "refused", None
        session_id = self.new_session(account)
        return ok([("session_id", session_id), ("identity", entry[1])]), "ok", None

    def _x_iNetbarLogin(self, root):
        session_id = text_of(root, "session_id") or ""
        password = text_of(root, "password") or ""
        number = text_of(root, "netbar_number") or ""
        if session_id == "" and password == "" and number == "":
            # The client's reachability probe: any answer proves the server is up.
            return fail(INCOMPLETE), "probe", None
        session = self.sessions.get(session_id)
        if session is None:
            return fail(BAD_SESSION), "refused", None
        if number != cat.CAFE_NUMBER or password != cat.CAFE_PASSWORD:
            return fail(BAD_CAFE), "refused", None
        account = session["account"]
        new_id = self.new_session(account, number)
        market = [("item", [("market_id", bar_id), ("market_name", name)])
                  for bar_id, name in self.bars]
        data = [
            ("session_id", new_id),
            ("netbar_id", cat.CAFE_NUMBER),
            ("netbar_name", cat.CAFE_NAME),
            ("market", market),
            ("cashier", cat.ACCOUNTS[account][2]),
            ("job_list", self.job_list),
            ("pre_shelve", self.pre_shelve),
            ("job_order", self.job_order),
        ]
        return ok(data), "ok", None

    def _x_ilogout(self, root):
        self.logouts += 1
        return ok(info="已退出"), "ok", None

    def _x_iMainConfig(self, root):
        refused = self._catalogue_check(root)
        if refused:
            return refused, "refused", None
        v = self.versions
        data = [
            ("vcapi_goods", v["vcapi_goods"]),
            ("vcapi_relief", v["vcapi_relief"]),
            ("vcapi_market", v["vcapi_market"]),
            ("vcapi_goods_class", v["vcapi_goods_class"]),
            ("vcapi_material", v["vcapi_material"]),
            ("jxc_manage_mode", self.manage_mode),
            ("vcapi_goods_stock", v["vcapi_goods_stock"]),
            ("vcapi_material_stock", v["vcapi_material_stock"]),
            ("jxc_relief_mode", self.relief_mode),
            ("jxc_taste_setting", self.taste_setting),
        ]
        return ok(data), "ok", None

    def _x_iGetWorkSection(self, root):
        refused = self._catalogue_check(root)
        if refused:
            return refused, "refused", None
        return ok([("job_list", self.job_list)]), "ok", None

    def _x_iGetBar(self, root):
        refused = self._catalogue_check(root)
        if refused:
            return refused, "refused", None
        items = [("item", [("market_id", bar_id), ("market_name", name)])
                 for bar_id, name in self.bars]
        return ok(items), "ok", None

    def _x_iGetWareType(self, root):
        refused = self._catalogue_check(root)
        if refused:
            return refused, "refused", None
        items = [("item", [("class_id", tid), ("class_name", name)])
                 for tid, name in self.ware_types]
        return ok(items), "ok", self.cache_key("iGetWareType", root)

    def _x_iGetWare(self, root):
        refused = self._catalogue_check(root)
        if refused:
            return refused, "refused", None
        bar = self._bar(root)
        if bar is None:
            return fail(NO_BAR), "refused", None
        # Whatever timestamp is asked for, the whole current list goes out:
        # the client sends the version it has just been told, so a list of
        # changes since that version would always be empty.
        items = []
        for goods_id in sorted(self.wares):
            w = self.wares[goods_id]
            items.append(("item", [
                ("goods_id", goods_id),
                ("goods_name", w["goods_name"]),
                ("number", w["number"]),
                ("properties_id", w["properties_id"]),
                ("barcode", w["barcode"]),
                ("rebate", money(w["rebate"])),
                ("class_id", w["class_id"]),
                ("is_del", w["is_del"]),
                ("is_use", w["is_use"]),
                ("uint_name", w["uint_name"]),
                ("stock_num", w["stock"].get(bar, 0)),
                ("total_stock_num", sum(w["stock"].values())),
            ]))
        return ok([("goods", items)]), "ok", self.cache_key("iGetWare", root)

    def _x_iWareStockNormal(self, root):
        refused = self._catalogue_check(root)
        if refused:
            return refused, "refused", None
        bar = self._bar(root)
        if bar is None:
            return fail(NO_BAR), "refused", None
        items = [("item", [("goods_id", goods_id), ("stock_num", w["stock"].get(bar, 0))])
                 for goods_id, w in sorted(self.wares.items()) if not w["is_del"]]
        return ok([("goods", items)]), "ok", self.cache_key("iWareStockNormal", root)

    def _x_iWareStockQuick(self, root):
        refused = self._catalogue_check(root)
        if refused:
            return refused, "refused", None
        bar = self._bar(root)
        if bar is None:
            return fail(NO_BAR), "refused", None
        items = []
        for (class_id, cents), stock in sorted(self.combined.get(bar, {}).items()):
            items.append(("item", [
                ("class_id", class_id),
                ("rebate", money(cents / 100.0)),
                ("stock_num", stock),
                ("class_name", self.type_name(class_id)),
            ]))
        return ok([("goods", items)]), "ok", self.cache_key("iWareStockQuick", root)

    def _x_iGetMaterial(self, root):
        refused = self._catalogue_check(root)
        if refused:
            return refused, "refused", None
        bar = self._bar(root)
        if bar is None:
            return fail(NO_BAR), "refused", None
        items = []
        for material_id in sorted(self.materials):
            m = self.materials[material_id]
            items.append(("item", [
                ("material_id", material_id),
                ("is_special", 0),
                ("material_name", m["material_name"]),
                ("is_del", m["is_del"]),
                ("uint_name", m["uint_name"]),
                ("stock_num", m["stock"].get(bar, 0)),
                # The whole café's stock: the counter may never use more
                # than this in one shift.
                ("total_stock_num", sum(m["stock"].values())),
            ]))
        items.append(("item", [
            ("material_id", cat.CUP_ID),
            ("is_special", 1),
            ("stock_num", self.cup_stock.get(bar, 0)),
        ]))
        return ok([("goods", items)]), "ok", self.cache_key("iGetMaterial", root)

    # -------------------------------------------------------------- uploads

    def parse_upload(self, endpoint, root):
        """The fields of a handover upload, and notes where it departs from
        the layout the client is meant to send."""
        cashier = endpoint == "iFinishWorkSection"
        group_name, list_name = ("handover", "goods") if cashier else ("materialcheck", "material_info")
        group_fields = HANDOVER_FIELDS if cashier else MATERIALCHECK_FIELDS
        problems = []
        note = order_problem("jxcapi", root, REQUEST_FIELDS[endpoint])
        if note:
            problems.append(note)
        record = {
            "kind": "cashier" if cashier else "material",
            "check_id": text_of(root, "check_id") or "",
            "session_id": text_of(root, "session_id") or "",
            "netbar_number": text_of(root, "netbar_number") or "",
        }
        group = root.find(group_name)
        record[group_name] = {}
        if group is None:
            problems.append("%s is missing" % group_name)
        else:
            note = order_problem(group_name, group, group_fields)
            if note:
                problems.append(note)
            for name in group_fields:
                value = text_of(group, name)
                record[group_name][name] = "" if value is None else value
        items = []
        container = root.find(list_name)
        if container is None:
            problems.append("%s is missing" % list_name)
        else:
            for index, item in enumerate(container, 1):
                if item.tag != "item":
                    problems.append("%s: child %d is %s, not item" % (list_name, index, item.tag))
                    continue
                if cashier:
                    expected = HANDOVER_GOODS_FIELDS
                elif (text_of(item, "type") or "").strip() == "1":
                    expected = CUP_INFO_FIELDS
                else:
                    expected = MATERIAL_INFO_FIELDS
                note = order_problem("%s item %d" % (list_name, index), item, expected)
                if note:
                    problems.append(note)
                items.append({child.tag: child.text or "" for child in item})
        record[list_name] = items
        return record, problems

    def note_upload(self, endpoint, root, outcome):
        """An upload that a fault kept from being handled is still received."""
        record, problems = self.parse_upload(endpoint, root)
        record["session_known"] = record["session_id"] in self.sessions
        self._log_upload(endpoint, record, problems)["outcome"] = outcome

    def _log_upload(self, endpoint, record, problems):
        entry = {
            "kind": record["kind"],
            "endpoint": endpoint,
            "check_id": record["check_id"],
            "received_at": now_text(),
            "fields": record,
            "problems": problems,
        }
        self.uploads.append(entry)
        if len(self.uploads) > UPLOAD_LOG_LIMIT:
            del self.uploads[:len(self.uploads) - UPLOAD_LOG_LIMIT]
        return entry

    def upload(self, endpoint, root, fault=None):
        """Handle a handover upload. fault is a reject_uploads fault or None."""
        record, problems = self.parse_upload(endpoint, root)
        kind = record["kind"]
        # A session the server no longer knows does not stop an upload: the
        # client never logs in again by itself, and the shift's money must
        # still arrive. The café number decides instead.
        record["session_known"] = record["session_id"] in self.sessions
        entry = self._log_upload(endpoint, record, problems)
        if fault is not None:
            entry["outcome"] = "rejected"
            return fail(REJECTED, fault["reject_status"]), "rejected", None
        if record["check_id"].strip() == "":
            entry["outcome"] = "refused"
            return fail(NO_CHECK_ID), "refused", None
        if record["netbar_number"] != cat.CAFE_NUMBER:
            entry["outcome"] = "refused"
            return fail(NO_CAFE), "refused", None
        # A client that timed out re-sends the same record with the same
        # check_id. It has reached us already, so the answer is yes, once.
        accepted = self.accepted[kind]
        if record["check_id"] in accepted:
            entry["outcome"] = "duplicate"
            accepted[record["check_id"]]["duplicates"] += 1
            return ok(info="交班记录已接收过"), "duplicate", None
        entry["outcome"] = "accepted"
        stored = copy.deepcopy(record)
        stored["received_at"] = entry["received_at"]
        stored["duplicates"] = 0
        accepted[record["check_id"]] = stored
        if kind == "cashier":
            self._apply_cashier_handover(record)
        return ok(info="交班记录已接收"), "accepted", None

    def _apply_cashier_handover(self, record):
        """The counted remainders become the bar's stock, the till float
        left becomes the next opening amount and the next shift becomes the
        current one. Versions are not bumped: the counter that uploaded
        these figures already holds them, and telling it to download its
        own counts again would make it ask the cashier to redo a handover."""
        handover = record["handover"]
        this_shelve = to_cents(handover.get("this_shelve"))
        if this_shelve is not None:
            self.pre_shelve = money(this_shelve / 100.0)
        if handover.get("next_relief"):
            self.job_order = handover["next_relief"]
        bar = handover.get("market_id", "")
        if bar not in {b for b, _ in self.bars}:
            return
        for item in record["goods"]:
            goods_id = to_int(item.get("goods_id"))
            left = to_int(item.get("handover_num"))
            if goods_id is None or left is None:
                continue
            if goods_id == 0:
                class_id = to_int(item.get("class_id"))
                cents = to_cents(item.get("rebate"))
                if class_id is not None and cents is not None:
                    self.combined.setdefault(bar, {})[(class_id, cents)] = left
            elif goods_id in self.wares:
                self.wares[goods_id]["stock"][bar] = left
        self.generation += 1
        self.cache = {}

    # ------------------------------------------------------ administration

    def state_json(self):
        return {
            "cafe": {"netbar_number": cat.CAFE_NUMBER, "netbar_name": cat.CAFE_NAME},
            "bars": [{"market_id": b, "market_name": n} for b, n in self.bars],
            "versions": dict(self.versions),
            "jxc_manage_mode": self.manage_mode,
            "jxc_relief_mode": self.relief_mode,
            "jxc_taste_setting": self.taste_setting,
            "job_list": self.job_list,
            "job_order": self.job_order,
            "pre_shelve": self.pre_shelve,
            "fault": dict(self.fault),
            "held": self.held,
            "sessions": [dict(s, session_id=sid) for sid, s in self.sessions.items()],
            "logouts": self.logouts,
            "requests_by_endpoint": dict(self.counts),
            "wares": len(self.wares),
            "materials": len(self.materials),
            "uploads": {"received": len(self.uploads),
                        "cashier_accepted": len(self.accepted["cashier"]),
                        "material_accepted": len(self.accepted["material"])},
            "endpoints": dict(self.paths),
        }

    def catalogue_json(self):
        def ware(w):
            return dict(w, stock=dict(w["stock"]))

        return {
            "ware_types": [{"class_id": t, "class_name": n} for t, n in self.ware_types],
            "wares": [ware(self.wares[g]) for g in sorted(self.wares)],
            "combined_stock": {
                bar: [{"class_id": c, "rebate": money(cents / 100.0), "stock_num": s,
                       "class_name": self.type_name(c)}
                      for (c, cents), s in sorted(rows.items())]
                for bar, rows in self.combined.items()},
            "materials": [dict(self.materials[m], stock=dict(self.materials[m]["stock"]))
                          for m in sorted(self.materials)],
            "cup": {"material_id": cat.CUP_ID, "stock": dict(self.cup_stock)},
        }

    def uploads_json(self):
        return {
            "uploads": copy.deepcopy(self.uploads),
            "accepted": {
                "cashier": copy.deepcopy(list(self.accepted["cashier"].values())),
                "material": copy.deepcopy(list(self.accepted["material"].values())),
            },
        }

    def _bar_ids(self, body):
        market_id = body.get("market_id")
        if market_id is None:
            return [b for b, _ in self.bars]
        if market_id not in {b for b, _ in self.bars}:
            raise AdminError("unknown market_id %r" % market_id)
        return [market_id]

    WARE_FIELDS = (("goods_name", str), ("number", int), ("properties_id", int),
                   ("barcode", str), ("rebate", float), ("class_id", int), ("is_del", int),
                   ("is_use", int), ("uint_name", str))
    MATERIAL_FIELDS = (("material_name", str), ("uint_name", str), ("is_del", int))

    def _converted(self, body, fields):
        """The body's values converted before anything is changed, so that a
        bad value leaves the catalogue as it was."""
        values = {key: kind(body[key]) for key, kind in fields if key in body}
        stock = int(body["stock"]) if "stock" in body else None
        bars = self._bar_ids(body) if stock is not None else []
        return values, stock, bars

    def admin_ware(self, body):
        goods_id = to_int(body.get("goods_id"))
        if goods_id is None:
            raise AdminError("goods_id is required")
        values, stock, bars = self._converted(body, self.WARE_FIELDS)
        created = goods_id not in self.wares
        if created:
            missing = [k for k in ("goods_name", "class_id", "rebate") if k not in values]
            if missing:
                raise AdminError("a new ware needs %s" % ", ".join(missing))
            self._add_ware((goods_id, values["goods_name"], values["class_id"],
                            values.get("properties_id", cat.ORDINARY), values["rebate"],
                            values.get("uint_name", "件"), 0, 1))
        ware = self.wares[goods_id]
        catalogue_changed = created
        for key, value in values.items():
            if ware[key] != value:
                ware[key] = value
                catalogue_changed = True
        stock_changed = False
        for bar in bars:
            if ware["stock"].get(bar) != stock:
                ware["stock"][bar] = stock
                stock_changed = True
        bumped = []
        if catalogue_changed:
            bumped.append("vcapi_goods")
        if stock_changed:
            bumped.append("vcapi_goods_stock")
        if bumped:
            self.changed(*bumped)
        return {"ware": dict(ware, stock=dict(ware["stock"])), "bumped": bumped,
                "versions": dict(self.versions)}

    def admin_material(self, body):
        material_id = to_int(body.get("material_id"))
        if material_id is None:
            raise AdminError("material_id is required")
        values, stock, bars = self._converted(body, self.MATERIAL_FIELDS)
        bumped = []
        if material_id == cat.CUP_ID:
            if values:
                raise AdminError("the cup record has a stock only")
            if any(self.cup_stock.get(bar) != stock for bar in bars):
                for bar in bars:
                    self.cup_stock[bar] = stock
                bumped.append("vcapi_material_stock")
                self.changed(*bumped)
            return {"cup": {"material_id": cat.CUP_ID, "stock": dict(self.cup_stock)},
                    "bumped": bumped, "versions": dict(self.versions)}
        created = material_id not in self.materials
        if created:
            if "material_name" not in values:
                raise AdminError("a new material needs material_name")
            self._add_material((material_id, values["material_name"],
                                values.get("uint_name", "个"), 0))
        material = self.materials[material_id]
        catalogue_changed = created
        for key, value in values.items():
            if material[key] != value:
                material[key] = value
                catalogue_changed = True
        stock_changed = False
        for bar in bars:
            if material["stock"].get(bar) != stock:
                material["stock"][bar] = stock
                stock_changed = True
        if catalogue_changed:
            bumped.append("vcapi_material")
        if stock_changed:
            bumped.append("vcapi_material_stock")
        if bumped:
            self.changed(*bumped)
        return {"material": dict(material, stock=dict(material["stock"])), "bumped": bumped,
                "versions": dict(self.versions)}

    def admin_combined_stock(self, body):
        class_id = to_int(body.get("class_id"))
        cents = to_cents(body.get("rebate", body.get("price")))
        if class_id is None or cents is None or "stock" not in body:
            raise AdminError("class_id, rebate and stock are required")
        for bar in self._bar_ids(body):
            self.combined.setdefault(bar, {})[(class_id, cents)] = int(body["stock"])
        self.changed("vcapi_goods_stock")
        return {"bumped": ["vcapi_goods_stock"], "versions": dict(self.versions)}

    def admin_bar(self, body):
        market_id = str(body.get("market_id", "")).strip()
        if not market_id:
            raise AdminError("market_id is required")
        existing = [b for b in self.bars if b[0] == market_id]
        if body.get("remove"):
            if not existing:
                raise AdminError("unknown market_id %r" % market_id)
            self.bars.remove(existing[0])
        elif existing:
            existing[0][1] = str(body.get("market_name", existing[0][1]))
        else:
            self.bars.append([market_id, str(body.get("market_name", "吧台" + market_id))])
            for ware in self.wares.values():
                ware["stock"].setdefault(market_id, 0)
            for material in self.materials.values():
                material["stock"].setdefault(market_id, 0)
            self.cup_stock.setdefault(market_id, 0)
            self.combined.setdefault(market_id, {})
        self.changed("vcapi_market")
        return {"bars": [{"market_id": b, "market_name": n} for b, n in self.bars],
                "bumped": ["vcapi_market"], "versions": dict(self.versions)}

    def admin_ware_type(self, body):
        class_id = to_int(body.get("class_id"))
        if class_id is None:
            raise AdminError("class_id is required")
        existing = [t for t in self.ware_types if t[0] == class_id]
        if body.get("remove"):
            if not existing:
                raise AdminError("unknown class_id %r" % class_id)
            self.ware_types.remove(existing[0])
        elif existing:
            existing[0][1] = str(body.get("class_name", existing[0][1]))
        else:
            self.ware_types.append([class_id, str(body.get("class_name", ""))])
        self.changed("vcapi_goods_class")
        return {"ware_types": [{"class_id": t, "class_name": n} for t, n in self.ware_types],
                "bumped": ["vcapi_goods_class"], "versions": dict(self.versions)}

    def admin_config(self, body):
        values = {}
        for key, kind in (("jxc_relief_mode", int), ("jxc_manage_mode", int),
                          ("jxc_taste_setting", str), ("job_list", str), ("job_order", str)):
            if key in body:
                values[key] = kind(body[key])
        if "pre_shelve" in body:
            cents = to_cents(body["pre_shelve"])
            if cents is None:
                raise AdminError("pre_shelve must be an amount")
            values["pre_shelve"] = money(cents / 100.0)
        bumped = []
        if "job_list" in values and values["job_list"] != self.job_list:
            bumped.append("vcapi_relief")
        self.relief_mode = values.get("jxc_relief_mode", self.relief_mode)
        self.manage_mode = values.get("jxc_manage_mode", self.manage_mode)
        self.taste_setting = values.get("jxc_taste_setting", self.taste_setting)
        self.job_list = values.get("job_list", self.job_list)
        self.job_order = values.get("job_order", self.job_order)
        self.pre_shelve = values.get("pre_shelve", self.pre_shelve)
        self.changed(*bumped)
        return {"bumped": bumped, "state": self.state_json()}

    def admin_versions(self, body):
        for name in body.get("bump", []):
            if name not in self.versions:
                raise AdminError("unknown version %r" % name)
        for name, value in (body.get("set") or {}).items():
            if name not in self.versions:
                raise AdminError("unknown version %r" % name)
            self.versions[name] = int(value)
        self.changed(*body.get("bump", []))
        return {"versions": dict(self.versions)}

    def admin_generate(self, body):
        wares = int(body.get("wares", 0))
        materials = int(body.get("materials", 0))
        if wares < 0 or materials < 0 or wares > 200000 or materials > 50000:
            raise AdminError("wares must be 0 to 200000, materials 0 to 50000")
        self._generate(wares, materials)
        for market_id, _ in self.bars:
            self.combined[market_id] = self._combined_from_wares(market_id)
        self.changed("vcapi_goods", "vcapi_goods_stock", "vcapi_goods_class",
                     "vcapi_material", "vcapi_material_stock")
        return {"wares": len(self.wares), "materials": len(self.materials),
                "versions": dict(self.versions)}


class AdminError(Exception):
    """A bad administrative request; answered with HTTP 400."""
