#!/usr/bin/env python3
"""Faults on cue over real sockets, against the real program: each action of a rule, where it
fires and where it does not, the PLC's faults under the stepped clock, homing by itself,
scenarios and their refusals, and requests gathered up to CR.

Outcomes are told apart by order, never by time: a reply held back arrives after one that was
asked later on another channel; a reply dropped is missing before the reply to the next request.
"""

import argparse
import json
import os
import select
import socket
import sys
import tempfile
import time
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "python"))
import velorin  # noqa: E402  (the package of this tree)

BINARY = None
DEADLINE = 60.0
P, V, D = b"\x1bP1\r", b"\x1bV1\r", b"\x1bD100001200000003000\r"
P_REPLY, V_REPLY = b"\x1b10000000000000000a\r", b"\x1b1version Velorin\r"


class Velorin(velorin.Velorin):
    """The package's Velorin, with the control API called as this file's tests call it: the
    status each call must answer, the JSON answer, errors included."""

    def __init__(self, *keys):
        super().__init__(binary=BINARY, start_timeout=DEADLINE, stop_timeout=DEADLINE,
                         log="off", **dict(key.split("=", 1) for key in keys))

    def api(self, method, path, body=None, status=200):
        try:
            code, answer = 200, self._api.request(method, path, body, timeout=DEADLINE)
        except velorin.VelorinError as error:
            if error.status is None:
                raise
            code, answer = error.status, error.body
        assert code == status, (path, body, code, answer)
        return answer

    def client(self):
        s = socket.create_connection(("127.0.0.1", self.ready["port"]), timeout=DEADLINE)
        s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        LEFT.pop(s.fileno(), None)   # what a closed socket of the same number left unread
        return s

    def log(self):
        return self.api("GET", "/log?since=0")["lines"]


LEFT = {}   # bytes read past the reply returned, per socket


def frame(s, request=None):
    """Sends the request if any, then reads one reply up to its CR (None at EOF)."""
    if request:
        s.sendall(request)
    got = LEFT.pop(s.fileno(), b"")
    while b"\r" not in got:
        chunk = s.recv(4096)
        if not chunk:
            return got or None
        got += chunk
    end = got.index(b"\r") + 1
    if got[end:]:
        LEFT[s.fileno()] = got[end:]
    return got[:end]


def served(velorin, s):
    """Waits until the client's connection is on a channel (its V request answered)."""
    assert frame(s, V) == V_REPLY


