"""HTTP side of the Tillora demo inventory server.

The protocol endpoints (POST, sealed bodies) answer from DemoState; the
administration endpoints under /admin/ speak plain JSON so that tests and
people can steer the server without the wire encoding. Faults hit only the
protocol endpoints: an administrator must always be able to lift them.
"""

import argparse
import json
import signal
import sys
import threading
import time
import urllib.parse
import xml.etree.ElementTree as ET
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

import demo_catalogue as cat
import demo_state as ds
import xxtea_wire
from demo_xml import RequestError, document, order_problem, parse, to_json

FAULT_MODES = ("none", "no_answer", "drop", "slow", "garbage", "truncated", "empty",
               "status0", "reject_uploads")

# Whether the request is handled before the fault spoils the answer. Lost
# answers to handled requests are what the duplicate check_id rule is for.
PROCESS_BY_DEFAULT = {"no_answer": False, "drop": False, "garbage": True, "truncated": True,
                      "empty": True}

# A body that looks like what a broken proxy sends back: some Base64, a line
# break, an error page. The client decodes up to the line break and then
# fails the length check, so it reads "false_false".
GARBAGE = ("R0FSQkFHRS1OT1QtQS1TRUFMRUQtUkVQTFk=\r\n"
           "<html><body>502 Bad Gateway</body></html>\r\n")

# No held connection waits longer than this, so a forgotten fault cannot pile
# up threads for ever.
LONGEST_HOLD = 3600.0
LARGEST_BODY = 64 * 1024 * 1024

MODIFY_PW_PAGE = """<!DOCTYPE html>
<html lang="zh-CN"><head><meta charset="utf-8"><title>修改密码</title></head>
<body><h1>修改密码</h1>
<p>演示服务器不提供修改密码功能。演示账号：cashier01 / 123456，manager01 / 888888。</p>
</body></html>
"""


