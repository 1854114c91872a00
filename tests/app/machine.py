#!/usr/bin/env python3
"""MACHINE=: several devices served by one real process, over loopback. Each device answers on
its own port with its own state; one clock moves them all; the log, the traffic journal and the
ready file name each device; a wrong file, or a one-device key beside it, ends start-up with
status 1 naming what is wrong, before anything listens.
"""

import argparse
import json
import os
import socket
import sys
import tempfile
import time
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "python"))
import velorin  # noqa: E402  (the package of this tree)

BINARY = None
SOURCES = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
EXAMPLE = os.path.join(SOURCES, "examples", "machine.json")
DEADLINE = 60.0
PLC_V, PLC_P = b"\x1bV1\r", b"\x1bP1\r"
PLC_D = b"\x1bD100001200000003000\r"        # X to 12000, Z to 3000
LASER_V = b"\x1bV179\r"


class Velorin(velorin.Velorin):
    """The package's Velorin, with no PORTIP= (a machine refuses it) and a traffic journal; the
    control API called as this file's tests call it: the status each call must answer."""

    def __init__(self, *keys, **options):
        self.folder = tempfile.TemporaryDirectory()
        self.journal = os.path.join(self.folder.name, "journal.jsonl")
        chosen = {"portip": None, "journal": self.journal}
        chosen.update(key.split("=", 1) for key in keys)
        chosen.update(options)
        super().__init__(binary=BINARY, start_timeout=DEADLINE, stop_timeout=DEADLINE, **chosen)

    def __exit__(self, *exception):
        try:
            super().__exit__(*exception)
        finally:
            self.folder.cleanup()

    @property
    def ports(self):
        return self.devices

    def api(self, method, path, body=None, status=200):
        try:
            code, answer = 200, self._api.request(method, path, body, timeout=DEADLINE)
        except velorin.VelorinError as error:
            if error.status is None:
                raise
            code, answer = error.status, error.body
        assert code == status, (path, body, code, answer)
        return answer

    def client(self, name):
        s = socket.create_connection(("127.0.0.1", self.ports[name]), timeout=DEADLINE)
        s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        return s

    def wait_for(self, path, condition):
        end = time.monotonic() + DEADLINE
        while True:
            with open(path, encoding="utf-8", errors="replace") as f:
                text = f.read()
            if condition(text):
                return text
            assert time.monotonic() < end, (path, text[-2000:])
            time.sleep(0.05)


def exchange(s, request):
    s.sendall(request)
    reply = b""
    while not reply.endswith(b"\r"):
        chunk = s.recv(4096)
        assert chunk, ("closed", request, reply)
        reply += chunk
    return reply


def start_failure(*keys, files=None):
    """Runs velorin, in a folder of its own, to its end; its status, its stderr and whether its
    ready file was written. `files`: name -> text, made first."""
    with tempfile.TemporaryDirectory() as folder:
        for name, text in (files or {}).items():
            with open(os.path.join(folder, name), "w") as f:
                f.write(text)
        v = Velorin(*keys, journal=None, log="off",
                    preexec_fn=lambda: os.chdir(folder))
        try:
            v.start()
        except velorin.StartError as ended:
            return ended.exit_status, ended.stderr, os.path.exists(v.ready_file)
        finally:
            v.stop()
            v.folder.cleanup()
        raise AssertionError(f"velorin started with {keys}")