class ReplyFaults(unittest.TestCase):
    def test_each_action_on_the_reply(self):
        laser = "moduleLASERS"
        cases = [
            # (rule action, mode, request, what the client reads then: a reply, or a callable)
            ({"type": "reply", "bytes": "Esc/1POM NOkCr/"}, None, P, b"\x1b1POM NOk\r"),
            ({"type": "corrupt", "how": "checksum"}, laser, b"\x1bM10121\r", b"/105000B\r"),
            ({"type": "corrupt", "how": "truncate", "length": 3}, None, P + V, b"\x1b10" + V_REPLY),
            ({"type": "drop"}, None, P + V, V_REPLY),
        ]
        for action, mode, request, expected in cases:
            keys = ["framing=CR"] + (["mode=" + mode] if mode else [])
            with self.subTest(action=action), Velorin(*keys) as v, v.client() as s:
                v.api("POST", "/faults", {"match": {"command": chr(request[1])}, "action": action, "count": 1})
                if request.endswith(V):
                    s.sendall(request[:-len(V)])
                    request = V
                self.assertEqual(frame(s, request), expected)
                self.assertEqual(v.api("GET", "/faults")["faults"], [], "count 1: the rule has gone")
                self.assertEqual(sum("défaut n° 1 " in line for line in v.log()), 1)
                ended, = v.api("GET", "/faults?all=true")["faults"]
                self.assertEqual((ended["id"], ended["status"], ended["fired"], len(ended["firings"])),
                                 (1, "used_up", 1, 1), "still listed, with its firing")

    def test_a_held_reply_holds_its_channel_only(self):
        with Velorin("framing=CR") as v, v.client() as held, v.client() as other:
            served(v, held)
            served(v, other)
            v.api("POST", "/faults", {"match": {"command": "P", "channel": 1}, "action": {"type": "delay", "ms": 400}})
            held.sendall(P)
            held.sendall(V)   # waits behind the held reply on its channel
            self.assertEqual(frame(other, P), P_REPLY, "the other client is served meanwhile")
            other.settimeout(0.001)
            self.assertEqual(frame(held), P_REPLY)
            self.assertEqual(frame(held), V_REPLY)

    def test_split_stall_and_connection_ends(self):
        with Velorin() as v:
            v.api("POST", "/faults", [
                {"match": {"command": "P", "nth": 1}, "action": {"type": "split", "pieces": 2, "gap_ms": 300}},
                {"match": {"command": "P", "nth": 2}, "action": {"type": "close", "when": "after"}},
            ])
            with v.client() as s:
                s.sendall(P)
                first = s.recv(64)
                self.assertLess(len(first), len(P_REPLY), "the first piece alone")
                self.assertEqual(first + frame(s), P_REPLY)
                self.assertEqual(frame(s, P), P_REPLY)
                self.assertIsNone(frame(s), "closed after the reply")
            v.api("PATCH", "/state", {"Chk_HOMING_X_ok": True, "Chk_HOMING_Z_ok": True})
            v.api("POST", "/faults", {"match": {"command": "D"}, "action": {"type": "close", "when": "before"},
                                      "count": 1})
            with v.client() as s:
                self.assertIsNone(frame(s, D), "closed, no reply")
            self.assertEqual(v.api("GET", "/state")["Lbl_PosDemX"], "00012000", "the move was taken")
            with v.client() as again:   # at once, as a host reconnects: served as usual
                reply = frame(again, P)
                self.assertEqual((reply[:2], len(reply)), (b"\x1b1", 20), reply)
            v.api("DELETE", "/faults")
            v.api("POST", "/faults", {"match": {"command": "V"}, "action": {"type": "reset"}})
            with v.client() as s:
                s.sendall(V)
                with self.assertRaises(ConnectionResetError):
                    frame(s)

    def test_no_reply_rule_fires_on_a_request_after_its_connection_was_closed(self):
        close = {"type": "close", "when": "before"}
        cases = [
            # (name, actions on P, what the client that sends P and V at once reads)
            ("closed before the reply", [close], [None]),
            ("closed after a held reply", [{"type": "delay", "ms": 200}, dict(close, when="after")],
             [P_REPLY, None]),
        ]
        for name, actions, expected in cases:
            with self.subTest(name), Velorin("framing=CR") as v:
                rules = [{"match": {"command": "P"}, "action": a, "count": 1} for a in actions]
                v.api("POST", "/faults", rules + [{"match": {"command": "V"}, "action": {"type": "drop"},
                                                   "count": 1}])
                with v.client() as s:
                    s.sendall(P + V)
                    self.assertEqual([frame(s) for _ in expected], expected, "V came with P")
                with v.client() as s:
                    self.assertEqual(frame(s, V + P), P_REPLY, "the drop is still there for this V")
                fired = [f["fired"] for f in v.api("GET", "/faults?all=true")["faults"]]
                self.assertEqual(fired, [1] * len(rules) + [1])

    def test_a_stalled_channel_is_not_read_meanwhile(self):
        with Velorin() as v, v.client() as stalled, v.client() as other:
            served(v, stalled)
            served(v, other)
            v.api("POST", "/faults", {"match": {"channel": 1}, "action": {"type": "stall", "ms": 400}, "count": 1})
            self.assertEqual(frame(stalled, P), P_REPLY)
            stalled.sendall(V)
            self.assertEqual(frame(other, P), P_REPLY)
            self.assertEqual(frame(stalled), V_REPLY)

    def test_a_stall_holds_back_the_requests_that_came_with_it(self):
        with Velorin("framing=CR") as v, v.client() as stalled, v.client() as other:
            served(v, stalled)
            served(v, other)
            v.api("POST", "/faults", {"match": {"command": "P", "channel": 1}, "action": {"type": "stall", "ms": 1500},
                                      "count": 1})
            self.assertEqual(frame(stalled, P + V), P_REPLY)
            self.assertEqual(frame(other, P), P_REPLY)
            # The other client's reply has come: a V reply sent at once would be here by now.
            self.assertNotIn(stalled.fileno(), LEFT)
            self.assertEqual(select.select([stalled], [], [], 0)[0], [], "V waits for the stall's end")
            self.assertEqual(frame(stalled), V_REPLY)


