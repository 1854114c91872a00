#!/usr/bin/env python3
"""Velorin's image as a container engine runs it.

The image is built by `scripts/construit-image.sh` (its layers and base are used again), then:

- one container serves its devices on published ports: the devices of examples/machine.json
  when the program takes MACHINE=, else one device; its health check turns healthy; a stop
  ends it within 2 s with status 0;
- a second container given a wrong value ends at once with status 1, its log naming what was
  wrong.

It prints the image's size, its build time and the time to healthy. Deadlines are generous and
only bound waits. Exit 77 (skipped) when no engine can be had.

    verifie_conteneur.py [--image localhost/velorin:dev]
"""

import argparse
import json
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import unittest
from pathlib import Path

import yaml

SOURCES = Path(__file__).resolve().parents[2]
MOTEUR = str(SOURCES / "scripts" / "moteur-conteneur.sh")
IMAGE = "localhost/velorin:dev"
DEADLINE = 120.0
PORT_CONTROLE = 8080
# Inside the container the devices take these ports, so that they can be published.
PORTS_APPAREILS = [10001, 10002, 10003, 10004]
# A request each mode answers.
REQUETES = {"OMRON": b"\x1bP1\r", "LASER": b"\x1bM10121\r", "ECHO": b"bonjour\r"}
CHIFFRES = {}


def moteur(*args, check=True, timeout=DEADLINE):
    return subprocess.run([MOTEUR, *args], stdin=subprocess.DEVNULL, capture_output=True,
                          text=True, timeout=timeout, check=check)


def wait_for(condition, what, deadline=DEADLINE):
    end = time.monotonic() + deadline
    while time.monotonic() < end:
        if condition():
            return
        time.sleep(0.2)
    raise AssertionError("timed out waiting for " + what)


def requete(mode):
    for nom, texte in REQUETES.items():
        if nom in mode.upper():
            return texte
    return REQUETES["ECHO"]


def repond(port, mode):
    """True when the device behind the published port answers its mode's request."""
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=5) as s:
            s.sendall(requete(mode))
            return len(s.recv(256)) > 0
    except OSError:
        return False


def machine_multiple():
    """The devices of examples/machine.json on fixed ports, when the image takes MACHINE=."""
    exemple = SOURCES / "examples" / "machine.json"
    if not exemple.exists():
        return None
    aide = moteur("run", "--rm", IMAGE, "--help").stdout
    if "MACHINE=" not in aide:
        return None
    machine = json.loads(exemple.read_text(encoding="utf-8"))
    for appareil, port in zip(machine["devices"], PORTS_APPAREILS):
        appareil["port"] = port
    return machine


class Conteneur(unittest.TestCase):
    def setUp(self):
        self.dossier = tempfile.TemporaryDirectory()
        self.noms = []

    def tearDown(self):
        for nom in self.noms:
            moteur("rm", "-f", nom, check=False)
        self.dossier.cleanup()

    def lance(self, *args):
        nom = "velorin-test-%d-%d" % (os.getpid(), len(self.noms))
        self.noms.append(nom)
        moteur("run", "-d", "--name", nom, *args)
        return nom

    def etat(self, nom):
        return json.loads(moteur("inspect", nom).stdout)[0]["State"]

    def sante(self, nom):
        """The health the engine gives; podman runs the check when asked (with no systemd
        here, nothing runs it on a timer), Docker on its own."""
        if moteur("--nom").stdout.strip() == "podman":
            moteur("healthcheck", "run", nom, check=False)
        etat = self.etat(nom)
        return (etat.get("Health") or etat.get("Healthcheck") or {}).get("Status")

    def port_publie(self, nom, port):
        sortie = moteur("port", nom, "%d/tcp" % port).stdout.split()
        return int(sortie[0].rsplit(":", 1)[1])

    def test_devices_answer_health_turns_healthy_and_stop_ends_it_with_0(self):
        machine = machine_multiple()
        args = []
        if machine:
            fichier = Path(self.dossier.name) / "machine.json"
            fichier.write_text(json.dumps(machine), encoding="utf-8")
            fichier.chmod(0o644)
            args += ["-v", "%s:/etc/velorin/machine.json:ro" % fichier,
                     "-e", "VELORIN_MACHINE=/etc/velorin/machine.json"]
            appareils = [(a["port"], a["mode"]) for a in machine["devices"]]
        else:
            appareils = [(PORTS_APPAREILS[0], "automateOMRON")]
        for port, _ in appareils:
            args += ["-p", "127.0.0.1::%d" % port]
        debut = time.monotonic()
        nom = self.lance(*args, IMAGE)
        wait_for(lambda: self.sante(nom) == "healthy", "a healthy container")
        CHIFFRES["time to healthy"] = "%.1f s" % (time.monotonic() - debut)
        CHIFFRES["devices"] = str(len(appareils))
        for port, mode in appareils:
            publie = self.port_publie(nom, port)
            wait_for(lambda: repond(publie, mode), "device %d (%s) to answer" % (port, mode))
        debut = time.monotonic()
        moteur("stop", "-t", "10", nom)
        duree = time.monotonic() - debut
        CHIFFRES["stop"] = "%.2f s" % duree
        etat = self.etat(nom)
        self.assertEqual(etat["ExitCode"], 0, moteur("logs", nom).stdout)
        self.assertLess(duree, 2.0)

    def test_a_wrong_value_ends_it_with_1_naming_what_was_wrong(self):
        machine = machine_multiple()
        if machine:
            machine["devices"][0]["mode"] = "nimporte"
            fichier = Path(self.dossier.name) / "machine.json"
            fichier.write_text(json.dumps(machine), encoding="utf-8")
            fichier.chmod(0o644)
            args = ["-v", "%s:/etc/velorin/machine.json:ro" % fichier,
                    "-e", "VELORIN_MACHINE=/etc/velorin/machine.json"]
            attendu = "mode"
        else:
            args = ["-e", "VELORIN_CLOCK=demain"]
            attendu = "CLOCK"
        nom = self.lance(*args, IMAGE)
        wait_for(lambda: not self.etat(nom)["Running"], "the container to end")
        journal = moteur("logs", nom)
        self.assertEqual(self.etat(nom)["ExitCode"], 1, journal.stdout + journal.stderr)
        self.assertIn(attendu, journal.stdout + journal.stderr)


