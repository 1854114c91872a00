#!/usr/bin/env python3
"""A host's start sequence, headless, against examples/start_sequence.json: the axes start
unhomed and home themselves 1 s of device time after a homing request. The host homes X and
Z, waits until registers 5014 and 5015 read 0080, moves and waits for status "a". It runs
twice: in real time, polling; then with a stepped clock, the test advancing device time."""

import os, time
from velorin import Velorin   # the Python package: Velorin on free ports

SCENARIO = os.path.join(os.path.dirname(os.path.abspath(__file__)), "start_sequence.json")


def request(plc, frame):
    """Sends one request in one write; returns its reply, up to and including the final CR."""
    plc.send(frame)
    return plc.read_until(b"\r")                   # 10 s at most, then ReplyTimeout


def start_sequence(plc, wait):
    """The host's side. wait() lets 100 ms go by; 100 of them at most for each step."""
    print("  version:", request(plc, b"\x1bV1\r"))         # late once: the scenario says so
    print("  homing:", request(plc, b"\x1bZ1X\r"), request(plc, b"\x1bZ1Z\r"))
    for register in (b"05014", b"05015"):
        for _ in range(100):
            if request(plc, b"\x1bSR" + register + b"\r") == b"\x1bSR0080\r":
                break
            wait()
        else:
            raise TimeoutError(f"register {register.decode()} never read 0080")
    print("  registers 5014 and 5015 read 0080")
    print("  move:", request(plc, b"\x1bD100001200000003000\r"))   # X to 12000, Z to 3000
    for _ in range(100):
        if (reply := request(plc, b"\x1bP1\r")).endswith(b"a\r"):
            break
        wait()
    print("  arrived:", reply)


print("real time, polling:")
with Velorin(scenario=SCENARIO) as velorin:
    with velorin.plc() as plc:
        start_sequence(plc, lambda: time.sleep(0.1))

print("stepped clock, the test advancing device time:")
with Velorin(scenario=SCENARIO, clock="step") as velorin:
    with velorin.plc() as plc:
        start_sequence(plc, lambda: velorin.advance(ms=100))
    print("  device time:", velorin.api.get("/clock")["device_ms"], "ms")   # 1600
    for line in velorin.log()["lines"]:
        if "scénario" in line or "(automatique)" in line:
            print("  ", line)
print("velorin ended with status 0")
