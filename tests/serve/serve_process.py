"""veldra_serve as a process for the tests: started on a free port, asked
with urllib or raw bytes, stopped with SIGTERM.

Environment: VELDRA_SERVE (the program), VELDRA_SAMPLE_MODEL (the model).
"""
import os
import signal
import socket
import subprocess
import urllib.error
import urllib.request

SERVE = os.environ["VELDRA_SERVE"]
MODEL = os.environ["VELDRA_SAMPLE_MODEL"]
TIMEOUT = 30  # seconds for any one answer: a bound, not a measure


class Server:
    def __init__(self, *args):
        self.proc = subprocess.Popen([SERVE, *args, "--port", "0"], stdout=subprocess.PIPE,
                                     stderr=subprocess.PIPE, text=True)
        self.url = self.proc.stdout.readline().strip()
        # The port, from the URL or (behind --base-url) from the message on standard error.
        if self.url.startswith("http://127.0.0.1:"):
            self.port = int(self.url.split("/")[2].split(":")[1])
        else:
            line = self.proc.stderr.readline()
            self.port = int(line.split(" on 127.0.0.1:")[1].split(";")[0])

    def get_local(self, path):
        """get() at the server's own address, whatever --base-url says."""
        saved, self.url = self.url, f"http://127.0.0.1:{self.port}/"
        try:
            return self.get(path)
        finally:
            self.url = saved

    def get(self, path):
        """(status, content type, body) of a GET."""
        try:
            with urllib.request.urlopen(self.url + path, timeout=TIMEOUT) as r:
                return r.status, r.headers.get("Content-Type"), r.read()
        except urllib.error.HTTPError as e:
            return e.code, e.headers.get("Content-Type"), e.read()

    def raw(self, request_bytes):
        """The status line's code of a request written as bytes."""
        with socket.create_connection(("127.0.0.1", self.port), timeout=TIMEOUT) as s:
            s.sendall(request_bytes)
            answer = b""
            while b"\r\n" not in answer:
                chunk = s.recv(4096)
                if not chunk:
                    break
                answer += chunk
        return int(answer.split(b" ")[1]) if answer else 0

    def stop(self):
        self.proc.send_signal(signal.SIGTERM)
        _, err = self.proc.communicate(timeout=TIMEOUT)
        return self.proc.returncode, err
