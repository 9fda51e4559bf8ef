#!/usr/bin/env python3
"""Costs a hostile caller can put on korvel-service, measured on a loopback port.

    bench/bench_service_limits.py build/bin/korvel-service [SLOW_CONNECTIONS]

Prints the service's peak resident memory (VmHWM) before and after one 500 KB request
that unpacks to about 500 MB, the time that request took, and how long a plain request
takes while SLOW_CONNECTIONS (default 16) callers hold half a header block each.
"""

import os
import socket
import subprocess
import sys
import tempfile
import time
import zlib

PREAMBLE = b"KORVEL\rSYNC\rR3\rKVZ-ENVELOPE-1\r\r\r"
SYNC_PATH = "/sync/R3/sync.php"


def envelope(body):
    data = zlib.compress(body, 9)
    adler = data[-4:]
    shuffled = bytes([adler[1], adler[3], adler[0], adler[2]])
    return PREAMBLE + b"KVZ1" + data[2:-4] + shuffled + b"\x01" * 57


def post_form(port, field, content, timeout=300):
    boundary = b"benchboundary"
    body = (b"--" + boundary + b"\r\nContent-Disposition: form-data; name=\"" + field +
            b"\"; filename=\"\"\r\nContent-Type: application/octet-stream\r\n\r\n" + content +
            b"\r\n--" + boundary + b"--\r\n")
    head = ("POST %s HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
            "Content-Type: multipart/form-data; boundary=%s\r\nContent-Length: %d\r\n\r\n"
            % (SYNC_PATH, boundary.decode(), len(body))).encode()
    with socket.create_connection(("127.0.0.1", port), timeout=timeout) as s:
        s.sendall(head + body)
        reply = b""
        while True:
            chunk = s.recv(65536)
            if not chunk:
                break
            reply += chunk
    return reply.split(b" ", 2)[1].decode() if reply else "no answer"


def hwm_kb(pid):
    with open("/proc/%d/status" % pid) as status:
        for line in status:
            if line.startswith("VmHWM:"):
                return int(line.split()[1])
    return -1


def main():
    program = sys.argv[1]
    slow_count = int(sys.argv[2]) if len(sys.argv) > 2 else 16
    with tempfile.TemporaryDirectory() as data:
        service = subprocess.Popen([program, "--demo", "--properties", "50", "--photos", "0", "--port", "0",
                                    "--data", data], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        try:
            port = int(service.stdout.readline().strip().rsplit(":", 1)[1])
            hostile = envelope(b"\xff" * (500 * 1024 * 1024))
            print("hostile request: %d KB on the wire, %d MB unpacked" % (len(hostile) // 1024, 500))
            before = hwm_kb(service.pid)
            started = time.monotonic()
            status = post_form(port, b"kvdata", hostile)
            took = time.monotonic() - started
            print("peak RSS before %d MB, after %d MB; answered %s in %.1f s"
                  % (before // 1024, hwm_kb(service.pid) // 1024, status, took))

            slow = []
            for _ in range(slow_count):
                s = socket.create_connection(("127.0.0.1", port))
                s.sendall(b"POST %s HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Ty" % SYNC_PATH.encode())
                slow.append(s)
            time.sleep(0.5)
            started = time.monotonic()
            with socket.create_connection(("127.0.0.1", port), timeout=120) as s:
                s.sendall(b"GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n")
                first = s.recv(64)
            print("plain request with %d slow-header callers open: %.2f s (%s)"
                  % (slow_count, time.monotonic() - started, first.split(b"\r\n")[0].decode()))
            for s in slow:
                s.close()
        finally:
            service.terminate()
            service.wait(timeout=120)


if __name__ == "__main__":
    main()
