#!/usr/bin/env python3
"""The members of a machine file, each seen at work in a running machine: a device that relays
to another address, one that answers from a recorded journal (and one that lets the simulation
answer what the journal lacks), homing by itself, requests gathered up to CR or taken whole, a
device on one address; for the process, the seed of the fault rules' draws, the journal's bound
and the control API's address. And the limit on open files, raised at start.
"""

import argparse
import json
import os
import resource
import socket
import sys
import tempfile
import threading
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import machine  # noqa: E402  (its Velorin: no PORTIP=, a traffic journal, a strict api())
from machine import DEADLINE, PLC_P, PLC_V, exchange  # noqa: E402

PLC_P_REPLY, PLC_V_REPLY = b"\x1b10000000000000000a\r", b"\x1b1version Velorin\r"
RECORDED = b"\x1b1version Enregistree\r"
UPSTREAM = b"\x1b1version Amont\r"
SR_X_REQUEST, SR_X = b"\x1bSR05014\r", b"\x1bSR0000\r"   # X homing not done
TOKEN = "jeton-des-membres"


class Upstream:
    """A device of its own on 127.0.0.1: it answers UPSTREAM to every request ending at CR, and
    keeps what it received."""

    def __init__(self):
        self.listener = socket.create_server(("127.0.0.1", 0))
        self.listener.settimeout(DEADLINE)
        self.port = self.listener.getsockname()[1]
        self.received = []
        self.thread = threading.Thread(target=self._serve, daemon=True)
        self.thread.start()

    def _serve(self):
        try:
            connection, _ = self.listener.accept()
        except OSError:
            return
        with connection:
            connection.settimeout(DEADLINE)
            pending = b""
            while True:
                try:
                    chunk = connection.recv(4096)
                except OSError:
                    return
                if not chunk:
                    return
                pending += chunk
                while b"\r" in pending:
                    request, pending = pending.split(b"\r", 1)
                    self.received.append(request + b"\r")
                    connection.sendall(UPSTREAM)

    def close(self):
        self.listener.close()
        self.thread.join(DEADLINE)


def recorded_journal(path):
    """A journal of one session, as a run with JOURNAL= writes it: V asked, RECORDED answered."""
    events = [("connect", None), ("recv", PLC_V), ("send", RECORDED), ("close", None)]
    with open(path, "w") as f:
        for number, (event, data) in enumerate(events, 1):
            line = {"t": "2026-12-09T03:34:10.%06dZ" % number, "mono_us": number,
                    "event": event, "channel": 1, "peer": "127.0.0.1:33080"}
            if data is not None:
                line.update(data=data.decode("latin-1"), len=len(data))
            f.write(json.dumps(line) + "\n")


def listening_address(pid, port):
    """The address a process's socket listens on at that port, from /proc: "127.0.0.1",
    "0.0.0.0", or None."""
    for table in ("tcp", "tcp6"):
        with open(f"/proc/{pid}/net/{table}") as f:
            for row in f.read().splitlines()[1:]:
                local, state = row.split()[1], row.split()[3]
                address, listened = local.split(":")
                if state == "0A" and int(listened, 16) == port:
                    if len(address) == 8:
                        return socket.inet_ntoa(bytes.fromhex(address)[::-1])
                    return "[v6]" + address
    return None


def until(condition, what):
    end = time.monotonic() + DEADLINE
    while True:
        found = condition()
        if found:
            return found
        assert time.monotonic() < end, what
        time.sleep(0.02)


def replies_until(s, last, request):
    """Every reply read, up to and including `last`, after sending `request`; read a byte at a
    time, so that nothing after `last` is taken from the socket."""
    if request:
        s.sendall(request)
    replies = []
    while not replies or replies[-1] != last:
        reply = b""
        while not reply.endswith(b"\r"):
            byte = s.recv(1)
            assert byte, ("closed", replies, reply)
            reply += byte
        replies.append(reply)
        assert len(replies) < 10, replies
    return replies


def draws(path, seed):
    """The pattern the `hasard` device's probable rule gives to 16 V requests, in a run of its
    own with that seed in the file."""
    with open(path, "w") as f:
        json.dump({"seed": seed, "devices": [HASARD]}, f)
    with machine.Velorin("machine=" + path, journal=None, log="off") as v, v.client("hasard") as s:
        return "".join("r" if exchange(s, PLC_V) == PLC_V_REPLY else "p" for _ in range(16))


