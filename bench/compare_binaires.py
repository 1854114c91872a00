#!/usr/bin/env python3
"""Two Velorin binaries side by side in one run: this build and a reference one.

    bench/compare_binaires.py --reference /path/to/an/older/velorin
    bench/compare_binaires.py --reference OLD --duree 2 --repetitions 1 --demarrages 5

For each binary, taking turns: P at 64 clients without a window (throughput, p50, p99), the
same with the window shown on a virtual display of its own (Xvfb) unless --sans-fenetre, and
the start-up without a window up to the ready file (median of --demarrages runs) with the
resident memory at that moment. The servers run on core 0, the load on core 1. Prints a
Markdown table.

With --part-du-coeur F (root, cgroups), each server is held to the fraction F of its core by
the kernel's CPU quota: the load generator then always has time to spare, and the throughput
at 64 clients is what the server can do with the time it has, not what the generator's core
can send.
"""
import argparse
import json
import os
import shutil
import statistics
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "python"))
import velorin  # noqa: E402  (the package of this tree)

P = r"\x1bP1\r"
P_REPONSE = r"\x1b10000000000000000a\r"


def attend(condition, delai=20.0):
    fin = time.monotonic() + delai
    while time.monotonic() < fin:
        if condition():
            return True
        time.sleep(0.001)
    return False


def rss_kio(pid):
    with open(f"/proc/{pid}/status") as f:
        for ligne in f:
            if ligne.startswith("VmRSS:"):
                return int(ligne.split()[1])
    return 0


def sur_le_coeur_0():
    os.sched_setaffinity(0, {0})


def lance(binaire, env, **cles):
    """Velorin on core 0, without a shutdown pause; the time it took to write its ready file.
    The ready file is looked for every millisecond: that time is one of the figures."""
    v = velorin.Velorin(binary=binaire, env=env, headless=False, start_timeout=20,
                        stop_timeout=10, preexec_fn=sur_le_coeur_0, poll_interval=0.001,
                        shutdown_pause_ms=0, **{"control": None, "log": None, **cles})
    debut = time.monotonic()
    v.start()
    return v, time.monotonic() - debut


class QuotaCpu:
    """A cgroup whose processes get at most `part` of one core (cgroup v2, or v1's cpu
    controller), every 10 ms so that the server is held back in small steps."""

    PERIODE_US = 10000

    def __init__(self, part):
        quota = int(part * self.PERIODE_US)
        nom = f"velorin-banc-{os.getpid()}"
        unifie = Path("/sys/fs/cgroup")
        controleurs = unifie / "cgroup.controllers"
        if controleurs.exists() and "cpu" in controleurs.read_text().split():
            (unifie / "cgroup.subtree_control").write_text("+cpu")
            self.dossier = unifie / nom
            self.dossier.mkdir()
            (self.dossier / "cpu.max").write_text(f"{quota} {self.PERIODE_US}")
        else:
            self.dossier = Path("/sys/fs/cgroup/cpu") / nom
            self.dossier.mkdir()
            (self.dossier / "cpu.cfs_period_us").write_text(str(self.PERIODE_US))
            (self.dossier / "cpu.cfs_quota_us").write_text(str(quota))

    def place(self, pid):
        (self.dossier / "cgroup.procs").write_text(str(pid))

    def retire(self):
        self.dossier.rmdir()


def charge_p64(args, binaire, env):
    v, _ = lance(binaire, env, mode="automateOMRON", log="STDOUT")
    try:
        if args.quota:
            args.quota.place(v.pid)
        ligne = subprocess.run(
            ["taskset", "-c", "1", args.charge, "--port", str(v.port), "--connections", "64",
             "--request", P, "--reply-cr", "--expect", P_REPONSE, "--warmup", "1",
             "--duration", str(args.duree)],
            check=True, capture_output=True, text=True).stdout
    finally:
        v.stop()
    return json.loads(ligne)


