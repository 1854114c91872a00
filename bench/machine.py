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
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "python"))
import velorin  # noqa: E402  (the package of this tree)

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
    _, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))   # one client per device here too

    with tempfile.TemporaryDirectory() as folder:
        machine = os.path.join(folder, "machine.json")
        with open(machine, "w") as f:
            json.dump({"devices": [{"name": "plc", "count": args.count, "port": 0,
                                    "state": {"Chk_HOMING_X_ok": True, "Chk_HOMING_Z_ok": True}}]},
                      f)
        v = velorin.Velorin(binary=os.path.abspath(args.binary), machine=machine, portip=None,
                            log="off", shutdown_pause_ms=0, start_timeout=300,
                            poll_interval=0.005)
        start = time.monotonic()
        v.launch()
        try:
            v.wait_ready()
            ready_s = time.monotonic() - start
            rss_ready = rss_kib(v.pid)
            api = v.api

            clients, answered = [], 0
            t = time.monotonic()
            for port in v.devices.values():
                s = socket.create_connection(("127.0.0.1", port), timeout=60)
                clients.append(s)
                answered += exchange(s, V) == V_REPLY
            answer_s = time.monotonic() - t
            for s in clients:
                assert exchange(s, FAR) == b"\x1b1Ok\r"
            api.post("/timers/reset")
            time.sleep(args.duration)   # bench only: real time is what is measured
            timers = api.get("/timers")["Timer_Deplacement"]
            last = v.device(list(v.devices)[-1]).state()
            rss_moving = rss_kib(v.pid)
            for s in clients:
                s.close()
        finally:
            v.stop()
    print(json.dumps({"devices": args.count, "ready_s": round(ready_s, 3),
                      "rss_ready_kib": rss_ready, "answered_v": answered,
                      "all_answered_s": round(answer_s, 3), "rss_moving_kib": rss_moving,
                      "ticks": timers["ticks"], "late_max_ms": timers["late_max_ms"],
                      "last_device_x": last["Lbl_PosRelleX"]}))


if __name__ == "__main__":
    main()
