#!/usr/bin/env python3
"""A machine of N PLC devices (MACHINE= with "count": N, 1000 by default) beside one-device
Velorins, in one run on this machine:

- round trip: one client asking P on one device while every other device holds one idle
  client, against one client of a one-device Velorin (p50, p99);
- 64 clients spread over 64 devices of the machine (one `charge` with a port per connection),
  against 64 clients of a one-device Velorin (requests per second);
- one scrape of GET /metrics of the machine (median of --scrapes);
- the same fleet as one-device processes (--processes of them, launched side by side): the
  time until every one is ready and their memory, beside the machine's.

Velorin runs on core 0 and `charge` on core 1, as bench/run.sh does; the two throughput and
latency cases run --repetitions times, each first every other time, and the medians are given.
The 64-client runs are measured after --warmup seconds (6 by default): long enough for each of
the 64 devices to fill its log history (10,000 lines) once, as one device does in its first
second, so that both sides are measured in their steady state.

    bench/machine_flotte.py --binary build/velorin [--count 1000] [--processes 1000]

Prints one JSON line of figures.
"""

import argparse
import json
import os
import resource
import socket
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "python"))
import velorin  # noqa: E402  (the package of this tree)

P, P_REPLY = r"\x1bP1\r", r"\x1b10000000000000000a\r"
DEADLINE = 300.0


def on_core_0():
    os.sched_setaffinity(0, {0})


def memory_kib(pid):
    """Resident and proportional set sizes: the second shares the libraries out."""
    with open(f"/proc/{pid}/smaps_rollup") as f:
        fields = dict(line.split()[:2] for line in f if line.split()[0] in ("Rss:", "Pss:"))
    return int(fields["Rss:"]), int(fields["Pss:"])


def start(binary, **keys):
    return velorin.Velorin(binary=binary, start_timeout=DEADLINE, log="off",
                           shutdown_pause_ms=0, preexec_fn=on_core_0, **keys).start()


def charge(program, ports, connections, duration, warmup=1.0):
    done = subprocess.run(
        ["taskset", "-c", "1", program, "--port", ",".join(map(str, ports)),
         "--connections", str(connections), "--request", P, "--reply-cr", "--expect", P_REPLY,
         "--warmup", str(warmup), "--duration", str(duration)],
        capture_output=True, text=True, check=True, timeout=DEADLINE)
    figures = json.loads(done.stdout)
    assert figures["errors"] == 0 and figures["mismatches"] == 0, figures
    return figures


def turn(rep):
    """The order of the two cases: each goes first every other time."""
    return ("one", "machine") if rep % 2 == 0 else ("machine", "one")


def scrape_ms(port, times):
    """One GET /metrics at a time on a connection of its own, read to its end: a plain socket,
    since urllib's reading of a few megabytes would count more than the server's writing."""
    spent = []
    for _ in range(times):
        t = time.perf_counter()
        with socket.create_connection(("127.0.0.1", port), timeout=60) as s:
            s.sendall(b"GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n")
            answer = bytearray()
            while chunk := s.recv(1 << 20):
                answer += chunk
        spent.append((time.perf_counter() - t) * 1000)
        assert answer.startswith(b"HTTP/1.1 200"), bytes(answer[:200])
    return statistics.median(spent), len(answer) - answer.index(b"\r\n\r\n") - 4


def fleet(binary, processes):
    """`processes` one-device Velorins launched side by side: seconds until all are ready, the
    sum of their RSS and PSS."""
    each = [velorin.Velorin(binary=binary, start_timeout=DEADLINE, log="off", control=None,
                            shutdown_pause_ms=0, poll_interval=0.05, stdout=subprocess.DEVNULL)
            for _ in range(processes)]
    t = time.monotonic()
    try:
        velorin.start_all(each)
        ready_s = time.monotonic() - t
        sizes = [memory_kib(v.process.pid) for v in each]
    finally:
        velorin.stop_all(v for v in each if v.process is not None)
    return ready_s, sum(r for r, _ in sizes), sum(p for _, p in sizes)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--binary", required=True)
    parser.add_argument("--charge", help="bench/charge, by default beside the binary's bench/")
    parser.add_argument("--count", type=int, default=1000)
    parser.add_argument("--processes", type=int, default=1000)
    parser.add_argument("--repetitions", type=int, default=3)
    parser.add_argument("--duration", type=float, default=5.0)
    parser.add_argument("--warmup", type=float, default=6.0)
    parser.add_argument("--scrapes", type=int, default=20)
    args = parser.parse_args()
    binary = os.path.abspath(args.binary)
    program = args.charge or os.path.join(os.path.dirname(binary), "bench", "charge")
    _, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))   # one idle client per device
    load_before = os.getloadavg()

    with tempfile.TemporaryDirectory() as folder:
        description = os.path.join(folder, "machine.json")
        with open(description, "w") as f:
            json.dump({"devices": [{"name": "plc", "count": args.count}]}, f)
        t = time.monotonic()
        machine = start(binary, machine=description, portip=None)
        machine_ready_s = time.monotonic() - t
        machine_rss, machine_pss = memory_kib(machine.pid)
        one = start(binary)
        ports = list(machine.devices.values())
        chosen = {"one": [one.port], "machine": ports[:64]}
        trips = {"one": [], "machine": []}
        rates = {"one": [], "machine": []}
        try:
            idle = [socket.create_connection(("127.0.0.1", p), timeout=60) for p in ports[1:]]
            try:
                # Each idle client on a channel before the measure: its V answered.
                for s in idle:
                    s.sendall(b"\x1bV1\r")
                for s in idle:
                    assert s.recv(64).endswith(b"\r")
                for rep in range(args.repetitions):
                    for case in turn(rep):
                        trips[case].append(charge(program, chosen[case][:1], 1, args.duration))
            finally:
                for s in idle:
                    s.close()
            for rep in range(args.repetitions):
                for case in turn(rep):
                    rates[case].append(
                        charge(program, chosen[case], 64, args.duration, args.warmup)["rps"])
            scrape, scrape_bytes = scrape_ms(machine.control_port, args.scrapes)
        finally:
            velorin.stop_all([machine, one])
    fleet_s, fleet_rss, fleet_pss = fleet(binary, args.processes)

    def median(case, key):
        return statistics.median(f[key] for f in trips[case])

    print(json.dumps({
        "devices": args.count, "load_before": load_before, "load_after": os.getloadavg(),
        "rtt_one_p50_us": median("one", "p50_us"), "rtt_one_p99_us": median("one", "p99_us"),
        "rtt_machine_p50_us": median("machine", "p50_us"),
        "rtt_machine_p99_us": median("machine", "p99_us"),
        "rtt_p50_ratio": round(median("machine", "p50_us") / median("one", "p50_us"), 3),
        "rps_one_64": statistics.median(rates["one"]),
        "rps_machine_64": statistics.median(rates["machine"]),
        "rps_one_64_runs": rates["one"], "rps_machine_64_runs": rates["machine"],
        "rps_ratio": round(statistics.median(rates["machine"]) / statistics.median(rates["one"]),
                           3),
        "metrics_scrape_ms": round(scrape, 2), "metrics_bytes": scrape_bytes,
        "machine_ready_s": round(machine_ready_s, 3), "machine_rss_kib": machine_rss,
        "machine_pss_kib": machine_pss, "processes": args.processes,
        "fleet_ready_s": round(fleet_s, 3), "fleet_rss_kib": fleet_rss,
        "fleet_pss_kib": fleet_pss}))


if __name__ == "__main__":
    main()