class ConnectionFaults(unittest.TestCase):
    def test_greeting_refusal_and_late_accept(self):
        with Velorin() as v:
            v.api("POST", "/faults", [
                {"match": {"nth": 1}, "action": {"type": "greeting", "bytes": "Esc/helloCr/"}},
                {"match": {"nth": 2}, "action": {"type": "refuse"}},
                {"match": {"nth": 3}, "action": {"type": "accept_delay", "ms": 400}},
            ])
            with v.client() as greeted:
                self.assertEqual(frame(greeted), b"\x1bhello\r")
                self.assertEqual(frame(greeted, V), V_REPLY)
                with v.client() as refused:
                    self.assertIsNone(frame(refused))
                with v.client() as late, v.client() as prompt:
                    late.sendall(V)
                    self.assertEqual(frame(prompt, V), V_REPLY)
                    self.assertEqual(frame(late), V_REPLY)
            self.assertEqual([f["fired"] for f in v.api("GET", "/faults")["faults"]], [1, 1, 1])

    def test_every_connection_meets_its_fault_however_soon_it_speaks(self):
        """A client that sends its request the moment it connects, as hosts do, is not served
        before the rules have decided on its connection; each rule counts what it did."""
        hello = b"\x1bhello\r"
        greeting = {"type": "greeting", "bytes": "Esc/helloCr/"}
        late = {"type": "accept_delay", "ms": 100}
        cases = [
            # (name, actions, what the client reads, seconds at least before it reads them,
            #  which rules fire on each connection)
            ("greeting", [greeting], [hello, V_REPLY], 0, [1]),
            ("refuse", [{"type": "refuse"}], [None], 0, [1]),
            ("accept_delay", [late], [V_REPLY], 0.1, [1]),
            ("greeting late", [greeting, late], [hello, V_REPLY], 0.1, [1, 1]),
            ("refused, neither greeted nor late", [{"type": "refuse"}, greeting, late], [None], 0,
             [1, 0, 0]),
        ]
        clients = 20
        with Velorin() as v:
            for name, actions, expected, least, fires in cases:
                for at_once in (True, False):
                    with self.subTest(name, at_once=at_once):
                        v.api("DELETE", "/faults")
                        ids = v.api("POST", "/faults", [{"action": a} for a in actions])["ids"]
                        for _ in range(clients):
                            start = time.monotonic()   # before the connection: Velorin waits after
                            with v.client() as s:
                                if not at_once:
                                    time.sleep(0.05)   # the other way hosts speak: not at once
                                try:
                                    s.sendall(V)
                                    got = [frame(s) for _ in expected]
                                except (ConnectionResetError, BrokenPipeError):
                                    got = [None]
                                LEFT.pop(s.fileno(), None)
                                self.assertEqual(got, expected)
                                # Qt's timers may fire a millisecond or two early
                                self.assertGreaterEqual(time.monotonic() - start, least * 0.9)
                        listed = v.api("GET", "/faults")["faults"]
                        self.assertEqual([f["fired"] for f in listed], [clients * n for n in fires])
                        lines = v.log()
                        self.assertEqual([sum(f"défaut n° {i} " in l for l in lines) for i in ids],
                                         [f["fired"] for f in listed])


    def test_a_client_that_sends_and_leaves_at_once_is_still_carried_out(self):
        """What a client sent before it left is read, though no rule had decided on its
        connection yet, or one kept it waiting, unless its connection was refused; a rule that
        could not act does not count."""
        cases = [
            # (name, rule, its firings once done (None: either), where X is asked to go then)
            ("no rule takes it", {"match": {"channel": 9}, "action": {"type": "refuse"}}, 0, "00012000"),
            ("late", {"action": {"type": "accept_delay", "ms": 1000}}, 0, "00012000"),
            ("greeted", {"action": {"type": "greeting", "bytes": "Esc/helloCr/"}}, None, "00012000"),
            ("refused", {"action": {"type": "refuse"}}, 1, "0"),
        ]
        for name, rule, fired, x in cases:
            with self.subTest(name), Velorin() as v:
                v.api("PATCH", "/state", {"Chk_HOMING_X_ok": True, "Chk_HOMING_Z_ok": True})
                v.api("POST", "/faults", rule)
                with v.client() as s:
                    s.sendall(D)
                end = time.monotonic() + DEADLINE
                while not (v.api("GET", "/state")["Lbl_PosDemX"] == "00012000"
                           or v.api("GET", "/faults")["faults"][0]["fired"] == 1 == fired):
                    self.assertLess(time.monotonic(), end, "neither carried out nor refused")
                    time.sleep(0.05)
                self.assertEqual(v.api("GET", "/state")["Lbl_PosDemX"], x)
                if fired is not None:   # greeted or not: the client may have gone first
                    self.assertEqual(v.api("GET", "/faults")["faults"][0]["fired"], fired)


