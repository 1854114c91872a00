#!/usr/bin/env python3
"""The control port's page in a real headless Chromium and a real headless Firefox, against the
real program: the page shows the device's state, edits through it reach the device's next
reply, a request to the device shows in the page's log through the event stream; on a machine,
the device chosen is the one read, edited and followed. In Chromium also: the plot follows a
moving axis, and fault rules are added, counted and removed from the page.

Every wait is on a condition with a generous deadline, but one: a line pushed by the stream
must show within a second, which is the point of pushing it.
"""

import argparse
import json
import sys
import threading
import time
import unittest
import urllib.request
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from pathlib import Path

import pilotes

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "python"))
import velorin  # noqa: E402  (the package of this tree)

BINARY = None
MACHINE = Path(__file__).resolve().parents[2] / "examples" / "machine.json"
DEADLINE = 30.0
# One browser of each kind for the whole run, each test opening its page afresh: Firefox takes
# seconds to start.
PILOTES = {}


def pilote(Pilote):
    if Pilote not in PILOTES:
        PILOTES[Pilote] = Pilote(DEADLINE)
    return PILOTES[Pilote]


def tearDownModule():
    while PILOTES:
        PILOTES.popitem()[1].ferme()


class Navigateur:
    """What the tests read of the page, through whichever browser the class names."""

    Pilote = None

    def attend(self, condition, message, delai=DEADLINE):
        try:
            return pilotes.attend(condition, delai, message)
        except AssertionError as erreur:
            raise AssertionError(message + "; the page's log:\n" + self.texte("lignes")) from erreur

    def texte(self, ident):
        return self.pilote.script("return document.getElementById(arguments[0]).innerText", ident)

    def valeur(self, ident):
        return self.pilote.script("return document.getElementById(arguments[0]).value", ident)

    def coche(self, ident):
        return self.pilote.script("return document.getElementById(arguments[0]).checked", ident)

    def cellules(self, selecteur):
        return self.pilote.script("return Array.from(document.querySelectorAll(arguments[0]),"
                                  " (e) => e.innerText)", selecteur)


class Page(Navigateur):
    """One device on the flat routes: state, edits and the live log."""

    @classmethod
    def setUpClass(cls):
        cls.velorin = velorin.Velorin(binary=BINARY, clock="step", start_timeout=60.0,
                                      stop_timeout=60.0).start()
        try:
            cls.pilote = pilote(cls.Pilote)
            cls.pilote.ouvre(f"http://127.0.0.1:{cls.velorin.control_port}/")
        except Exception:
            cls.velorin.stop()
            raise

    @classmethod
    def tearDownClass(cls):
        cls.velorin.stop()

    def setUp(self):
        self.velorin.api.post("/reset")

    def test_shows_the_device_and_its_state(self):
        self.velorin.set_state(Txt_ValeurLu="712", Chk_HOMING_X_ok=True)
        etat = self.velorin.state()
        self.attend(lambda: self.valeur("Txt_ValeurLu") == "712",
                    "the laser value reaches the page")
        self.attend(lambda: self.coche("Chk_HOMING_X_ok"), "homing X ticked")
        self.assertFalse(self.coche("Chk_HOMING_Z_ok"))
        self.assertFalse(self.coche("Chk_TPnon0"))
        # A client of the test before may still be closing: the page and the state agree once
        # the close is seen, whichever of them reads first.
        self.attend(lambda: self.texte("Lbl_LiaisonValide")
                    == self.velorin.state()["Lbl_LiaisonValide"], "the link label")
        self.assertEqual(self.texte("Lbl_PosDemX"), etat["Lbl_PosDemX"])
        self.assertEqual(self.cellules("#listeAppareils tr[data-nom] td")[:3],
                         ["default", "automateOMRON", str(self.velorin.port)])

    def test_edits_on_the_page_reach_the_device(self):
        self.pilote.choisit("#Cmb_Simulate", "moduleLASERS")
        self.attend(lambda: self.velorin.state()["Cmb_Simulate"] == "moduleLASERS",
                    "the mode chosen on the page")
        self.pilote.saisit("#Txt_ValeurLu", "1234")
        self.attend(lambda: self.velorin.state()["Txt_ValeurLu"] == "1234",
                    "the laser value typed on the page")
        with self.velorin.laser() as laser:
            self.assertEqual(laser.value(), 1234)
        self.pilote.clique("#Chk_TPnon0")
        self.attend(lambda: self.velorin.state()["Chk_TPnon0"] is True, "TP <> 0 ticked")
        self.attend(lambda: "controle HTTP : Chk_TPnon0 = coché" in self.texte("lignes"),
                    "the change's log line")
        self.pilote.clique("#effaceJournal")
        self.attend(lambda: "zone message effacée" in self.texte("lignes")
                    and "Chk_TPnon0 = coché" not in self.texte("lignes"),
                    "the message area cleared, as the window's button does")

    def test_a_request_shows_in_the_log_within_a_second(self):
        self.attend(lambda: "en direct" in self.texte("etatFlux"), "the stream is open")
        with self.velorin.plc() as plc:
            plc.version()
            repondu = time.monotonic()
            self.attend(lambda: "demande version firmware" in self.texte("lignes"),
                        "the request's line pushed to the page")
            self.assertLess(time.monotonic() - repondu, 1.0)
            # Paused, the page holds lines back; going on shows them in order.
            self.pilote.clique("#pause")
            montre = self.texte("lignes")
            plc.ask("Z1X")
            self.attend(lambda: "1 en attente" in self.texte("etatFlux"), "a line held back")
            self.assertEqual(self.texte("lignes"), montre)
            self.pilote.clique("#pause")
            self.attend(lambda: "en attente" not in self.texte("etatFlux"), "resumed")
            self.assertNotEqual(self.texte("lignes"), montre)
            self.pilote.clique("#videVue")
            self.assertEqual(self.texte("lignes"), "")
            plc.version()
            self.attend(lambda: "demande version firmware" in self.texte("lignes"),
                        "lines after the view was emptied")


