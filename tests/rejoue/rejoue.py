#!/usr/bin/env python3
"""velorin-rejoue against the real program: journals written here by hand are replayed to
Velorin in its echo, PLC and mute modes; the exchanges reported as different, in text, in
JSON and in JUnit, and the exit status. Journals of several devices are joined here from
one-device ones, each event given its "device", and replayed to one Velorin per device."""

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
import xml.etree.ElementTree as ElementTree
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "python"))
import velorin  # noqa: E402  (the package of this tree)

VELORIN = REJOUE = None
DEADLINE = 60.0
P, P_REPLY = "\x1bP1\r", "\x1b10000000000000000a\r"
ALL_BYTES = "".join(map(chr, range(256)))


class Velorin:
    """One Velorin of the package, without its control API, known here by its address."""

    def __init__(self, mode, traced=False, keys=()):
        extra = dict(k.split("=", 1) for k in keys)
        self.velorin = velorin.Velorin(binary=VELORIN, start_timeout=DEADLINE,
                                       stop_timeout=DEADLINE, control=None, mode=mode,
                                       **({"trace": "ON"} if traced else {"log": "OFF"}),
                                       **{k.lower(): v for k, v in extra.items()})
        self.velorin.start()
        self.log = self.velorin.log_file
        self.port = self.velorin.port
        self.address = "127.0.0.1:%d" % self.port

    def stop(self):
        self.velorin.stop()


def on_device(device, text):
    """A one-device journal's lines, each event given its device."""
    return "".join(json.dumps({**json.loads(line), "device": device}) + "\n"
                   for line in text.splitlines() if line.strip())


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
        junit = os.path.join(self.dir.name, "one.xml")
        status, out, _ = self.rejoue(text, self.velorins["modeECHO"].address, "--junit", junit)
        case, = ElementTree.parse(junit).getroot()
        self.assertEqual((case.get("classname"), case.get("name")),
                         ("velorin-rejoue", "connexion 1, canal 2, ligne 1"))
        self.assertEqual(case.find("failure").get("message"), "ligne 2, canal 2 : la réponse diffère")
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


