#!/usr/bin/env python3
"""One Velorin serving a machine of N PLC devices (MACHINE= with "count": N, 1000 by default):
the time from spawn to the ready file, the resident memory, whether every device answers V on
its own port, then how late the one motion timer ticks while every axis of every device moves.

    bench/machine.py --binary build/velorin [--count 1000] [--duration 5]

Prints one JSON line of figures.
"""

import argparse
import json
import os
import resource
import socket
import subprocess
import tempfile
import time
import urllib.request

V, V_REPLY = b"\x1bV1\r", b"\x1b1version Velorin\r"
FAR = b"\x1bD109999999909999999\r"   # both axes far away: they move for the whole run


def rss_kib(pid):
    with open(f"/proc/{pid}/status") as f:
        return next(int(line.split()[1]) for line in f if line.startswith("VmRSS:"))


def exchange(s, request):
    s.sendall(request)
    reply = b""
    while not reply.endswith(b"\r"):
        chunk = s.recv(256)
        if not chunk:
            raise ConnectionError("closed")
        reply += chunk
    return reply


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--binary", required=True)
    parser.add_argument("--count", type=int, default=1000)
    parser.add_argument("--duration", type=float, default=5.0)
    args = parser.parse_args()
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))   # one client per device here too

    with tempfile.TemporaryDirectory() as folder:
        machine, ready = os.path.join(folder, "machine.json"), os.path.join(folder, "ready.json")
        with open(machine, "w") as f:
            json.dump({"devices": [{"name": "plc", "count": args.count, "port": 0,
                                    "state": {"Chk_HOMING_X_ok": True, "Chk_HOMING_Z_ok": True}}]},
                      f)
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
        start = time.monotonic()
        proc = subprocess.Popen([os.path.abspath(args.binary), "machine=" + machine, "control=0",
                                 "log=off", "ready=" + ready, "shutdown_pause_ms=0"],
                                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, env=env)
        try:
            while not os.path.exists(ready):
                if proc.poll() is not None or time.monotonic() - start > 300:
                    raise RuntimeError("velorin did not start")
                time.sleep(0.005)
            ready_s = time.monotonic() - start
            with open(ready) as f:
                given = json.load(f)
            rss_ready = rss_kib(proc.pid)
            control = f"http://127.0.0.1:{given['control_port']}"

            def api(method, path, body=None):
                data = json.dumps(body).encode() if body is not None else None
                request = urllib.request.Request(control + path, data, method=method)
                with urllib.request.urlopen(request, timeout=60) as answer:
                    return json.load(answer)

            clients, answered = [], 0
            t = time.monotonic()
            for device in given["devices"]:
                s = socket.create_connection(("127.0.0.1", device["port"]), timeout=60)
                clients.append(s)
                answered += exchange(s, V) == V_REPLY
            answer_s = time.monotonic() - t
            for s in clients:
                assert exchange(s, FAR) == b"\x1b1Ok\r"
            api("POST", "/timers/reset")
            time.sleep(args.duration)   # bench only: real time is what is measured
            timers = api("GET", "/timers")["Timer_Deplacement"]
            last = api("GET", f"/devices/{given['devices'][-1]['name']}/state")
            rss_moving = rss_kib(proc.pid)
            for s in clients:
                s.close()
        finally:
            proc.terminate()
            proc.wait(60)
    print(json.dumps({"devices": args.count, "ready_s": round(ready_s, 3),
                      "rss_ready_kib": rss_ready, "answered_v": answered,
                      "all_answered_s": round(answer_s, 3), "rss_moving_kib": rss_moving,
                      "ticks": timers["ticks"], "late_max_ms": timers["late_max_ms"],
                      "last_device_x": last["Lbl_PosRelleX"]}))


if __name__ == "__main__":
    main()
