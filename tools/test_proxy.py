#!/usr/bin/env python3
"""Loopback HTTP proxies for the tests: one that forwards and one that asks for credentials.

Listeners (both on 127.0.0.2, never on the test server's 127.0.0.1: when a request's host text
equals the proxy's, WinHTTP under Wine sends the proxy a relative request line):
  base + 5  "proxy": a forwarding proxy. A request with an absolute http:// target goes to its
            host and port with a relative target, without the proxy's own headers
            (Proxy-Connection, Proxy-Authorization, Connection, Keep-Alive), and the whole
            answer comes back; every connection carries one request and ends with the answer
            ("Connection: close"). CONNECT host:port answers "200 Connection established" and
            then relays bytes both ways until either side closes. An origin that cannot be
            reached gives 502 Bad Gateway, for either kind.
  base + 6  "proxy-407": answers every request, CONNECT included, with 407 Proxy
            Authentication Required and Proxy-Authenticate: Basic realm="vexa".

Both log the raw head of every request (request line and header lines, as received) in one log.
A reset by one side of a relay is passed on to the other as a reset, so that a test server's
reset_ms reaches the client through the proxy too.

Control requests (forwarding listener, relative target; never logged):
  GET  /_ctl/log?prefix=X   the logged heads whose target starts with X (all without a
                            prefix), in arrival order, each preceded by "listener: <name>\\r\\n"
  GET  /_ctl/count?prefix=X how many such requests arrived
  POST /_ctl/reset          forgets the log

Usage: test_proxy.py serve --state-dir DIR --port-base N
Once both listeners are up, the state directory receives a file named "proxy-ready".
"""

import argparse
import os
import select
import socket
import socketserver
import struct
import sys
import threading
import urllib.parse

HOST = "127.0.0.2"
HEAD_LIMIT = 64 * 1024
# Headers meant for the proxy or for one connection only; never passed on to the origin.
HOP_BY_HOP = {b"proxy-connection", b"proxy-authorization", b"connection", b"keep-alive"}


class Log:
    def __init__(self):
        self.lock = threading.Lock()
        self.entries = []  # (listener, target, raw head)

    def record(self, listener, target, head):
        with self.lock:
            self.entries.append((listener, target, head))

    def reset(self):
        with self.lock:
            self.entries.clear()

    def matching(self, prefix):
        with self.lock:
            return [e for e in self.entries if e[1].startswith(prefix)]


LOG = Log()


def read_head(sock):
    """Reads up to the blank line that ends a head; returns the head and what came after it."""
    data = b""
    while True:
        end = data.find(b"\r\n\r\n")
        if end >= 0:
            return data[:end + 4], data[end + 4:]
        if len(data) > HEAD_LIMIT:
            return None, b""
        piece = sock.recv(65536)
        if not piece:
            return None, b""
        data += piece


def header_lines(head):
    return head.split(b"\r\n")[1:-2]


def header_value(head, name):
    for line in header_lines(head):
        key, _, value = line.partition(b":")
        if key.strip().lower() == name:
            return value.strip()
    return None


def read_body(sock, head, rest):
    """The request body announced by Content-Length (this proxy knows no chunked requests)."""
    length = int(header_value(head, b"content-length") or b"0")
    while len(rest) < length:
        piece = sock.recv(65536)
        if not piece:
            break
        rest += piece
    return rest[:length]


def answer(sock, status, reason, body=b"", headers=()):
    lines = [b"HTTP/1.1 %d %s" % (status, reason.encode())]
    lines += [b"%s: %s" % (n.encode(), v.encode()) for n, v in headers]
    lines += [b"Content-Length: %d" % len(body), b"Connection: close", b"", b""]
    sock.sendall(b"\r\n".join(lines) + body)


def reset(sock):
    # Closed with a zero linger time, so that the peer sees a reset instead of an orderly end.
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
    sock.close()


def relay(one, other):
    """Copies bytes both ways until either side ends; a reset ends the other side with one."""
    sockets = [one, other]
    while True:
        readable, _, _ = select.select(sockets, [], [])
        for source in readable:
            target = other if source is one else one
            try:
                data = source.recv(65536)
            except ConnectionResetError:
                reset(target)
                return
            if not data:
                return
            try:
                target.sendall(data)
            except OSError:
                return


def connect(host, port):
    try:
        return socket.create_connection((host, port), timeout=10)
    except OSError:
        return None