class PlusieursAppareils(unittest.TestCase):
    """Journals of several devices, each device's conversations against its own Velorin."""

    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.TemporaryDirectory()
        cls.echo = Velorin("modeECHO")
        cls.plc = Velorin("automateOMRON")
        # Both devices have their channel 1, interleaved as a machine's journal has them.
        cls.text = (on_device("plc", journal(("connect", 1), ("recv", 1, P), ("send", 1, P_REPLY)))
                    + on_device("laser", journal(("connect", 1), ("recv", 1, "A\r"), ("send", 1, "A\r"),
                                                 ("close", 1), ("recv", 1, "B"), ("send", 1, "B"))))
        cls.addresses = ["plc=" + cls.plc.address, "laser=" + cls.echo.address]

    @classmethod
    def tearDownClass(cls):
        cls.echo.stop()
        cls.plc.stop()
        cls.dir.cleanup()

    def path(self, name, text=None):
        path = os.path.join(self.dir.name, name)
        if text is not None:
            with open(path, "w", encoding="utf-8") as f:
                f.write(text)
        return path

    def rejoue(self, text, *arguments, name="machine.jsonl"):
        done = subprocess.run([REJOUE, self.path(name, text), *arguments], capture_output=True,
                              timeout=DEADLINE)
        return done.returncode, done.stdout.decode(), done.stderr.decode()

    def ready(self, content, name="ready.json"):
        return self.path(name, json.dumps(content))

    def test_each_device_against_its_address_passes(self):
        ready = self.ready({"port": self.plc.port, "devices": [
            {"name": "plc", "port": self.plc.port, "mode": "automateOMRON"},
            {"name": "laser", "port": self.echo.port, "mode": "modeECHO"}]})
        for form, arguments in (("name=host:port", self.addresses),
                                ("in any order", self.addresses[::-1]),
                                ("a ready file", ["--ready", ready])):
            with self.subTest(form):
                status, out, err = self.rejoue(self.text, *arguments)
                self.assertEqual(status, 0, out + err)
                self.assertEqual(out, "plc : 1 réponse comparée, aucune ne diffère\n"
                                      "laser : 2 réponses comparées, aucune ne diffère\n"
                                      "3 réponses comparées, aucune ne diffère\n")

        # A one-device journal goes to the ready file's port, whatever its devices.
        status, out, err = self.rejoue(journal(("recv", 1, "A"), ("send", 1, "A")), "--ready", ready)
        self.assertEqual(status, 1, out + err)   # the ready file's port is the PLC's
        status, out, err = self.rejoue(journal(("recv", 1, P), ("send", 1, P_REPLY)), "--ready", ready)
        self.assertEqual((status, out), (0, "1 réponse comparée, aucune ne diffère\n"), err)

        # A device that only connected has nothing to replay, and needs no address.
        idle = (on_device("laser", journal(("connect", 1), ("close", 1)))
                + on_device("plc", journal(("recv", 1, P), ("send", 1, P_REPLY))))
        status, out, err = self.rejoue(idle, self.addresses[0])
        self.assertEqual(status, 0, out + err)

    def test_a_difference_on_one_device_names_it(self):
        text = self.text.replace("0a\\r", "0b\\r")   # the PLC's recorded reply, altered
        self.assertNotEqual(text, self.text)
        junit = self.path("rapport.xml")
        status, out, err = self.rejoue(text, *self.addresses, "--junit", junit)
        self.assertEqual(status, 1, err)
        self.assertEqual(re.findall(r"^ligne \d+, appareil (\w+), canal 1 : la réponse diffère$", out,
                                    re.M), ["plc"])
        self.assertIn("plc : 1 réponse comparée, 1 diffère\n"
                      "laser : 2 réponses comparées, aucune ne diffère\n"
                      "3 réponses comparées, 1 diffère\n", out)

        status, out, err = self.rejoue(text, *self.addresses, "--json")
        self.assertEqual(status, 1, err)
        report = json.loads(out)
        self.assertEqual([(d["device"], d["line"], d["channel"]) for d in report["differences"]],
                         [("plc", 2, 1)])
        self.assertEqual(report["devices"], [{"name": "plc", "compared": 1, "differing": 1},
                                             {"name": "laser", "compared": 2, "differing": 0}])

        suite = ElementTree.parse(junit).getroot()
        self.assertEqual(suite.tag, "testsuite")
        self.assertEqual((suite.get("tests"), suite.get("failures"), suite.get("errors")),
                         ("3", "1", "0"))
        cases = suite.findall("testcase")
        self.assertEqual([c.get("name") for c in cases],
                         ["plc, connexion 1, canal 1, ligne 1", "laser, connexion 1, canal 1, ligne 4",
                          "laser, connexion 2, canal 1, ligne 8"])
        failure, = suite.iter("failure")
        self.assertEqual(failure.get("message"), "ligne 2, appareil plc, canal 1 : la réponse diffère")
        self.assertIn("enregistrée : Esc/10000000000000000bCr/\n", failure.text)
        self.assertIs(cases[0].find("failure"), failure)

    def test_journals_of_two_recording_runs_joined(self):
        """Two one-device Velorins record; their journals, each event given its device, are
        one machine's journal, replayed to two other Velorins."""
        recorded = {}
        for device, mode, request in (("plc", "automateOMRON", P.encode()),
                                      ("laser", "modeECHO", b"hello\r")):
            path = self.path(device + ".jsonl")
            velorin = Velorin(mode, keys=["JOURNAL=" + path])
            try:
                with socket.create_connection(("127.0.0.1", velorin.port), timeout=DEADLINE) as s:
                    s.sendall(request)
                    reply = b""
                    while not reply.endswith(b"\r"):
                        reply += s.recv(100)
            finally:
                velorin.stop()
            with open(path, encoding="utf-8") as f:
                recorded[device] = on_device(device, f.read())
        status, out, err = self.rejoue(recorded["plc"] + recorded["laser"], *self.addresses, "--json")
        self.assertEqual(status, 0, out + err)
        self.assertEqual(json.loads(out)["devices"], [{"name": "plc", "compared": 1, "differing": 0},
                                                      {"name": "laser", "compared": 1, "differing": 0}])

    def test_what_cannot_be_replayed(self):
        with socket.socket() as closed:
            closed.bind(("127.0.0.1", 0))
            refused = closed.getsockname()[1]
            one_device = journal(("recv", 1, "A"), ("send", 1, "A"))
            plc_only = ["plc=" + self.plc.address]
            cases = [
                # (name, journal, arguments, code, what stderr names)
                ("a device without an address", self.text, plc_only, "usage",
                 "aucune adresse pour l'appareil laser du journal (laser=HOTE:PORT)"),
                ("one address for several devices", self.text, [self.echo.address], "usage",
                 "le journal nomme ses appareils (plc, laser) : une adresse NOM=HOTE:PORT"),
                ("names for a one-device journal", one_device, plc_only, "usage",
                 "le journal est d'un seul appareil"),
                ("a ready file without the device", self.text,
                 ["--ready", self.ready({"port": self.plc.port,
                                         "devices": [{"name": "plc", "port": self.plc.port}]},
                                        "plc-only.json")],
                 "usage", "l'appareil laser du journal n'est pas dans \"devices\" du fichier prêt"),
                ("a ready file of an older Velorin", self.text,
                 ["--ready", self.ready({"port": self.plc.port}, "older.json")], "usage",
                 "l'appareil plc du journal n'est pas dans \"devices\""),
                ("no ready file", self.text, ["--ready", self.path("absent.json")], "ready",
                 "impossible de lire le fichier prêt"),
                ("a ready file that is not one", self.text, ["--ready", self.path("bad.json", "[")],
                 "ready", "un objet JSON est attendu"),
                ("a ready file with a wrong port", one_device,
                 ["--ready", self.ready({"port": 70000}, "wrong-port.json")], "ready", "\"port\" doit être un port"),
                ("some events naming no device", self.text + one_device, self.addresses, "journal",
                 "ligne 10 : canal 1 sans \"device\""),
                ("a device unreachable", self.text, ["plc=127.0.0.1:%d" % refused, self.addresses[1]],
                 "unreachable", "appareil plc injoignable à 127.0.0.1:%d (ligne 2)" % refused),
            ]
            for name, text, arguments, code, why in cases:
                with self.subTest(name):
                    status, out, err = self.rejoue(text, *arguments, "--json")
                    self.assertEqual(status, 2, out + err)
                    self.assertIn(why, err)
                    self.assertEqual(json.loads(out)["code"], code)

    def test_junit_when_nothing_could_be_compared(self):
        """A dashboard must see the run broken, with why, not an earlier run's results: the
        file is written over, with one <error>. Whatever the names hold, the XML is sound."""
        junit = self.path("rapport.xml", "<testsuite tests=\"9\"/>")
        name = "j<&\"'\x01>.jsonl"
        for arguments, code in ((["127.0.0.1"], "usage"), ([self.echo.address], "empty")):
            with self.subTest(code):
                status, _, err = self.rejoue("", *arguments, "--junit", junit, name=name)
                self.assertEqual(status, 2, err)
                suite = ElementTree.parse(junit).getroot()
                self.assertEqual((suite.get("tests"), suite.get("failures"), suite.get("errors")),
                                 ("1", "0", "1"))
                error, = suite.iter("error")
                self.assertEqual(error.get("type"), code)
                self.assertIn(error.get("message").replace("Soh/", "\x01"), err)
                self.assertEqual(error.text, error.get("message"))
        self.assertEqual(suite.get("name"), os.path.join(self.dir.name, "j<&\"'Soh/>.jsonl"))

        status, _, err = self.rejoue(self.text, *self.addresses, "--junit",
                                     self.path("absent/rapport.xml"))
        self.assertEqual(status, 2)
        self.assertIn("--junit : impossible d'écrire", err)


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--velorin", required=True)
    parser.add_argument("--rejoue", required=True)
    args, rest = parser.parse_known_args()
    VELORIN, REJOUE = args.velorin, args.rejoue
    unittest.main(argv=[sys.argv[0], *rest])
