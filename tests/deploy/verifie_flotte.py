#!/usr/bin/env python3
"""The bench (deploy/compose.yaml) and the fleet (deploy/kubernetes/) agree with themselves and
with the image: every machine file is valid and served, ports, probes and files line up.

The kustomization is rendered by `kubectl kustomize` where a recent kubectl is installed, otherwise by
the few rules of it that these files use (resources, one ConfigMap from files, labels, image).
Where podman-compose is installed, its dry run shows how it would start the bench.

    verifie_flotte.py
"""

import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

import yaml

SOURCES = Path(__file__).resolve().parents[2]
DEPLOY = SOURCES / "deploy"
KUBE = DEPLOY / "kubernetes"
NOM_APPAREIL = re.compile(r"^[A-Za-z0-9_-]+$")
PREMIER_PORT = 10001
APPAREILS_PAR_SHARD = 1000
# Velorin's longest shutdown pause, in seconds: the grace period must leave room past it.
PAUSE_ARRET = 0.5
# The bench's token file, on the host: never in the tree.
JETON_COMPOSE = "${VELORIN_JETON:-./jeton}"

# The member of a Kubernetes object that holds what is wanted of it (its name is Kubernetes's).
VOULU = "spec"


def machine(fichier):
    donnees = json.loads(Path(fichier).read_text(encoding="utf-8"))
    appareils = donnees["devices"]
    assert appareils, fichier
    for appareil in appareils:
        assert NOM_APPAREIL.match(appareil["name"]), appareil
        assert isinstance(appareil["port"], int), appareil
    return appareils


def rendu_python():
    """What `kubectl kustomize` gives for these files, without kubectl."""
    k = yaml.safe_load((KUBE / "kustomization.yaml").read_text())
    objets = []
    for generateur in k.get("configMapGenerator", []):
        objets.append({"apiVersion": "v1", "kind": "ConfigMap",
                       "metadata": {"name": generateur["name"]},
                       "data": {Path(f).name: (KUBE / f).read_text(encoding="utf-8")
                                for f in generateur["files"]}})
    for ressource in k["resources"]:
        objets += [o for o in yaml.safe_load_all((KUBE / ressource).read_text()) if o]
    etiquettes = {}
    for groupe in k.get("labels", []):
        etiquettes.update(groupe["pairs"])
    images = {i["name"]: "%s:%s" % (i["newName"], i["newTag"]) for i in k.get("images", [])}
    for objet in objets:
        objet["metadata"].setdefault("labels", {}).update(etiquettes)
        corps = objet.get(VOULU, {})
        if objet["kind"] == "StatefulSet":
            corps.setdefault("selector", {}).setdefault("matchLabels", {}).update(etiquettes)
            corps["template"].setdefault("metadata", {}).setdefault("labels", {}).update(
                etiquettes)
            for conteneur in corps["template"][VOULU]["containers"]:
                conteneur["image"] = images.get(conteneur["image"], conteneur["image"])
        if objet["kind"] == "Service":
            corps.setdefault("selector", {}).update(etiquettes)
    return objets


def kustomize_recent():
    """kubectl with kustomize 4 or later, which knows `labels:` (Debian 12's kubectl 1.20 has
    kustomize 2, which refuses it and mislabels a StatefulSet with `commonLabels`)."""
    if not shutil.which("kubectl"):
        return False
    dit = subprocess.run(["kubectl", "version", "--client", "-o", "json"], capture_output=True,
                         text=True, timeout=60).stdout
    try:
        version = json.loads(dit).get("kustomizeVersion", "")
    except ValueError:
        return False
    majeure = version.lstrip("v").split(".")[0]
    return majeure.isdigit() and int(majeure) >= 4


def rendu():
    if kustomize_recent():
        sortie = subprocess.run(["kubectl", "kustomize", str(KUBE)], capture_output=True,
                                text=True, timeout=120, check=True).stdout
        return [o for o in yaml.safe_load_all(sortie) if o], "kubectl kustomize"
    return rendu_python(), "the rules of kustomize these files use"


def un(objets, genre):
    trouves = [o for o in objets if o["kind"] == genre]
    assert len(trouves) == 1, genre
    return trouves[0]


def env(conteneur):
    return {v["name"]: v.get("value") for v in conteneur.get("env", [])}