def truncate(body):
    """Half of a sealed body, cut on a Base64 group so that it still decodes
    and fails only on the length word."""
    cut = body[:len(body) // 2 // 4 * 4]
    while cut and xxtea_wire.open_bytes(cut) is not None:
        cut = cut[:-4]
    return cut


def request_fields(root):
    """The request's fields for the request log, passwords masked."""
    fields = {}
    for child in root:
        if child.tag in fields:
            continue
        value = to_json(child)
        if child.tag == "password" and value:
            value = "*" * len(value)
        fields[child.tag] = value
    return fields


def paths_from_config(config_path):
    """Endpoint paths from a ClientConfig.xml: Host's path, then each key's value."""
    root = ET.parse(config_path).getroot()
    interface = root.find("ServerInterface")
    if interface is None:
        raise ValueError("%s has no ServerInterface" % config_path)
    host = interface.findtext("Host") or ""
    prefix = urllib.parse.urlsplit(host).path or "/"
    paths = {}
    for key in ds.ENDPOINT_PATHS:
        value = interface.findtext(key)
        if value is None:
            raise ValueError("%s has no %s" % (config_path, key))
        path = prefix + value
        if not path.startswith("/"):
            path = "/" + path
        paths[key] = path
    return paths


class DemoHTTPServer(ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True
    # Five client workers, a keep-alive pass and tests that fire many
    # requests at once: the default backlog of 5 would reset connections.
    request_queue_size = 128

    def __init__(self, address, state, paths=None, verbose=False):
        self.state = state
        self.verbose = verbose
        if paths:
            state.paths = dict(paths)
        paths = state.paths
        self.routes = {path: key for key, path in paths.items()}
        super().__init__(address, Handler)

    def stop(self):
        with self.state.lock:
            self.state.stopping = True
            self.state.fault_changed.notify_all()
        self.shutdown()
        self.server_close()

    def sealed(self, endpoint, root):
        """Handle an exchange and seal its reply, from the cache when the
        catalogue has not changed since it was sealed."""
        state = self.state
        with state.lock:
            key = state.cache_key(endpoint, root)
            if key in state.cache:
                return ds.ok(), "ok", state.cache[key]
            children, outcome, cache_key = state.handle(endpoint, root)
            generation = state.generation
            cached = None
            text = document(children)
        if cached is None:
            cached = xxtea_wire.seal(text)
            if cache_key:
                with state.lock:
                    if state.generation == generation:
                        state.cache[cache_key] = cached
        return children, outcome, cached

    def warm(self):
        """Seal the big lists of the first bar ahead of the first client, so
        that a benchmark measures the client and not this pure-Python cipher."""
        state = self.state
        with state.lock:
            session_id = state.new_session("(warm-up)", cat.CAFE_NUMBER)
            mode = state.relief_mode
        try:
            for endpoint in ("iGetWareType", "iGetWare", "iGetMaterial",
                             "iWareStockQuick" if mode == 2 else "iWareStockNormal"):
                root = ET.Element("jxcapi")
                for name in ds.REQUEST_FIELDS[endpoint]:
                    value = {"session_id": session_id, "netbar_number": cat.CAFE_NUMBER,
                             "timestamp": "0"}.get(name, "")
                    ET.SubElement(root, name).text = value
                self.sealed(endpoint, root)
        finally:
            with state.lock:
                state.sessions.pop(session_id, None)


class Handler(BaseHTTPRequestHandler):
    server_version = "TilloraDemo/1.0"
    # HTTP/1.1 so that "Expect: 100-continue" (libcurl sends it with larger
    # bodies) is answered at once instead of costing the client a second's
    # wait; every answer still closes the connection.
    protocol_version = "HTTP/1.1"

    def log_message(self, fmt, *args):
        if self.server.verbose:
            sys.stderr.write("%s %s\n" % (self.log_date_time_string(), fmt % args))

    # ------------------------------------------------------------ plumbing

    def read_body(self):
        if "chunked" in self.headers.get("Transfer-Encoding", "").lower():
            data = bytearray()
            while True:
                line = self.rfile.readline(1024)
                size = int(line.split(b";")[0].strip() or b"0", 16)
                if size == 0:
                    while self.rfile.readline(1024) not in (b"\r\n", b"\n", b""):
                        pass
                    return bytes(data)
                data += self.rfile.read(size)
                self.rfile.readline(1024)
                if len(data) > LARGEST_BODY:
                    raise ValueError("body too large")
        length = int(self.headers.get("Content-Length") or 0)
        if length < 0 or length > LARGEST_BODY:
            raise ValueError("bad Content-Length")
        return self.rfile.read(length)

    def send(self, status, body, content_type):
        data = body.encode("utf-8") if isinstance(body, str) else body
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(data)))
        self.send_header("Connection", "close")
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(data)
        self.close_connection = True

    def send_json(self, status, value):
        self.send(status, json.dumps(value, ensure_ascii=False, indent=1),
                  "application/json; charset=utf-8")

    def hold(self, seconds):
        """Keep the connection waiting until the seconds pass, an
        administrator changes the faults, or the server stops."""
        state = self.server.state
        with state.lock:
            generation = state.release_generation
            deadline = time.monotonic() + min(seconds, LONGEST_HOLD)
            state.held += 1
            try:
                while not state.stopping and state.release_generation == generation:
                    remaining = deadline - time.monotonic()
                    if remaining <= 0:
                        break
                    state.fault_changed.wait(remaining)
            finally:
                state.held -= 1

    # -------------------------------------------------------------- routing

    def do_GET(self):
        path = urllib.parse.urlsplit(self.path).path
        if path.startswith("/admin/"):
            return self.admin_get(path)
        if path == "/update":
            return self.send(200, "no update\n", "text/plain; charset=utf-8")
        if path == "/modify_pw":
            return self.send(200, MODIFY_PW_PAGE, "text/html; charset=utf-8")
        if path == "/":
            lines = ["Tillora demo inventory server", ""]
            lines += ["POST %s  (%s)" % (p, k) for p, k in sorted(self.server.routes.items())]
            lines += ["", "GET /admin/state, /admin/catalogue, /admin/uploads, /admin/requests"]
            return self.send(200, "\n".join(lines) + "\n", "text/plain; charset=utf-8")
        if path in self.server.routes:
            return self.send(405, "POST only\n", "text/plain; charset=utf-8")
        return self.send(404, "not found\n", "text/plain; charset=utf-8")

    do_HEAD = do_GET

    def do_POST(self):
        path = urllib.parse.urlsplit(self.path).path
        try:
            body = self.read_body()
        except (ValueError, OSError):
            return self.send(400, "unreadable body\n", "text/plain; charset=utf-8")
        if path.startswith("/admin/"):
            return self.admin_post(path, body)
        if path == "/update":
            return self.send(200, "no update\n", "text/plain; charset=utf-8")
        endpoint = self.server.routes.get(path)
        if endpoint is None:
            return self.send(404, "not found\n", "text/plain; charset=utf-8")
        return self.api(endpoint, path, body)

    # ------------------------------------------------------------- protocol

    def api(self, endpoint, path, body):
        state = self.server.state
        root, error = None, None
        if not body.strip():
            if endpoint != "ilogout":
                error = ds.INCOMPLETE
        else:
            plain = xxtea_wire.open_bytes(body)
            if plain is None:
                error = ds.UNREADABLE
            else:
                try:
                    root = parse(plain)
                except RequestError:
                    error = ds.MALFORMED
        if root is None and error is None:
            root = ET.Element("jxcapi")

        with state.lock:
            fault = state.take_fault(endpoint)
            mode = fault["mode"] if fault else "none"
            process = PROCESS_BY_DEFAULT.get(mode, True)
            if fault and fault.get("process") is not None:
                process = bool(fault["process"])
            entry = {"path": path, "endpoint": endpoint, "fault": mode}
            if root is not None:
                entry["fields"] = request_fields(root)
                problem = order_problem("jxcapi", root, ds.REQUEST_FIELDS[endpoint])
                entry["problems"] = [problem] if problem else []
            else:
                entry["error"] = error
            state.log_request(entry)

        if mode == "slow":
            self.hold(fault["slow_seconds"])
        if mode in ("no_answer", "drop") and not process:
            with state.lock:
                entry["outcome"] = mode
                if endpoint in ds.UPLOAD_ENDPOINTS and root is not None and error is None:
                    state.note_upload(endpoint, root, mode)
            if mode == "no_answer":
                self.hold(LONGEST_HOLD)
            self.close_connection = True
            return

        if error is not None:
            children, outcome, sealed = ds.fail(error), "unreadable", None
        elif mode == "status0":
            children, outcome, sealed = ds.fail(ds.MAINTENANCE), "status0", None
            if endpoint in ds.UPLOAD_ENDPOINTS:
                with state.lock:
                    state.note_upload(endpoint, root, "status0")
        elif endpoint in ds.UPLOAD_ENDPOINTS:
            with state.lock:
                children, outcome, _ = state.upload(
                    endpoint, root, fault if mode == "reject_uploads" else None)
            sealed = None
        else:
            children, outcome, sealed = self.server.sealed(endpoint, root)
        if sealed is None:
            sealed = xxtea_wire.seal(document(children))
        with state.lock:
            entry["outcome"] = outcome
            entry["status"] = children[0][1]
            entry["info"] = children[1][1] if len(children) > 1 else ""

        if mode == "no_answer":
            self.hold(LONGEST_HOLD)
            self.close_connection = True
            return
        if mode == "drop":
            self.close_connection = True
            return
        if mode == "garbage":
            sealed = GARBAGE
        elif mode == "truncated":
            sealed = truncate(sealed)
        elif mode == "empty":
            sealed = ""
        self.send(200, sealed, "text/plain; charset=us-ascii")

    # ------------------------------------------------------- administration

    def admin_get(self, path):
        state = self.server.state
        query = urllib.parse.parse_qs(urllib.parse.urlsplit(self.path).query)
        with state.lock:
            if path == "/admin/state":
                return self.send_json(200, state.state_json())
            if path == "/admin/catalogue":
                return self.send_json(200, state.catalogue_json())
            if path == "/admin/uploads":
                return self.send_json(200, state.uploads_json())
            if path == "/admin/faults":
                return self.send_json(200, dict(state.fault, held=state.held))
            if path == "/admin/requests":
                since = int((query.get("since") or ["0"])[0] or 0)
                wanted = (query.get("endpoint") or [None])[0]
                entries = [dict(e) for e in state.requests
                           if e["seq"] > since and (wanted is None or e["endpoint"] == wanted)]
                return self.send_json(200, {"requests": entries, "last": state.request_seq})
        return self.send_json(404, {"error": "no such administration endpoint"})

    def admin_post(self, path, body):
        state = self.server.state
        try:
            request = json.loads(body.decode("utf-8")) if body.strip() else {}
            if not isinstance(request, dict):
                raise ValueError("a JSON object is expected")
        except ValueError as exc:
            return self.send_json(400, {"error": "bad JSON: %s" % exc})
        actions = {
            "/admin/ware": state.admin_ware,
            "/admin/material": state.admin_material,
            "/admin/combined_stock": state.admin_combined_stock,
            "/admin/bar": state.admin_bar,
            "/admin/ware_type": state.admin_ware_type,
            "/admin/config": state.admin_config,
            "/admin/versions": state.admin_versions,
            "/admin/generate": state.admin_generate,
        }
        try:
            with state.lock:
                if path == "/admin/faults":
                    mode = request.get("mode", "none")
                    if mode not in FAULT_MODES:
                        raise ds.AdminError("mode must be one of %s" % ", ".join(FAULT_MODES))
                    unknown = [e for e in request.get("endpoints") or []
                               if e not in ds.ENDPOINT_PATHS]
                    if unknown:
                        raise ds.AdminError("unknown endpoints %s" % ", ".join(unknown))
                    state.set_fault(request)
                    return self.send_json(200, dict(state.fault, held=state.held))
                if path == "/admin/reset":
                    state.reset(keep_sessions=not request.get("sessions"))
                    return self.send_json(200, state.state_json())
                action = actions.get(path)
                if action is None:
                    return self.send_json(404, {"error": "no such administration endpoint"})
                result = action(request)
            if path == "/admin/generate":
                self.server.warm()
            return self.send_json(200, result)
        except (ds.AdminError, KeyError, TypeError, ValueError) as exc:
            return self.send_json(400, {"error": str(exc)})


