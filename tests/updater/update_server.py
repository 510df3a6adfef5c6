"""Serves a folder on 127.0.0.1 for the updater tests:
    update_server.py FOLDER PORT-FILE
It listens on a free port and writes its number to PORT-FILE once it listens.
Besides the folder's files it answers
    /cut/NAME    NAME's full length announced, half of it sent, then hung up;
    /slow/NAME   NAME in small pieces with pauses, for a download to cancel;
    /quit        the server ends.
It also ends once PORT-FILE is gone (the test removes its folder), or after
five minutes without a request, so that a test that died leaves nothing running."""
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
            os.remove(port_file)
        prefix = self.path[: self.path.find("/", 1) + 1]
        if prefix not in ("/cut/", "/slow/"):
            return super().do_GET()
        with open(os.path.join(folder, os.path.basename(self.path)), "rb") as source:
            data = source.read()
        self.send_response(200)
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.close_connection = True
        if prefix == "/cut/":
            data = data[: len(data) // 2]
        try:
            for start in range(0, len(data), 4096):
                self.wfile.write(data[start : start + 4096])
                self.wfile.flush()
                time.sleep(0.05 if prefix == "/slow/" else 0)
        except OSError:
            pass


server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
with open(port_file + ".part", "w") as port:
    port.write(str(server.server_address[1]))
os.replace(port_file + ".part", port_file)
threading.Thread(target=server.serve_forever, daemon=True).start()
while os.path.exists(port_file) and time.monotonic() - last_request < 300:
    time.sleep(1)
