#!/usr/bin/env python3
"""The table of bench/run.sh: medians per case and server, ratios to the baseline of the same
run, and each target with its verdict. Reads the JSON lines run.sh wrote."""
import json
import statistics
import sys
from collections import defaultdict

SERVEURS = ("base", "velorin", "velorin-sans-miroir")
ORDRE = ("plc-1-off", "plc-8-off", "plc-64-off", "plc-1-on", "plc-8-on", "plc-64-on",
         "echo-64", "laser-8", "churn-1", "churn-8")
# Throughput each case must reach, as a share of the baseline.
DEBIT_MIN = {"plc-1-off": 0.85, "plc-64-off": 0.5, "plc-64-on": 0.4, "echo-64": 0.5,
             "churn-8": 0.8}
LIMITE_RSS_KIB = 60 * 1024
# A reader that never reads: throughput against stdout sent to /dev/null, and memory held.
TUBE_DEBIT_MIN = 0.9
TUBE_CROISSANCE_MAX_KIB = 16 * 1024
# The fault engine: throughput with no rule and with 100 that never match, against a run that
# never consults it.
DEFAUTS_AUCUNE_MIN = 0.97
DEFAUTS_CENT_MIN = 0.90
# The traffic journal written to a file, against the same run without it.
JOURNAL_MIN = 0.8
# The device clock: how much faster a full move is at x100 and stepped than in real time.
HORLOGE_GAIN_MIN = 50
CROISSANCE_TOLEREE_KIB = 1024
RETARD_MAX_MS = 50


def mediane(mesures, cle):
    valeurs = [m[cle] for m in mesures if m.get(cle) is not None]
    return statistics.median(valeurs) if valeurs else None


def variantes(par_cas, juge, cas, reference, autres):
    """One table for a case run by the same build in several ways, P at 64 clients: the
    reference (server, heading), then each (server, heading, verdict with {r}, minimum ratio)."""
    if cas not in par_cas:
        return
    base = mediane(par_cas[cas][reference[0]], "rps")
    print()
    print(f"| P 64 clients | {reference[1]} req/s | "
          + " | ".join(f"{entete} req/s (ratio)" for _, entete, _, _ in autres) + " |")
    print("|---|---:|" + "---:|" * len(autres))
    cellules = []
    for serveur, _, verdict, minimum in autres:
        debit = mediane(par_cas[cas][serveur], "rps")
        cellules.append(f"{debit:,.0f} ({debit / base:.3f}x)")
        juge(verdict.format(r=f"{debit / base:.3f}") + f" (target ≥ {minimum})",
             debit >= minimum * base)
    print(f"| {cas} | {base:,.0f} | " + " | ".join(cellules) + " |")
    erreurs = sum(m["errors"] + m["mismatches"] for mesures in par_cas[cas].values()
                  for m in mesures)
    if erreurs:
        juge(f"{cas}: {erreurs} errors or wrong replies", False)


