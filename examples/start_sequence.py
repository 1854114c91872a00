#!/usr/bin/env python3
"""A host's start sequence, headless, against examples/start_sequence.json: the axes start
unhomed and home themselves 1 s of device time after a homing request. The host homes X and
Z, waits until registers 5014 and 5015 read 0080, moves and waits for status "a". It runs
twice: in real time, polling; then with a stepped clock, the test advancing device time."""

import json, os, socket, time, urllib.request
from quickstart import Velorin, request

SCENARIO = os.path.join(os.path.dirname(os.path.abspath(__file__)), "start_sequence.json")


def api(velorin, method, path, body=None):
    data = json.dumps(body).encode() if body is not None else None
    url = f"http://127.0.0.1:{velorin.ready['control_port']}{path}"
    request = urllib.request.Request(url, data, {"Content-Type": "application/json"}, method=method)
    with urllib.request.urlopen(request, timeout=30) as r:
        return json.load(r)


def start_sequence(s, wait):
    """The host's side. wait() lets 100 ms go by; 100 of them at most for each step."""
    print("  version:", request(s, b"\x1bV1\r"))         # late once: the scenario says so
    print("  homing:", request(s, b"\x1bZ1X\r"), request(s, b"\x1bZ1Z\r"))
    for register in (b"05014", b"05015"):
        for _ in range(100):
            if request(s, b"\x1bSR" + register + b"\r") == b"\x1bSR0080\r":
                break
            wait()
        else:
            raise TimeoutError(f"register {register.decode()} never read 0080")
    print("  registers 5014 and 5015 read 0080")
    print("  move:", request(s, b"\x1bD100001200000003000\r"))   # X to 12000, Z to 3000
    for _ in range(100):
        if (reply := request(s, b"\x1bP1\r")).endswith(b"a\r"):
            break
        wait()
    print("  arrived:", reply)


print("real time, polling:")
with Velorin("scenario=" + SCENARIO) as velorin:
    with socket.create_connection(("127.0.0.1", velorin.ready["port"]), timeout=5) as s:
        start_sequence(s, lambda: time.sleep(0.1))

print("stepped clock, the test advancing device time:")
with Velorin("scenario=" + SCENARIO, "clock=step", "control=0") as velorin:
    with socket.create_connection(("127.0.0.1", velorin.ready["port"]), timeout=5) as s:
        start_sequence(s, lambda: api(velorin, "POST", "/clock/advance", {"ms": 100}))
    print("  device time:", api(velorin, "GET", "/clock")["device_ms"], "ms")   # 1600
    for line in api(velorin, "GET", "/log")["lines"]:
        if "scénario" in line or "(automatique)" in line:
            print("  ", line)
print("velorin ended with status 0")
