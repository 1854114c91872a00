#!/usr/bin/env python3
"""GET /metrics against the real program: the text must hold to the Prometheus exposition format
0.0.4, read by a strict parser of its own, and the counters must move as traffic and faults do.
"""

import argparse
import json
import math
import os
import re
import socket
import sys
import time
import unittest
import urllib.request

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import defauts  # noqa: E402  (the real program, started on free ports)

NAME = re.compile(r"[a-zA-Z_:][a-zA-Z0-9_:]*\Z")
LABEL = re.compile(r'([a-zA-Z_][a-zA-Z0-9_]*)="((?:[^"\\\n]|\\[\\"n])*)"')
LASER_V = b"\x1bV179\r"
TYPES = ("counter", "gauge", "histogram", "summary", "untyped")


class FormatError(ValueError):
    pass


def value(text):
    if text in ("NaN", "+Inf", "-Inf"):
        return float(text.replace("Inf", "inf").replace("NaN", "nan"))
    if not re.fullmatch(r"[-+]?(\d+\.?\d*|\.\d+)([eE][-+]?\d+)?", text):
        raise FormatError(f"not a number: {text!r}")
    return float(text)


def labels(text):
    """{name: value} of a {...} label set, refusing what the format does not allow."""
    found, at = {}, 0
    while at < len(text):
        m = LABEL.match(text, at)
        if not m:
            raise FormatError(f"bad label set: {text!r}")
        if m.group(1) in found:
            raise FormatError(f"label given twice: {text!r}")
        found[m.group(1)] = re.sub(r"\\(.)", lambda e: "\n" if e.group(1) == "n" else e.group(1),
                                   m.group(2))
        at = m.end()
        if at < len(text):
            if text[at] != ",":
                raise FormatError(f"bad label set: {text!r}")
            at += 1
    return found


def parse(text):
    """{family: {"type", "help", "samples": {(name, frozenset(labels)): value}}}, strictly."""
    if not text.endswith("\n"):
        raise FormatError("the text ends without a line feed")
    families, current, done = {}, None, set()
    for line in text[:-1].split("\n"):
        if line.startswith("#"):
            parts = line.split(" ", 3)
            if len(parts) >= 3 and parts[1] in ("HELP", "TYPE"):
                name = parts[2]
                if not NAME.match(name):
                    raise FormatError(f"bad name: {line!r}")
                if name != current:
                    if name in done or name in families:
                        raise FormatError(f"family {name} is split")
                    if current:
                        done.add(current)
                    current = name
                    families[name] = {"type": "untyped", "help": None, "samples": {}}
                family = families[name]
                if parts[1] == "TYPE":
                    if len(parts) != 4 or parts[3] not in TYPES or family["samples"] \
                            or family.get("typed"):
                        raise FormatError(f"bad TYPE line: {line!r}")
                    family["type"], family["typed"] = parts[3], True
                else:
                    if family["help"] is not None:
                        raise FormatError(f"HELP given twice: {line!r}")
                    family["help"] = parts[3] if len(parts) == 4 else ""
            continue
        if not line:
            raise FormatError("an empty line")
        m = re.fullmatch(r"([^{ ]+)(?:\{(.*)\})? (\S+)(?: (-?\d+))?", line)
        if not m or not NAME.match(m.group(1)):
            raise FormatError(f"bad sample: {line!r}")
        name = m.group(1)
        base = re.sub(r"_(bucket|sum|count)\Z", "", name)
        family_name = base if base == current and families[current]["type"] == "histogram" \
            else name
        if family_name != current:
            raise FormatError(f"sample {name} outside its family ({current})")
        key = (name, frozenset(labels(m.group(2) or "").items()))
        samples = families[current]["samples"]
        if key in samples:
            raise FormatError(f"sample given twice: {line!r}")
        samples[key] = value(m.group(3))
    for name, family in families.items():
        if family["type"] == "histogram":
            check_histogram(name, family["samples"])
        if family["type"] == "counter":
            for key, v in family["samples"].items():
                if v < 0 or math.isnan(v):
                    raise FormatError(f"a counter below 0: {key}")
    return families


def check_histogram(name, samples):
    series = {}
    for (sample, label_set), v in samples.items():
        rest = dict(label_set)
        bound = rest.pop("le", None)
        entry = series.setdefault(frozenset(rest.items()), {"buckets": [], "sum": None,
                                                             "count": None})
        if sample == name + "_bucket":
            if bound is None:
                raise FormatError(f"{name}: a bucket without le")
            entry["buckets"].append((value(bound), v))
        elif sample in (name + "_sum", name + "_count") and bound is None:
            entry[sample[len(name) + 1:]] = v
        else:
            raise FormatError(f"{name}: stray sample {sample}")
    for key, entry in series.items():
        buckets = sorted(entry["buckets"])
        if not buckets or buckets[-1][0] != math.inf:
            raise FormatError(f"{name}{dict(key)}: no +Inf bucket")
        if any(later[1] < earlier[1] for earlier, later in zip(buckets, buckets[1:])):
            raise FormatError(f"{name}{dict(key)}: buckets not cumulative")
        if entry["count"] != buckets[-1][1] or entry["sum"] is None:
            raise FormatError(f"{name}{dict(key)}: _count is not the +Inf bucket, or no _sum")