class Machine(unittest.TestCase):
    def test_every_device_serves_with_its_own_state_on_one_clock(self):
        with Velorin("machine=" + EXAMPLE) as v:
            self.assertEqual([d["name"] for d in v.ready["devices"]], ["plc", "laser"])
            self.assertEqual([d["mode"] for d in v.ready["devices"]],
                             ["automateOMRON", "moduleLASERS"])
            self.assertEqual(v.ready["port"], v.ports["plc"])
            self.assertNotEqual(v.ports["plc"], v.ports["laser"])
            self.assertEqual(v.api("GET", "/health")["devices"], ["plc", "laser"])
            listed = v.api("GET", "/devices")["devices"]
            self.assertEqual([(d["name"], d["port"]) for d in listed],
                             [("plc", v.ports["plc"]), ("laser", v.ports["laser"])])

            plc = v.api("GET", "/devices/plc/state")
            laser = v.api("GET", "/devices/laser/state")
            self.assertEqual((plc["Cmb_Simulate"], laser["Cmb_Simulate"]),
                             ("automateOMRON", "moduleLASERS"))
            self.assertEqual(v.api("GET", "/state"), plc, "the flat routes are the first device's")
            v.api("PATCH", "/devices/laser/state", {"Txt_ValeurLu": "0777"})
            self.assertEqual(v.api("GET", "/devices/laser/state")["Txt_ValeurLu"], "0777")
            self.assertEqual(v.api("GET", "/devices/plc/state")["Txt_ValeurLu"], "500")
            unknown = v.api("GET", "/devices/nobody/state", status=404)
            self.assertEqual(unknown["code"], "unknown_device")

            v.api("PATCH", "/devices/plc/state", {"Chk_HOMING_X_ok": True, "Chk_HOMING_Z_ok": True})
            with v.client("plc") as p, v.client("laser") as l:
                self.assertEqual(exchange(p, PLC_V), b"\x1b1version Velorin\r")
                self.assertEqual(exchange(l, LASER_V)[:34], b"/1version Simulation module Lasers")
                self.assertEqual(exchange(p, PLC_D), b"\x1b1Ok\r")
                # The stepped clock: nothing moves until asked, then every device at once.
                self.assertEqual(v.api("GET", "/devices/plc/state")["Lbl_PosRelleX"], "0")
                after = v.api("POST", "/clock/advance", {"ms": 300})
                self.assertEqual(after["ticks_run"], 3)
                moved = v.api("GET", "/devices/plc/state")["Lbl_PosRelleX"]
                self.assertNotEqual(moved, "0")
                self.assertEqual(exchange(l, LASER_V)[:34], b"/1version Simulation module Lasers")
                self.assertEqual(v.api("GET", "/devices/laser/state")["Lbl_PosRelleX"], "0")
                v.api("POST", "/clock/advance", {"until": "arrived", "max_ms": 60000})
                self.assertEqual(exchange(p, PLC_P), b"\x1b10001200000003000a\r")
                self.assertEqual(v.api("GET", "/devices")["devices"][1]["clients"], 1)

            # A rule's device time is the one clock's, whichever device holds the rule.
            v.api("POST", "/devices/laser/faults",
                  {"match": {"command": "V"}, "action": {"type": "drop"}, "after_ms": 500})
            self.assertFalse(v.api("GET", "/devices/laser/faults")["faults"][0]["armed"])
            self.assertEqual(v.api("GET", "/faults")["faults"], [])
            v.api("POST", "/clock/advance", {"ms": 500})
            self.assertTrue(v.api("GET", "/devices/laser/faults")["faults"][0]["armed"])
            # A reset puts a device back as the file describes it: the laser stays a laser.
            v.api("POST", "/devices/laser/reset")
            self.assertEqual(v.api("GET", "/devices/laser/state")["Cmb_Simulate"], "moduleLASERS")

            # Each device's own log, and the process's with each line headed by its name.
            self.assertTrue(any("ouvre" in line for line in v.api("GET", "/devices/laser/log")["lines"]))
            text = v.wait_for(v.log_file, lambda t: "[laser] " in t and "[plc] " in t)
            self.assertIn("[plc] en attente de communication ...", text)
            # The journal is written in order: once this last change is in, all before it is.
            v.api("PATCH", "/devices/laser/state", {"Txt_ValeurLu": "0888"})
            written = v.wait_for(v.journal, lambda t: "0888" in t)
            events = [json.loads(line) for line in written.split("\n")[:-1]]   # whole lines
            received = {e["device"] for e in events if e["event"] == "recv"}
            self.assertEqual(received, {"plc", "laser"})
            listens = {e["device"]: e["peer"] for e in events if e["event"] == "listen"}
            self.assertEqual(listens["laser"].rsplit(":", 1)[1], str(v.ports["laser"]))
            self.assertTrue(all("device" not in e for e in events if e["event"] == "clock"))
            controls = [(e.get("device"), e["data"].split(" ")[1]) for e in events
                        if e["event"] == "control"]
            self.assertIn(("laser", "/devices/laser/state"), controls)
            self.assertIn((None, "/clock/advance"), controls)

    def test_count_makes_numbered_devices_each_with_its_settings(self):
        with tempfile.TemporaryDirectory() as folder:
            path = os.path.join(folder, "m.json")
            with open(path, "w") as f:
                json.dump({"clock": "step", "devices": [{"name": "p", "count": 3, "state": {"Txt_ValeurLu": "42"},
                                        "faults": [{"match": {"command": "V"},
                                                    "action": {"type": "drop"}}]}]}, f)
            with Velorin("machine=" + path) as v:
                self.assertEqual(list(v.ports), ["p-1", "p-2", "p-3"])
                self.assertEqual(len(set(v.ports.values())), 3)
                for name in v.ports:
                    self.assertEqual(v.api("GET", f"/devices/{name}/state")["Txt_ValeurLu"], "42")
                    self.assertEqual(len(v.api("GET", f"/devices/{name}/faults")["faults"]), 1)
                v.api("DELETE", "/devices/p-2/faults")
                self.assertEqual(v.api("GET", "/devices/p-2/faults")["faults"], [])
                self.assertEqual(len(v.api("GET", "/devices/p-3/faults")["faults"]), 1)
                with v.client("p-2") as s:
                    self.assertEqual(exchange(s, PLC_V), b"\x1b1version Velorin\r")
                # "until arrived" waits for every device's axes, not only the first one's.
                for name in v.ports:
                    v.api("PATCH", f"/devices/{name}/state",
                          {"Chk_HOMING_X_ok": True, "Chk_HOMING_Z_ok": True})
                with v.client("p-1") as near, v.client("p-3") as far:
                    self.assertEqual(exchange(near, PLC_D), b"\x1b1Ok\r")          # 6 ticks
                    self.assertEqual(exchange(far, b"\x1bD100002000000003000\r"), b"\x1b1Ok\r")
                    after = v.api("POST", "/clock/advance", {"until": "arrived", "max_ms": 60000})
                    self.assertTrue(after["arrived"])
                    self.assertEqual(after["ticks_run"], 10)
                    self.assertEqual(exchange(far, PLC_P), b"\x1b10002000000003000a\r")

    def test_a_wrong_file_or_a_one_device_key_ends_start_up_naming_it(self):
        good = json.dumps({"devices": [{"name": "a"}]})
        cases = [
            ("bad port", ["machine=m.json"],
             {"m.json": json.dumps({"devices": [{"name": "a"}, {"name": "b"}, {"name": "c"},
                                                {"name": "d", "port": 70000}]})},
             'fichier MACHINE invalide "m.json" : devices[3].port'),
            ("bad state", ["machine=m.json"],
             {"m.json": json.dumps({"devices": [{"name": "a", "state": {"Nope": 1}}]})},
             "devices[0].state.Nope"),
            ("bad bind", ["machine=m.json"],
             {"m.json": json.dumps({"devices": [{"name": "a", "bind": "nowhere"}]})},
             "devices[0].bind"),
            ("no file", ["machine=absent.json"], {}, 'fichier MACHINE "absent.json"'),
            ("portip beside", ["machine=m.json", "portip=0"], {"m.json": good},
             "PORTIP= ne va pas avec MACHINE="),
            ("scenario beside", ["machine=m.json", "scenario=s.json"], {"m.json": good},
             "SCENARIO= ne va pas avec MACHINE="),
        ]
        for name, keys, files, said in cases:
            with self.subTest(name):
                status, stderr, ready = start_failure(*keys, files=files)
                self.assertEqual(status, 1, stderr)
                self.assertIn(said, stderr)
                self.assertFalse(ready)

    def test_a_device_that_cannot_listen_is_named(self):
        with socket.socket() as taken:
            taken.bind(("0.0.0.0", 0))
            taken.listen()
            port = taken.getsockname()[1]
            status, stderr, ready = start_failure("machine=m.json", files={"m.json": json.dumps(
                {"devices": [{"name": "first"}, {"name": "second", "port": port}]})})
        self.assertEqual(status, 1, stderr)
        self.assertIn("[second] ", stderr)
        self.assertIn(f"impossible d'ouvrir le port PORTIP {port}", stderr)
        self.assertFalse(ready)

    def test_a_single_device_is_named_default(self):
        with Velorin("portip=0", journal=None, log="off") as v:
            self.assertEqual(v.ready["devices"], [{"name": "default", "port": v.port,
                                                   "mode": "automateOMRON"}])
            self.assertEqual(v.device("default").get("/state")["PortIP"], v.port)


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--binary", required=True)
    arguments, rest = parser.parse_known_args()
    BINARY = os.path.abspath(arguments.binary)
    unittest.main(argv=[sys.argv[0], *rest])
