#!/usr/bin/env python3
"""A stand-in for the search engines and submission services that a run talks to.

It listens on 127.0.0.1 and answers every request of the engine catalogue like a plausible
engine would: an HTML page of about the size the real page had, with or without a
Content-Length line, fast or slow. It serves requests sent to it directly (the target is a
path, the engine is told apart by its path) and requests sent to it as a proxy (the target is
an absolute URL, the engine is told apart by its host as well). Every response ends with the
close of the connection, as HTTP/1.0 without keep-alive does.

Rules switch on failure modes and variants for some hosts or paths:

    --rule PATTERN=MODE[,MODE...]

PATTERN is a path prefix when it starts with "/" (the query is not part of the path), else a
host name pattern (shell wildcards, case-insensitive). Later rules override earlier ones.
Modes:

    ok            a normal answer (the default)
    nolength      no Content-Length line
    size:N        a body of N bytes
    slow[:MS]     the body in pieces of 1 KiB with MS milliseconds (50) between them
    delay:MS      wait MS milliseconds before answering
    status:NNN    answer with this status and an error page
    noheader      the body alone, without status line and header lines
    stall         read the request and never answer (until the client gives up)
    refuse        reset the connection instead of answering
    close         send part of the status line and header, then close
    cut           announce the full length, send half the body, then close
    redirect:URL  answer 302 Found with this Location (percent-decoded, so it may hold any byte)
    reason:TEXT   this reason phrase (percent-decoded) instead of the status's own
    retry:VALUE   a Retry-After line with this value (percent-decoded)

With --tls CERT KEY it also speaks TLS, on the same port: a connection that opens with a TLS
hello gets it, with that certificate; a plain one is served as before. As a proxy it opens
tunnels (CONNECT host:port) and then speaks TLS inside them as the host itself, so the
certificate must name every host that is asked for. A failed handshake is never logged: no
request arrived.

Today's services (IndexNow, Google Search Console, the sites whose key files and sitemaps
they read) are modules beside it, tools/simulator/service_*.py, each with options of its own;
rules apply to them as to the engines. With --demo PROFILES (tools/run.sh), a service that
has a demo of its own prepares it in that folder of copied demo profiles before the server
starts (Google writes a service account's key file there and names it in a profile).

Every request received is written to the log (--log FILE) as one JSON object a line, before
it is answered, with the fields seq, time, method, target, proxy, tls, tunnel, host, path,
query, headers, body, raw (the request's bytes as Latin-1 text), engine and modes.

The port is --port (0 chooses a free one); the port in use is printed on the first line of
standard output, and written to --port-file when given. SIGTERM and SIGINT stop the server.
"""

import argparse
import collections
import fnmatch
import importlib
import pathlib
import json
import os
import select
import signal
import socket
import socketserver
import ssl
import struct
import sys
import threading
import time
import urllib.parse

# Path of the endpoint -> (engine, body size). Sizes are those of the pages the engines sent
# back; a run assumes them when a page does not announce its length.
ENDPOINTS = {
    "/cgi-bin/wtgn/site_change.pl": ("Alexa", 2052),
    "/cgi-bin/newurl": ("AltaVista", 7421),
    "/cgi-bin/print_addurl.pl": ("Anzwers", 4310),
    "/cgi-bin/ffa.pl": ("Corvane", 509),
    "/searchit/addurl.cgi": ("FindLink", 3877),
    "/addurl": ("Google", 3116),
    "/addurl.asp": ("HotBot", 8642),
    "/add_url.sh": ("Go2Net.com", 5230),
    "/AddUrl/AddingURL": ("Infoseek", 9698),
    "/homepage": ("InfoSpace", 6127),
    "/cgi-bin/spider_now.pl": ("Lycos", 8065),
    "/cgi-bin/urlsubmit.pl": ("Northern Light", 4480),
    "/": ("PlanetSearch", 2052),
    "/bin/cgireg.dll": ("Switchboard", 7310),
    "/cgi-bin/add_url_new.cgi": ("WebCrawler", 5610),
    "/submit": ("the submission service", 9000),
}
# Jayde Online (POST) and Scrub The Web (GET) use the same path on different hosts.
SHARED_PATH = "/cgi-bin/addurl.cgi"

