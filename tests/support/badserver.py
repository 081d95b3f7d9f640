#!/usr/bin/env python3
"""A web server on loopback that misbehaves on purpose, for the downloader's tests.

The first part of the request path chooses the misbehaviour:
  /silent/...   accepts and reads the request, then sends nothing
  /stall/...    announces 100000 bytes, sends 1000, then sends nothing more
  /short/...    announces more bytes than it sends (a cut catalogue), then closes
  /trickle/...  announces 100000 bytes and sends 100 bytes every 100 ms
  /endless/...  announces nothing and never ends (64 KiB every 10 ms): catalogue lines, or for a package request
                a leading part whose bound signature block states 1000 signed bytes
  /huge/...     announces 3 GiB, then sends nothing more
Anything else gets a small complete answer. No connection is held longer than HOLD_SECONDS,
and the server ends by itself after LIFE_SECONDS.

  badserver.py --background STATE   starts it, writes STATE/badport, returns
  badserver.py --stop STATE         stops it
"""
import os
import select
import signal
import socket
import socketserver
import subprocess
import sys
import threading
import time

HOLD_SECONDS = 60
LIFE_SECONDS = 3600
SHORT_BODY = b"qj5.30 QX Navigator\r\nqv2.5 QX Se"


def client_gone(sock, seconds):
    """Waits up to the given time; true once the client has closed its side."""
    readable, _, _ = select.select([sock], [], [], seconds)
    if not readable:
        return False
    try:
        return sock.recv(4096) == b""
    except OSError:
        return True


def header(length=None):
    announced = b"" if length is None else b"Content-Length: %d\r\n" % length
    return (b"HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n" + announced +
            b"Connection: close\r\n\r\n")


def bound_lead():
    """A package's leading part with a bound signature block (not a valid signature)."""
    lead = bytearray(89999)
    lead[89871:89879] = (89999).to_bytes(8, "little")
    lead[89919:89927] = b"QXSIGN02"
    lead[89927:89935] = (1000).to_bytes(8, "little")
    return bytes(lead)


def endless(sock, first, piece, end):
    sock.sendall(header() + first)
    while time.monotonic() < end and not client_gone(sock, 0.01):
        sock.sendall(piece)


class Handler(socketserver.BaseRequestHandler):
    def handle(self):
        sock = self.request
        sock.settimeout(HOLD_SECONDS)
        request = b""
        while b"\r\n\r\n" not in request and len(request) < 16384:
            chunk = sock.recv(4096)
            if not chunk:
                return
            request += chunk
        parts = request.split(b" ")
        mode = parts[1].split(b"/")[1] if len(parts) > 1 and parts[1].count(b"/") > 1 else b""
        end = time.monotonic() + HOLD_SECONDS
        if mode in (b"silent", b"stall", b"huge"):
            if mode == b"stall":
                sock.sendall(header(100000) + b"s" * 1000)
            elif mode == b"huge":
                sock.sendall(header(3 << 30))
            while time.monotonic() < end and not client_gone(sock, 1):
                pass
        elif mode == b"endless":
            package = b"a.cgi" in parts[1]
            endless(sock, bound_lead() if package else b"", b"x" * 65536 if package else
                    b"qj5.30 QX Navigator\r\n" * 3000, end)
        elif mode == b"short":
            sock.sendall(header(len(SHORT_BODY) + 100) + SHORT_BODY)
        elif mode == b"trickle":
            sock.sendall(header(100000))
            sent = 0
            while time.monotonic() < end and sent < 100000 and not client_gone(sock, 0.1):
                sock.sendall(b"t" * 100)
                sent += 100
        else:
            sock.sendall(header(4) + b"ok\r\n")


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True

    def handle_error(self, request, client_address):
        pass  # a client that went away is no news here


def serve(state):
    server = Server(("127.0.0.1", 0), Handler)
    threading.Timer(LIFE_SECONDS, server.shutdown).start()
    with open(os.path.join(state, "badserver.pid"), "w") as f:
        f.write(str(os.getpid()))
    with open(os.path.join(state, "badport.new"), "w") as f:
        f.write(str(server.server_address[1]))
    os.replace(os.path.join(state, "badport.new"), os.path.join(state, "badport"))
    signal.signal(signal.SIGTERM, lambda *_: threading.Thread(target=server.shutdown).start())
    server.serve_forever()
    os._exit(0)


def stop(state):
    try:
        with open(os.path.join(state, "badserver.pid")) as f:
            os.kill(int(f.read()), signal.SIGTERM)
    except (OSError, ValueError):
        pass
    for name in ("badserver.pid", "badport"):
        try:
            os.remove(os.path.join(state, name))
        except OSError:
            pass


def main():
    mode, state = sys.argv[1], os.path.abspath(sys.argv[2])
    if mode == "--stop":
        stop(state)
        return 0
    os.makedirs(state, exist_ok=True)
    if mode == "--background":
        stop(state)
        subprocess.Popen([sys.executable, __file__, "--serve", state], start_new_session=True,
                         stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for _ in range(100):
            if os.path.exists(os.path.join(state, "badport")):
                print("badserver: on port", open(os.path.join(state, "badport")).read())
                return 0
            time.sleep(0.05)
        print("badserver: did not start", file=sys.stderr)
        return 1
    serve(state)
    return 0


if __name__ == "__main__":
    sys.exit(main())