def main():
    par_cas = defaultdict(lambda: defaultdict(list))
    memoire = None
    horloge = {}
    for ligne in open(sys.argv[1], encoding="utf-8"):
        m = json.loads(ligne)
        if m["case"] == "memoire":
            memoire = m
        elif m["case"] == "horloge":
            horloge[m["clock"]] = m["seconds"]
        elif m["case"] == "horloge-tics":
            horloge["tics"] = m["ticks_per_s"]
        else:
            par_cas[m["case"]][m["server"]].append(m)

    verdicts = []

    def juge(texte, tenu):
        verdicts.append(f"- {'met' if tenu else 'MISSED'}: {texte}")

    print("| case | baseline req/s | Velorin req/s (ratio) | without mirror req/s (ratio) "
          "| p50 µs base / Velorin | p99 µs Velorin (p99/p50) | tick late max ms | errors |")
    print("|---|---:|---:|---:|---:|---:|---:|---:|")
    for cas in [c for c in ORDRE if c in par_cas]:
        base = par_cas[cas]["base"]
        debit_base = mediane(base, "rps")
        cellules = [cas, f"{debit_base:,.0f}"]
        ratios = {}
        for serveur in SERVEURS[1:]:
            debit = mediane(par_cas[cas][serveur], "rps")
            if debit is None:
                cellules.append("–")
                continue
            ratios[serveur] = debit / debit_base
            cellules.append(f"{debit:,.0f} ({ratios[serveur]:.2f}x)")
        v = par_cas[cas]["velorin"]
        p50_base, p50, p99 = mediane(base, "p50_us"), mediane(v, "p50_us"), mediane(v, "p99_us")
        cellules.append(f"{p50_base:.0f} / {p50:.0f}")
        cellules.append(f"{p99:.0f} ({p99 / p50:.1f})")
        retard = max((m["late_max_ms"] for m in v if m.get("late_max_ms") is not None), default=None)
        cellules.append("–" if retard is None else f"{retard:.1f}")
        erreurs = sum(m["errors"] + m["mismatches"] for s in SERVEURS for m in par_cas[cas][s])
        cellules.append(str(erreurs))
        print("| " + " | ".join(cellules) + " |")

        if cas in DEBIT_MIN:
            juge(f"{cas}: throughput {ratios['velorin']:.2f}x the baseline (target ≥ "
                 f"{DEBIT_MIN[cas]}x)", ratios["velorin"] >= DEBIT_MIN[cas])
        if cas == "plc-1-off":
            juge(f"{cas}: p50 {p50 / p50_base:.2f}x the baseline's (target ≤ 1.2x)",
                 p50 <= 1.2 * p50_base)
        if not cas.startswith("churn"):
            juge(f"{cas}: p99 {p99 / p50:.1f}x p50 (target ≤ 3x)", p99 <= 3 * p50)
        if cas.endswith("64") or "-64-" in cas:
            juge(f"{cas}: Timer_Deplacement at most {retard:.1f} ms late (target ≤ "
                 f"{RETARD_MAX_MS} ms)", retard is not None and retard <= RETARD_MAX_MS)
        if erreurs:
            juge(f"{cas}: {erreurs} errors or wrong replies", False)

    if "salve-128" in par_cas:
        print()
        print("| 128 clients at once, under load | served | slowest µs |")
        print("|---|---:|---:|")
        for serveur in SERVEURS[:2]:
            mesures = par_cas["salve-128"][serveur]
            if not mesures:
                continue
            servis = min(m["requests"] for m in mesures)
            pire = max(m["max_us"] for m in mesures)
            print(f"| {serveur} | {servis} of 128 | {pire:,.0f} |")
            if serveur == "velorin":
                echecs = sum(m["errors"] + m["mismatches"] for m in mesures)
                juge(f"128 clients connecting at once while busy: {servis} served, slowest "
                     f"{pire / 1000:.0f} ms (a SYN retry would take 1000 ms)",
                     servis == 128 and echecs == 0 and pire < 1_000_000)

    if "tube-64" in par_cas:
        libre = mediane(par_cas["tube-64"]["velorin"], "rps")
        bloque = mediane(par_cas["tube-64"]["velorin-tube"], "rps")
        croissance = max(m["end_kib"] - m["start_kib"] for m in par_cas["tube-rss"]["velorin-tube"])
        erreurs = sum(m["errors"] + m["mismatches"] for s in ("velorin", "velorin-tube")
                      for m in par_cas["tube-64"][s])
        print()
        print("| P 64 clients, \"flux IP\" on | stdout to /dev/null req/s | stdout never read req/s "
              "(ratio) | RSS growth, never read |")
        print("|---|---:|---:|---:|")
        print(f"| tube-64 | {libre:,.0f} | {bloque:,.0f} ({bloque / libre:.2f}x) | "
              f"{croissance / 1024:+.1f} MiB |")
        juge(f"tube-64: stdout never read, {bloque / libre:.2f}x the throughput with stdout to "
             f"/dev/null (target ≥ {TUBE_DEBIT_MIN}x)", bloque >= TUBE_DEBIT_MIN * libre)
        juge(f"tube-64: RSS {croissance / 1024:+.1f} MiB with stdout never read (target ≤ 16 MiB)",
             croissance <= TUBE_CROISSANCE_MAX_KIB)
        if erreurs:
            juge(f"tube-64: {erreurs} errors or wrong replies", False)

    # The same build beside itself: each variant's throughput against the reference's.
    variantes(par_cas, juge, "defauts-64", ("velorin-sans-defauts", "engine never consulted"), [
        ("velorin", "no rule", "faults: no rule, {r}x the run that never consults the engine",
         DEFAUTS_AUCUNE_MIN),
        ("velorin-100-regles", "100 rules that never match", "faults: 100 rules that never match, {r}x",
         DEFAUTS_CENT_MIN)])
    variantes(par_cas, juge, "journal-64", ("velorin", "JOURNAL off"), [
        ("velorin-journal", "JOURNAL= to a file", "journal: {r}x the throughput without it",
         JOURNAL_MIN)])

    if "proxy-1" in par_cas:
        direct = par_cas["proxy-1"]["velorin"]
        relaye = par_cas["proxy-1"]["velorin-proxy"]
        print()
        print("| P 1 client | direct p50 / p99 µs | through PROXY= p50 / p99 µs | added p50 µs |")
        print("|---|---:|---:|---:|")
        print(f"| proxy-1 | {mediane(direct, 'p50_us'):.0f} / {mediane(direct, 'p99_us'):.0f} | "
              f"{mediane(relaye, 'p50_us'):.0f} / {mediane(relaye, 'p99_us'):.0f} | "
              f"{mediane(relaye, 'p50_us') - mediane(direct, 'p50_us'):+.0f} |")

    if horloge:
        reel = horloge["real"]
        print()
        print("| full move, 30 ticks on each axis | real time s | x100 s (gain) | stepped, until s (gain) "
              "| ticks/s through /clock/advance |")
        print("|---|---:|---:|---:|---:|")
        print(f"| D then P until \"a\" | {reel:.3f} | {horloge['x100']:.3f} ({reel / horloge['x100']:.0f}x) "
              f"| {horloge['step']:.4f} ({reel / horloge['step']:.0f}x) | {horloge['tics']:,.0f} |")
        for nom, cle in (("x100", "x100"), ("stepped", "step")):
            juge(f"clock: full move {reel / horloge[cle]:.0f}x faster {nom} than in real time "
                 f"(target ≥ {HORLOGE_GAIN_MIN}x)", reel >= HORLOGE_GAIN_MIN * horloge[cle])

    if memoire:
        print()
        print("| Velorin RSS, MiB | start | 500k requests | 1M requests | 5k cycles | 10k cycles |")
        print("|---|---:|---:|---:|---:|---:|")
        cles = ("start_kib", "requests_half1_kib", "requests_half2_kib", "cycles_half1_kib",
                "cycles_half2_kib")
        print("| \"flux IP\" ticked | " + " | ".join(f"{memoire[c] / 1024:.1f}" for c in cles) + " |")
        juge(f"RSS {memoire['requests_half2_kib'] / 1024:.1f} MiB after 1,000,000 requests and "
             f"{memoire['cycles_half2_kib'] / 1024:.1f} MiB after 10,000 cycles (target ≤ 60)",
             max(memoire[c] for c in cles) <= LIMITE_RSS_KIB)
        for nom, a, b in (("requests", "requests_half1_kib", "requests_half2_kib"),
                          ("cycles", "cycles_half1_kib", "cycles_half2_kib")):
            croissance = memoire[b] - memoire[a]
            juge(f"{nom}: {croissance / 1024:+.1f} MiB between the two halves (target: no growth, "
                 f"≤ 1 MiB)", croissance <= CROISSANCE_TOLEREE_KIB)

    print()
    print("\n".join(verdicts))


if __name__ == "__main__":
    main()
