#!/usr/bin/env python3
"""What a container engine relies on, over real processes:

- `velorin --check-health URL` exits 0 only when URL answers 200, and 1 for anything else: a
  refused port, a listener that never answers, an answer that is not HTTP, another status, an
  address it cannot read;
- with the control port's token in VELORIN_CONTROL_TOKEN or the file VELORIN_CONTROL_TOKEN_FILE
  names, the check carries it, and names the address it reached as Host;
- the keys come from VELORIN_<KEY> variables when the arguments leave them out, and the
  arguments win.

Each Velorin listens on ports the system picks; deadlines are generous and bound waits only.
"""

import argparse
import os
import socket
import subprocess
import sys
import tempfile
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


def check_health(*args, env=None):
    return subprocess.run([BINARY, "--check-health", *args], env=env or environment(),
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


def records(received):
    """Keeps the request, then answers 200."""
    def behaviour(conn):
        data = b""
        while b"\r\n\r\n" not in data:
            chunk = conn.recv(4096)
            if not chunk:
                break
            data += chunk
        received.append(data)
        conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n")
        conn.close()
    return behaviour


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


JETON = "s3cret-Jeton_42"


class CheckHealthWithAToken(unittest.TestCase):
    """A Velorin whose control port asks for a token, as in a container where it listens
    beyond its loopback."""

    @classmethod
    def setUpClass(cls):
        cls.dossier = tempfile.TemporaryDirectory()
        cls.fichier = Path(cls.dossier.name) / "jeton"
        cls.fichier.write_text(JETON + "\n", encoding="utf-8")
        cls.velorin = processus(control_token=JETON).start()
        cls.url = "http://127.0.0.1:%d/health" % cls.velorin.control_port

    @classmethod
    def tearDownClass(cls):
        cls.velorin.stop()
        cls.dossier.cleanup()

    def test_the_right_token_is_healthy(self):
        for nom, variables in [
                ("from the variable", {"VELORIN_CONTROL_TOKEN": JETON}),
                ("from the file", {"VELORIN_CONTROL_TOKEN_FILE": str(self.fichier)}),
                ("an empty variable is absent", {"VELORIN_CONTROL_TOKEN": "",
                                                 "VELORIN_CONTROL_TOKEN_FILE": str(self.fichier)}),
        ]:
            with self.subTest(nom):
                fin = check_health(self.url, env=environment(**variables))
                self.assertEqual(fin.returncode, 0, fin.stderr)
                self.assertIn("HTTP/1.1 200", fin.stdout)

    def test_no_token_or_a_wrong_one_is_unhealthy_with_the_reason(self):
        absent = Path(self.dossier.name) / "absent"
        cas = [
            ("none", {}, "401"),
            ("a wrong one", {"VELORIN_CONTROL_TOKEN": "faux"}, "401"),
            ("a wrong file", {"VELORIN_CONTROL_TOKEN_FILE": str(absent)}, "absent"),
            ("both", {"VELORIN_CONTROL_TOKEN": JETON,
                      "VELORIN_CONTROL_TOKEN_FILE": str(self.fichier)}, "ensemble"),
            ("a line end in it", {"VELORIN_CONTROL_TOKEN": JETON + "\nX-Autre: 1"},
             "jeton de controle invalide"),
        ]
        for nom, variables, raison in cas:
            with self.subTest(nom):
                fin = check_health(self.url, env=environment(**variables))
                self.assertEqual(fin.returncode, 1, fin.stdout)
                self.assertIn(raison, fin.stderr)
                self.assertEqual(fin.stderr.count("\n"), 1, fin.stderr)

    def test_host_is_the_address_reached_and_the_token_goes_along(self):
        recues = []
        ecoute = Listener(records(recues))
        try:
            fin = check_health("http://localhost:%d/health" % ecoute.port,
                               env=environment(VELORIN_CONTROL_TOKEN=JETON))
            self.assertEqual(fin.returncode, 0, fin.stderr)
            lignes = recues[0].decode().split("\r\n")
            self.assertEqual(lignes[0], "GET /health HTTP/1.1")
            self.assertIn("Host: 127.0.0.1:%d" % ecoute.port, lignes)
            self.assertIn("Authorization: Bearer " + JETON, lignes)
        finally:
            ecoute.close()


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
