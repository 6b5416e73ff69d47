#!/usr/bin/env python3
"""Servers on 127.0.0.1 that play the faults the live client must survive. Prints one line
"NAME PORT" for each once all listen, then "ready", and serves until killed.

web      HTTP/1.1 with keep-alive:
           /echo                 the request line and header lines it got, as the body
           /status/N             status N with the reason "Reason"
           /redirect/N?to=LOC    status N with Location LOC (percent-decoded), after ms=MS
                                 milliseconds when the query says so
           /chain/N              302 to /chain/N-1; /chain/0 answers "end"
           /loop                 302 to /loop
           /big?n=BYTES          a body of BYTES bytes
           /chunked?n=BYTES      the same without Content-Length
           /slow?ms=MS           answers after MS milliseconds, counting the requests in flight
           /peak                 the most requests that were in flight at once, and resets it
           /escape               status 404 with ESC, BEL and a C1 control in the reason
           /tls-session          "resumed" or "new": whether the TLS session was resumed; the
                                 connection is closed after it
tls      the web server over TLS, when the arguments name a certificate and its key
stall    accepts connections and never answers (a TLS server that stalls in its handshake)
proxy    answers every request, CONNECT included, with 403 Forbidden
"""
import socketserver
import ssl
import sys
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

lock = threading.Lock()
in_flight = 0
peak = 0


class Web(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def answer(self, status, body=b"", reason=None, headers=()):
        self.send_response_only(status, reason)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        global in_flight, peak
        url = urllib.parse.urlsplit(self.path)
        query = urllib.parse.parse_qs(url.query)
        parts = url.path.split("/")
        if url.path == "/tls-session":
            self.close_connection = True
            resumed = getattr(self.connection, "session_reused", False)
            self.answer(200, b"resumed" if resumed else b"new", None, [("Connection", "close")])
        elif url.path == "/echo":
            head = self.requestline + "\r\n" + str(self.headers)
            self.answer(200, head.encode("latin-1"))
        elif url.path.startswith("/status/"):
            self.answer(int(parts[2]), b"status body", "Reason")
        elif url.path.startswith("/redirect/"):
            time.sleep(int(query.get("ms", ["0"])[0]) / 1000)
            self.answer(int(parts[2]), b"moved", None, [("Location", query["to"][0])])
        elif url.path.startswith("/chain/"):
            n = int(parts[2])
            if n == 0:
                self.answer(200, b"end")
            else:
                self.answer(302, b"", None, [("Location", "/chain/%d" % (n - 1))])
        elif url.path == "/loop":
            self.answer(302, b"", None, [("Location", "/loop")])
        elif url.path == "/big":
            self.answer(200, b"b" * int(query["n"][0]))
        elif url.path == "/chunked":
            self.send_response_only(200)
            self.send_header("Connection", "close")
            self.end_headers()
            self.wfile.write(b"c" * int(query["n"][0]))
            self.close_connection = True
        elif url.path == "/slow":
            with lock:
                in_flight += 1
                peak = max(peak, in_flight)
            time.sleep(int(query["ms"][0]) / 1000)
            with lock:
                in_flight -= 1
            self.answer(200, b"slow")
        elif url.path == "/peak":
            with lock:
                seen, peak = peak, 0
            self.answer(200, str(seen).encode())
        elif url.path == "/escape":
            self.wfile.write(b"HTTP/1.1 404 Gone\x1b[31m\x07 \xc2\x9bx\r\nContent-Length: 0\r\n\r\n")
        else:
            self.answer(404, b"no such page")

    do_HEAD = do_GET

    def do_POST(self):
        length = int(self.headers.get("Content-Length", "0"))
        body = self.rfile.read(length)
        if self.path.startswith("/redirect/") or self.path == "/echo":
            return self.do_GET()
        self.answer(200, b"posted " + body)


class Stall(socketserver.BaseRequestHandler):
    def handle(self):
        try:
            self.request.recv(65536)
            time.sleep(30)
        except OSError:
            pass


class Proxy(socketserver.StreamRequestHandler):
    def handle(self):
        self.rfile.readline()
        while self.rfile.readline() not in (b"\r\n", b"\n", b""):
            pass
        self.wfile.write(b"HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\nConnection: close\r\n\r\n")


class Threading(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    ThreadingHTTPServer.daemon_threads = True
    servers = {
        "web": ThreadingHTTPServer(("127.0.0.1", 0), Web),
        "stall": Threading(("127.0.0.1", 0), Stall),
        "proxy": Threading(("127.0.0.1", 0), Proxy),
    }
    if len(sys.argv) == 3:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(sys.argv[1], sys.argv[2])
        tls = ThreadingHTTPServer(("127.0.0.1", 0), Web)
        tls.socket = context.wrap_socket(tls.socket, server_side=True)
        servers["tls"] = tls
    for name, server in servers.items():
        threading.Thread(target=server.serve_forever, daemon=True).start()
        print(name, server.server_address[1], flush=True)
    print("ready", flush=True)
    threading.Event().wait()


if __name__ == "__main__":
    main()
