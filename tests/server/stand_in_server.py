#!/usr/bin/env python3
"""A local stand-in for the maker's servers, for tests and demos. Listens on
127.0.0.1 only.

Serves files from --root with byte ranges (206 + Content-Range), the tracking
endpoint /ulc.php, the RPC endpoints /rpc/installer-data-update and
/rpc/installer-data/<token>, and a proxy auto-config script /proxy.pac that
names this server as the proxy. A request whose target is an absolute
http://127.0.0.1/... URL is forwarded, as a forward proxy would.

Control (never recorded):
  POST /__control/fault    {"path": P, "faults": [F, ...]}: each later request
                           for P takes the next F. F may hold: status (int),
                           close_after (bytes sent before the connection is cut),
                           reset (cut it with a TCP reset, after a pause that
                           lets the client wait for more, instead of a FIN),
                           ignore_range (answer 200 with the whole file),
                           range_shift (serve a 206 from that many bytes away
                           from the asked start, labelled truthfully),
                           content_length (the value to claim), no_content_length
                           (the body ends with the connection), trickle_ms (pause
                           between 64 KiB chunks), stall_after + stall_ms (one
                           pause after that many bytes), change_file (after this
                           answer the file changes: same size, new bytes, new
                           ETag and Last-Modified; "grow" makes it that many
                           bytes longer), no_etag, weak_etag,
                           retry_after (with status: the Retry-After value),
                           header_cut (bytes of the response head sent before
                           the connection is cut), content_encoding (the
                           Content-Encoding to claim; the bytes stay the file's).
  POST /__control/scenario {"path": P, "name": N, "break_at": B, "seed": S}:
                           scripts the faults of one named transfer scenario
                           (SCENARIOS below) for P with its break point at B.
  POST /__control/respond  {"path": P, "status": S, "body": B, "content_type": T}:
                           fixed answer for P (T defaults to text/plain);
                           "delay_ms" holds the answer back that long.
  POST /__control/reset    forget faults, answers and recorded requests.
  GET  /__control/settled  answers once no other connection is open (every
                           request of a client that has ended is recorded
                           then): 200 "settled", or 503 after 20 s.
  GET  /__control/requests every recorded request, one per line:
                           METHOD TAB hex(target) TAB proxied(0|1) TAB client port
                           TAB hex(body) TAB hex(headers as "Name: value\\r\\n").

Files carry a strong ETag and a Last-Modified date; a Range request with an
If-Range that names neither gets the whole file (200).
"""
import argparse
import email.utils
import http.client
import json
import os
import random
import re
import socket
import sys
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

CHUNK = 64 * 1024
LOOPBACK_HOSTS = ("127.0.0.1", "localhost")


