#!/usr/bin/env python3
"""A PLC client that moves both axes and polls until they have arrived. The homing flags are
ticked first through the control API, as an operator would tick them in the window."""

import json
import socket
import time
import urllib.request

from quickstart import Velorin, request   # starts and stops Velorin on free ports


def control(velorin, method, path, body=None):
    """One call to the control API; returns its JSON answer."""
    url = f"http://127.0.0.1:{velorin.ready['control_port']}{path}"
    data = None if body is None else json.dumps(body).encode()
    request = urllib.request.Request(url, data, {"Content-Type": "application/json"}, method=method)
    with urllib.request.urlopen(request, timeout=5) as r:
        return json.load(r)


def plc(s, command):
    """Sends ESC command CR in one write; returns the reply without its ESC and CR."""
    return request(s, b"\x1b" + command.encode("latin-1") + b"\r")[1:-1]


def position(field):
    """An 8-character position field: b'00012000' -> 12000, b'000-2000' -> -2000."""
    return int(field.lstrip(b"0") or b"0")


with Velorin("control=0") as velorin:
    control(velorin, "PATCH", "/state", {"Chk_HOMING_X_ok": True, "Chk_HOMING_Z_ok": True})
    with socket.create_connection(("127.0.0.1", velorin.ready["port"]), timeout=5) as s:
        print(plc(s, "V1"))                              # b'1version Velorin'
        print(plc(s, "D1 " + "00012000" + "-0003000"))   # b'1Ok' (b'1POM NOk' without homing)
        for _ in range(50):                              # 5 s at most; 600 ms are enough
            r = plc(s, "P1")                             # b'1' X(8) Z(8) status
            x, z, status = position(r[1:9]), position(r[9:17]), r[17:]
            print(x, z, status)                          # 2000 -1500 b'd', ... 12000 -3000 b'a'
            if status == b"a":
                break
            time.sleep(0.1)
    assert (x, z, status) == (12000, -3000, b"a"), "the axes have not arrived"
    print(control(velorin, "GET", "/state")["Lbl_PosRelleZ"])   # -0003000, as it was sent
