#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets from real wire data.

    fuzz/make-corpus.py BUILD_DIR

Starts a small demo korvel-service on a free loopback port in a throw-away folder, sends it
the requests the client sends (packed by korvel-tool), and keeps: the request texts and
envelopes (service_request), the response envelopes (envelope), the table-data answers cut
down to a few rows per table (import), and the stored-search texts of the demo data plus the
shapes the filter writes (search_text). Files are named by content, so a second run only adds.
"""
import hashlib
import json
import os
import subprocess
import sys
import tempfile
import urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))
CORPUS = os.path.join(HERE, "corpus")


def save(target, data, name):
    if isinstance(data, str):
        data = data.encode("utf-8")
    folder = os.path.join(CORPUS, target)
    os.makedirs(folder, exist_ok=True)
    path = os.path.join(folder, "%s-%s" % (name, hashlib.sha1(data).hexdigest()[:12]))
    with open(path, "wb") as f:
        f.write(data)


def escape(text):
    """EscapeJsonText: pure ASCII with JSON escapes, \\uXXXX in upper-case hex."""
    out = []
    for ch in text:
        code = ord(ch)
        simple = {"\b": "\\b", "\t": "\\t", "\n": "\\n", "\f": "\\f", "\r": "\\r", '"': '\\"', "/": "\\/", "\\": "\\\\"}
        if ch in simple:
            out.append(simple[ch])
        elif code < 0x20 or code > 0x7E:
            out.append("\\u%04X" % code)
        else:
            out.append(ch)
    return "".join(out)


def wire_string(value):
    """WireString: escaped, then one more backslash before every quote inside, then quoted."""
    return '"' + escape(value).replace('"', '\\"') + '"'


def request_text(action, extras=(), agency=7, user="admin", password="demo"):
    md5 = lambda t: hashlib.md5(t.encode("latin-1")).hexdigest().upper()
    members = [
        ("Inmo_Codigo", agency), ("Usuario", user), ("Clave", md5(password)), ("Version", "3.0.0"),
        ("Plataforma", "Linux"), ("Arquitectura", "IntelX64"), ("SistemaOperativo", "Debian GNU/Linux 12"),
        ("Pantalla", "1920x1080"), ("Fecha", "2026-12-11 10:00:00"), ("Nonce", md5("seed")),
        ("ClaveInstalacion", "DEMO-7-20261209"), ("TOS_Aceptado", 1.0), ("Accion", action)] + list(extras)
    parts = []
    for name, value in members:
        parts.append(wire_string(name) + ":" + (wire_string(value) if isinstance(value, str) else repr(value)))
    return ("{" + ",".join(parts) + "}").encode("ascii")


def tool(bin_dir, *args, data):
    return subprocess.run([os.path.join(bin_dir, "korvel-tool"), *args], input=data, capture_output=True,
                          check=True).stdout


def post(url, envelope):
    boundary = "----korvelseed"
    body = (("--%s\r\nContent-Disposition: form-data; name=\"kvdata\"; filename=\"kvdata\"\r\n"
             "Content-Type: application/octet-stream\r\n\r\n" % boundary).encode() + envelope +
            ("\r\n--%s--\r\n" % boundary).encode())
    request = urllib.request.Request(url, data=body, headers={"Content-Type": "multipart/form-data; boundary=" + boundary})
    try:
        with urllib.request.urlopen(request, timeout=60) as answer:
            return answer.read()
    except urllib.error.HTTPError as e:
        return e.read()


def cut_answer(text, rows, only=None):
    """The answer with at most `rows` rows per table (and only the tables named)."""
    answer = json.loads(text, object_pairs_hook=lambda pairs: dict(pairs))
    tables = [t for t in answer.get("Tables", "").split(",") if t and (only is None or t in only)]
    out = {}
    for key, value in answer.items():
        if isinstance(value, dict) and "Count" in value:
            if key not in tables:
                continue
            block = {}
            kept = 0
            for k, v in value.items():
                if k.isdigit():
                    if kept < rows:
                        kept += 1
                        block[str(kept)] = v
                elif k != "Count":
                    block[k] = v
            block["Count"] = kept
            # the service writes Count before the rows
            ordered = {k: v for k, v in block.items() if not k.isdigit()}
            ordered.update({k: v for k, v in block.items() if k.isdigit()})
            out[key] = ordered
        elif key == "Tables":
            out[key] = ",".join(tables)
        else:
            out[key] = value
    return json.dumps(out, ensure_ascii=True, separators=(",", ":"))


def main():
    bin_dir = os.path.join(os.path.abspath(sys.argv[1]), "bin")
    with tempfile.TemporaryDirectory() as data:
        service = subprocess.Popen([os.path.join(bin_dir, "korvel-service"), "--demo", "--data", data, "--port", "0",
                                    "--properties", "40", "--photos", "2"], stdout=subprocess.PIPE, text=True)
        try:
            base = service.stdout.readline().split()[-1]
            url = base + "/sync/R3/sync.php"
            requests = {
                "session": [], "status": [], "version": [], "tos": [("Aplicacion", "Korvel"), ("TOS_Version", 1.0)],
                "fulldata": [("Modo", 0), ("DBVer", 0)], "incdata": [("Modo", 1), ("DBVer", 1)],
                "validate": [("ClaveValidacion", "DEMO0007")],
                "upload": [("Payload", json.dumps({"W_Propiedades": [{"Prop_Codigo": 70000001, "Prop_Calle": "Av. \"Sol\" 123",
                                                                      "Prop_Observaciones": "Ba\u00f1o y cocina/\\living"}]}))],
                "photos": [("Prop_Codigo", 70000001), ("Fotos", "1,2")],
                "qr": [("Prop_Codigo", 70000001)], "share": [("Prop_Codigo", 70000001), ("Canal", 1)],
                "denounce": [("Prop_Codigo", 70000001), ("Cuerpo", "Publicaci\u00f3n duplicada")],
                "visit": [("Prop_Codigo", 70000001), ("Visita_Direccion", "Calle 1"), ("Visita_Fecha", "2026-12-12 10:00"),
                          ("Visita_Vendedor", "Ana"), ("Visita_Cliente", "Luis"), ("Visita_Mensaje", "Hola\r\nChau")],
                "help": [("Help_Version", 0.0)], "statement": [],
            }
            for action, extras in requests.items():
                text = request_text(action, extras)
                envelope = tool(bin_dir, "envelope", "encode", data=text)
                save("service_request", text, action)
                if action in ("session", "upload", "visit"):
                    save("service_request", envelope, action + "-envelope")
                response = post(url, envelope)
                save("envelope", response, action + "-answer")
                answer = tool(bin_dir, "envelope", "decode", data=response)
                if action == "fulldata":
                    save("import", cut_answer(answer, 2), "fulldata-2rows")
                    full = json.loads(answer)
                    for table in full.get("Tables", "").split(","):
                        if table:
                            save("import", cut_answer(answer, 3, {table}), "fulldata-" + table)
                    filters = full.get("W_Filtros", {})
                    for k, row in filters.items():
                        if k.isdigit():
                            for value in row.split("~"):
                                if value.startswith("{<"):
                                    save("search_text", value, "stored")
                elif action == "incdata":
                    save("import", cut_answer(answer, 3), "incdata")
            save("envelope", tool(bin_dir, "envelope", "encode", data=request_text("session")), "session-request")
        finally:
            service.terminate()
            service.wait()


if __name__ == "__main__":
    main()
