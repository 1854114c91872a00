#!/usr/bin/env python3
"""velorin-rejoue against the real program: journals written here by hand are replayed to
Velorin in its echo, PLC and mute modes; the exchanges reported as different, in text and in
JSON, and the exit status."""

import argparse
import json
import os
import re
import resource
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "python"))
import velorin  # noqa: E402  (the package of this tree)

VELORIN = REJOUE = None
DEADLINE = 60.0
P, P_REPLY = "\x1bP1\r", "\x1b10000000000000000a\r"
ALL_BYTES = "".join(map(chr, range(256)))


class Velorin:
    """One Velorin of the package, without its control API, known here by its address."""

    def __init__(self, mode, traced=False):
        self.velorin = velorin.Velorin(binary=VELORIN, start_timeout=DEADLINE,
                                       stop_timeout=DEADLINE, control=None, mode=mode,
                                       **({"trace": "ON"} if traced else {"log": "OFF"}))
        self.velorin.start()
        self.log = self.velorin.log_file
        self.address = "127.0.0.1:%d" % self.velorin.port

    def stop(self):
        self.velorin.stop()


def journal(*events):
    """Lines of a journal: each event is (kind, channel, data) or (kind, channel), one
    millisecond apart unless it carries its own mono_us as a fourth field."""
    lines = []
    for n, e in enumerate(events):
        line = {"t": "2026-12-09T03:20:00.%06dZ" % n, "mono_us": e[3] if len(e) > 3 else 1000 * n,
                "event": e[0], "channel": e[1]}
        if len(e) > 2:
            line.update(data=e[2], len=len(e[2]))
        lines.append(json.dumps(line))
    return "\n".join(lines) + "\n"


