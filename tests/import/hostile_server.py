#!/usr/bin/env python3
"""Local HTTP server for the download tests: one behaviour per first path
segment, good and hostile. Listens on 127.0.0.1 only, on free ports, and
prints "<http port> <tls port>" (tls port 0 without a certificate) on its
first line. It ends by itself when its parent goes away or after ten
minutes; every reply loop is bounded in time and in bytes.

usage: hostile_server.py [CERT KEY]
"""
import os
import socket
import socketserver
import ssl
import struct
import sys
import threading
import time

PNG = b"\x89PNG\r\n\x1a\n" + b"\x00\x00\x00\rIHDR" + bytes(range(64))
LIFETIME = 600


def send(sock, data):
    try:
        sock.sendall(data)
        return True
    except OSError:
        return False


def reply(sock, status, headers, body=b""):
    head = "HTTP/1.0 %s\r\n" % status + "".join("%s: %s\r\n" % h for h in headers) + "\r\n"
    send(sock, head.encode("latin-1") + body)


class Handler(socketserver.BaseRequestHandler):
    def read_request(self):
        data = b""
        self.request.settimeout(10)
        while b"\r\n\r\n" not in data and len(data) < 65536:
            chunk = self.request.recv(4096)
            if not chunk:
                break
            data += chunk
        return data

    def handle(self):
        try:
            raw = self.read_request()
        except OSError:
            return
        if not raw:
            return
        line = raw.split(b"\r\n", 1)[0].decode("latin-1")
        parts = line.split(" ")
        path = parts[1] if len(parts) > 1 else "/"
        route = path.lstrip("/").split("/", 1)[0].split("?", 1)[0]
        sock = self.request
        sock.settimeout(None)
        getattr(self, "route_" + route.replace("-", "_"), self.route_missing)(sock, path, raw)

    # Good answers.
    def route_good(self, sock, path, raw):
        reply(sock, "200 OK", [("Content-Type", "image/png")], PNG)

    def route_text(self, sock, path, raw):
        reply(sock, "200 OK", [("Content-Type", "text/plain"), ("Content-Length", "6")], b"hello\n")

    def route_echo(self, sock, path, raw):
        reply(sock, "200 OK", [("Content-Type", "text/plain")], raw)

    def route_r302(self, sock, path, raw):
        reply(sock, "302 Found", [("Location", "/good/second.png")], b"moved")

    def route_r301abs(self, sock, path, raw):
        host = sock.getsockname()
        reply(sock, "301 Moved", [("Location", "http://%s:%d/good/third.gif" % host)])

    def route_r302echo(self, sock, path, raw):
        reply(sock, "302 Found", [("Location", "/echo/after.txt")])

    def route_r303(self, sock, path, raw):
        reply(sock, "303 See Other", [("Location", "/good/never.png")])

    def route_cd(self, sock, path, raw):
        kind = path.split("/")[2] if path.count("/") >= 2 else ""
        names = {
            "evil": 'attachment; filename="../../evil"',
            "passwd": 'attachment; filename="/etc/passwd"',
            "long": 'attachment; filename="%s.txt"' % ("n" * 300),
            "plain": 'attachment; filename="report 2024.txt"',
            "star": "attachment; filename=\"fallback.txt\"; filename*=UTF-8''caf%C3%A9.txt",
            "dots": 'attachment; filename=".."',
        }
        reply(sock, "200 OK", [("Content-Disposition", names.get(kind, "inline"))], b"some text\n")

    def route_missingbig(self, sock, path, raw):
        self.stream(sock, b"", b"404 Not Found")

    def route_loopbig(self, sock, path, raw):
        self.stream(sock, b"Location: /loopbig/again\r\n", b"302 Found")

    def route_missing(self, sock, path, raw):
        reply(sock, "404 Not Found", [("Content-Type", "text/plain")], b"no such thing")

    # Hostile answers.
    def route_drip(self, sock, path, raw):
        send(sock, b"HTTP/1.0 200 OK\r\nContent-Type: image/png\r\n\r\n")
        for i in range(60):
            if not send(sock, PNG[i % len(PNG):i % len(PNG) + 1]):
                return
            time.sleep(1)

    def route_bigheaders(self, sock, path, raw):
        head = b"HTTP/1.0 200 OK\r\n"
        pad = b"X-Pad: " + b"a" * 1000 + b"\r\n"
        if not send(sock, head):
            return
        for _ in range(1024):  # about 1 MB of header lines
            if not send(sock, pad):
                return
        send(sock, b"\r\n" + PNG)

    def route_longline(self, sock, path, raw):
        send(sock, b"HTTP/1.0 200 OK\r\nX-Long: " + b"b" * (1 << 20) + b"\r\n\r\n" + PNG)

    def route_loop(self, sock, path, raw):
        reply(sock, "302 Found", [("Location", "/loop/again")])

    def route_tofile(self, sock, path, raw):
        reply(sock, "302 Found", [("Location", "file:///etc/passwd")])

    def route_toftp(self, sock, path, raw):
        reply(sock, "301 Moved", [("Location", "ftp://127.0.0.1/pub/x.png")])

    def route_nobody(self, sock, path, raw):
        reply(sock, "200 OK", [("Content-Type", "image/png")])

    def route_headerless(self, sock, path, raw):
        send(sock, b"just some bytes and no status line\n" + PNG)

    def reset_after(self, sock, headers):
        send(sock, b"HTTP/1.0 200 OK\r\n" + headers + b"\r\n" + PNG + b"x" * 5000)
        time.sleep(0.2)
        # Close with a reset instead of an orderly end.
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        sock.close()

    def route_reset(self, sock, path, raw):
        self.reset_after(sock, b"Content-Length: 100000\r\n")

    def route_resetnolen(self, sock, path, raw):
        self.reset_after(sock, b"")

    def stream(self, sock, headers, status=b"200 OK"):
        if not send(sock, b"HTTP/1.0 " + status + b"\r\nContent-Type: image/png\r\n" + headers + b"\r\n" + PNG):
            return
        block = b"\0" * 65536
        sent = 0
        end = time.time() + 60
        while sent < (2 << 30) and time.time() < end:
            if not send(sock, block):
                return
            sent += len(block)

    def route_huge(self, sock, path, raw):
        self.stream(sock, b"Content-Length: %d\r\n" % (2 << 30))

    def route_hugenolen(self, sock, path, raw):
        self.stream(sock, b"")

    def route_silent(self, sock, path, raw):
        sock.settimeout(1)
        end = time.time() + 60
        while time.time() < end:
            try:
                if not sock.recv(1):
                    return
            except socket.timeout:
                continue
            except OSError:
                return


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True


class TlsServer(Server):
    def __init__(self, addr, handler, context):
        super().__init__(addr, handler)
        self.context = context

    def get_request(self):
        sock, addr = super().get_request()
        sock.settimeout(10)
        try:
            return self.context.wrap_socket(sock, server_side=True), addr
        except (ssl.SSLError, OSError):
            # The client refused the certificate: serve nothing.
            sock.close()
            raise OSError("handshake failed")


def main():
    http = Server(("127.0.0.1", 0), Handler)
    servers = [http]
    tls_port = 0
    if len(sys.argv) >= 3:
        ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        ctx.load_cert_chain(sys.argv[1], sys.argv[2])
        tls = TlsServer(("127.0.0.1", 0), Handler, ctx)
        tls_port = tls.server_address[1]
        servers.append(tls)
    for s in servers:
        threading.Thread(target=s.serve_forever, daemon=True).start()
    print("%d %d" % (http.server_address[1], tls_port), flush=True)
    parent = os.getppid()
    end = time.time() + LIFETIME
    while time.time() < end and os.getppid() == parent:
        time.sleep(0.5)
    os._exit(0)


if __name__ == "__main__":
    main()
