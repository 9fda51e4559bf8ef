#!/usr/bin/env python3
"""Peak memory of korvel-tool for a table-data answer: a genuine full one and a deflate bomb.

    bench/bench_answer_memory.py BIN_DIR [PROPERTIES] [--before OTHER_BIN_DIR]

BIN_DIR holds korvel-service, bench_client_install and korvel-tool; --before names a folder
with another korvel-tool (an older build) measured the same way, side by side. PROPERTIES
(default 100000) is the size of the service's demo.

A service with the demo is started; a proxy in front of it passes everything through, except
that in the hostile runs it replaces the table-data answer with a 1.4 MB envelope whose text
is a valid answer holding one string value of 1.45 GB (a run of one letter). Each run starts
from the same freshly installed data folder and measures:

  sync   korvel-tool sync --data FOLDER (service status, then the incremental import from
         version -1, i.e. everything: a genuine full answer)
  import korvel-tool import DB FILE with the same answer as plain text

and prints the peak resident memory (VmHWM of the finished process), the time and the outcome.
It also prints the genuine answer's size per listing, from which the client's limit is set.
"""

import http.client
import http.server
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import zlib

PREAMBLE_LENGTH = 124
MARKER = b"KVZ1"
PADDING = 57
BOMB_BYTES = 1_450_000_000


def unpack(envelope, limit=-1):
    """The text of a response envelope (the checksum is not checked), at most limit bytes."""
    data = b"\x78\xda" + envelope[PREAMBLE_LENGTH + 4:-PADDING - 4]
    inflater = zlib.decompressobj()
    return inflater.decompress(data, limit) if limit > 0 else inflater.decompress(data)


def pack(chunks):
    """A response envelope around the text the chunks give, compressed as it goes."""
    deflater = zlib.compressobj(9)
    parts = []
    for chunk in chunks:
        parts.append(deflater.compress(chunk))
    parts.append(deflater.flush())
    data = b"".join(parts)
    adler = data[-4:]
    shuffled = bytes([adler[1], adler[3], adler[0], adler[2]])
    return b"R" * PREAMBLE_LENGTH + MARKER + data[2:-4] + shuffled + b"\x01" * PADDING


def bomb_chunks():
    yield (b'{"DBVer":"2147480000","Data_Type":0,"ServerTime":"2026-12-11 12:00:00","Tables":"W_Mensajes",'
           b'"W_Mensajes":{"Fields":"Msg_Codigo,Msg_Texto","Types":"int,text","Count":1,"1":"1~')
    block = b"A" * (1 << 20)
    left = BOMB_BYTES
    while left > 0:
        yield block[:min(left, len(block))]
        left -= len(block)
    yield b'"}}'


class Proxy(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def __init__(self, service_port):
        super().__init__(("127.0.0.1", 0), ProxyHandler)
        self.service_port = service_port
        self.bomb = None           # the hostile envelope, when set
        self.genuine_text = None   # the last genuine table-data answer, unpacked


class ProxyHandler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_POST(self):
        body = self.rfile.read(int(self.headers.get("Content-Length", "0")))
        upstream = http.client.HTTPConnection("127.0.0.1", self.server.service_port, timeout=600)
        upstream.request("POST", self.path, body, {"Content-Type": self.headers.get("Content-Type", "")})
        reply = upstream.getresponse()
        answer = reply.read()
        status = reply.status
        upstream.close()
        if status == 200 and len(answer) > PREAMBLE_LENGTH + 4 and unpack(answer, 16).startswith(b'{"DBVer"'):
            if self.server.bomb is not None:
                answer = self.server.bomb
            else:
                self.server.genuine_text = unpack(answer)
        self.send_response(status)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(len(answer)))
        self.end_headers()
        self.wfile.write(answer)


