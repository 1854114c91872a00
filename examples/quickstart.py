#!/usr/bin/env python3
"""Starts Velorin on free ports, waits until it serves, asks the PLC for its version and for
the positions of its axes, then stops it. The program is $VELORIN, or velorin on the PATH;
the velorin package (installed, or python/ of the sources on PYTHONPATH) starts and stops it."""

from velorin import Velorin   # the Python package: Velorin on free ports

with Velorin() as velorin:                       # ready once every port listens
    print(velorin.ready)   # {'control_port': ..., 'mode': 'automateOMRON', 'pid': ..., ...}
    with velorin.plc() as plc:                   # a TCP connection to velorin.port
        plc.send(b"\x1bV1\r")                    # one request in one write
        print(plc.read_until(b"\r"))             # b'\x1b1version Velorin\r'
        plc.send(b"\x1bP1\r")
        print(plc.read_until(b"\r"))             # b'\x1b10000000000000000a\r'
print("velorin ended with status 0")             # else the with block raises VelorinError