class Rejeu(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.TemporaryDirectory()
        cls.velorins = {}
        for mode in ("modeECHO", "automateOMRON", "modeMUET"):
            cls.velorins[mode] = Velorin(mode)
        cls.traced = cls.velorins["trace"] = Velorin("modeECHO", traced=True)

    @classmethod
    def tearDownClass(cls):
        for v in cls.velorins.values():
            v.stop()
        cls.dir.cleanup()

    def rejoue(self, text, address, *options):
        path = os.path.join(self.dir.name, "journal.jsonl")
        with open(path, "w", encoding="utf-8") as f:
            f.write(text)
        done = subprocess.run([REJOUE, *options, path, address], capture_output=True, timeout=DEADLINE)
        return done.returncode, done.stdout.decode(), done.stderr.decode()

    def test_replies_compared(self):
        echo, plc, mute = "modeECHO", "automateOMRON", "modeMUET"
        cases = [
            # (name, mode, journal, journal lines whose reply differs, exchanges compared)
            ("echo, every byte value", echo, journal(
                ("connect", 1), ("recv", 1, "A\r"), ("send", 1, "A\r"),
                ("recv", 1, ALL_BYTES), ("send", 1, ALL_BYTES), ("close", 1)), [], 2),
            ("one recorded reply altered", echo, journal(
                ("connect", 1), ("recv", 1, "A"), ("send", 1, "A"), ("recv", 1, "B"),
                ("send", 1, "b"), ("recv", 1, "C"), ("send", 1, "C")), [4], 3),
            ("a reply recorded in pieces", echo, journal(
                ("recv", 1, "ABCD"), ("send", 1, "AB"), ("fault", 1), ("send", 1, "CD")), [], 1),
            ("interleaved channels and a channel used again", echo, journal(
                ("connect", 1), ("connect", 2), ("recv", 2, "X"), ("recv", 1, "Y"), ("send", 1, "Y"),
                ("send", 2, "X"), ("close", 1), ("connect", 1), ("recv", 1, "Z"), ("send", 1, "Z"),
                ("recv", 2, "W"), ("send", 2, "W")), [], 4),
            ("no reply recorded, one came", echo, journal(("recv", 1, "A"), ("recv", 1, "B"),
                                                          ("send", 1, "B")), [1], 2),
            ("a shorter reply than recorded", echo, journal(("recv", 1, "A"), ("send", 1, "AB")), [1], 1),
            ("a greeting that never comes", echo, journal(("send", 1, "bonjour"), ("recv", 1, "A"),
                                                          ("send", 1, "A")), [1], 2),
            ("the PLC's positions", plc, journal(("recv", 1, P), ("send", 1, P_REPLY)), [], 1),
            ("the PLC elsewhere", plc, journal(("recv", 1, P), ("send", 1, P_REPLY.replace("a", "b"))),
             [1], 1),
            ("mute mode, no reply recorded", mute, journal(("recv", 3, P), ("recv", 3, "x")), [], 2),
        ]
        for name, mode, text, differing, compared in cases:
            with self.subTest(name):
                address = self.velorins[mode].address
                status, out, err = self.rejoue(text, address, "--json", "--timeout-ms", "500")
                self.assertEqual(status, 1 if differing else 0, err)
                report = json.loads(out)
                self.assertEqual(report["compared"], compared)
                self.assertEqual([d["line"] for d in report["differences"]], differing)

                status, out, err = self.rejoue(text, address, "--timeout-ms", "500")
                self.assertEqual(status, 1 if differing else 0, err)
                self.assertEqual(re.findall(r"^ligne (\d+), canal \d+ :", out, re.M),
                                 [str(n) for n in differing])
                self.assertRegex(out.splitlines()[-1], r"^%d réponses? comparées?, " % compared)

    def test_a_difference_in_full(self):
        text = journal(("connect", 2), ("recv", 2, "\x1bP1\r"), ("send", 2, "\x1bP1\r\xe9"))
        status, out, _ = self.rejoue(text, self.velorins["modeECHO"].address, "--json")
        self.assertEqual(status, 1)
        self.assertEqual(json.loads(out)["differences"], [{
            "line": 2, "channel": 2,
            "request": "Esc/P1Cr/", "expected": "Esc/P1Cr/&233&", "received": "Esc/P1Cr/",
            "request_bytes": "\x1bP1\r", "expected_bytes": "\x1bP1\r\xe9", "received_bytes": "\x1bP1\r"}])
        status, out, _ = self.rejoue(text, self.velorins["modeECHO"].address)
        self.assertEqual(out, "ligne 2, canal 2 : la réponse diffère\n"
                              "  requête     : Esc/P1Cr/\n"
                              "  enregistrée : Esc/P1Cr/&233&\n"
                              "  reçue       : Esc/P1Cr/\n"
                              "\n"
                              "1 réponse comparée, 1 diffère\n")

    def test_a_recording_stopped_short(self):
        """A last line cut by a full disk or a killed writer is left out, said, and the rest
        compared; Velorin's own notice is said apart, never compared."""
        notice = json.dumps({"t": "x", "mono_us": 3, "event": "send", "origin": "velorin", "channel": 1,
                             "data": "ARRET du serveur en cours", "len": 25})
        text = journal(("recv", 1, "A"), ("send", 1, "A")) + notice + "\n" + '{"t":"x","mono_us":4,"ev'
        status, out, err = self.rejoue(text, self.velorins["modeECHO"].address)
        self.assertEqual(status, 0, out + err)
        self.assertIn("ligne 4 coupée avant sa fin, ignorée", err)
        self.assertEqual(out, "canal 1 : avis de Velorin, non comparé : ARRET du serveur en cours\n"
                              "1 réponse comparée, aucune ne diffère\n")

    def test_order_and_connections_as_recorded(self):
        text = journal(("connect", 1), ("connect", 2), ("recv", 2, "X"), ("recv", 1, "Y"),
                       ("send", 1, "Y"), ("send", 2, "X"), ("close", 1), ("connect", 1),
                       ("recv", 1, "Z"), ("send", 1, "Z"), ("recv", 2, "W"), ("send", 2, "W"))
        status, _, err = self.rejoue(text, self.traced.address)
        self.assertEqual(status, 0, err)
        end = time.monotonic() + DEADLINE
        while True:   # the log reaches its file a little after the replies
            with open(self.traced.log, encoding="utf-8") as f:
                log = f.read()
            received = re.findall(r"^<(\d+) \(.*?\) (.*)$", log, re.M)
            if len(received) >= 4 or time.monotonic() > end:
                break
            time.sleep(0.05)
        self.assertEqual([t for _, t in received], ["X", "Y", "Z", "W"])
        self.assertEqual(received[0][0], received[3][0], "X and W on one connection")
        self.assertEqual(log.count("port connecté sur canal"), 3)

    def test_recorded_timing_keeps_the_gaps(self):
        text = journal(("recv", 1, "A", 0), ("send", 1, "A", 10), ("recv", 1, "B", 700000),
                       ("send", 1, "B", 700010))
        start = time.monotonic()
        status, _, err = self.rejoue(text, self.velorins["modeECHO"].address, "--timing", "recorded")
        self.assertEqual(status, 0, err)
        self.assertGreaterEqual(time.monotonic() - start, 0.7)

    def test_nothing_compared(self):
        with socket.socket() as closed:
            closed.bind(("127.0.0.1", 0))   # bound, never listening: connections are refused
            refused = "127.0.0.1:%d" % closed.getsockname()[1]
            good = journal(("recv", 1, "A"), ("send", 1, "A"))
            echo = self.velorins["modeECHO"].address
            cases = [
                # (journal, address, options, what stderr names)
                (good + '{"t":"x","mono_us":1}\n', echo, [], "ligne 3 : \"event\" manque"),
                (good + "\n\n{\n", echo, [], "ligne 5 : JSON invalide"),
                (journal(("recv", 1, "\u0100")), echo, [], "ligne 1 : \"data\" contient"),
                (good, refused, [], "injoignable"),
                (good, echo, ["--timeout-ms", "-1"], "--timeout-ms"),
                (good, "127.0.0.1", [], "adresse invalide"),
                # A cut or empty recording is no proof that the device answers as recorded.
                ("", echo, [], "aucun échange à rejouer"),
                (journal(("listen", 0), ("log", 0, "x")), echo, [], "aucun échange à rejouer"),
            ]
            codes = {"injoignable": "unreachable", "--timeout-ms": "usage",
                     "adresse invalide": "usage", "aucun échange à rejouer": "empty"}
            for text, address, options, why in cases:
                with self.subTest(why):
                    status, out, err = self.rejoue(text, address, *options)
                    self.assertEqual(status, 2)
                    self.assertIn(why, err)
                    self.assertEqual(out, "")
                # A program that asked for JSON gets a document on every status.
                with self.subTest(why, json=True):
                    status, out, json_err = self.rejoue(text, address, *options, "--json")
                    self.assertEqual(status, 2)
                    self.assertEqual(json_err, err)
                    report = json.loads(out)
                    self.assertEqual(report["status"], 2)
                    self.assertEqual(report["code"], codes.get(why, "journal"))
                    self.assertIn(why, report["error"])
                    self.assertIn(report["error"], err)

    def test_json_before_or_after_a_wrong_argument(self):
        for arguments in (["--json", "--timing", "late"], ["--timing", "late", "--json"]):
            with self.subTest(arguments=arguments):
                done = subprocess.run([REJOUE, *arguments, "j.jsonl", "127.0.0.1:1"],
                                      capture_output=True, timeout=DEADLINE)
                self.assertEqual(done.returncode, 2)
                self.assertEqual(json.loads(done.stdout),
                                 {"status": 2, "code": "usage",
                                  "error": "--timing attend recorded"})

    def test_a_device_that_streams_is_a_difference_read_within_bounds(self):
        """A device that never stops sending: what is read of each reply stops 64 KiB past the
        recorded length, and the reply differs."""
        listener = socket.socket()
        listener.bind(("127.0.0.1", 0))
        listener.listen(4)
        halt = threading.Event()

        def stream():
            conn, _ = listener.accept()
            conn.settimeout(0.2)
            block = b"z" * 65536
            while not halt.is_set():
                try:
                    conn.send(block)
                except socket.timeout:
                    continue
                except OSError:
                    break
            conn.close()

        streamer = threading.Thread(target=stream, daemon=True)
        streamer.start()
        try:
            address = "127.0.0.1:%d" % listener.getsockname()[1]
            text = journal(("recv", 1, "A"), ("send", 1, "AB"))
            status, out, err = self.rejoue(text, address, "--json", "--timeout-ms", "1000")
            self.assertEqual(status, 1, err)
            difference, = json.loads(out)["differences"]
            # Whatever had come when reading stopped, never more than the bound.
            self.assertGreater(len(difference["received_bytes"]), 2)
            self.assertLessEqual(len(difference["received_bytes"]), 2 + 65536)
            if "received_cut" in difference:
                self.assertIs(difference["received_cut"], True)
        finally:
            halt.set()
            streamer.join(DEADLINE)
            listener.close()

    def test_extreme_recorded_times(self):
        echo = self.velorins["modeECHO"].address
        cases = [
            # (name, mono_us of the four events, status, what stderr names)
            ("negative times are refused", (-9 * 10**18, -9 * 10**18, 9 * 10**18, 9 * 10**18), 2,
             "ligne 1 : mono_us négatif"),
            ("time going back is no wait", (9 * 10**18, 9 * 10**18, 0, 10), 0, ""),
        ]
        for name, times, expected, why in cases:
            with self.subTest(name):
                text = journal(("recv", 1, "A", times[0]), ("send", 1, "A", times[1]),
                               ("recv", 1, "B", times[2]), ("send", 1, "B", times[3]))
                status, out, err = self.rejoue(text, echo, "--timing", "recorded", "--json")
                self.assertEqual(status, expected, err)
                self.assertIn(why, err)
                if expected == 2:
                    self.assertEqual(json.loads(out)["code"], "timing")

    def test_out_of_descriptors_says_so(self):
        # Forty connections open at once (each has a second exchange to come), with room in
        # the process for about twenty.
        channels = range(1, 41)
        rounds = [event for c in channels for event in (("recv", c, "x"), ("send", c, "x"))]
        text = journal(*rounds, *rounds)
        path = os.path.join(self.dir.name, "many.jsonl")
        with open(path, "w", encoding="utf-8") as f:
            f.write(text)

        def few_descriptors():
            resource.setrlimit(resource.RLIMIT_NOFILE, (32, 32))

        done = subprocess.run([REJOUE, "--json", "--timeout-ms", "200", path,
                               self.velorins["modeECHO"].address],
                              capture_output=True, timeout=DEADLINE, preexec_fn=few_descriptors)
        err = done.stderr.decode()
        self.assertEqual(done.returncode, 2, err)
        self.assertIn("plus de descripteur de fichier libre", err)
        self.assertNotIn("Out of resources", err)
        self.assertEqual(json.loads(done.stdout)["code"], "descriptors")


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--velorin", required=True)
    parser.add_argument("--rejoue", required=True)
    args, rest = parser.parse_known_args()
    VELORIN, REJOUE = args.velorin, args.rejoue
    unittest.main(argv=[sys.argv[0], *rest])
