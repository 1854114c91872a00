#!/usr/bin/env python3
"""What a container engine relies on, over real processes:

- `velorin --check-health URL` exits 0 only when URL answers 200, and 1 for anything else: a
  refused port, a listener that never answers, an answer that is not HTTP, another status, an
  address it cannot read;
- the keys come from VELORIN_<KEY> variables when the arguments leave them out, and the
  arguments win.

Each Velorin listens on ports the system picks; deadlines are generous and bound waits only.
"""

import argparse
import os
import socket
import subprocess
import sys
import threading
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "python"))
import velorin  # noqa: E402  (the package of this tree)

BINARY = None
DEADLINE = 60.0


def environment(**variables):
    env = {k: v for k, v in os.environ.items()
           if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")
           and not k.startswith("VELORIN_")}
    env.update(variables)
    return env


def processus(env=None, **keys):
    """One Velorin of the package, not yet started. Neither a display nor QT_QPA_PLATFORM:
    the program picks its platform itself, as in a container."""
    return velorin.Velorin(binary=BINARY, start_timeout=DEADLINE, stop_timeout=DEADLINE,
                           headless=False, env=env or environment(), **keys)


def check_health(*args):
    return subprocess.run([BINARY, "--check-health", *args], env=environment(),
                          stdin=subprocess.DEVNULL, capture_output=True, text=True,
                          timeout=DEADLINE)


class Listener:
    """A port that accepts and then does `behaviour` with each connection."""

    def __init__(self, behaviour):
        self.sock = socket.socket()
        self.sock.bind(("127.0.0.1", 0))
        self.sock.listen(4)
        self.port = self.sock.getsockname()[1]
        self.held = []
        self.behaviour = behaviour
        threading.Thread(target=self.serve, daemon=True).start()

    def serve(self):
        try:
            while True:
                conn, _ = self.sock.accept()
                self.held.append(conn)
                self.behaviour(conn)
        except OSError:
            pass

    def close(self):
        for conn in self.held:
            conn.close()
        self.sock.close()


def answers(text):
    def behaviour(conn):
        conn.recv(4096)
        conn.sendall(text)
        conn.close()
    return behaviour


class CheckHealth(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.velorin = processus().start()
        cls.control = cls.velorin.control_port

    @classmethod
    def tearDownClass(cls):
        cls.velorin.stop()

    def test_healthy_is_0_and_says_the_status_line(self):
        for nom, url in [("the route", "http://127.0.0.1:%d/health"),
                         ("no path: /health", "http://127.0.0.1:%d"),
                         ("by name", "http://localhost:%d/health")]:
            with self.subTest(nom):
                fin = check_health(url % self.control)
                self.assertEqual(fin.returncode, 0, fin.stderr)
                self.assertIn("HTTP/1.1 200", fin.stdout)

    def test_anything_else_is_1_with_the_reason(self):
        ferme = socket.socket()
        ferme.bind(("127.0.0.1", 0))
        port_ferme = ferme.getsockname()[1]
        ferme.close()
        muet = Listener(lambda conn: None)
        bavard = Listener(answers(b"SSH-2.0-pas du HTTP\r\n"))
        coupe = Listener(answers(b""))
        refus = Listener(answers(b"HTTP/1.1 503 Service Unavailable\r\n\r\n"))
        pres = Listener(answers(b"HTTP/1.1 2000 OK\r\n\r\n"))
        cas = [
            ("another status", ["http://127.0.0.1:%d/absent" % self.control], "404"),
            ("refused", ["http://127.0.0.1:%d/health" % port_ferme], "refused"),
            ("never answers", ["http://127.0.0.1:%d/health" % muet.port], "délai dépassé"),
            ("not HTTP", ["http://127.0.0.1:%d/health" % bavard.port], "SSH-2.0"),
            ("closed at once", ["http://127.0.0.1:%d/health" % coupe.port], "pas du HTTP"),
            ("503", ["http://127.0.0.1:%d/health" % refus.port], "503"),
            ("2000 is not 200", ["http://127.0.0.1:%d/health" % pres.port], "2000"),
            ("no scheme", ["127.0.0.1:%d/health" % self.control], "adresse invalide"),
            ("no port", ["http://127.0.0.1/health"], "adresse invalide"),
            ("a blank in the path", ["http://127.0.0.1:%d/health x" % self.control],
             "adresse invalide"),
            ("unknown host", ["http://velorin.invalid:80/health"], "velorin.invalid"),
            ("no address at all", [], "adresse invalide"),
        ]
        try:
            for nom, args, raison in cas:
                with self.subTest(nom):
                    fin = check_health(*args)
                    self.assertEqual(fin.returncode, 1, fin.stdout)
                    self.assertIn(raison, fin.stderr)
                    self.assertEqual(fin.stderr.count("\n"), 1, fin.stderr)
        finally:
            for listener in (muet, bavard, coupe, refus, pres):
                listener.close()


class KeysFromTheEnvironment(unittest.TestCase):
    # None leaves a key off the command line: the variable gives it, or nothing does.
    NONE = {"portip": None, "control": None, "log": None}

    def test_variables_give_the_keys_the_arguments_leave_out(self):
        env = environment(VELORIN_PORTIP="0", VELORIN_CONTROL="0", VELORIN_MODE="modeecho",
                          VELORIN_LOG="")
        with processus(env, **self.NONE) as v:
            self.assertEqual(v.api.health()["mode"], "modeECHO")
            with socket.create_connection(("127.0.0.1", v.port), timeout=DEADLINE) as s:
                s.sendall(b"bonjour")
                self.assertEqual(s.recv(16), b"bonjour")

    def test_the_arguments_win(self):
        env = environment(VELORIN_PORTIP="0", VELORIN_CONTROL="0", VELORIN_MODE="modeecho")
        with processus(env, **self.NONE, mode="modeMUET") as v:
            self.assertEqual(v.api.health()["mode"], "modeMUET")

    def test_a_wrong_value_from_the_environment_ends_start_up_naming_the_key(self):
        env = environment(VELORIN_PORTIP="0", VELORIN_CLOCK="demain")
        with self.assertRaises(velorin.StartError) as fin:
            with processus(env, portip=None, control=None, log="STDOUT"):
                pass
        self.assertEqual(fin.exception.exit_status, 1)
        self.assertIn("CLOCK", fin.exception.stderr)


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--binary", required=True)
    options, rest = parser.parse_known_args()
    BINARY = os.path.abspath(options.binary)
    unittest.main(argv=[sys.argv[0], *rest])