MAX_HEADER = 64 * 1024
MAX_BODY = 4 * 1024 * 1024
STALL_LIMIT = 600.0

REASONS = {200: "OK", 202: "Accepted", 204: "No Content", 301: "Moved Permanently", 302: "Found",
           400: "Bad Request", 401: "Unauthorized", 403: "Forbidden", 404: "Not Found", 410: "Gone",
           422: "Unprocessable Entity", 429: "Too Many Requests", 500: "Internal Server Error",
           502: "Bad Gateway", 503: "Service Unavailable"}


# Today's services, played beside the catalogue's engines: every module
# tools/simulator/service_*.py defines add_arguments(parser), configure(args) and
# handle(request), which returns a Reply for a request that is the service's, else None;
# one with a demo defines demo(args, profiles) too, which prepares the demo profiles and adds
# to args what the service needs for them.
Request = collections.namedtuple("Request", "method host path query headers body tls")
Reply = collections.namedtuple("Reply", "engine status headers body")


def load_services():
    services = []
    folder = pathlib.Path(__file__).resolve().parent / "simulator"
    # Imported by name from their folder, so that a service can use another (IndexNow reads
    # the sites).
    sys.path.insert(0, str(folder))
    for path in sorted(folder.glob("service_*.py")):
        services.append(importlib.import_module(path.stem))
    return services


SERVICES = load_services()


class Rule:
    def __init__(self, text):
        pattern, sep, modes = text.partition("=")
        if not sep or not pattern or not modes:
            raise ValueError("a rule is PATTERN=MODE[,MODE...]: " + text)
        self.pattern = pattern
        self.modes = [m.strip() for m in modes.split(",") if m.strip()]
        for mode in self.modes:
            parse_mode(mode)

    def matches(self, host, path):
        if self.pattern.startswith("/"):
            return path.startswith(self.pattern)
        return fnmatch.fnmatchcase(host.lower(), self.pattern.lower())


def parse_mode(mode):
    name, _, value = mode.partition(":")
    simple = {"ok", "nolength", "noheader", "stall", "refuse", "close", "cut"}
    if name in simple and not value:
        return name, None
    if name == "slow":
        return name, int(value) if value else 50
    if name in ("size", "delay", "status") and value.isdigit():
        return name, int(value)
    if name in ("redirect", "reason", "retry") and value:
        return name, urllib.parse.unquote_to_bytes(value).decode("latin-1")
    raise ValueError("unknown mode: " + mode)


class Settings:
    def __init__(self, rules, log_path, tls=None):
        self.rules = rules
        self.tls = tls
        self.log = open(log_path, "a", encoding="utf-8") if log_path else None
        self.lock = threading.Lock()
        self.seq = 0
        self.stopping = threading.Event()

    def modes_for(self, host, path):
        chosen = {}
        for rule in self.rules:
            if rule.matches(host, path):
                for mode in rule.modes:
                    name, value = parse_mode(mode)
                    if name == "ok":
                        chosen.clear()
                    else:
                        chosen[name] = value
        return chosen

    def record(self, entry):
        with self.lock:
            self.seq += 1
            entry["seq"] = self.seq
            if self.log:
                self.log.write(json.dumps(entry) + "\n")
                self.log.flush()


def page(engine, status, size):
    """An HTML page of exactly size bytes (cut short when size is smaller than the text)."""
    if status < 400:
        title = "%s - Add URL" % engine
        text = "<p>Thank you. Your site has been received and will be visited soon.</p>\n"
    else:
        title = "%d %s" % (status, REASONS.get(status, "Error"))
        text = ""
    body = ("<html><head><title>%s</title></head><body>\n<h1>%s</h1>\n%s" % (title, title, text)).encode()
    end = b"</body></html>\n"
    filler = size - len(body) - len(end)
    if filler >= 8:
        body += b"<!--" + b" " * (filler - 8) + b"-->\n"
    elif filler > 0:
        body += b" " * filler
    body += end
    return body[:max(size, 0)]


