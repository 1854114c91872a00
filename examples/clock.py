#!/usr/bin/env python3
"""Simulated time from Python: the same move three ways. Stepped, a test gets to any place at
once or tick by tick; at x100, a whole-system run waits a hundredth of the real time."""

import json, socket, time, urllib.request
from quickstart import Velorin, request


def api(velorin, method, path, body=None):
    data = json.dumps(body).encode() if body is not None else None
    url = f"http://127.0.0.1:{velorin.ready['control_port']}{path}"
    request = urllib.request.Request(url, data, {"Content-Type": "application/json"}, method=method)
    with urllib.request.urlopen(request, timeout=30) as r:
        return json.load(r)


with Velorin("control=0", "clock=step") as velorin:
    api(velorin, "PATCH", "/state", {"Chk_HOMING_X_ok": True, "Chk_HOMING_Z_ok": True})
    with socket.create_connection(("127.0.0.1", velorin.ready["port"]), timeout=5) as s:
        request(s, b"\x1bD100001200000003000\r")          # X to 12000, Z to 3000
        after = api(velorin, "POST", "/clock/advance", {"until": "arrived", "max_ms": 60000})
        print(after["arrived"], after["ticks_run"])       # True 6
        request(s, b"\x1bD100000000000000000\r")          # back to 0
        steps = [api(velorin, "POST", "/clock/advance", {"ms": 100})["Lbl_PosRelleX"]
                 for _ in range(3)]
        print(steps)                                      # ['10000', '8000', '6000']

        api(velorin, "PATCH", "/clock", {"speed": 100})   # x100 for the rest of the way
        deadline = time.monotonic() + 10                  # 300 ms of device time: 3 ms
        while not (reply := request(s, b"\x1bP1\r")).endswith(b"a\r"):
            assert time.monotonic() < deadline, "the axes have not arrived"
            time.sleep(0.001)
        print(reply)                                      # b'\x1b10000000000000000a\r'
print("velorin ended with status 0")