class PlcFaults(unittest.TestCase):
    def test_axis_and_register_faults_under_the_stepped_clock(self):
        with Velorin("clock=step") as v, v.client() as s:
            v.api("PATCH", "/state", {"Chk_HOMING_X_ok": True, "Chk_HOMING_Z_ok": True})
            v.api("POST", "/faults", [
                {"action": {"type": "axis_stop", "axis": "X", "at": 6000}},
                {"action": {"type": "axis_slow", "axis": "Z", "fraction": 0.5}},
                {"match": {"command": "S"}, "action": {"type": "register", "number": 5014, "value": 0}},
            ])
            frame(s, D)
            after = v.api("POST", "/clock/advance", {"until": "arrived", "max_ms": 1000})
            self.assertFalse(after["arrived"])
            self.assertEqual((after["Lbl_PosRelleX"], after["Lbl_PosRelleZ"]), ("6000", "00003000"))
            self.assertEqual(frame(s, P), b"\x1b1000060000000" b"3000c\r")
            self.assertEqual(frame(s, b"\x1bSR05014\r"), b"\x1bSR0000\r", "forced, though homed")
            v.api("POST", "/faults", {"action": {"type": "homing_lost", "axis": "X"}, "after_ms": 100})
            v.api("POST", "/clock/advance", {"ms": 100})
            self.assertFalse(v.api("GET", "/state")["Chk_HOMING_X_ok"])
            v.api("POST", "/reset")
            self.assertEqual(v.api("GET", "/faults")["faults"], [], "a reset clears the rules")

    def test_homing_completes_by_itself_after_its_delay(self):
        with Velorin() as v, v.client() as s:
            v.api("POST", "/scenario", {"clock": {"mode": "step"}, "auto_homing": {"delay_ms": 300}})
            self.assertEqual(frame(s, b"\x1bZ1X\r"), b"\x1b1Ok\r")
            v.api("POST", "/clock/advance", {"ms": 200})
            self.assertEqual(frame(s, b"\x1bSR05014\r"), b"\x1bSR0000\r")
            v.api("POST", "/clock/advance", {"ms": 100})
            self.assertEqual(frame(s, b"\x1bSR05014\r"), b"\x1bSR0080\r")
            self.assertEqual(frame(s, b"\x1bSR05015\r"), b"\x1bSR0000\r", "Z was not asked")
            # A homing asked before a reset never completes after it, whatever the clock.
            self.assertEqual(frame(s, b"\x1bZ1Z\r"), b"\x1b1Ok\r")
            v.api("POST", "/reset", {"clock": True})
            v.api("POST", "/clock/advance", {"ms": 1000})
            self.assertEqual(frame(s, b"\x1bSR05015\r"), b"\x1bSR0000\r")