class ProxyHandler(socketserver.BaseRequestHandler):
    def handle(self):
        sock = self.request
        try:
            head, rest = read_head(sock)
            if head is None:
                return
            method, target = self.request_line(head)
            if target.startswith("/_ctl/") and self.server.listener_name == "proxy":
                return self.control(sock, method, target, head, rest)
            LOG.record(self.server.listener_name, target, head)
            if self.server.listener_name == "proxy-407":
                read_body(sock, head, rest)
                return answer(sock, 407, "Proxy Authentication Required",
                              b"proxy credentials required",
                              [("Proxy-Authenticate", 'Basic realm="vexa"'),
                               ("Content-Type", "text/plain")])
            if method == "CONNECT":
                return self.tunnel(sock, target, rest)
            return self.forward(sock, method, target, head, rest)
        except (ConnectionError, OSError):
            pass  # a client that went away
        finally:
            sock.close()

    @staticmethod
    def request_line(head):
        parts = head.split(b"\r\n", 1)[0].decode("latin-1").split()
        return (parts[0], parts[1]) if len(parts) == 3 else ("", "")

    def control(self, sock, method, target, head, rest):
        read_body(sock, head, rest)
        path, _, query = target.partition("?")
        prefix = urllib.parse.parse_qs(query).get("prefix", [""])[0]
        if path == "/_ctl/reset" and method == "POST":
            LOG.reset()
            return answer(sock, 200, "OK", b"ok")
        if path == "/_ctl/log" and method == "GET":
            text = b"".join(b"listener: " + e[0].encode() + b"\r\n" + e[2]
                            for e in LOG.matching(prefix))
            return answer(sock, 200, "OK", text)
        if path == "/_ctl/count" and method == "GET":
            return answer(sock, 200, "OK", str(len(LOG.matching(prefix))).encode())
        answer(sock, 404, "Not Found", b"unknown control request")

    def tunnel(self, sock, target, rest):
        host, _, port = target.rpartition(":")
        origin = connect(host.strip("[]"), int(port)) if port.isdigit() else None
        if origin is None:
            return answer(sock, 502, "Bad Gateway", b"origin not reachable: " + target.encode())
        with origin:
            origin.settimeout(None)
            sock.sendall(b"HTTP/1.1 200 Connection established\r\n\r\n")
            if rest:
                origin.sendall(rest)
            relay(sock, origin)

    def forward(self, sock, method, target, head, rest):
        url = urllib.parse.urlsplit(target)
        if url.scheme != "http" or not url.hostname:
            return answer(sock, 400, "Bad Request", b"not an absolute http URL: " +
                          target.encode())
        body = read_body(sock, head, rest)
        origin = connect(url.hostname, url.port or 80)
        if origin is None:
            return answer(sock, 502, "Bad Gateway", b"origin not reachable: " + target.encode())
        with origin:
            origin.settimeout(None)
            relative = (url.path or "/") + ("?" + url.query if url.query else "")
            version = head.split(b"\r\n", 1)[0].rsplit(b" ", 1)[1]
            lines = [b"%s %s %s" % (method.encode(), relative.encode(), version)]
            lines += [line for line in header_lines(head)
                      if line.partition(b":")[0].strip().lower() not in HOP_BY_HOP]
            lines += [b"Connection: close", b"", b""]
            origin.sendall(b"\r\n".join(lines) + body)
            self.relay_answer(origin, sock)

    @staticmethod
    def relay_answer(origin, sock):
        """Passes the origin's answer on, its head marked as the connection's last."""
        try:
            head, rest = read_head(origin)
        except ConnectionResetError:
            return reset(sock)
        if head is None:
            return answer(sock, 502, "Bad Gateway", b"no answer from the origin")
        lines = [head.split(b"\r\n", 1)[0]]
        lines += [line for line in header_lines(head)
                  if line.partition(b":")[0].strip().lower() not in HOP_BY_HOP]
        lines += [b"Connection: close", b"", b""]
        sock.sendall(b"\r\n".join(lines) + rest)
        # The origin was asked to close after its answer, so its end is the body's end, whatever
        # framing the body has.
        while True:
            try:
                data = origin.recv(65536)
            except ConnectionResetError:
                return reset(sock)
            if not data:
                return
            sock.sendall(data)


class Server(socketserver.ThreadingMixIn, socketserver.TCPServer):
    daemon_threads = True
    allow_reuse_address = True
    request_queue_size = 64

    def __init__(self, port, listener_name):
        super().__init__((HOST, port), ProxyHandler)
        self.listener_name = listener_name


def serve(args):
    os.makedirs(args.state_dir, exist_ok=True)
    ready = os.path.join(args.state_dir, "proxy-ready")
    if os.path.exists(ready):
        os.remove(ready)
    servers = [Server(args.port_base + 5, "proxy"), Server(args.port_base + 6, "proxy-407")]
    for server in servers:
        threading.Thread(target=server.serve_forever, daemon=True).start()
    with open(ready, "w") as f:
        f.write("%d\n" % os.getpid())
    try:
        threading.Event().wait()
    except KeyboardInterrupt:
        pass


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    sub = parser.add_subparsers(dest="command", required=True)
    p = sub.add_parser("serve")
    p.add_argument("--state-dir", required=True)
    p.add_argument("--port-base", type=int, required=True)
    serve(parser.parse_args())


if __name__ == "__main__":
    sys.exit(main())
