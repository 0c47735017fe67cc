#!/usr/bin/env python3
"""A small update server for the pictures of the update windows: the manifest, a read-me and a
program file that is sent slowly, so that the download window can be seen at work.

    scripts/update-server.py PORT SECTION
"""
import http.server
import sys
import time

PORT = int(sys.argv[1])
SECTION = sys.argv[2]
PROGRAM = bytes(range(256)) * 8192  # 2 MiB
BASE = f"http://127.0.0.1:{PORT}"
MANIFEST = (f"[{SECTION}]\r\nVersion=9.0.0.0\r\nReadmeFileURL={BASE}/leesmij.txt\r\n"
            f"DownloadFileURL={BASE}/VeloraKarvexClient\r\n").encode("ascii")
README = ("Vindo Velora Karvex koppeling 9.0.0.0\r\n\r\n"
          "- Ritten worden sneller bewaard\r\n- Het logboek blijft bij lange diensten licht\r\n"
          "- Bevestigingen gaan nooit verloren\r\n").encode("cp1252")


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def _body(self):
        return {"/Updates.txt": MANIFEST, "/leesmij.txt": README, "/VeloraKarvexClient": PROGRAM}.get(self.path)

    def _head(self, body):
        if body is None:
            self.send_error(404)
            return False
        self.send_response(200)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        return True

    def do_HEAD(self):
        self._head(self._body())

    def do_GET(self):
        body = self._body()
        if not self._head(body):
            return
        step = 32768 if self.path == "/VeloraKarvexClient" else len(body)
        for i in range(0, len(body), step):
            self.wfile.write(body[i:i + step])
            self.wfile.flush()
            if step < len(body):
                time.sleep(0.1)

    def log_message(self, *args):
        pass


http.server.ThreadingHTTPServer(("127.0.0.1", PORT), Handler).serve_forever()