class Flotte(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.objets, cls.moteur = rendu()
        print("rendered by " + cls.moteur)
        cls.sts = un(cls.objets, "StatefulSet")
        cls.pod = cls.sts[VOULU]["template"][VOULU]
        cls.conteneur = cls.pod["containers"][0]
        cls.ports = {p["name"]: p["containerPort"] for p in cls.conteneur["ports"]}
        cls.carte = un(cls.objets, "ConfigMap")

    def test_one_pod_per_shard_file_and_each_file_is_served(self):
        fichiers = sorted(self.carte["data"])
        self.assertEqual(fichiers, ["shard-%d.json" % i for i in range(len(fichiers))])
        self.assertEqual(fichiers, sorted(p.name for p in (KUBE / "shards").glob("*.json")))
        self.assertEqual(self.sts[VOULU]["replicas"], len(fichiers))
        # The pod's ordinal, from its name, picks the file in the mounted ConfigMap.
        volumes = {v["name"]: v for v in self.pod["volumes"]}
        montage = next(m for m in self.conteneur["volumeMounts"]
                       if volumes[m["name"]].get("configMap"))
        self.assertEqual(volumes[montage["name"]]["configMap"]["name"],
                         self.carte["metadata"]["name"])
        commande = " ".join(self.conteneur["command"] + self.conteneur["args"])
        self.assertIn("MACHINE=%s/shard-${HOSTNAME##*-}.json" % montage["mountPath"], commande)

    def test_shards_fit_the_ports_and_share_no_device_name(self):
        noms = []
        politique = un(self.objets, "NetworkPolicy")
        plage = next(r["ports"][0] for r in politique[VOULU]["ingress"] if "from" not in r)
        self.assertEqual(plage["port"], PREMIER_PORT)
        self.assertEqual(plage["endPort"], PREMIER_PORT + APPAREILS_PAR_SHARD - 1)
        for nom, texte in self.carte["data"].items():
            appareils = json.loads(texte)["devices"]
            self.assertLessEqual(len(appareils), APPAREILS_PAR_SHARD, nom)
            ports = [a["port"] for a in appareils]
            self.assertEqual(len(set(ports)), len(ports), nom)
            for port in ports:
                self.assertTrue(plage["port"] <= port <= plage["endPort"], (nom, port))
            self.assertIn(self.ports["appareil-1"], ports, nom)
            noms += [a["name"] for a in appareils]
            for appareil in appareils:
                self.assertTrue(NOM_APPAREIL.match(appareil["name"]), appareil)
        self.assertEqual(len(set(noms)), len(noms), "a device name is in two shards")

    def test_probes_ask_health_on_the_control_port_with_the_secret_token(self):
        variables = env(self.conteneur)
        controle = int(variables["VELORIN_CONTROL"])
        self.assertEqual(self.ports["controle"], controle)
        for sonde in ("readinessProbe", "livenessProbe"):
            with self.subTest(sonde):
                # An exec probe: the check reads the token file inside the container, which an
                # httpGet probe could only send by writing the token into the pod's description.
                self.assertNotIn("httpGet", self.conteneur[sonde])
                self.assertEqual(self.conteneur[sonde]["exec"]["command"],
                                 ["velorin", "--check-health",
                                  "http://127.0.0.1:%d/health" % controle])
                # The check gives up after 5 s; the probe must wait for its answer.
                self.assertGreater(self.conteneur[sonde]["timeoutSeconds"], 5)
        # The API listens beyond the pod's loopback, and then only with a token, read from the
        # Secret's key as the file the variable names.
        self.assertEqual(variables["VELORIN_CONTROL_BIND"], "0.0.0.0")
        self.assertNotIn("VELORIN_CONTROL_TOKEN", variables)
        jeton = Path(variables["VELORIN_CONTROL_TOKEN_FILE"])
        volumes = {v["name"]: v for v in self.pod["volumes"]}
        montages = [m for m in self.conteneur["volumeMounts"]
                    if volumes[m["name"]].get("secret")]
        self.assertEqual([m["mountPath"] for m in montages], [str(jeton.parent)])
        secret = volumes[montages[0]["name"]]["secret"]
        self.assertEqual(secret["secretName"], "velorin-controle")
        self.assertEqual(secret["items"], [{"key": "token", "path": jeton.name}])
        # Readable by the pod's group only: fsGroup gives the uid the program runs as.
        self.assertEqual(secret["defaultMode"] & 0o007, 0)
        # The kustomization says how to make that Secret, with that key.
        self.assertIn("kubectl create secret generic velorin-controle --from-file=token=",
                      (KUBE / "kustomization.yaml").read_text())
        # Only the shards' own pods reach the control port.
        politique = un(self.objets, "NetworkPolicy")
        regle = next(r for r in politique[VOULU]["ingress"] if "from" in r)
        self.assertEqual([p["port"] for p in regle["ports"]], [controle])

    def test_the_service_is_headless_and_inside_the_cluster(self):
        service = un(self.objets, "Service")
        self.assertEqual(service[VOULU]["clusterIP"], "None")
        self.assertNotIn("type", service[VOULU])
        self.assertEqual(self.sts[VOULU]["serviceName"], service["metadata"]["name"])
        etiquettes = self.sts[VOULU]["template"]["metadata"]["labels"]
        for cle, valeur in service[VOULU]["selector"].items():
            self.assertEqual(etiquettes.get(cle), valeur)
        for port in service[VOULU]["ports"]:
            self.assertEqual(self.ports[port["targetPort"]], port["port"])

    def test_stop_and_size(self):
        self.assertGreater(self.pod["terminationGracePeriodSeconds"], PAUSE_ARRET + 1)
        ressources = self.conteneur["resources"]
        self.assertEqual(ressources["limits"]["cpu"], "1")
        self.assertGreaterEqual(int(ressources["requests"]["memory"].rstrip("Mi")), 150)
        self.assertGreaterEqual(int(ressources["limits"]["memory"].rstrip("Mi")),
                                int(ressources["requests"]["memory"].rstrip("Mi")))
        self.assertTrue(self.pod["securityContext"]["runAsNonRoot"])


class Banc(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.compose = yaml.safe_load((DEPLOY / "compose.yaml").read_text())
        cls.services = cls.compose["services"]
        cls.machines = {n: s for n, s in cls.services.items()
                        if "VELORIN_MACHINE" in s.get("environment", {})}

    def test_each_machine_publishes_its_devices_and_checks_its_health(self):
        self.assertGreaterEqual(len(self.machines), 2)
        publies = []
        for nom, service in self.machines.items():
            with self.subTest(nom):
                source, cible = service["volumes"][0].split(":")[:2]
                self.assertEqual(cible, service["environment"]["VELORIN_MACHINE"])
                appareils = machine(DEPLOY / source)
                ports = sorted(int(p.rsplit(":", 1)[1]) for p in service["ports"])
                self.assertEqual(ports, sorted(a["port"] for a in appareils))
                publies += [p.rsplit(":", 1)[0] for p in service["ports"]]
                for p in service["ports"]:
                    self.assertTrue(p.startswith("127.0.0.1:"), p)
                self.assertEqual(service["healthcheck"]["test"],
                                 ["CMD", "velorin", "--check-health",
                                  "http://127.0.0.1:8080/health"])
                self.assertEqual(service["stop_signal"], "SIGTERM")
                # Beyond its loopback, so with the token, whose file the health check reads too.
                variables = service["environment"]
                self.assertEqual(variables["VELORIN_CONTROL_BIND"], "0.0.0.0")
                self.assertIn(JETON_COMPOSE + ":" + variables["VELORIN_CONTROL_TOKEN_FILE"] + ":ro",
                              service["volumes"])
        self.assertEqual(len(set(publies)), len(publies), "a host port is published twice")

    def test_the_host_side_waits_for_every_machine_to_be_healthy(self):
        banc = self.services["banc"]
        self.assertEqual(banc["depends_on"],
                         {n: {"condition": "service_healthy"} for n in self.machines})
        for nom in self.machines:
            self.assertIn(nom, banc["command"][0])
        # It asks each machine's control API with the machines' own token.
        self.assertIn("--check-health", banc["command"][0])
        self.assertIn(JETON_COMPOSE + ":" + banc["environment"]["VELORIN_CONTROL_TOKEN_FILE"]
                      + ":ro", banc["volumes"])
        self.assertEqual((DEPLOY / ".gitignore").read_text().split(), ["jeton"])

    @unittest.skipUnless(shutil.which("podman-compose"), "podman-compose is not installed")
    def test_podman_compose_starts_each_machine_with_its_health_check(self):
        # Debian's podman-compose has no `config`; its dry run prints what `up` would run. It
        # makes a bind mount's missing source even so: the token is a file of the test's own,
        # never deploy/jeton in the sources.
        avant = (DEPLOY / "jeton").exists()  # made by hand, as the compose file says
        with tempfile.TemporaryDirectory() as dossier:
            jeton = os.path.join(dossier, "jeton")
            with open(jeton, "w") as f:
                f.write("jeton-du-test\n")
            sortie = subprocess.run(["podman-compose", "--dry-run", "-f",
                                     str(DEPLOY / "compose.yaml"), "up", "-d"],
                                    stdin=subprocess.DEVNULL, capture_output=True, text=True,
                                    env={**os.environ, "VELORIN_JETON": jeton},
                                    timeout=120, check=True).stdout
        self.assertEqual((DEPLOY / "jeton").exists(), avant, "the dry run made deploy/jeton")
        lancements = [l for l in sortie.splitlines() if l.startswith("podman run ")]
        self.assertEqual(len(lancements), len(self.services))
        for nom, service in self.machines.items():
            with self.subTest(nom):
                ligne = next(l for l in lancements if "--network-alias %s " % nom in l)
                self.assertIn("--check-health", ligne)
                self.assertIn("--stop-signal SIGTERM", ligne)
                self.assertIn("--ulimit nofile=", ligne)
                for port in service["ports"]:
                    self.assertIn("-p " + port, ligne)

if __name__ == "__main__":
    unittest.main()
