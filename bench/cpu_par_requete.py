#!/usr/bin/env python3
"""CPU time per request of two Velorin binaries, taking turns: P at 64 clients without a
window, a fixed number of requests, and the server's own user and system time for them (from
/proc). On a machine shared with other work, throughput and latency follow the scheduler more
than the server; the CPU time a request costs the server hardly does.

    bench/cpu_par_requete.py --reference OTHER [--velorin build/velorin] [--requetes 300000]
"""

import argparse
import json
import os
import statistics
import subprocess
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "python"))
import velorin  # noqa: E402  (the package of this tree)

ICI = Path(__file__).resolve().parents[1]
P = r"\eP1\r"


def temps_cpu(pid):
    """User plus system time of the process, in seconds."""
    with open(f"/proc/{pid}/stat") as f:
        champs = f.read().rsplit(")", 1)[1].split()
    return (int(champs[11]) + int(champs[12])) / os.sysconf("SC_CLK_TCK")


def mesure(binaire, charge, requetes):
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    v = velorin.Velorin(binary=binaire, env=env, control=None, log="OFF",
                        shutdown_pause_ms=0, preexec_fn=lambda: os.sched_setaffinity(0, {0}))
    v.start()
    try:
        avant = temps_cpu(v.pid)
        ligne = subprocess.run(
            ["taskset", "-c", "1", charge, "--port", str(v.port), "--connections", "64",
             "--request", P, "--reply-cr", "--warmup", "0", "--requests", str(requetes)],
            check=True, capture_output=True, text=True).stdout
        cpu = temps_cpu(v.pid) - avant
    finally:
        v.stop()
    return cpu / requetes * 1e6, json.loads(ligne)["rps"]


def main():
    a = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    a.add_argument("--reference", required=True, help="the other Velorin binary")
    a.add_argument("--velorin", default=str(ICI / "build" / "velorin"))
    a.add_argument("--charge", default=str(ICI / "build" / "bench" / "charge"))
    a.add_argument("--requetes", type=int, default=300000)
    a.add_argument("--repetitions", type=int, default=3)
    args = a.parse_args()
    binaires = {"reference": args.reference, "this build": args.velorin}
    vus = {nom: [] for nom in binaires}
    for _ in range(args.repetitions):
        for nom, binaire in binaires.items():
            vus[nom].append(mesure(binaire, args.charge, args.requetes))
    print("| binary | CPU µs per request (median) | runs | req/s (median) |")
    print("|---|---:|---|---:|")
    for nom, mesures in vus.items():
        print(f"| {nom} | {statistics.median(m[0] for m in mesures):.2f} | "
              f"{', '.join(f'{m[0]:.2f}' for m in mesures)} | "
              f"{statistics.median(m[1] for m in mesures):,.0f} |")
    ref = statistics.median(m[0] for m in vus["reference"])
    ici = statistics.median(m[0] for m in vus["this build"])
    print(f"\nCPU per request: {ici / ref:.2f}x the reference")


if __name__ == "__main__":
    main()