class Banc(unittest.TestCase):
    """deploy/compose.yaml as it is, but for the host's ports, which the system picks."""

    def test_the_bench_runs_and_the_host_side_reaches_every_machine(self):
        if moteur("--nom").stdout.strip() != "podman" or not shutil.which("podman-compose"):
            self.skipTest("podman-compose is not installed")
        dossier = tempfile.TemporaryDirectory()
        self.addCleanup(dossier.cleanup)
        banc = yaml.safe_load((SOURCES / "deploy" / "compose.yaml").read_text())
        for service in banc["services"].values():
            service["ports"] = ["127.0.0.1::" + p.rsplit(":", 1)[1]
                                for p in service.get("ports", [])]
            service["volumes"] = [str(SOURCES / "deploy" / v.lstrip("./")) if v.startswith(".")
                                  else v for v in service.get("volumes", [])]
        fichier = Path(dossier.name) / "compose.yaml"
        fichier.write_text(yaml.safe_dump(banc), encoding="utf-8")
        projet = "velorin-banc-%d" % os.getpid()
        env = {**os.environ, "VELORIN_IMAGE": IMAGE,
               "CONTAINERS_CONF": str(SOURCES / "packaging" / "container" / "containers.conf")}

        def compose(*args):
            return subprocess.run(["podman-compose", "-p", projet, "-f", str(fichier), *args],
                                  env=env, stdin=subprocess.DEVNULL, capture_output=True,
                                  text=True, timeout=DEADLINE)

        self.addCleanup(moteur, "network", "rm", "-f", projet + "_default", check=False)
        self.addCleanup(compose, "down")
        self.assertEqual(compose("up", "-d").returncode, 0)
        cote_hote = projet + "_banc_1"
        wait_for(lambda: not json.loads(moteur("inspect", cote_hote).stdout)[0]["State"]
                 ["Running"], "the host side to end")
        journal = moteur("logs", cote_hote).stdout
        etat = json.loads(moteur("inspect", cote_hote).stdout)[0]["State"]
        self.assertEqual(etat["ExitCode"], 0, journal)
        for machine in banc["services"]["banc"]["depends_on"]:
            self.assertIn(machine + ": the PLC answers", journal)


def construit():
    debut = time.monotonic()
    construction = subprocess.run([str(SOURCES / "scripts" / "construit-image.sh")],
                                  env={**os.environ, "IMAGE": IMAGE}, stdin=subprocess.DEVNULL,
                                  timeout=3000)
    if construction.returncode != 0:
        sys.exit("the image could not be built")
    CHIFFRES["build"] = "%.0f s" % (time.monotonic() - debut)
    taille = int(moteur("image", "inspect", "--format", "{{.Size}}", IMAGE).stdout)
    CHIFFRES["image size"] = "%.0f MiB" % (taille / 1024 / 1024)


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--image", default=IMAGE)
    options, rest = parser.parse_known_args()
    IMAGE = options.image
    if subprocess.run([MOTEUR, "--version"], capture_output=True).returncode != 0:
        print("skipped: no container engine can be had here")
        sys.exit(77)
    construit()
    programme = unittest.main(argv=[sys.argv[0], *rest], exit=False)
    for cle, valeur in CHIFFRES.items():
        print("conteneur: %s: %s" % (cle, valeur))
    sys.exit(0 if programme.result.wasSuccessful() else 1)
