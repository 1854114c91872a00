#!/usr/bin/env python3
"""The device clock, side by side in one run: the wall time of a scripted full move (a D
request, then P polled until its status is "a") with the clock in real time, at x100, and
stepped with one "until arrived" call; and the cost of one tick run through /clock/advance.
Prints one JSON line per figure, for bench/tableau.py.

    bench/horloge.py --binary build/velorin [--repetitions 3]
"""

import argparse, json, socket, statistics, sys, time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "python"))
import velorin  # noqa: E402  (the package of this tree)

# 30 ticks on each axis: 3 s of real time.
MOVE = b"\x1bD10" + b"00060000" + b"00045000" + b"\r"
TICKS = 20000


def start(binary, **keys):
    """Velorin on free ports with its control API, stopped at the end of a with block."""
    return velorin.Velorin(binary=binary, log="off", **keys)


def exchange(s, frame):
    s.sendall(frame)
    reply = b""
    while not reply.endswith(b"\r"):
        reply += s.recv(256)
    return reply


def full_move(binary, clock):
    with start(binary, clock=clock) as v:
        v.set_state(Chk_HOMING_X_ok=True, Chk_HOMING_Z_ok=True)
        with socket.create_connection(("127.0.0.1", v.port), timeout=30) as s:
            begin = time.monotonic()
            exchange(s, MOVE)
            if clock == "step":
                v.advance(until_arrived=True, max_ms=3600000)
            while not exchange(s, b"\x1bP1\r").endswith(b"a\r"):
                pass
            return time.monotonic() - begin


def tick_rate(binary):
    with start(binary, clock="step") as v:
        v.set_state(Chk_HOMING_X_ok=True, Chk_HOMING_Z_ok=True)
        with socket.create_connection(("127.0.0.1", v.port), timeout=30) as s:
            exchange(s, b"\x1bD10" + b"99999999" + b"99999999" + b"\r")
            begin = time.monotonic()
            ran = v.advance(ms=TICKS * 100)["ticks_run"]
            return ran / (time.monotonic() - begin)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--binary", required=True)
    parser.add_argument("--repetitions", type=int, default=3)
    options = parser.parse_args()
    for clock in ("real", "x100", "step"):
        times = [full_move(options.binary, clock) for _ in range(options.repetitions)]
        print(json.dumps({"case": "horloge", "clock": clock, "seconds": statistics.median(times)}))
    rates = [tick_rate(options.binary) for _ in range(options.repetitions)]
    print(json.dumps({"case": "horloge-tics", "ticks_per_s": statistics.median(rates)}))


if __name__ == "__main__":
    main()
