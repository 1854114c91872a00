#!/usr/bin/env python3
"""The control port's page in a real headless Chromium, against the real program: the page
shows the device's state, edits through it reach the device's next reply, a request to the
device shows in the page's log through the event stream, the plot follows a moving axis, and
fault rules are added, counted and removed from it.

Every wait is on a condition with a generous deadline, but one: a line pushed by the stream
must show within a second, which is the point of pushing it.
"""

import argparse
import json
import shutil
import sys
import tempfile
import threading
import time
import unittest
import urllib.request
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from pathlib import Path

from selenium import webdriver
from selenium.common.exceptions import StaleElementReferenceException
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import Select, WebDriverWait

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "python"))
import velorin  # noqa: E402  (the package of this tree)

BINARY = None
DEADLINE = 30.0
# The flags this machine's Chromium needs: no sandbox as root, and no calls home, which the
# closed network refuses.
CHROMIUM_FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                  "--no-first-run", "--disable-background-networking",
                  "--disable-component-update", "--disable-sync", "--window-size=1280,1100"]


def chromium(profil):
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for flag in CHROMIUM_FLAGS:
        options.add_argument(flag)
    options.add_argument("--user-data-dir=" + profil)
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)


class Page(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.velorin = velorin.Velorin(binary=BINARY, clock="step", start_timeout=60.0,
                                      stop_timeout=60.0).start()
        cls.profil = tempfile.mkdtemp(prefix="velorin-chromium-")
        try:
            cls.navigateur = chromium(cls.profil)
        except Exception:
            cls.velorin.stop()
            shutil.rmtree(cls.profil, ignore_errors=True)
            raise
        cls.navigateur.get(f"http://127.0.0.1:{cls.velorin.control_port}/")

    @classmethod
    def tearDownClass(cls):
        cls.navigateur.quit()
        shutil.rmtree(cls.profil, ignore_errors=True)
        cls.velorin.stop()

    def setUp(self):
        self.velorin.api.post("/reset")

    def attend(self, condition, message, delai=DEADLINE):
        try:
            # The page redraws its tables as it polls: an element read may be gone already.
            return WebDriverWait(self.navigateur, delai, poll_frequency=0.02,
                                 ignored_exceptions=[StaleElementReferenceException]).until(
                lambda _: condition())
        except Exception as erreur:
            raise AssertionError(message + "; the page's log:\n" + self.texte_journal()) from erreur

    def element(self, ident):
        return self.navigateur.find_element(By.ID, ident)

    def texte_journal(self):
        return self.element("lignes").text

    def test_shows_the_device_and_its_state(self):
        self.velorin.set_state(Txt_ValeurLu="712", Chk_HOMING_X_ok=True)
        etat = self.velorin.state()
        self.attend(lambda: self.element("Txt_ValeurLu").get_attribute("value") == "712",
                    "the laser value reaches the page")
        self.attend(lambda: self.element("Chk_HOMING_X_ok").is_selected(), "homing X ticked")
        self.assertFalse(self.element("Chk_HOMING_Z_ok").is_selected())
        self.assertFalse(self.element("Chk_TPnon0").is_selected())
        # A client of the test before may still be closing: the page and the state agree once
        # the close is seen, whichever of them reads first.
        self.attend(lambda: self.element("Lbl_LiaisonValide").text
                    == self.velorin.state()["Lbl_LiaisonValide"], "the link label")
        self.assertEqual(self.element("Lbl_PosDemX").text, etat["Lbl_PosDemX"])
        ligne = self.navigateur.find_element(By.CSS_SELECTOR, "#listeAppareils tr[data-nom]")
        cellules = [td.text for td in ligne.find_elements(By.TAG_NAME, "td")]
        self.assertEqual(cellules[:3], ["default", "automateOMRON", str(self.velorin.port)])

    def test_edits_on_the_page_reach_the_device(self):
        Select(self.element("Cmb_Simulate")).select_by_visible_text("moduleLASERS")
        self.attend(lambda: self.velorin.state()["Cmb_Simulate"] == "moduleLASERS",
                    "the mode chosen on the page")
        champ = self.element("Txt_ValeurLu")
        champ.click()
        champ.send_keys(Keys.CONTROL, "a")
        champ.send_keys("1234", Keys.ENTER)
        self.attend(lambda: self.velorin.state()["Txt_ValeurLu"] == "1234",
                    "the laser value typed on the page")
        with self.velorin.laser() as laser:
            self.assertEqual(laser.value(), 1234)
        self.element("Chk_TPnon0").click()
        self.attend(lambda: self.velorin.state()["Chk_TPnon0"] is True, "TP <> 0 ticked")
        self.attend(lambda: "controle HTTP : Chk_TPnon0 = coché" in self.texte_journal(),
                    "the change's log line")
        self.element("effaceJournal").click()
        self.attend(lambda: "zone message effacée" in self.texte_journal()
                    and "Chk_TPnon0 = coché" not in self.texte_journal(),
                    "the message area cleared, as the window's button does")

    def test_a_request_shows_in_the_log_within_a_second(self):
        self.attend(lambda: "en direct" in self.element("etatFlux").text, "the stream is open")
        with self.velorin.plc() as plc:
            plc.version()
            repondu = time.monotonic()
            self.attend(lambda: "demande version firmware" in self.texte_journal(),
                        "the request's line pushed to the page")
            self.assertLess(time.monotonic() - repondu, 1.0)
            # Paused, the page holds lines back; going on shows them in order.
            self.element("pause").click()
            montre = self.texte_journal()
            plc.ask("Z1X")
            self.attend(lambda: "1 en attente" in self.element("etatFlux").text,
                        "a line held back")
            self.assertEqual(self.texte_journal(), montre)
            self.element("pause").click()
            self.attend(lambda: "en attente" not in self.element("etatFlux").text, "resumed")
            self.assertNotEqual(self.texte_journal(), montre)
            self.element("videVue").click()
            self.assertEqual(self.texte_journal(), "")
            plc.version()
            self.attend(lambda: "demande version firmware" in self.texte_journal(),
                        "lines after the view was emptied")

    def test_the_plot_follows_a_moving_axis(self):
        with self.velorin.plc() as plc:
            plc.home()
            self.assertEqual(plc.move(60000, 3000), "Ok")
        toile = self.element("trace")
        vus = []
        for _ in range(3):
            avant = toile.get_attribute("data-dernier")
            image = self.navigateur.execute_script("return arguments[0].toDataURL()", toile)
            self.velorin.advance(ms=200)
            self.attend(lambda: toile.get_attribute("data-dernier") != avant,
                        "the plot's newest sample changes")
            self.assertNotEqual(
                self.navigateur.execute_script("return arguments[0].toDataURL()", toile), image)
            vus.append(int(toile.get_attribute("data-dernier").split(",")[1]))
        self.assertEqual(vus, sorted(vus), "real X goes up towards its demand")
        self.assertGreater(vus[-1], vus[0])

    def test_fault_rules_are_added_counted_and_removed(self):
        regle = {"match": {"command": "V"}, "action": {"type": "delay", "ms": 1}}
        self.element("nouvelleRegle").send_keys(json.dumps(regle))
        self.element("ajouteRegle").click()
        self.attend(lambda: len(self.velorin.api.faults()) == 1, "the rule added from the page")
        ident = self.velorin.api.faults()[0]["id"]
        with self.velorin.plc() as plc:
            plc.version()
        cellule = f"#listeDefauts tr[data-id='{ident}'] td"
        self.attend(lambda: [td.text for td in self.navigateur.find_elements(
            By.CSS_SELECTOR, cellule)][:2] == [str(ident), "1"], "the rule fired once")
        self.attend(lambda: [td.text for td in self.navigateur.find_elements(
            By.CSS_SELECTOR, "#listeAppareils td")][4:5] == ["1"], "the device's fired count")
        self.navigateur.find_element(By.CSS_SELECTOR, cellule + " button").click()
        self.attend(lambda: self.velorin.api.faults() == [], "the rule removed from the page")
        # A rule the program refuses says why and adds nothing.
        self.element("nouvelleRegle").send_keys('{"action": {"type": "nonsense"}}')
        self.element("ajouteRegle").click()
        self.attend(lambda: self.element("erreurDefauts").text != "", "the refusal shown")
        self.assertEqual(self.velorin.api.faults(), [])


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


class SeveralDevices(unittest.TestCase):
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
        self.profil = tempfile.mkdtemp(prefix="velorin-chromium-")
        self.navigateur = chromium(self.profil)

    def tearDown(self):
        self.navigateur.quit()
        Appareils.fin.set()
        self.serveur.shutdown()
        self.serveur.server_close()
        shutil.rmtree(self.profil, ignore_errors=True)

    def attend(self, condition, message):
        try:
            return WebDriverWait(self.navigateur, DEADLINE, poll_frequency=0.02,
                                 ignored_exceptions=[StaleElementReferenceException]).until(
                lambda _: condition())
        except Exception as erreur:
            raise AssertionError(message) from erreur

    def test_a_grid_of_devices_each_read_through_its_own_routes_with_the_token(self):
        n = self.navigateur
        n.get(f"http://127.0.0.1:{self.serveur.server_port}/#token=s3cr%C3%A8t")
        boutons = lambda: n.find_elements(By.CSS_SELECTOR, "#listeAppareils .grille button")
        self.attend(lambda: len(boutons()) == 12, "twelve devices in a grid")
        self.assertEqual(boutons()[7].text, "d7 · modeECHO · :41007 · 1 cl. · 7 déf.")
        self.attend(lambda: n.find_element(By.ID, "Txt_ValeurLu").get_attribute("value") == "d0",
                    "the first device selected")
        boutons()[7].click()
        self.attend(lambda: n.find_element(By.ID, "Txt_ValeurLu").get_attribute("value") == "d7",
                    "the device chosen")
        self.attend(lambda: n.find_element(By.ID, "lignes").text == "ligne de d7",
                    "the chosen device's log")
        n.find_element(By.ID, "Chk_TPnon0").click()
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


def main():
    global BINARY
    parser = argparse.ArgumentParser()
    parser.add_argument("--binary", required=True)
    options, rest = parser.parse_known_args()
    BINARY = options.binary
    unittest.main(argv=[sys.argv[0], "-v", *rest])


if __name__ == "__main__":
    main()