def build_parser():
    parser = argparse.ArgumentParser(
        prog="tillora-demo-server",
        description="Demo inventory server for the Tillora point-of-sale client "
                    "(loopback only; sealed protocol under /api/, JSON administration "
                    "under /admin/).")
    parser.add_argument("--port", type=int, default=18080,
                        help="TCP port on 127.0.0.1 (0 picks a free one); default 18080")
    parser.add_argument("--config", metavar="CLIENTCONFIG_XML",
                        help="take the endpoint paths from this ClientConfig.xml "
                             "instead of the built-in ones (the sample's)")
    parser.add_argument("--fault", choices=FAULT_MODES, default="none",
                        help="fault switched on from the start")
    parser.add_argument("--slow-seconds", type=float, default=5.0,
                        help="delay of the slow fault; default 5")
    parser.add_argument("--fault-endpoints", default="",
                        help="comma-separated endpoint keys (ilogin, iGetWare, ...) the "
                             "fault is limited to; default all")
    parser.add_argument("--fault-count", type=int, default=0,
                        help="the fault ends after this many requests; 0 never")
    parser.add_argument("--reject-status", type=int, default=2,
                        help="status of a rejected upload; default 2")
    parser.add_argument("--relief-mode", type=int, choices=(1, 2), default=cat.RELIEF_MODE,
                        help="handover mode announced: 1 normal, 2 quick; default 1")
    parser.add_argument("--extra-wares", type=int, default=0,
                        help="add this many generated wares (benchmarks)")
    parser.add_argument("--extra-materials", type=int, default=0,
                        help="add this many generated materials (benchmarks)")
    parser.add_argument("--verbose", action="store_true", help="log every HTTP request to stderr")
    return parser


