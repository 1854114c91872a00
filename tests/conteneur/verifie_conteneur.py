#!/usr/bin/env python3
"""Velorin's image as a container engine runs it.

The image is built by `scripts/construit-image.sh` (its layers and base are used again), then:

- one container runs the devices of examples/machine.json (on fixed ports, so that they can be
  published) with its control API beyond the container's loopback and a token from a mounted
  file: each device answers over its published port, the image's health check (which reads the
  same file) turns healthy, the API answers with the token and refuses without, and a stop ends
  it within 2 s with status 0;
- a wrong machine file ends a container at once with status 1, its log naming the member; so
  does a control API beyond loopback without a token, naming the key;
- where podman-compose is installed, the bench of deploy/compose.yaml runs and its host side
  reaches every machine, with the bench's token.

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
import urllib.error
import urllib.request
from pathlib import Path

import yaml

SOURCES = Path(__file__).resolve().parents[2]
MOTEUR = str(SOURCES / "scripts" / "moteur-conteneur.sh")
IMAGE = "localhost/velorin:dev"
DEADLINE = 120.0
PORT_CONTROLE = 8080
# Inside the container the devices of examples/machine.json take these ports, so that they can
# be published; a request each answers, and the start of its answer.
PORTS_APPAREILS = {"plc": 10001, "laser": 10002}
ECHANGES = {"automateOMRON": (b"\x1bV1\r", b"\x1b1version Velorin\r"),
            "moduleLASERS": (b"\x1bV179\r", b"/1version Simulation module Lasers")}
JETON = "jeton-du-test-conteneur"
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


def reponse(port, requete, attendu):
    """What the device behind the published port answers, once it has said as much as
    `attendu` (or closed, or 5 s passed)."""
    recu = b""
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=5) as s:
            s.sendall(requete)
            while len(recu) < len(attendu):
                morceau = s.recv(256)
                if not morceau:
                    break
                recu += morceau
    except OSError:
        pass
    return recu


def statut_sante(port, jeton):
    requete = urllib.request.Request("http://127.0.0.1:%d/health" % port)
    if jeton:
        requete.add_header("Authorization", "Bearer " + jeton)
    try:
        with urllib.request.urlopen(requete, timeout=10) as r:
            return r.status
    except urllib.error.HTTPError as erreur:
        return erreur.code
    except OSError:
        return None


def machine_exemple():
    """The devices of examples/machine.json, on the fixed ports above."""
    machine = json.loads((SOURCES / "examples" / "machine.json").read_text(encoding="utf-8"))
    for appareil in machine["devices"]:
        appareil["port"] = PORTS_APPAREILS[appareil["name"]]
    return machine


class Conteneur(unittest.TestCase):
    def setUp(self):
        self.dossier = tempfile.TemporaryDirectory()
        self.noms = []

    def tearDown(self):
        for nom in self.noms:
            moteur("rm", "-f", nom, check=False)
        self.dossier.cleanup()

    def fichier(self, nom, texte):
        """A file the container's user (uid 10001) can read, to mount."""
        chemin = Path(self.dossier.name) / nom
        chemin.write_text(texte, encoding="utf-8")
        chemin.chmod(0o444)
        return chemin

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

    def test_a_machine_file_serves_its_devices_with_the_control_api_behind_a_token(self):
        machine = self.fichier("machine.json", json.dumps(machine_exemple()))
        jeton = self.fichier("jeton", JETON + "\n")
        args = ["-v", "%s:/etc/velorin/machine.json:ro" % machine,
                "-e", "VELORIN_MACHINE=/etc/velorin/machine.json",
                # Beyond the container's loopback, so with a token, which the image's health
                # check reads from the same file.
                "-v", "%s:/run/secrets/velorin/token:ro" % jeton,
                "-e", "VELORIN_CONTROL_BIND=0.0.0.0",
                "-e", "VELORIN_CONTROL_TOKEN_FILE=/run/secrets/velorin/token",
                "-p", "127.0.0.1::%d" % PORT_CONTROLE]
        for port in PORTS_APPAREILS.values():
            args += ["-p", "127.0.0.1::%d" % port]
        debut = time.monotonic()
        nom = self.lance(*args, IMAGE)
        wait_for(lambda: self.sante(nom) == "healthy", "a healthy container")
        CHIFFRES["time to healthy"] = "%.1f s" % (time.monotonic() - debut)
        for appareil in machine_exemple()["devices"]:
            with self.subTest(appareil["name"]):
                publie = self.port_publie(nom, appareil["port"])
                requete, attendu = ECHANGES[appareil["mode"]]
                self.assertEqual(reponse(publie, requete, attendu)[:len(attendu)], attendu)
        controle = self.port_publie(nom, PORT_CONTROLE)
        self.assertEqual([statut_sante(controle, j) for j in (JETON, None, "faux")],
                         [200, 401, 401])
        debut = time.monotonic()
        moteur("stop", "-t", "10", nom)
        duree = time.monotonic() - debut
        CHIFFRES["stop"] = "%.2f s" % duree
        etat = self.etat(nom)
        self.assertEqual(etat["ExitCode"], 0, moteur("logs", nom).stdout)
        self.assertLess(duree, 2.0)

    def test_a_wrong_machine_file_ends_it_with_1_naming_the_member(self):
        machine = machine_exemple()
        machine["devices"][0]["port"] = 70000
        fichier = self.fichier("machine.json", json.dumps(machine))
        nom = self.lance("-v", "%s:/etc/velorin/machine.json:ro" % fichier,
                         "-e", "VELORIN_MACHINE=/etc/velorin/machine.json", IMAGE)
        wait_for(lambda: not self.etat(nom)["Running"], "the container to end")
        journal = moteur("logs", nom)
        self.assertEqual(self.etat(nom)["ExitCode"], 1, journal.stdout + journal.stderr)
        self.assertIn("devices[0].port", journal.stdout + journal.stderr)

    def test_beyond_loopback_without_a_token_it_refuses_to_start(self):
        nom = self.lance("-e", "VELORIN_CONTROL_BIND=0.0.0.0", IMAGE)
        wait_for(lambda: not self.etat(nom)["Running"], "the container to end")
        journal = moteur("logs", nom)
        self.assertEqual(self.etat(nom)["ExitCode"], 1, journal.stdout + journal.stderr)
        self.assertIn("CONTROL_TOKEN", journal.stdout + journal.stderr)


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
        jeton = Path(dossier.name) / "jeton"
        jeton.write_text(JETON + "\n", encoding="utf-8")
        jeton.chmod(0o444)
        projet = "velorin-banc-%d" % os.getpid()
        env = {**os.environ, "VELORIN_IMAGE": IMAGE, "VELORIN_JETON": str(jeton),
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
            self.assertIn(machine + ": the control API is well and the PLC answers", journal)


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
