"""The two browsers the page is tried in, behind the few operations its tests need: open an
address, run a script, click, type into a field, choose in a list, close.

Chromium goes through selenium and Debian's chromedriver. Firefox has no driver in Debian: it
is driven through WebDriver BiDi, which it serves itself on a WebSocket when started with
--remote-debugging-port.
"""

import json
import os
import re
import shutil
import signal
import subprocess
import tempfile
import time

# The flags this machine's Chromium needs: no sandbox as root, and no calls home, which the
# closed network refuses.
CHROMIUM_FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                  "--no-first-run", "--disable-background-networking",
                  "--disable-component-update", "--disable-sync", "--window-size=1280,1100"]

# Firefox's calls home, which the closed network refuses; the remote agent turns off most of
# them already.
FIREFOX_PREFS = {"app.update.disabledForTesting": True, "browser.shell.checkDefaultBrowser": False,
                 "datareporting.policy.dataSubmissionEnabled": False,
                 "network.captive-portal-service.enabled": False,
                 "network.connectivity-service.enabled": False,
                 "browser.safebrowsing.update.enabled": False}

ENTREE, CONTROLE = "\ue007", "\ue009"  # the WebDriver codes of Enter and Control


def attend(condition, delai, message):
    """What condition() returns once true, polled until delai seconds have gone."""
    fin = time.monotonic() + delai
    while True:
        resultat = condition()
        if resultat:
            return resultat
        if time.monotonic() > fin:
            raise AssertionError(message)
        time.sleep(0.02)


class Chromium:
    nom = "chromium"

    def __init__(self, delai):
        from selenium import webdriver
        from selenium.webdriver.chrome.service import Service
        self.delai = delai
        self.profil = tempfile.mkdtemp(prefix="velorin-chromium-")
        options = webdriver.ChromeOptions()
        options.binary_location = "/usr/bin/chromium"
        for flag in CHROMIUM_FLAGS:
            options.add_argument(flag)
        options.add_argument("--user-data-dir=" + self.profil)
        try:
            self.selenium = webdriver.Chrome(service=Service("/usr/bin/chromedriver"),
                                             options=options)
        except Exception:
            shutil.rmtree(self.profil, ignore_errors=True)
            raise

    def ouvre(self, url):
        self.selenium.get(url)

    def script(self, corps, *arguments):
        return self.selenium.execute_script(corps, *arguments)

    def element(self, selecteur):
        from selenium.webdriver.common.by import By
        return self.selenium.find_element(By.CSS_SELECTOR, selecteur)

    def clique(self, selecteur):
        from selenium.common.exceptions import StaleElementReferenceException

        # The page redraws its tables as it polls: the element found may be gone already.
        def essai():
            try:
                self.element(selecteur).click()
                return True
            except StaleElementReferenceException:
                return False
        attend(essai, self.delai, "click on " + selecteur)

    def saisit(self, selecteur, texte):
        """Replaces the field's text by typing, then Enter."""
        champ = self.element(selecteur)
        champ.click()
        champ.send_keys(CONTROLE, "a")
        champ.send_keys(texte, ENTREE)

    def choisit(self, selecteur, texte):
        from selenium.webdriver.support.ui import Select
        Select(self.element(selecteur)).select_by_visible_text(texte)

    def ferme(self):
        try:
            self.selenium.quit()
        finally:
            shutil.rmtree(self.profil, ignore_errors=True)


class ErreurBiDi(Exception):
    pass


def vers_bidi(valeur):
    if valeur is None:
        return {"type": "null"}
    if isinstance(valeur, bool):
        return {"type": "boolean", "value": valeur}
    if isinstance(valeur, (int, float)):
        return {"type": "number", "value": valeur}
    return {"type": "string", "value": str(valeur)}


def depuis_bidi(valeur):
    sorte = valeur["type"]
    if sorte in ("undefined", "null"):
        return None
    if sorte == "array":
        return [depuis_bidi(v) for v in valeur["value"]]
    if sorte == "object":
        return {cle if isinstance(cle, str) else depuis_bidi(cle): depuis_bidi(v)
                for cle, v in valeur["value"]}
    return valeur.get("value", valeur)  # string, number, boolean; a node as Firefox sent it