class Parser(unittest.TestCase):
    """The parser itself must refuse what a scraper would: else the checks below prove little."""

    def test_refuses_what_the_format_does_not_allow(self):
        good = "# HELP a_total A.\n# TYPE a_total counter\na_total{x=\"1\"} 3\n"
        self.assertIn("a_total", parse(good))
        for name, text in [
            ("no final line feed", good[:-1]),
            ("TYPE after a sample", "a 1\n# TYPE a gauge\n"),
            ("split family", "# TYPE a gauge\na 1\n# TYPE b gauge\nb 1\na 2\n"),
            ("unquoted label", "a{x=1} 1\n"),
            ("bad escape", 'a{x="\\q"} 1\n'),
            ("same series twice", "a 1\na 1\n"),
            ("not a number", "a one\n"),
            ("bad name", "1a 1\n"),
            ("a negative counter", "# TYPE a counter\na -1\n"),
            ("histogram without +Inf",
             "# TYPE h histogram\nh_bucket{le=\"1\"} 1\nh_sum 1\nh_count 1\n"),
            ("histogram going down", "# TYPE h histogram\nh_bucket{le=\"1\"} 2\n"
                                     "h_bucket{le=\"+Inf\"} 1\nh_sum 1\nh_count 1\n"),
            ("count not the +Inf bucket", "# TYPE h histogram\nh_bucket{le=\"+Inf\"} 2\n"
                                          "h_sum 1\nh_count 1\n"),
        ]:
            with self.subTest(name), self.assertRaises(FormatError):
                parse(text)


def scrape(v):
    url = f"http://127.0.0.1:{v.ready['control_port']}/metrics"
    with urllib.request.urlopen(url, timeout=defauts.DEADLINE) as answer:
        kind = answer.headers["Content-Type"]
        families = parse(answer.read().decode("utf-8"))
    assert kind.startswith("text/plain; version=0.0.4"), kind

    def get(family, sample=None, **wanted):
        wanted.setdefault("device", "default")
        if wanted["device"] is None:    # a process-wide series
            del wanted["device"]
        for (name, label_set), v in families[family]["samples"].items():
            if name == (sample or family) and dict(label_set) == wanted:
                return v
        return None
    get.families = families
    return get


def until(condition):
    """Asks again until the condition holds, within the deadline of a slow machine."""
    end = time.monotonic() + defauts.DEADLINE
    while not condition():
        assert time.monotonic() < end, "the condition never held"
        time.sleep(0.01)


