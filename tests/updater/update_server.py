"""Serves a folder on 127.0.0.1 for the updater tests:
    update_server.py FOLDER PORT-FILE
It listens on a free port and writes its number to PORT-FILE once it listens.
Besides the folder's files it answers
    /cut/NAME    NAME's full length announced, half of it sent, then hung up;
    /slow/NAME   NAME in small pieces with pauses, for a download to cancel;
    /quit        the server ends.
It also ends after five minutes without a request, so that a test that died
leaves nothing running."""
import http.server
import os
import sys
import threading
import time

folder, port_file = sys.argv[1], sys.argv[2]
last_request = time.monotonic()

# Wine hands a host program the test's output; a pipeline that reads it must
# not wait for this server.
quiet = os.open(os.devnull, os.O_RDWR)
for stream in (0, 1, 2):
    os.dup2(quiet, stream)


class Handler(http.server.SimpleHTTPRequestHandler):
    def __init__(self, *args, **kwargs):
        super().__init__(*args, directory=folder, **kwargs)

    def log_message(self, *args):
        pass

    def do_GET(self):
        global last_request
        last_request = time.monotonic()
        if self.path == "/quit":
            self.send_response(200)
            self.send_header("Content-Length", "0")
            self.end_headers()
            threading.Thread(target=server.shutdown).start()
            return
        for prefix in ("/cut/", "/slow/"):
            if self.path.startswith(prefix):
                self.send_in_pieces(self.path[len(prefix):], prefix == "/cut/")
                return
        super().do_GET()

    def send_in_pieces(self, name, cut):
        with open(os.path.join(folder, os.path.basename(name)), "rb") as source:
            data = source.read()
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.close_connection = True
        try:
            if cut:
                self.wfile.write(data[: len(data) // 2])
                return
            for start in range(0, len(data), 4096):
                self.wfile.write(data[start : start + 4096])
                self.wfile.flush()
                time.sleep(0.05)
        except OSError:
            pass


server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
with open(port_file + ".part", "w") as port:
    port.write(str(server.server_address[1]))
os.replace(port_file + ".part", port_file)


def stop_when_idle():
    while time.monotonic() - last_request < 300:
        time.sleep(1)
    server.shutdown()


threading.Thread(target=stop_when_idle, daemon=True).start()
server.serve_forever()