class Machine(Navigateur):
    """A machine's run: the laser chosen among its devices, read, edited and followed."""

    def setUp(self):
        self.velorin = velorin.Velorin(binary=BINARY, machine=str(MACHINE), start_timeout=60.0,
                                       stop_timeout=60.0).start()
        self.addCleanup(self.velorin.stop)
        self.pilote = pilote(self.Pilote)
        self.pilote.ouvre(f"http://127.0.0.1:{self.velorin.control_port}/")

    def test_the_laser_chosen_is_read_edited_and_followed_alone(self):
        laser, plc = self.velorin.device("laser"), self.velorin.device("plc")
        laser.set_state(Txt_ValeurLu="321")
        self.attend(lambda: self.cellules("#listeAppareils tr[data-nom] td:first-child")
                    == ["plc", "laser"], "the machine's devices")
        self.pilote.clique("#listeAppareils tr[data-nom='laser']")
        self.attend(lambda: self.texte("nomAppareil") == "laser", "the laser chosen")
        self.attend(lambda: self.valeur("Txt_ValeurLu") == "321"
                    and self.valeur("Cmb_Simulate") == "moduleLASERS", "the laser's state")
        self.attend(lambda: self.texte("Lbl_LiaisonValide")
                    == laser.state()["Lbl_LiaisonValide"], "the laser's link label")
        valeur_plc = plc.state()["Txt_ValeurLu"]
        self.pilote.saisit("#Txt_ValeurLu", "4321")
        self.attend(lambda: laser.state()["Txt_ValeurLu"] == "4321", "the value typed")
        with self.velorin.laser("laser") as client:
            self.assertEqual(client.value(), 4321)
        self.assertEqual(plc.state()["Txt_ValeurLu"], valeur_plc)
        # The plc's request is in its own log before the laser's is made: had it reached the
        # laser's stream, it would show first.
        self.attend(lambda: "en direct" in self.texte("etatFlux"), "the laser's stream is open")
        with self.velorin.plc("plc") as client:
            client.version()
        self.attend(lambda: any("demande version firmware" in ligne
                                for ligne in plc.log()["lines"]), "the plc's request logged")
        with self.velorin.laser("laser") as client:
            client.version()
            repondu = time.monotonic()
            self.attend(lambda: "demande version ->" in self.texte("lignes"),
                        "the laser's request pushed to the page")
            self.assertLess(time.monotonic() - repondu, 1.0)
        self.assertNotIn("demande version firmware", self.texte("lignes"))