class Metrics(unittest.TestCase):
    def test_counters_follow_traffic_and_faults(self):
        with defauts.Velorin("clock=step") as v:
            before = scrape(v)
            for family, kind in [("velorin_requests_total", "counter"),
                                 ("velorin_reply_seconds", "histogram"),
                                 ("velorin_timer_lateness_seconds", "histogram"),
                                 ("velorin_clients", "gauge"), ("process_open_fds", "gauge"),
                                 ("process_resident_memory_bytes", "gauge"),
                                 ("process_start_time_seconds", "gauge")]:
                self.assertEqual(before.families[family]["type"], kind, family)
            self.assertGreater(before("process_resident_memory_bytes", device=None), 0)
            self.assertGreater(before("process_open_fds", device=None), 3)
            self.assertGreater(before("process_start_time_seconds", device=None), 1.5e9)
            self.assertEqual(before("velorin_log_lines_lost_total", device=None), 0)
            self.assertEqual(before("velorin_journal_events_lost_total", device=None), 0)
            s = v.client()
            defauts.served(v, s)                                   # V: 4 bytes in, 18 out
            self.assertEqual(defauts.frame(s, defauts.P), defauts.P_REPLY)
            s.sendall(b"?x\r")                                     # no command letter
            until(lambda: scrape(v)("velorin_requests_total", command="other") == 1)
            c = scrape(v)
            self.assertEqual(c("velorin_requests_total", command="V"), 1)
            self.assertEqual(c("velorin_requests_total", command="P"), 1)
            self.assertEqual(c("velorin_clients"), 1)
            self.assertEqual(c("velorin_connections_opened_total"), 1)
            self.assertEqual(c("velorin_received_bytes_total"),
                             len(defauts.V) + len(defauts.P) + 3)
            self.assertGreaterEqual(c("velorin_replies_total"), 2)
            self.assertGreaterEqual(c("velorin_sent_bytes_total"),
                                    len(defauts.V_REPLY) + len(defauts.P_REPLY))
            self.assertEqual(c("velorin_reply_seconds", "velorin_reply_seconds_count"),
                             c("velorin_replies_total"))

            # A dropped reply is a firing of its rule, and no reply.
            rule = v.api("POST", "/faults", {"match": {"command": "P"},
                                             "action": {"type": "drop"}})["ids"][0]
            replies = c("velorin_replies_total")
            s.sendall(defauts.P)
            # One arrival is one request: V goes once P has been taken on its own.
            until(lambda: scrape(v)("velorin_requests_total", command="P") == 2)
            self.assertEqual(defauts.frame(s, defauts.V), defauts.V_REPLY)
            c = scrape(v)
            self.assertEqual(c("velorin_fault_firings_total", rule=str(rule), action="drop"), 1)
            self.assertEqual(c("velorin_requests_total", command="P"), 2)
            self.assertEqual(c("velorin_replies_total"), replies + 1)

            # A refused connection; the first one leaves.
            v.api("DELETE", "/faults")
            v.api("POST", "/faults", {"action": {"type": "refuse"}, "count": 1})
            refused = v.client()
            self.assertEqual(refused.recv(16), b"")
            s.close()
            refused.close()
            until(lambda: scrape(v)("velorin_clients") == 0)
            c = scrape(v)
            self.assertEqual(c("velorin_connections_refused_total"), 1)

            # The axes and device time, under the stepped clock.
            v.api("PATCH", "/state", {"Chk_HOMING_X_ok": True, "Chk_HOMING_Z_ok": True})
            s = v.client()
            defauts.frame(s, defauts.D)
            c = scrape(v)
            self.assertEqual(c("velorin_axis_demanded_position", axis="X"), 12000)
            self.assertEqual(c("velorin_axis_demanded_position", axis="Z"), 3000)
            device_time = c("velorin_device_time_seconds")
            v.api("POST", "/clock/advance", {"until": "arrived", "max_ms": 60000})
            c = scrape(v)
            self.assertEqual(c("velorin_axis_real_position", axis="X"), 12000)
            self.assertGreater(c("velorin_device_time_seconds"), device_time)
            s.close()


class Machine(unittest.TestCase):
    def test_each_device_of_a_machine_has_its_own_series(self):
        example = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                               "examples", "machine.json")
        with defauts.Velorin("machine=" + example) as v:
            c = scrape(v)
            per_device = 0
            for family, content in c.families.items():
                series = {}
                for _, label_set in content["samples"]:
                    rest = dict(label_set)
                    series.setdefault(rest.pop("device", None), set()).add(frozenset(rest.items()))
                if not series:      # no rule, so no firing yet
                    continue
                if None in series:
                    self.assertEqual(list(series), [None], f"{family}: per device or not at all")
                    continue
                per_device += 1
                self.assertEqual(set(series), {"plc", "laser"}, family)
                self.assertEqual(series["plc"], series["laser"], family)
            self.assertGreater(per_device, 10)

            with socket.create_connection(("127.0.0.1", v.devices["laser"]),
                                          timeout=defauts.DEADLINE) as s:
                s.sendall(LASER_V)
                reply = b""
                while not reply.endswith(b"\r"):
                    chunk = s.recv(4096)
                    self.assertTrue(chunk, reply)
                    reply += chunk
            c = scrape(v)
            self.assertEqual(c("velorin_requests_total", device="laser", command="V"), 1)
            self.assertEqual(c("velorin_received_bytes_total", device="laser"), len(LASER_V))
            self.assertEqual(c("velorin_connections_opened_total", device="laser"), 1)
            plc = {name: v for (name, label_set), v in c.families["velorin_requests_total"]
                   ["samples"].items() if dict(label_set)["device"] == "plc"}
            self.assertEqual(set(plc.values()), {0}, plc)
            for family in ("velorin_received_bytes_total", "velorin_replies_total",
                           "velorin_connections_opened_total"):
                self.assertEqual(c(family, device="plc"), 0, family)


class Dashboard(unittest.TestCase):
    def test_the_dashboard_asks_only_for_series_velorin_gives(self):
        path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "docs",
                            "grafana-dashboard.json")
        with open(path, encoding="utf-8") as f:
            dashboard = json.load(f)
        asked = {re.sub(r"_(bucket|sum|count)\Z", "", name)
                 for panel in dashboard["panels"] for target in panel["targets"]
                 for name in re.findall(r"\b(?:velorin|process)_[a-z_]+", target["expr"])}
        self.assertGreater(len(asked), 10)
        with defauts.Velorin() as v:
            given = set(scrape(v).families)
        self.assertEqual(asked - given, set())


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--binary", required=True)
    options, rest = parser.parse_known_args()
    defauts.BINARY = options.binary
    unittest.main(argv=[sys.argv[0], "-v", *rest])


if __name__ == "__main__":
    main()
