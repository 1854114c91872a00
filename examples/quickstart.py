#!/usr/bin/env python3
"""Starts Velorin on a free port, waits until it serves, asks the PLC for its version and for
the positions of its axes, then stops it. The program is $VELORIN, or velorin on the PATH.
Copy the Velorin class into a test rig as it is; the other examples import it from here."""

import json, os, signal, socket, subprocess, tempfile, time


class Velorin:
    """One Velorin on free ports for the length of a `with` block; its log goes to self.log."""

    def __init__(self, *keys, start_timeout=30):
        self.keys, self.start_timeout = keys, start_timeout   # keys: "mode=moduleLASERS"...

    def __enter__(self):
        self.dir = tempfile.TemporaryDirectory(prefix="velorin-")
        ready = os.path.join(self.dir.name, "ready.json")
        self.log = os.path.join(self.dir.name, "velorin.log")
        self.stderr = open(os.path.join(self.dir.name, "stderr"), "w+b")
        if os.path.exists(ready):       # an earlier run's file says nothing of this one
            os.remove(ready)
        self.process = subprocess.Popen(
            [os.environ.get("VELORIN", "velorin"), "portip=0", "ready=" + ready,
             "log=" + self.log, *self.keys],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=self.stderr)
        deadline = time.monotonic() + self.start_timeout
        while (ready_file := self.this_run(ready)) is None:  # once every port listens
            ended = self.process.poll() is not None  # a start-up failure: exit status 1
            if ended or time.monotonic() > deadline:
                self.process.kill()
                status = self.process.wait()
                self.stderr.seek(0)
                why = self.stderr.read().decode(errors="replace").strip()
                self.stderr.close()
                self.dir.cleanup()
                raise RuntimeError(f"velorin ended with status {status}: {why}" if ended
                                   else f"velorin not ready after {self.start_timeout} s")
            time.sleep(0.05)
        self.ready = ready_file         # pid, port, control_port (or None), version, mode
        return self

    def this_run(self, ready):
        """The ready file, once it is there and names this process; None until then."""
        try:
            with open(ready) as f:
                given = json.load(f)
        except (FileNotFoundError, ValueError):
            return None
        return given if given.get("pid") == self.process.pid else None

    def __exit__(self, *exception):
        self.process.send_signal(signal.SIGTERM)     # the usual shutdown, within 2 s
        try:
            status = self.process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            status = self.process.wait()
        self.stderr.close()
        self.dir.cleanup()
        if status != 0 and exception[0] is None:
            raise RuntimeError(f"velorin ended with status {status}")


def request(s, frame):
    """Sends one request in one write; returns its reply, up to and including the final CR."""
    s.sendall(frame)
    reply = b""
    while not reply.endswith(b"\r"):
        chunk = s.recv(256)                          # the socket's time-out bounds each wait
        if not chunk:
            raise ConnectionError("Velorin closed the connection")
        reply += chunk
    return reply


if __name__ == "__main__":
    with Velorin() as velorin:
        print(velorin.ready)   # {'control_port': None, 'mode': 'automateOMRON', 'pid': ...}
        with socket.create_connection(("127.0.0.1", velorin.ready["port"]), timeout=5) as s:
            print(request(s, b"\x1bV1\r"))           # b'\x1b1version Velorin\r'
            print(request(s, b"\x1bP1\r"))           # b'\x1b10000000000000000a\r'
    print("velorin ended with status 0")