class PageChromium(Page, unittest.TestCase):
    Pilote = pilotes.Chromium

    def test_the_plot_follows_a_moving_axis(self):
        with self.velorin.plc() as plc:
            plc.home()
            self.assertEqual(plc.move(60000, 3000), "Ok")
        toile = self.pilote.element("#trace")
        vus = []
        for _ in range(3):
            avant = toile.get_attribute("data-dernier")
            image = self.pilote.script("return arguments[0].toDataURL()", toile)
            self.velorin.advance(ms=200)
            self.attend(lambda: toile.get_attribute("data-dernier") != avant,
                        "the plot's newest sample changes")
            self.assertNotEqual(self.pilote.script("return arguments[0].toDataURL()", toile),
                                image)
            vus.append(int(toile.get_attribute("data-dernier").split(",")[1]))
        self.assertEqual(vus, sorted(vus), "real X goes up towards its demand")
        self.assertGreater(vus[-1], vus[0])

    def test_fault_rules_are_added_counted_and_removed(self):
        regle = {"match": {"command": "V"}, "action": {"type": "delay", "ms": 1}}
        self.pilote.element("#nouvelleRegle").send_keys(json.dumps(regle))
        self.pilote.clique("#ajouteRegle")
        self.attend(lambda: len(self.velorin.api.faults()) == 1, "the rule added from the page")
        ident = self.velorin.api.faults()[0]["id"]
        with self.velorin.plc() as plc:
            plc.version()
        cellule = f"#listeDefauts tr[data-id='{ident}'] td"
        self.attend(lambda: self.cellules(cellule)[:2] == [str(ident), "1"], "the rule fired once")
        self.attend(lambda: self.cellules("#listeAppareils td")[4:5] == ["1"],
                    "the device's fired count")
        self.pilote.clique(cellule + " button")
        self.attend(lambda: self.velorin.api.faults() == [], "the rule removed from the page")
        # A rule the program refuses says why and adds nothing.
        self.pilote.element("#nouvelleRegle").send_keys('{"action": {"type": "nonsense"}}')
        self.pilote.clique("#ajouteRegle")
        self.attend(lambda: self.texte("erreurDefauts") != "", "the refusal shown")
        self.assertEqual(self.velorin.api.faults(), [])


class PageFirefox(Page, unittest.TestCase):
    Pilote = pilotes.Firefox


class MachineChromium(Machine, unittest.TestCase):
    Pilote = pilotes.Chromium


class MachineFirefox(Machine, unittest.TestCase):
    Pilote = pilotes.Firefox


class Appareils(BaseHTTPRequestHandler):
    """A program that serves twelve devices, as a multi-device run answers: the page as Velorin
    serves it, canned answers for the rest, and every request kept with its headers."""

    page = b""
    requetes = []
    fin = threading.Event()

    def log_message(self, *arguments):
        pass

    def reponse(self, corps, type_="application/json"):
        donnees = corps if isinstance(corps, bytes) else json.dumps(corps).encode()
        self.send_response(200)
        self.send_header("Content-Type", type_)
        self.send_header("Content-Length", str(len(donnees)))
        self.end_headers()
        self.wfile.write(donnees)

    def do_GET(self):
        self.requetes.append(("GET", self.path, dict(self.headers)))
        morceaux = self.path.split("?")[0].split("/")
        if self.path == "/":
            return self.reponse(self.page, "text/html; charset=utf-8")
        if self.path == "/devices":
            return self.reponse({"devices": [{"name": f"d{i}", "mode": "modeECHO",
                                              "port": 41000 + i, "clients": i % 3}
                                             for i in range(12)]})
        if len(morceaux) == 4 and morceaux[3] == "faults":
            return self.reponse({"faults": [{"id": 1, "fired": int(morceaux[2][1:]),
                                             "armed": True, "action": {"type": "drop"}}]})
        if len(morceaux) == 4 and morceaux[3] == "state":
            return self.reponse(self.etat(morceaux[2]))
        if len(morceaux) == 4 and morceaux[3] == "events":
            self.send_response(200)
            self.send_header("Content-Type", "text/event-stream")
            self.end_headers()
            self.wfile.write(f'event: contenu\ndata: ["ligne de {morceaux[2]}"]\n\n'.encode())
            self.wfile.flush()
            self.fin.wait(DEADLINE)
            return None
        self.send_error(404)
        return None

    def do_PATCH(self):
        corps = self.rfile.read(int(self.headers["Content-Length"]))
        self.requetes.append(("PATCH", self.path, dict(self.headers), corps))
        self.reponse(self.etat(self.path.split("/")[2]))

    @staticmethod
    def etat(nom):
        return {"Cmb_Simulate": "modeECHO", "Txt_ValeurLu": nom, "Lbl_PosDemX": "00000000",
                "Lbl_PosDemZ": "00000000", "Lbl_PosRelleX": "00000000",
                "Lbl_PosRelleZ": "00000000", "Lbl_LiaisonValide": "aucune liaison",
                "Chk_HOMING_X_ok": False, "Chk_HOMING_Z_ok": False, "Chk_TPnon0": False,
                "Chk_TraceIP": False}


