#!/usr/bin/env python3
"""Simulated time from Python: the same move three ways. Stepped, a test gets to any place at
once or tick by tick; at x100, a whole-system run waits a hundredth of the real time."""

import time
from velorin import Velorin   # the Python package: Velorin on free ports

with Velorin(clock="step") as velorin:
    velorin.set_state(Chk_HOMING_X_ok=True, Chk_HOMING_Z_ok=True)
    with velorin.plc() as plc:
        plc.move(x=12000, z=3000)                         # X to 12000, Z to 3000
        after = velorin.advance(until_arrived=True, max_ms=60000)
        print(after["arrived"], after["ticks_run"])       # True 6
        plc.move(x=0, z=0)                                # back to 0
        steps = [velorin.advance(ms=100)["Lbl_PosRelleX"] for _ in range(3)]
        print(steps)                                      # ['10000', '8000', '6000']

        velorin.api.patch("/clock", {"speed": 100})       # x100 for the rest of the way
        deadline = time.monotonic() + 10                  # 300 ms of device time: 3 ms
        plc.send(b"\x1bP1\r")                             # where are the axes?
        while not (reply := plc.read_until(b"\r")).endswith(b"a\r"):
            assert time.monotonic() < deadline, "the axes have not arrived"
            time.sleep(0.001)
            plc.send(b"\x1bP1\r")
        print(reply)                                      # b'\x1b10000000000000000a\r'
print("velorin ended with status 0")