def main(argv=None):
    args = build_parser().parse_args(argv)
    endpoints = [e for e in args.fault_endpoints.split(",") if e]
    unknown = [e for e in endpoints if e not in ds.ENDPOINT_PATHS]
    if unknown:
        sys.stderr.write("unknown endpoint keys: %s\n" % ", ".join(unknown))
        return 2
    fault = {"mode": args.fault, "slow_seconds": args.slow_seconds, "endpoints": endpoints,
             "count": args.fault_count, "reject_status": args.reject_status}
    options = ds.Options(relief_mode=args.relief_mode, extra_wares=max(0, args.extra_wares),
                         extra_materials=max(0, args.extra_materials), fault=fault)
    try:
        paths = paths_from_config(args.config) if args.config else None
    except (OSError, ET.ParseError, ValueError) as exc:
        sys.stderr.write("cannot read %s: %s\n" % (args.config, exc))
        return 2
    state = ds.DemoState(options)
    try:
        server = DemoHTTPServer(("127.0.0.1", args.port), state, paths, args.verbose)
    except OSError as exc:
        sys.stderr.write("cannot listen on 127.0.0.1:%d: %s\n" % (args.port, exc))
        return 1
    if args.extra_wares or args.extra_materials:
        server.warm()

    def stop(signum, frame):
        threading.Thread(target=server.stop, daemon=True).start()

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    sys.stdout.write("listening on 127.0.0.1:%d\n" % server.server_address[1])
    sys.stdout.flush()
    server.serve_forever()
    return 0
