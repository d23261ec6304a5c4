"""Loopback HTTPS server for the update-check tests.

Serves on 127.0.0.1 only:
  trusted   HTTPS with a certificate signed by the test CA
  untrusted HTTPS with a self-signed certificate
  plain     HTTP, records every hit in HITS_FILE (must never be reached)
The first path segment chooses the answer:
  /body/<url-encoded text>/...   200 with that body
  /status/<code>/<reason>/...    that status (reason url-encoded, "-": standard)
  /empty/...                     200 with an empty body
  /stall/...                     never answers
  /long/...                      200 with a 100,000-byte body
  /redirect-http/...             302 to the plain server
Writes {"trusted": p1, "untrusted": p2, "plain": p3} to PORT_FILE when ready
and runs until killed.

usage: version_server.py CERT KEY ROGUE_CERT ROGUE_KEY PORT_FILE HITS_FILE
"""
import http.server
import json
import os
import ssl
import sys
import threading
import time
import urllib.parse

cert, key, rogue_cert, rogue_key, port_file, hits_file = sys.argv[1:7]


class Handler(http.server.BaseHTTPRequestHandler):
    plain_port = 0

    def log_message(self, *args):
        pass

    def do_GET(self):
        parts = self.path.split("/")
        kind = parts[1] if len(parts) > 1 else ""
        if kind == "body":
            self.answer(200, urllib.parse.unquote_to_bytes(parts[2]))
        elif kind == "status":
            code = int(parts[2])
            reason = urllib.parse.unquote(parts[3]) if parts[3] != "-" else None
            self.send_response(code, reason)
            self.send_header("Content-Length", "0")
            self.end_headers()
        elif kind == "empty":
            self.answer(200, b"")
        elif kind == "stall":
            time.sleep(600)
        elif kind == "long":
            self.answer(200, b"1" * 100000)
        elif kind == "redirect-http":
            self.send_response(302)
            self.send_header(
                "Location",
                "http://127.0.0.1:%d/body/1.9/download/zendal/zendal-version.php"
                % Handler.plain_port)
            self.send_header("Content-Length", "0")
            self.end_headers()
        else:
            self.answer(404, b"")

    def answer(self, code, body):
        self.send_response(code)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)


class PlainHandler(Handler):
    def do_GET(self):
        with open(hits_file, "a") as f:
            f.write(self.path + "\n")
        super().do_GET()


def serve(handler, certfile=None, keyfile=None):
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    server.daemon_threads = True
    if certfile:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(certfile, keyfile)
        server.socket = context.wrap_socket(
            server.socket, server_side=True, do_handshake_on_connect=False)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server.server_address[1]


plain = serve(PlainHandler)
Handler.plain_port = plain
trusted = serve(Handler, cert, key)
untrusted = serve(Handler, rogue_cert, rogue_key)
tmp = port_file + ".tmp"
with open(tmp, "w") as f:
    json.dump({"trusted": trusted, "untrusted": untrusted, "plain": plain}, f)
os.replace(tmp, port_file)
while True:
    time.sleep(3600)