def run(command, env=None):
    """Runs a command; its exit code, peak RSS in MB, seconds and the line that tells the outcome.

    The peak is taken by /usr/bin/time: a process started straight from this script would
    count this script's own peak as its own (the kernel carries it over the fork)."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err, \
            tempfile.NamedTemporaryFile(mode="r") as peak:
        started = time.monotonic()
        code = subprocess.call(["/usr/bin/time", "-f", "%M", "-o", peak.name] + command,
                               stdout=out, stderr=err, env=env)
        seconds = time.monotonic() - started
        peak_mb = int(peak.read().strip().splitlines()[-1]) / 1024.0
        # A failure says why on its error output; a success ends with its result.
        stream = err if code != 0 else out
        stream.seek(0)
        lines = [line for line in stream.read().decode("utf-8", "replace").splitlines()
                 if line.strip() and not line.startswith(("QStandardPaths", "Command exited"))]
    return code, peak_mb, seconds, (lines[0] if code != 0 and lines else lines[-1] if lines else "")


def main():
    args = sys.argv[1:]
    before = None
    if "--before" in args:
        at = args.index("--before")
        before = args[at + 1]
        del args[at:at + 2]
    if not args:
        print(__doc__)
        return 2
    bin_dir = args[0]
    properties = int(args[1]) if len(args) > 1 else 100000
    tools = [("before", os.path.join(before, "korvel-tool"))] if before else []
    tools.append(("after", os.path.join(bin_dir, "korvel-tool")))

    with tempfile.TemporaryDirectory(prefix="bench-answer-") as temp:
        service = subprocess.Popen([os.path.join(bin_dir, "korvel-service"), "--demo", "--properties",
                                    str(properties), "--photos", "0", "--port", "0", "--data",
                                    os.path.join(temp, "service")],
                                   stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        proxy = None
        try:
            port = int(service.stdout.readline().strip().rsplit(":", 1)[1])
            proxy = Proxy(port)
            threading.Thread(target=proxy.serve_forever, daemon=True).start()
            url = "http://127.0.0.1:%d/sync/R3/sync.php" % proxy.server_address[1]
            env = dict(os.environ, KORVEL_SERVICE_URL=url, QT_QPA_PLATFORM="offscreen")

            installed = os.path.join(temp, "installed")
            code, _, _, last = run([os.path.join(bin_dir, "bench_client_install"), url, installed], env)
            if code != 0:
                print("installation failed: " + last)
                return 1
            database = last.strip()
            name = os.path.basename(database)

            def fresh():
                folder = os.path.join(temp, "run")
                shutil.rmtree(folder, ignore_errors=True)
                shutil.copytree(installed, folder)
                return folder

            # The genuine answer once, to measure it and keep its text for the import runs.
            folder = fresh()
            code, _, _, last = run([tools[-1][1], "sync", "--data", folder], env)
            if proxy.genuine_text is None:
                print("no table-data answer passed the proxy (sync said: %s)" % last)
                return 1
            genuine = os.path.join(temp, "genuine.json")
            with open(genuine, "wb") as out:
                out.write(proxy.genuine_text)
            size = len(proxy.genuine_text)
            print("genuine full answer: %.1f MB for %d listings, %.0f bytes per listing "
                  "(%.0f MB for 1,000,000 listings)"
                  % (size / 1048576.0, properties, size / properties, size / properties * 1e6 / 1048576.0))
            proxy.genuine_text = None

            bomb = pack(bomb_chunks())
            hostile = os.path.join(temp, "hostile.json")
            with open(hostile, "wb") as out:
                for chunk in bomb_chunks():
                    out.write(chunk)
            print("hostile answer: %.2f MB envelope, %.0f MB unpacked"
                  % (len(bomb) / 1048576.0, os.path.getsize(hostile) / 1048576.0))

            print("%-7s %-7s %-8s %12s %9s  %s" % ("tool", "command", "answer", "peak RSS", "time", "outcome"))
            for label, tool in tools:
                for answer in ("genuine", "hostile"):
                    proxy.bomb = bomb if answer == "hostile" else None
                    folder = fresh()
                    code, peak, seconds, last = run([tool, "sync", "--data", folder], env)
                    print("%-7s %-7s %-8s %9.0f MB %7.1f s  exit %d: %s"
                          % (label, "sync", answer, peak, seconds, code, last[:90]))
                    folder = fresh()
                    answer_file = genuine if answer == "genuine" else hostile
                    code, peak, seconds, last = run([tool, "import", os.path.join(folder, name), answer_file], env)
                    print("%-7s %-7s %-8s %9.0f MB %7.1f s  exit %d: %s"
                          % (label, "import", answer, peak, seconds, code, last[:90]))
        finally:
            if proxy is not None:
                proxy.shutdown()
            service.terminate()
            service.wait()
    return 0


if __name__ == "__main__":
    sys.exit(main())
