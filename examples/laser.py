#!/usr/bin/env python3
"""A laser module client: builds checksummed frames, checks the replies' frames, and shows that
a request with a wrong checksum gets no reply, only three lines in the log."""

import socket
import time

from quickstart import Velorin, request   # starts and stops Velorin on free ports


def checksum(text):
    """The two upper-case hex digits that bring the byte sum of text to a multiple of 256."""
    return b"%02X" % (-sum(text) % 256)


def laser_request(body):
    """ESC, body, checksum of the body, CR."""
    body = body.encode("latin-1")
    return b"\x1b" + body + checksum(body) + b"\r"


def laser(s, body):
    """Sends one request; returns the reply's payload after checking its frame."""
    reply = request(s, laser_request(body))
    payload, received = reply[1:-3], reply[-3:-1]
    assert reply[:1] == b"/" and received == checksum(payload), reply
    return payload


def wait_for_log(velorin, text, timeout=10):
    """Waits until a line of the log contains text; the log reaches its file within 100 ms."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        with open(velorin.log, encoding="utf-8", errors="replace") as f:
            if any(text in line for line in f):
                return
        time.sleep(0.05)
    raise TimeoutError(f"no {text!r} in the log after {timeout} s")


assert checksum(b"1OK") == b"35" and laser_request("M101") == b"\x1bM10121\r"

with Velorin("mode=moduleLASERS") as velorin:
    with socket.create_connection(("127.0.0.1", velorin.ready["port"]), timeout=5) as s:
        print(laser(s, "V1"))              # b'1version Simulation module Lasers'
        print(laser(s, "X1011"))           # laser 1 on: b'1OK'
        print(laser(s, "G10101000200"))    # detection on laser 1, min 100, max 200: b'1OK'
        print(laser(s, "M101"))            # measurement of laser 1: b'10500'

        s.sendall(b"\x1bV17A\r")           # a wrong checksum (79 is right): no reply at all
        wait_for_log(velorin, "erreur de checksum")
        print(laser(s, "M101"))            # so the next reply read is this request's: b'10500'
