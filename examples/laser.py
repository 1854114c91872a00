#!/usr/bin/env python3
"""A laser module client: builds checksummed frames, checks the replies' frames, and shows that
a request with a wrong checksum gets no reply, only three lines in the log."""

from velorin import Velorin   # the Python package: Velorin on free ports


def checksum(text):
    """The two upper-case hex digits that bring the byte sum of text to a multiple of 256."""
    return b"%02X" % (-sum(text) % 256)


def laser_request(body):
    """ESC, body, checksum of the body, CR."""
    body = body.encode("latin-1")
    return b"\x1b" + body + checksum(body) + b"\r"


def laser(client, body):
    """Sends one request; returns the reply's payload after checking its frame."""
    client.send(laser_request(body))
    reply = client.read_until(b"\r")             # 10 s at most, then ReplyTimeout
    payload, received = reply[1:-3], reply[-3:-1]
    assert reply[:1] == b"/" and received == checksum(payload), reply
    return payload


assert checksum(b"1OK") == b"35" and laser_request("M101") == b"\x1bM10121\r"

with Velorin(mode="moduleLASERS") as velorin:
    with velorin.laser() as client:
        print(laser(client, "V1"))             # b'1version Simulation module Lasers'
        print(laser(client, "X1011"))          # laser 1 on: b'1OK'
        print(laser(client, "G10101000200"))   # detection on laser 1, min 100, max 200: b'1OK'
        print(laser(client, "M101"))           # measurement of laser 1: b'10500'

        log = velorin.log()["next"]
        client.send(b"\x1bV17A\r")             # a wrong checksum (79 is right): no reply at all
        velorin.wait(log_contains="erreur de checksum", since=log)   # the log says so
        print(laser(client, "M101"))           # so the next reply read is this request's: b'10500'