HASARD = {"name": "hasard", "faults": [
    {"match": {"command": "V", "probability": 0.5},
     "action": {"type": "reply", "bytes": "Esc/1pileCr/"}}]}


class Members(unittest.TestCase):
    def test_each_member_takes_effect_in_a_running_machine(self):
        with tempfile.TemporaryDirectory() as folder:
            upstream = Upstream()
            self.addCleanup(upstream.close)
            playback = os.path.join(folder, "rejeu.jsonl")
            recorded_journal(playback)
            path = os.path.join(folder, "m.json")
            with open(path, "w") as f:
                json.dump({"clock": "step", "journal_max": 4096,
                           "control_bind": "0.0.0.0", "devices": [
                               {"name": "relais", "proxy": f"127.0.0.1:{upstream.port}"},
                               {"name": "rejeu", "playback": playback, "playback_fallback": "SIM"},
                               # Up to each CR: P and V sent one after the other never
                               # join into one request the journal lacks.
                               {"name": "rejeu-muet", "playback": playback, "framing": "CR"},
                               {"name": "origine", "auto_homing": {"delay_ms": 300}},
                               {"name": "entier", "framing": "NONE"},
                               {"name": "coupe", "framing": "CR"},
                               {"name": "boucle", "bind": "127.0.0.1"}]}, f)
            with machine.Velorin("machine=" + path, control_token=TOKEN) as v:
                self.check_devices(v, upstream)
                self.check_process(v)

    def check_devices(self, v, upstream):
        with self.subTest("proxy"), v.client("relais") as s:
            self.assertEqual(exchange(s, PLC_V), UPSTREAM)
            self.assertEqual(upstream.received, [PLC_V])

        with self.subTest("playback with the simulation behind"), v.client("rejeu") as s:
            self.assertEqual(exchange(s, PLC_V), RECORDED)
            self.assertEqual(exchange(s, PLC_P), PLC_P_REPLY, "never recorded: simulated")

        with self.subTest("playback alone"), v.client("rejeu-muet") as s:
            s.sendall(PLC_P)
            said = "requête absente du journal rejoué : Esc/P1Cr/, pas de réponse"
            until(lambda: any(line.endswith(said) for line in
                              v.api("GET", "/devices/rejeu-muet/log")["lines"]),
                  "P never taken")
            # Had P been answered, its reply would come before V's.
            self.assertEqual(exchange(s, PLC_V), RECORDED)

        with self.subTest("auto_homing"), v.client("origine") as s:
            self.assertEqual(exchange(s, b"\x1bZ1X\r"), b"\x1b1Ok\r")
            v.api("POST", "/clock/advance", {"ms": 200})
            self.assertEqual(exchange(s, b"\x1bSR05014\r"), b"\x1bSR0000\r")
            v.api("POST", "/clock/advance", {"ms": 100})
            self.assertEqual(exchange(s, b"\x1bSR05014\r"), b"\x1bSR0080\r")
            self.assertTrue(v.api("GET", "/devices/origine/state")["Chk_HOMING_X_ok"])

        # V and P in one write: taken whole, the write is one request, answered as V.
        for name, expected in [("entier", [PLC_V_REPLY, SR_X]),
                               ("coupe", [PLC_V_REPLY, PLC_P_REPLY, SR_X])]:
            with self.subTest(framing=name), v.client(name) as s:
                s.sendall(PLC_V + PLC_P)
                self.assertEqual(replies_until(s, PLC_V_REPLY, b""), [PLC_V_REPLY])
                # Sent once the write was taken, so that it never joins it.
                self.assertEqual(replies_until(s, SR_X, SR_X_REQUEST), expected[1:])

        with self.subTest("bind"):
            self.assertEqual(listening_address(v.pid, v.ports["boucle"]), "127.0.0.1")
            self.assertEqual(listening_address(v.pid, v.ports["entier"]), "0.0.0.0")
            with v.client("boucle") as s:
                self.assertEqual(exchange(s, PLC_V), PLC_V_REPLY)

    def check_process(self, v):
        with self.subTest("control_bind"):
            self.assertEqual(listening_address(v.pid, v.control_port), "0.0.0.0")

        with self.subTest("journal_max"):
            turned = v.journal + ".1"
            with v.client("boucle") as s:
                for _ in range(500):
                    if os.path.exists(turned):
                        break
                    exchange(s, PLC_V)
            until(lambda: os.path.exists(turned), "the journal never turned over")
            # The file turned over is whole and within the bound; the new one may be between
            # its own turns, so it is not read here.
            with open(turned, "rb") as f:
                text = f.read()
            self.assertLessEqual(len(text), 4096)
            self.assertTrue(text.endswith(b"\n"))
            for line in text.splitlines():
                json.loads(line)

    def test_the_seed_makes_the_draws_again(self):
        with tempfile.TemporaryDirectory() as folder:
            path = os.path.join(folder, "m.json")
            first = draws(path, 7)
            self.assertEqual(set(first), {"r", "p"}, "a rule of chance 0.5 both fires and not")
            self.assertEqual(draws(path, 7), first)
            self.assertNotEqual(draws(path, 8), first)

    def test_a_control_bind_off_the_loopback_needs_a_token(self):
        status, stderr, ready = machine.start_failure("machine=m.json", files={"m.json": json.dumps(
            {"control_bind": "0.0.0.0", "devices": [{"name": "a"}]})})
        self.assertEqual(status, 1, stderr)
        self.assertIn("adresse de controle CONTROL_BIND 0.0.0.0 hors de la boucle locale", stderr)
        self.assertFalse(ready)