def scenario_faults(name, break_at, seed):
    """The faults of one transfer scenario, a break point inside the file."""
    rng = random.Random(seed)
    cut = {"close_after": break_at}
    if name == "clean":
        return []
    if name == "break_resume":
        return [cut]
    if name == "ignore_range":
        return [cut, {"ignore_range": True}]
    if name == "lying_length":
        return [cut, {"content_length": rng.choice([1, break_at, 3 * break_at + 7])}]
    if name == "wrong_range":
        return [cut, {"range_shift": -rng.randint(1, break_at)}]
    if name == "no_length":
        return [dict(cut, no_content_length=True, reset=True)]
    if name == "changed_file":
        return [dict(cut, change_file=True)]
    if name == "server_error":
        return [{"status": rng.choice([500, 502, 503])} for _ in range(rng.randint(1, 3))]
    if name == "header_cut":
        return [{"header_cut": rng.choice([20, 40, 100, 130, 190])}]
    if name == "many_drops":
        return [{"close_after": max(1, break_at // 7)} for _ in range(7)]
    if name == "stall":
        return [{"stall_after": break_at, "stall_ms": rng.randint(300, 1500)}]
    raise KeyError(name)


SCENARIOS = ("clean", "break_resume", "ignore_range", "lying_length", "wrong_range", "no_length",
             "changed_file", "server_error", "stall", "header_cut", "many_drops")


class State:
    def __init__(self, root):
        self.root = os.path.realpath(root)
        self.lock = threading.Lock()
        self.faults = {}
        self.answers = {}
        self.requests = []
        self.versions = {}
        self.open_connections = 0
        self.connection_closed = threading.Condition(self.lock)

    def reset(self):
        with self.lock:
            self.faults.clear()
            self.answers.clear()
            self.requests.clear()

    def next_fault(self, path):
        with self.lock:
            queue = self.faults.get(path)
            return queue.pop(0) if queue else {}

    def record(self, line):
        with self.lock:
            self.requests.append(line)

    def opened(self):
        with self.lock:
            self.open_connections += 1

    def closed(self):
        with self.lock:
            self.open_connections -= 1
            self.connection_closed.notify_all()

    def wait_settled(self, timeout):
        """True once the caller's connection is the only one open."""
        with self.lock:
            return self.connection_closed.wait_for(lambda: self.open_connections <= 1, timeout)


class StandInServer(ThreadingHTTPServer):
    daemon_threads = True

    # Counted in the accepting thread, so that a connection accepted before
    # a later one (the backlog is first in, first out) is counted before it.
    def process_request(self, request, client_address):
        self.state.opened()
        super().process_request(request, client_address)

    # In the connection's thread, when it ends, whatever happened.
    def shutdown_request(self, request):
        try:
            super().shutdown_request(request)
        finally:
            self.state.closed()


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "StandIn/1.0"

    def log_message(self, format, *args):
        if self.server.verbose:
            sys.stderr.write("stand-in: " + (format % args) + "\n")

    # -- helpers ---------------------------------------------------------
    def read_body(self):
        length = int(self.headers.get("Content-Length") or 0)
        return self.rfile.read(length) if length > 0 else b""

    def record(self, body, proxied):
        headers = "".join("%s: %s\r\n" % (k, v) for k, v in self.headers.items())
        line = "\t".join([
            self.command,
            self.path.encode("utf-8", "surrogateescape").hex(),
            "1" if proxied else "0",
            str(self.client_address[1]),
            body.hex(),
            headers.encode("utf-8", "surrogateescape").hex(),
        ])
        self.server.state.record(line)

    def answer(self, status, body, content_type="text/plain", extra=None):
        self.send_response(status)
        if self.path.startswith("/__control/"):
            # No control connection stays open: /__control/settled counts the clients' ones.
            self.send_header("Connection", "close")
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        for name, value in (extra or {}).items():
            self.send_header(name, value)
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    # -- dispatch --------------------------------------------------------
    def handle(self):
        try:
            super().handle()
        except (BrokenPipeError, ConnectionResetError):
            pass  # a client that abandoned its connection (a cancelled or restarted download)

    def do_GET(self):
        self.dispatch()

    def do_POST(self):
        self.dispatch()

    def do_HEAD(self):
        self.dispatch()

    def dispatch(self):
        try:
            self.handle_request()
        except (BrokenPipeError, ConnectionResetError):
            # The client went away (a cancelled download): nothing to answer.
            self.close_connection = True

    def handle_request(self):
        body = self.read_body()
        if self.path.startswith("/__control/"):
            return self.control(body)
        if self.path.startswith("http://"):
            self.record(body, True)
            return self.forward(body)
        self.record(body, False)
        path = urllib.parse.urlsplit(self.path).path
        fault = self.server.state.next_fault(path)
        with self.server.state.lock:
            fixed = self.server.state.answers.get(path)
        if fixed is not None:
            time.sleep(fixed.get("delay_ms", 0) / 1000.0)
            return self.answer(fixed.get("status", 200), fixed.get("body", "").encode("utf-8"),
                               fixed.get("content_type", "text/plain"))
        if "status" in fault:
            extra = {"Retry-After": str(fault["retry_after"])} if "retry_after" in fault else None
            return self.answer(fault["status"], b"scripted status\n", extra=extra)
        if path == "/ulc.php":
            return self.answer(200, b"OK")
        if path == "/proxy.pac":
            script = 'function FindProxyForURL(url, host) { return "PROXY 127.0.0.1:%d"; }\n' % self.server.port
            return self.answer(200, script.encode(), "application/x-ns-proxy-autoconfig")
        if path.startswith("/rpc/"):
            return self.answer(404, b"no installer data configured\n")
        return self.serve_file(path, fault)

    def control(self, body):
        state = self.server.state
        if self.path == "/__control/requests":
            with state.lock:
                text = "".join(line + "\n" for line in state.requests)
            return self.answer(200, text.encode())
        if self.path == "/__control/reset":
            state.reset()
            return self.answer(200, b"reset\n")
        if self.path == "/__control/settled":
            if state.wait_settled(20):
                return self.answer(200, b"settled\n")
            return self.answer(503, b"other connections still open\n")
        try:
            spec = json.loads(body.decode("utf-8") or "{}")
        except ValueError:
            return self.answer(400, b"bad json\n")
        if self.path == "/__control/fault":
            with state.lock:
                state.faults.setdefault(spec["path"], []).extend(spec.get("faults", []))
            return self.answer(200, b"scripted\n")
        if self.path == "/__control/scenario":
            try:
                faults = scenario_faults(spec["name"], int(spec["break_at"]), spec.get("seed", 0))
            except KeyError:
                return self.answer(400, b"unknown scenario\n")
            with state.lock:
                state.faults[spec["path"]] = faults
            return self.answer(200, b"scripted\n")
        if self.path == "/__control/respond":
            with state.lock:
                state.answers[spec["path"]] = spec
            return self.answer(200, b"answering\n")
        return self.answer(404, b"unknown control\n")

    def forward(self, body):
        target = urllib.parse.urlsplit(self.path)
        if target.hostname not in LOOPBACK_HOSTS:
            return self.answer(403, b"this proxy forwards to loopback only\n")
        connection = http.client.HTTPConnection(target.hostname, target.port or 80, timeout=30)
        path = target.path or "/"
        if target.query:
            path += "?" + target.query
        headers = {k: v for k, v in self.headers.items() if k.lower() not in ("proxy-connection", "connection")}
        connection.request(self.command, path, body=body or None, headers=headers)
        response = connection.getresponse()
        data = response.read()
        self.send_response(response.status)
        for name, value in response.getheaders():
            if name.lower() not in ("content-length", "connection", "transfer-encoding"):
                self.send_header(name, value)
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)
        connection.close()

    def validators(self, local):
        stat = os.stat(local)
        with self.server.state.lock:
            version = self.server.state.versions.get(local, 0)
        etag = '"%x-%x-%x"' % (stat.st_size, stat.st_mtime_ns, version)
        return etag, email.utils.formatdate(stat.st_mtime, usegmt=True)

    def change_file(self, local, grow=0):
        with open(local, "rb") as f:
            data = f.read()
        stat = os.stat(local)
        with open(local, "wb") as f:
            f.write(data[1:] + data[:1] + data[:grow])
        later = stat.st_mtime_ns + 2 * 10**9
        os.utime(local, ns=(later, later))
        with self.server.state.lock:
            self.server.state.versions[local] = self.server.state.versions.get(local, 0) + 1

    def cut_connection(self, reset):
        self.wfile.flush()
        if reset:
            # Closing with a zero linger time sends the reset at once, before
            # the server's own shutdown could send a FIN.
            time.sleep(0.3)
            self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, b"\1\0\0\0\0\0\0\0")
            self.connection.close()
        else:
            self.connection.shutdown(socket.SHUT_RDWR)
        self.close_connection = True

    def serve_file(self, path, fault):
        root = self.server.state.root
        local = os.path.realpath(os.path.join(root, path.lstrip("/")))
        if not local.startswith(root + os.sep) or not os.path.isfile(local):
            return self.answer(404, b"not found\n")
        size = os.path.getsize(local)
        etag, last_modified = self.validators(local)
        start, status = 0, 200
        requested = self.headers.get("Range")
        match = re.fullmatch(r"bytes=(\d+)-", requested or "")
        if_range = self.headers.get("If-Range")
        if if_range is not None and if_range not in (etag, last_modified):
            match = None
        if match and not fault.get("ignore_range"):
            start = int(match.group(1))
            if start >= size:
                return self.answer(416, b"", extra={"Content-Range": "bytes */%d" % size})
            status = 206
        remaining = size - start
        if status == 206 and "range_shift" in fault:
            start = min(max(0, start + fault["range_shift"]), size - 1)
            self.close_connection = True
        count = min(remaining, size - start)
        if "header_cut" in fault:
            head = ("HTTP/1.1 %d OK\r\nServer: StandIn/1.0\r\nContent-Type: application/octet-stream\r\n"
                    "Accept-Ranges: bytes\r\nETag: %s\r\nLast-Modified: %s\r\nContent-Length: %d\r\n\r\n"
                    % (status, etag, last_modified, remaining))
            self.wfile.write(head.encode()[:fault["header_cut"]])
            return self.cut_connection(False)
        self.send_response(status)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Accept-Ranges", "bytes")
        if fault.get("weak_etag"):
            self.send_header("ETag", "W/" + etag)
        elif not fault.get("no_etag"):
            self.send_header("ETag", etag)
        self.send_header("Last-Modified", last_modified)
        if "content_encoding" in fault:
            self.send_header("Content-Encoding", fault["content_encoding"])
        if status == 206:
            self.send_header("Content-Range", "bytes %d-%d/%d" % (start, start + count - 1, size))
        if fault.get("no_content_length"):
            self.send_header("Connection", "close")
            self.close_connection = True
        else:
            self.send_header("Content-Length", str(fault.get("content_length", remaining)))
        self.end_headers()
        if self.command == "HEAD":
            return
        close_after = fault.get("close_after")
        trickle = fault.get("trickle_ms", 0) / 1000.0
        stall_after = fault.get("stall_after")
        with open(local, "rb") as f:
            f.seek(start)
            if close_after is None and not trickle and stall_after is None:
                if count > 0:
                    self.wfile.flush()
                    self.connection.sendfile(f, start, count)
            else:
                sent = 0
                limit = count if close_after is None else min(close_after, count)
                while sent < limit:
                    step = min(CHUNK, limit - sent)
                    if stall_after is not None and sent < stall_after:
                        step = min(step, stall_after - sent)
                    data = f.read(step)
                    if not data:
                        break
                    self.wfile.write(data)
                    sent += len(data)
                    if trickle:
                        self.wfile.flush()
                        time.sleep(trickle)
                    if stall_after is not None and sent == stall_after:
                        self.wfile.flush()
                        time.sleep(fault.get("stall_ms", 1000) / 1000.0)
                if close_after is not None:
                    # The change lands before the cut, so the client's next
                    # request meets the new version.
                    if fault.get("change_file"):
                        self.change_file(local, fault.get("grow", 0))
                    self.cut_connection(fault.get("reset", False))
                    return
        if fault.get("change_file"):
            self.change_file(local, fault.get("grow", 0))
        if "content_length" in fault and fault["content_length"] != remaining:
            self.close_connection = True


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--root", required=True)
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--port-file")
    parser.add_argument("--verbose", action="store_true")
    parser.add_argument("--tls-cert", help="serve HTTPS with this PEM file (certificate and key)")
    args = parser.parse_args()
    server = StandInServer(("127.0.0.1", args.port), Handler)
    if args.tls_cert:
        import ssl
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(args.tls_cert)
        server.socket = context.wrap_socket(server.socket, server_side=True)
    server.state = State(args.root)
    server.port = server.server_address[1]
    server.verbose = args.verbose
    if args.port_file:
        with open(args.port_file + ".tmp", "w") as f:
            f.write(str(server.port))
        os.replace(args.port_file + ".tmp", args.port_file)
    server.serve_forever()


if __name__ == "__main__":
    main()