class Scenarios(unittest.TestCase):
    def test_a_bad_scenario_changes_nothing_and_names_its_field(self):
        cases = [
            ({"state": {"Chk_TPnon0": "yes"}}, "state.Chk_TPnon0"),
            ({"clock": {"speed": -2}}, "clock.speed"),
            ({"framing": "LF"}, "framing"),
            ({"auto_homing": {"delay_ms": "soon"}}, "auto_homing.delay_ms"),
            ({"faults": [{"action": {"type": "drop"}}, {"action": {"type": "split", "pieces": 1}}]},
             "faults[1].action.pieces"),
            ({"seed": "seven"}, "seed"),
            ({"mode": "automateOMRON"}, "mode"),
            ({"faults": [{"action": {"type": "drop"}}] * 201}, "faults"),
        ]
        with Velorin() as v:
            before = v.api("GET", "/state"), v.api("GET", "/clock")
            for document, field in cases:
                with self.subTest(field=field):
                    answer = v.api("POST", "/scenario", {"state": {"Chk_TPnon0": True}, **document}, status=400)
                    self.assertEqual(answer["field"], field)
            self.assertEqual((v.api("GET", "/state"), v.api("GET", "/clock")), before)
            self.assertEqual(v.api("GET", "/faults")["faults"], [])

    def test_a_scenario_file_at_start(self):
        with tempfile.TemporaryDirectory() as folder:
            good, bad = os.path.join(folder, "good.json"), os.path.join(folder, "bad.json")
            with open(good, "w") as f:
                json.dump({"state": {"Txt_ValeurLu": "712", "Cmb_Simulate": "moduleLASERS"},
                           "clock": {"speed": 0}, "faults": [{"action": {"type": "drop"}}]}, f)
            with open(bad, "w") as f:
                json.dump({"faults": [{"action": {"type": "delay"}}]}, f)
            with Velorin("scenario=" + good) as v:
                self.assertEqual(v.api("GET", "/state")["Txt_ValeurLu"], "712")
                self.assertEqual(v.api("GET", "/clock")["mode"], "paused")
                self.assertEqual(len(v.api("GET", "/faults")["faults"]), 1)
            for key, reason in (("scenario=" + bad, "faults[0].action.ms"),
                                ("scenario=" + os.path.join(folder, "none.json"), "scénario SCENARIO invalide"),
                                ("framing=lf", "découpage FRAMING invalide"), ("seed=x", "graine SEED invalide")):
                with self.assertRaises(velorin.StartError) as ended:
                    with Velorin(key):
                        pass
                self.assertEqual(ended.exception.exit_status, 1, key)
                self.assertIn(reason, ended.exception.stderr, key)


class Framing(unittest.TestCase):
    def test_requests_gathered_up_to_cr(self):
        with Velorin("framing=CR") as v, v.client() as s:
            s.sendall(b"\x1bP")
            served_meanwhile = v.api("GET", "/state")   # the half request waits
            s.sendall(b"1\r")
            self.assertEqual(frame(s), P_REPLY)
            s.sendall(V + b"\n" + P + b"\x1bV")   # a LF after a CR belongs to the request before
            self.assertEqual(frame(s), V_REPLY)
            self.assertEqual(frame(s), P_REPLY)
            self.assertEqual(frame(s, b"1\r"), V_REPLY)
            self.assertEqual(served_meanwhile["NbCanaux"], 1)
            v.api("PATCH", "/state", {"Cmb_Simulate": "modeECHO"})
            s.sendall(b"a\rb\r")
            echoed = b""
            while len(echoed) < 4:
                echoed += s.recv(16)
            self.assertEqual(echoed, b"a\rb\r", "echo takes each arrival whole")


def main():
    global BINARY
    parser = argparse.ArgumentParser()
    parser.add_argument("--binary", required=True)
    options, rest = parser.parse_known_args()
    BINARY = options.binary
    unittest.main(argv=[sys.argv[0], "-v", *rest])


if __name__ == "__main__":
    main()