class Handler(socketserver.BaseRequestHandler):
    def secure(self, conn):
        """The connection inside TLS, or None when the handshake failed."""
        try:
            conn = self.server.settings.tls.wrap_socket(conn, server_side=True)
        except (ssl.SSLError, OSError):
            return None
        self.request = conn
        return conn

    def handle(self):
        settings = self.server.settings
        conn = self.request
        conn.settimeout(30)
        tunnel = None
        try:
            if settings.tls and conn.recv(1, socket.MSG_PEEK) == b"\x16":
                conn = self.secure(conn)
                if conn is None:
                    return
            raw_head, rest = self.read_head(conn)
            if raw_head is not None and raw_head.startswith(b"CONNECT "):
                tunnel = raw_head.split(b" ")[1].decode("latin-1")
                if not settings.tls:
                    conn.sendall(b"HTTP/1.0 501 Not Implemented\r\n\r\n")
                    return
                conn.sendall(b"HTTP/1.0 200 Connection established\r\n\r\n")
                conn = self.secure(conn)
                if conn is None:
                    return
                raw_head, rest = self.read_head(conn)
        except (OSError, ValueError):
            return
        if raw_head is None:
            return
        lines = raw_head.decode("latin-1").split("\n")
        request_line = lines[0].rstrip("\r")
        parts = request_line.split(" ")
        method = parts[0] if parts else ""
        target = parts[1] if len(parts) > 1 else ""
        headers = []
        for line in lines[1:]:
            line = line.rstrip("\r")
            if not line:
                continue
            name, _, value = line.partition(":")
            headers.append([name, value.strip()])
        length = 0
        for name, value in headers:
            if name.lower() == "content-length" and value.isdigit():
                length = min(int(value), MAX_BODY)
        body = rest
        try:
            while len(body) < length:
                chunk = conn.recv(65536)
                if not chunk:
                    break
                body += chunk
        except OSError:
            pass
        body = body[:length]

        proxy = "://" in target
        if proxy:
            split = urllib.parse.urlsplit(target)
            host = split.hostname or ""
            path, query = split.path or "/", split.query
        else:
            host = next((v for n, v in headers if n.lower() == "host"), "").split(":")[0]
            path, _, query = target.partition("?")
        engine, size = ENDPOINTS.get(path, (None, 0))
        if path == SHARED_PATH:
            engine, size = ("Jayde Online", 6245) if method == "POST" else ("Scrub The Web", 6812)
        reply = None
        request = Request(method, host, path, query, headers, body, isinstance(conn, ssl.SSLSocket))
        for service in SERVICES:
            reply = service.handle(request)
            if reply is not None:
                engine = reply.engine
                break
        modes = settings.modes_for(host, path)
        settings.record({
            "time": time.time(), "method": method, "target": target, "proxy": proxy or bool(tunnel),
            "tls": isinstance(conn, ssl.SSLSocket), "tunnel": tunnel, "host": host,
            "path": path, "query": query, "headers": headers,
            "body": body.decode("utf-8", "backslashreplace"),
            "raw": (raw_head + b"\r\n\r\n" + body).decode("latin-1"), "engine": engine,
            "modes": sorted("%s:%s" % (k, v) if v is not None else k for k, v in modes.items()),
        })
        try:
            self.answer(conn, engine, size, modes, reply)
        except OSError:
            pass  # the client went away first, as a stopped or timed-out run does

    def read_head(self, conn):
        data = b""
        while True:
            for end in (b"\r\n\r\n", b"\n\n"):
                at = data.find(end)
                if at >= 0:
                    return data[:at], data[at + len(end):]
            if len(data) > MAX_HEADER:
                return None, b""
            chunk = conn.recv(65536)
            if not chunk:
                return None, b""
            data += chunk

    def answer(self, conn, engine, size, modes, reply=None):
        settings = self.server.settings
        if "refuse" in modes:
            # A reset instead of an answer: what a client sees of a host that refuses it
            # when the connection goes through a proxy.
            conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            conn.close()
            self.refused = True
            return
        if "delay" in modes and settings.stopping.wait(modes["delay"] / 1000.0):
            return
        if "stall" in modes:
            self.stall(conn)
            return
        extra = ""
        if reply is not None and "status" not in modes:
            status, body = reply.status, reply.body
            extra = "".join("%s: %s\r\n" % pair for pair in reply.headers)
        else:
            status = modes.get("status", 200 if engine else 404)
            if "size" in modes:
                size = modes["size"]
            elif status != 200 or not engine:
                size = 300
            body = page(engine or "Not Found", status, size)
            extra = "Content-Type: text/html\r\n"
        if "redirect" in modes:
            status, body = 302, b""
            extra = "Location: %s\r\n" % modes["redirect"]
        if "retry" in modes:
            extra += "Retry-After: %s\r\n" % modes["retry"]
        reason = modes.get("reason", REASONS.get(status, "Status"))
        head = "HTTP/1.0 %d %s\r\n" % (status, reason)
        head += "Server: engine-simulator\r\n" + extra + "Connection: close\r\n"
        if "nolength" not in modes:
            head += "Content-Length: %d\r\n" % len(body)
        head += "\r\n"
        if "noheader" in modes:
            head = ""
        data = head.encode("latin-1") + body
        if "close" in modes:
            conn.sendall(head.encode("latin-1")[: min(len(head), 24)])
            return
        if "cut" in modes:
            conn.sendall(head.encode("latin-1") + body[: len(body) // 2])
            return
        if "slow" in modes:
            conn.sendall(head.encode("latin-1"))
            for at in range(0, len(body), 1024):
                if settings.stopping.wait(modes["slow"] / 1000.0):
                    return
                conn.sendall(body[at:at + 1024])
            return
        conn.sendall(data)

    def stall(self, conn):
        # Holds the connection open without a word until the client closes it.
        deadline = time.monotonic() + STALL_LIMIT
        while time.monotonic() < deadline and not self.server.settings.stopping.is_set():
            ready, _, _ = select.select([conn], [], [], 0.2)
            if ready:
                try:
                    if not conn.recv(65536):
                        return
                except OSError:
                    return

    def finish(self):
        if getattr(self, "refused", False):
            return  # the server closes the socket, which sends the reset
        try:
            self.request.shutdown(socket.SHUT_WR)
        except OSError:
            pass


class Server(socketserver.ThreadingTCPServer):
    allow_reuse_address = True
    daemon_threads = True
    request_queue_size = 128

    def __init__(self, port, settings):
        self.settings = settings
        super().__init__(("127.0.0.1", port), Handler)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--port-file")
    parser.add_argument("--log")
    parser.add_argument("--rule", action="append", default=[])
    parser.add_argument("--tls", nargs=2, metavar=("CERT", "KEY"))
    parser.add_argument("--demo", metavar="PROFILES")
    for service in SERVICES:
        service.add_arguments(parser)
    args = parser.parse_args()
    if args.demo and not args.tls:
        parser.error("--demo needs --tls: the demo's keys are made beside its certificate")
    for service in SERVICES:
        if args.demo and hasattr(service, "demo"):
            service.demo(args, args.demo)
        service.configure(args)
    try:
        rules = [Rule(r) for r in args.rule]
    except ValueError as e:
        parser.error(str(e))
    tls = None
    if args.tls:
        tls = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        tls.load_cert_chain(args.tls[0], args.tls[1])
    settings = Settings(rules, args.log, tls)
    server = Server(args.port, settings)
    port = server.server_address[1]

    def stop(signum, frame):
        settings.stopping.set()
        threading.Thread(target=server.shutdown, daemon=True).start()

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    if args.port_file:
        tmp = args.port_file + ".tmp"
        with open(tmp, "w") as f:
            f.write("%d\n" % port)
        os.replace(tmp, args.port_file)
    print(port, flush=True)
    try:
        server.serve_forever(poll_interval=0.2)
    finally:
        server.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
