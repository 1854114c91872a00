#!/usr/bin/env python3
"""A PLC client that moves both axes and polls until they have arrived. The homing flags are
ticked first through the control API, as an operator would tick them in the window."""

import time

from velorin import Velorin   # the Python package: Velorin on free ports


def request(plc, command):
    """Sends ESC command CR in one write; returns the reply without its ESC and CR."""
    plc.send(b"\x1b" + command.encode("latin-1") + b"\r")
    return plc.read_until(b"\r")[1:-1]           # 10 s at most, then ReplyTimeout


def position(field):
    """An 8-character position field: b'00012000' -> 12000, b'000-2000' -> -2000."""
    return int(field.lstrip(b"0") or b"0")


with Velorin() as velorin:
    velorin.set_state(Chk_HOMING_X_ok=True, Chk_HOMING_Z_ok=True)   # PATCH /state
    with velorin.plc() as plc:
        print(request(plc, "V1"))                              # b'1version Velorin'
        print(request(plc, "D1 " + "00012000" + "-0003000"))   # b'1Ok' (b'1POM NOk' unhomed)
        for _ in range(50):                                    # 5 s at most; 600 ms do
            r = request(plc, "P1")                             # b'1' X(8) Z(8) status
            x, z, status = position(r[1:9]), position(r[9:17]), r[17:]
            print(x, z, status)                    # 2000 -1500 b'd', ... 12000 -3000 b'a'
            if status == b"a":
                break
            time.sleep(0.1)
    assert (x, z, status) == (12000, -3000, b"a"), "the axes have not arrived"
    print(velorin.state()["Lbl_PosRelleZ"])                    # -0003000, as it was sent
