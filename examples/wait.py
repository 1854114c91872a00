#!/usr/bin/env python3
"""Waiting without sleeping: each step asks Velorin to answer once what it waits for has
happened (a client connected, the axes arrived, a line in the log, a fault fired), so the
script neither sleeps nor polls, and a step that never comes fails at its time-out."""

import json
import socket
import urllib.error
import urllib.request

from quickstart import Velorin, request   # starts and stops Velorin on free ports


def control(velorin, method, path, body=None):
    """One call to the control API; returns its status and JSON answer, errors included."""
    url = f"http://127.0.0.1:{velorin.ready['control_port']}{path}"
    data = None if body is None else json.dumps(body).encode()
    try:
        request = urllib.request.Request(url, data, {"Content-Type": "application/json"}, method=method)
        with urllib.request.urlopen(request, timeout=70) as r:
            return r.status, json.load(r)
    except urllib.error.HTTPError as e:
        return e.code, json.load(e)


def wait(velorin, condition, timeout_ms=10000):
    status, answer = control(velorin, "POST", "/wait", dict(condition, timeout_ms=timeout_ms))
    assert status == 200, f"{condition}: {status} {answer}"
    return answer


with Velorin("control=0", "clock=step") as velorin:
    control(velorin, "PATCH", "/state", {"Chk_HOMING_X_ok": True, "Chk_HOMING_Z_ok": True})
    with socket.create_connection(("127.0.0.1", velorin.ready["port"]), timeout=5) as s:
        print(wait(velorin, {"connections": 1})["connections"])         # 1
        print(request(s, b"\x1bD100001200000003000\r"))                  # b'\x1b1Ok\r'
        # The clock runs in steps: 2 s of device time take the axes where they were sent.
        control(velorin, "POST", "/clock/advance", {"ms": 2000})
        print(wait(velorin, {"arrived": True})["state"]["Lbl_PosRelleX"])   # 00012000

        _, log = control(velorin, "GET", "/log")
        ids = control(velorin, "POST", "/faults",
                      {"match": {"command": "P"}, "action": {"type": "drop"}})[1]["ids"]
        s.sendall(b"\x1bP1\r")                                           # dropped: no reply
        print(wait(velorin, {"fault_fired": ids[0]})["fault"]["fired"])  # 1
        line = wait(velorin, {"log_contains": "pas de réponse", "since": log["next"]})["line"]
        print(line[line.index("défaut"):])        # défaut n° 1 drop : pas de réponse sur canal 1

    # A line after `next`, as soon as there is one; an empty list at wait_ms.
    _, after = control(velorin, "GET", f"/log?since={log['next']}&wait_ms=5000")
    print(len(after["lines"]) > 0)                                       # True
    status, answer = control(velorin, "POST", "/wait", {"connections": 3, "timeout_ms": 100})
    print(status, answer["code"], answer["connections"])                # 408 timeout 0
