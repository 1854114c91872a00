#!/usr/bin/env python3
"""Waiting without sleeping: each step asks Velorin to answer once what it waits for has
happened (a client connected, the axes arrived, a line in the log, a fault fired), so the
script neither sleeps nor polls, and a step that never comes fails at its time-out."""

from velorin import Velorin, VelorinError   # the Python package: Velorin on free ports

with Velorin(clock="step") as velorin:
    velorin.set_state(Chk_HOMING_X_ok=True, Chk_HOMING_Z_ok=True)
    with velorin.plc() as plc:
        print(velorin.wait(connections=1)["connections"])               # 1
        plc.send(b"\x1bD100001200000003000\r")
        print(plc.read_until(b"\r"))                                     # b'\x1b1Ok\r'
        # The clock runs in steps: 2 s of device time take the axes where they were sent.
        velorin.advance(ms=2000)
        print(velorin.wait(arrived=True)["state"]["Lbl_PosRelleX"])     # 00012000

        log = velorin.log()
        rule = velorin.add_fault({"match": {"command": "P"}, "action": {"type": "drop"}})
        plc.send(b"\x1bP1\r")                                            # dropped: no reply
        print(velorin.wait(fault_fired=rule)["fault"]["fired"])          # 1
        line = velorin.wait(log_contains="pas de réponse", since=log["next"])["line"]
        print(line[line.index("défaut"):])        # défaut n° 1 drop : pas de réponse sur canal 1

    # A line after `next`, as soon as there is one; an empty list at wait_ms.
    after = velorin.log(since=log["next"], wait_ms=5000)
    print(len(after["lines"]) > 0)                                       # True
    try:
        velorin.wait(connections=3, timeout_ms=100)
    except VelorinError as e:                     # 408, with what the condition saw then
        print(e.status, e.code, e.body["connections"])                  # 408 timeout 0