class PlaybackOfAMachine(unittest.TestCase):
    def test_each_device_plays_back_its_own_part_of_a_machine_journal(self):
        """The same request asked of two devices that answer it apart, recorded in one journal,
        then played back by the same machine: each device gives its own reply, whatever was
        asked first."""
        with tempfile.TemporaryDirectory() as folder:
            path, recorded = os.path.join(folder, "m.json"), os.path.join(folder, "j.jsonl")
            with open(path, "w") as f:
                json.dump({"devices": [{"name": "a", "state": {"Chk_HOMING_X_ok": True}},
                                       {"name": "b"}]}, f)
            with machine.Velorin("machine=" + path, journal=recorded, log="off") as v:
                for name in ("a", "b"):
                    with v.client(name) as s:
                        exchange(s, SR_X_REQUEST)
                v.wait_for(recorded, lambda text: text.count('"send"') == 2)
            with open(path, "w") as f:
                json.dump({"devices": [{"name": "a", "playback": recorded},
                                       {"name": "b", "playback": recorded},
                                       {"name": "c", "playback": recorded}]}, f)
            with machine.Velorin("machine=" + path, journal=None, log="off") as v:
                homed = b"\x1bSR0080\r"
                # c is named nowhere in the journal: it plays it whole, in the recorded order.
                for name, expected in [("b", [SR_X, SR_X]), ("a", [homed, homed]),
                                       ("c", [homed, SR_X])]:
                    with self.subTest(name), v.client(name) as s:
                        self.assertEqual([exchange(s, SR_X_REQUEST) for _ in expected], expected)
                for name, said in [("a", f'rejeu de "{recorded}" pour l\'appareil "a" : '),
                                   ("c", f'rejeu de "{recorded}" : ')]:
                    lines = v.api("GET", f"/devices/{name}/log?since=0")["lines"]
                    self.assertTrue(any(said + "1 requêtes enregistrées" in line
                                        for line in lines), lines)


class OpenFiles(unittest.TestCase):
    def test_the_soft_limit_is_raised_to_the_hard_one(self):
        soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
        lower = 256 if hard == resource.RLIM_INFINITY else min(256, hard - 1)
        if lower < 64:
            self.skipTest(f"a hard limit of {hard} leaves no room below it")

        def lowered():
            resource.setrlimit(resource.RLIMIT_NOFILE, (lower, hard))

        with machine.Velorin("machine=" + machine.EXAMPLE, journal=None, log="off",
                             preexec_fn=lowered) as v:
            with open(f"/proc/{v.pid}/limits") as f:
                row = next(line for line in f if line.startswith("Max open files"))
            given_soft, given_hard = row.split()[3:5]
        self.assertEqual(given_hard, "unlimited" if hard == resource.RLIM_INFINITY else str(hard))
        self.assertEqual(given_soft, given_hard)


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--binary", required=True)
    arguments, rest = parser.parse_known_args()
    machine.BINARY = os.path.abspath(arguments.binary)
    unittest.main(argv=[sys.argv[0], *rest])