class SeveralDevices(Navigateur):
    """The page against a program that answers GET /devices: a grid of devices, the selected
    one read through its own routes, and the token of the address sent with every request."""

    def setUp(self):
        with velorin.Velorin(binary=BINARY, start_timeout=60.0, stop_timeout=60.0) as v:
            Appareils.page = urllib.request.urlopen(
                f"http://127.0.0.1:{v.control_port}/", timeout=DEADLINE).read()
        Appareils.requetes = []
        Appareils.fin.clear()
        self.serveur = ThreadingHTTPServer(("127.0.0.1", 0), Appareils)
        self.serveur.daemon_threads = True
        threading.Thread(target=self.serveur.serve_forever, daemon=True).start()
        self.addCleanup(self.serveur.server_close)
        self.addCleanup(self.serveur.shutdown)
        self.addCleanup(Appareils.fin.set)
        self.pilote = pilote(self.Pilote)

    def test_a_grid_of_devices_each_read_through_its_own_routes_with_the_token(self):
        self.pilote.ouvre(f"http://127.0.0.1:{self.serveur.server_port}/#token=s3cr%C3%A8t")
        boutons = "#listeAppareils .grille button"
        self.attend(lambda: len(self.cellules(boutons)) == 12, "twelve devices in a grid")
        self.assertEqual(self.cellules(boutons)[7], "d7 · modeECHO · :41007 · 1 cl. · 7 déf.")
        self.attend(lambda: self.valeur("Txt_ValeurLu") == "d0", "the first device selected")
        self.pilote.clique(boutons + ":nth-child(8)")
        self.attend(lambda: self.valeur("Txt_ValeurLu") == "d7", "the device chosen")
        self.attend(lambda: self.texte("lignes") == "ligne de d7", "the chosen device's log")
        self.pilote.clique("#Chk_TPnon0")
        self.attend(lambda: any(r[0] == "PATCH" for r in Appareils.requetes), "the edit sent")
        methode, chemin, entetes, corps = next(r for r in Appareils.requetes if r[0] == "PATCH")
        self.assertEqual((chemin, json.loads(corps)), ("/devices/d7/state", {"Chk_TPnon0": True}))
        self.assertEqual(entetes["Content-Type"], "application/json")
        self.assertEqual(entetes["X-Velorin"], "1")
        for requete in Appareils.requetes:
            if "/events" in requete[1]:
                self.assertTrue(requete[1].endswith("/events?access_token=s3cr%C3%A8t"), requete)
            elif requete[1] != "/":
                self.assertEqual(requete[2].get("Authorization"), "Bearer s3crèt", requete[:2])
        self.assertIn("/devices/d7/events?access_token=s3cr%C3%A8t",
                      [r[1] for r in Appareils.requetes])


class SeveralDevicesChromium(SeveralDevices, unittest.TestCase):
    Pilote = pilotes.Chromium


class SeveralDevicesFirefox(SeveralDevices, unittest.TestCase):
    Pilote = pilotes.Firefox


def main():
    global BINARY
    parser = argparse.ArgumentParser()
    parser.add_argument("--binary", required=True)
    options, rest = parser.parse_known_args()
    BINARY = options.binary
    unittest.main(argv=[sys.argv[0], "-v", *rest])


if __name__ == "__main__":
    main()