def main():
    racine = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    parseur = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parseur.add_argument("--reference", required=True, help="the other Velorin binary")
    parseur.add_argument("--velorin", default=os.path.join(racine, "build", "velorin"))
    parseur.add_argument("--charge", default=os.path.join(racine, "build", "bench", "charge"))
    parseur.add_argument("--duree", type=float, default=5)
    parseur.add_argument("--repetitions", type=int, default=3)
    parseur.add_argument("--demarrages", type=int, default=20)
    parseur.add_argument("--sans-fenetre", action="store_true",
                         help="skip the runs with the window shown")
    parseur.add_argument("--part-du-coeur", type=float,
                         help="hold each server to this fraction of its core (0 < F < 1)")
    args = parseur.parse_args()
    args.quota = QuotaCpu(args.part_du_coeur) if args.part_du_coeur else None
    binaires = {"reference": args.reference, "this build": args.velorin}

    sans_ecran = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    sans_ecran.pop("DISPLAY", None)
    xvfb = None
    avec_ecran = None
    if not args.sans_fenetre and shutil.which("Xvfb"):
        numero = 90 + os.getpid() % 100
        xvfb = subprocess.Popen(["Xvfb", f":{numero}", "-screen", "0", "1280x1024x24",
                                 "-nolisten", "tcp"], stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)
        if not attend(lambda: os.path.exists(f"/tmp/.X11-unix/X{numero}"), 10):
            sys.exit("Xvfb did not start")
        avec_ecran = dict(os.environ, DISPLAY=f":{numero}")
        avec_ecran.pop("QT_QPA_PLATFORM", None)
        avec_ecran.pop("WAYLAND_DISPLAY", None)

    resultats = {nom: {"sans": [], "avec": [], "demarrage": [], "rss": []} for nom in binaires}
    noms = list(binaires)
    try:
        for rep in range(args.repetitions):
            for nom in noms[rep % 2:] + noms[:rep % 2]:
                resultats[nom]["sans"].append(charge_p64(args, binaires[nom], sans_ecran))
                if avec_ecran:
                    resultats[nom]["avec"].append(charge_p64(args, binaires[nom], avec_ecran))
            print(f"  P64, repetition {rep + 1} done", file=sys.stderr)
        for i in range(args.demarrages):
            for nom in noms[i % 2:] + noms[:i % 2]:
                v, ecoule = lance(binaires[nom], sans_ecran)
                resultats[nom]["rss"].append(rss_kio(v.pid))
                v.stop()
                resultats[nom]["demarrage"].append(ecoule * 1000)
    finally:
        if xvfb:
            xvfb.terminate()
            xvfb.wait()
        if args.quota:
            args.quota.retire()

    def med(mesures, cle):
        return statistics.median(m[cle] for m in mesures)

    ref = resultats["reference"]
    print("| binary | headless P64 req/s | p50 µs | p99 µs | p99/p50 | windowed P64 req/s | "
          "p99/p50 | start-up to ready ms (median) | RSS at start KiB (median) |")
    print("|---|---:|---:|---:|---:|---:|---:|---:|---:|")
    for nom in noms:
        r = resultats[nom]
        sans = r["sans"]
        ligne = [nom, f"{med(sans, 'rps'):,.0f}", f"{med(sans, 'p50_us'):.0f}",
                 f"{med(sans, 'p99_us'):.0f}",
                 f"{med(sans, 'p99_us') / med(sans, 'p50_us'):.2f}"]
        if r["avec"]:
            ligne += [f"{med(r['avec'], 'rps'):,.0f}",
                      f"{med(r['avec'], 'p99_us') / med(r['avec'], 'p50_us'):.2f}"]
        else:
            ligne += ["–", "–"]
        ligne += [f"{statistics.median(r['demarrage']):.1f}", f"{statistics.median(r['rss']):,.0f}"]
        print("| " + " | ".join(ligne) + " |")
    cur = resultats["this build"]
    print()
    print(f"throughput headless: {med(cur['sans'], 'rps') / med(ref['sans'], 'rps'):.2f}x; "
          f"start-up: {statistics.median(cur['demarrage']) / statistics.median(ref['demarrage']):.2f}x; "
          f"RSS: {statistics.median(cur['rss']) / statistics.median(ref['rss']):.2f}x"
          + (f"; throughput windowed: {med(cur['avec'], 'rps') / med(ref['avec'], 'rps'):.2f}x"
             if cur["avec"] else ""))


if __name__ == "__main__":
    main()
