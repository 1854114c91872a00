#!/usr/bin/env python3
"""The device clock, side by side in one run: the wall time of a scripted full move (a D
request, then P polled until its status is "a") with the clock in real time, at x100, and
stepped with one "until arrived" call; and the cost of one tick run through /clock/advance.
Prints one JSON line per figure, for bench/tableau.py.

    bench/horloge.py --binary build/velorin [--repetitions 3]
"""

import argparse, json, os, signal, socket, statistics, subprocess, tempfile, time, urllib.request

# 30 ticks on each axis: 3 s of real time.
MOVE = b"\x1bD10" + b"00060000" + b"00045000" + b"\r"
TICKS = 20000


def start(binary, *keys):
    folder = tempfile.TemporaryDirectory()
    ready = os.path.join(folder.name, "ready.json")
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    process = subprocess.Popen([binary, "portip=0", "control=0", "log=off", "ready=" + ready,
                                *keys], env=env, stdout=subprocess.DEVNULL)
    deadline = time.monotonic() + 60
    while not os.path.exists(ready):
        if process.poll() is not None or time.monotonic() > deadline:
            raise RuntimeError("velorin did not start")
        time.sleep(0.02)
    with open(ready) as f:
        return process, folder, json.load(f)


def api(ready, method, path, body=None):
    data = json.dumps(body).encode() if body is not None else None
    request = urllib.request.Request(f"http://127.0.0.1:{ready['control_port']}{path}", data,
                                     method=method, headers={"Content-Type": "application/json"})
    with urllib.request.urlopen(request, timeout=120) as answer:
        return json.load(answer)


def exchange(s, frame):
    s.sendall(frame)
    reply = b""
    while not reply.endswith(b"\r"):
        reply += s.recv(256)
    return reply


def full_move(binary, clock):
    process, folder, ready = start(binary, "clock=" + clock)
    try:
        api(ready, "PATCH", "/state", {"Chk_HOMING_X_ok": True, "Chk_HOMING_Z_ok": True})
        with socket.create_connection(("127.0.0.1", ready["port"]), timeout=30) as s:
            begin = time.monotonic()
            exchange(s, MOVE)
            if clock == "step":
                api(ready, "POST", "/clock/advance", {"until": "arrived", "max_ms": 3600000})
            while not exchange(s, b"\x1bP1\r").endswith(b"a\r"):
                pass
            return time.monotonic() - begin
    finally:
        process.send_signal(signal.SIGTERM)
        process.wait(30)
        folder.cleanup()


def tick_rate(binary):
    process, folder, ready = start(binary, "clock=step")
    try:
        api(ready, "PATCH", "/state", {"Chk_HOMING_X_ok": True, "Chk_HOMING_Z_ok": True})
        with socket.create_connection(("127.0.0.1", ready["port"]), timeout=30) as s:
            exchange(s, b"\x1bD10" + b"99999999" + b"99999999" + b"\r")
            begin = time.monotonic()
            ran = api(ready, "POST", "/clock/advance", {"ms": TICKS * 100})["ticks_run"]
            return ran / (time.monotonic() - begin)
    finally:
        process.send_signal(signal.SIGTERM)
        process.wait(30)
        folder.cleanup()


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