class Firefox:
    nom = "firefox"

    def __init__(self, delai):
        try:
            import websocket
        except ImportError as erreur:
            raise RuntimeError("websocket is missing for python3: make deps installs "
                               "python3-websocket") from erreur
        programme = shutil.which("firefox-esr") or shutil.which("firefox")
        if programme is None:
            raise RuntimeError("firefox is missing: make deps installs firefox-esr")
        self.delai = delai
        self.numero = 0
        self.profil = tempfile.mkdtemp(prefix="velorin-firefox-")
        with open(os.path.join(self.profil, "user.js"), "w", encoding="utf-8") as prefs:
            for cle, valeur in FIREFOX_PREFS.items():
                prefs.write(f"user_pref({json.dumps(cle)}, {json.dumps(valeur)});\n")
        self.sortie = open(os.path.join(self.profil, "stderr"), "wb")  # said if it fails
        self.processus = subprocess.Popen(
            [programme, "--headless", "--no-remote", "--profile", self.profil,
             "--remote-debugging-port=0", "about:blank"],
            stdin=subprocess.DEVNULL, stdout=self.sortie, stderr=self.sortie,
            start_new_session=True)
        try:
            # Firefox writes where its BiDi server listens into the profile, once it does.
            serveur = attend(self._serveur, delai, "Firefox's BiDi server")
            self.ws = websocket.create_connection(
                f"ws://{serveur['ws_host']}:{serveur['ws_port']}/session", timeout=delai,
                suppress_origin=True)  # the agent refuses a request that names an origin
            self.commande("session.new", {"capabilities": {}})
            self.contexte = self.commande("browsingContext.getTree", {})["contexts"][0]["context"]
            # The size Chromium's window is given; headless Firefox has no flag for it.
            self.commande("browsingContext.setViewport", {
                "context": self.contexte, "viewport": {"width": 1280, "height": 1100}})
        except Exception as erreur:
            journal = self.journal()
            self.ferme()
            raise RuntimeError("Firefox did not start: " + journal) from erreur

    def _serveur(self):
        if self.processus.poll() is not None:
            raise RuntimeError(f"Firefox ended ({self.processus.returncode})")
        try:
            with open(os.path.join(self.profil, "WebDriverBiDiServer.json"), encoding="utf-8") as f:
                return json.load(f)
        except (OSError, ValueError):
            pass  # not there yet, or half written, or a Firefox that writes none
        # Before it wrote that file, Firefox said so on stderr only.
        adresse = re.search(r"WebDriver BiDi listening on ws://([\w.]+):(\d+)", self.journal())
        return adresse and {"ws_host": adresse[1], "ws_port": adresse[2]}

    def journal(self):
        try:
            with open(os.path.join(self.profil, "stderr"), encoding="utf-8",
                      errors="replace") as f:
                return f.read()[-2000:]
        except OSError:
            return ""

    def commande(self, methode, parametres):
        self.numero += 1
        self.ws.send(json.dumps({"id": self.numero, "method": methode, "params": parametres}))
        while True:
            message = json.loads(self.ws.recv())
            if message.get("id") != self.numero:
                continue  # an event: none is asked for
            if message.get("type") == "error":
                raise ErreurBiDi(f"{methode}: {message.get('error')}: {message.get('message')}")
            return message["result"]

    def ouvre(self, url):
        self.commande("browsingContext.navigate",
                      {"context": self.contexte, "url": url, "wait": "complete"})

    def script(self, corps, *arguments):
        """Runs corps as a function's body, arguments[i] as selenium's execute_script does."""
        reponse = self.commande("script.callFunction", {
            "functionDeclaration": "function () {" + corps + "}", "awaitPromise": True,
            "arguments": [vers_bidi(a) for a in arguments],
            "target": {"context": self.contexte}})
        if reponse["type"] == "exception":
            raise ErreurBiDi(reponse["exceptionDetails"].get("text", "exception"))
        return depuis_bidi(reponse["result"])

    def clique(self, selecteur):
        # The page redraws its tables as it polls: the element found may be gone already.
        def essai():
            element = self.commande("script.callFunction", {
                "functionDeclaration": "function (s) { return document.querySelector(s); }",
                "arguments": [vers_bidi(selecteur)], "awaitPromise": False,
                "target": {"context": self.contexte}})["result"]
            if "sharedId" not in element:
                return False
            origine = {"type": "element", "element": {"sharedId": element["sharedId"]}}
            try:
                self.actions({"type": "pointer", "id": "souris", "actions": [
                    {"type": "pointerMove", "x": 0, "y": 0, "origin": origine},
                    {"type": "pointerDown", "button": 0}, {"type": "pointerUp", "button": 0}]})
            except ErreurBiDi as erreur:
                if any(e in str(erreur) for e in ("no such node", "stale", "out of bounds")):
                    return False
                raise
            return True
        attend(essai, self.delai, "click on " + selecteur)

    def actions(self, *sources):
        self.commande("input.performActions", {"context": self.contexte, "actions": list(sources)})

    def saisit(self, selecteur, texte):
        """Replaces the field's text by typing, then Enter."""
        self.clique(selecteur)
        actions = [{"type": "keyDown", "value": CONTROLE}, {"type": "keyDown", "value": "a"},
                   {"type": "keyUp", "value": "a"}, {"type": "keyUp", "value": CONTROLE}]
        for touche in texte + ENTREE:
            actions += [{"type": "keyDown", "value": touche}, {"type": "keyUp", "value": touche}]
        self.actions({"type": "key", "id": "clavier", "actions": actions})

    def choisit(self, selecteur, texte):
        # A list's options open in a pop-up no event reaches in a headless Firefox: the choice
        # is made as the list makes it, then said to the page.
        trouve = self.script(
            "const l = document.querySelector(arguments[0]);"
            "const o = Array.from(l.options).find((o) => o.text === arguments[1]);"
            "if (!o) return false;"
            "l.value = o.value; l.dispatchEvent(new Event('change', {bubbles: true}));"
            "return true;", selecteur, texte)
        if not trouve:
            raise AssertionError(f"no option {texte!r} in {selecteur}")

    def signale(self, numero):
        # Firefox leads a session of its own: its content processes go with it.
        try:
            os.killpg(self.processus.pid, numero)
        except ProcessLookupError:
            pass

    def ferme(self):
        try:
            if getattr(self, "ws", None) is None:
                self.signale(signal.SIGTERM)
            else:
                try:
                    self.commande("browser.close", {})
                except Exception:
                    self.signale(signal.SIGTERM)  # the agent is gone: the process goes too
                self.ws.close()
            try:
                self.processus.wait(self.delai)
            except subprocess.TimeoutExpired:
                self.signale(signal.SIGKILL)
                self.processus.wait(self.delai)
            self.signale(signal.SIGKILL)  # a content process that outlived the parent
        finally:
            self.sortie.close()
            shutil.rmtree(self.profil, ignore_errors=True)
