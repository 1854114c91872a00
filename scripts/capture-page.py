#!/usr/bin/env python3
"""Makes docs/images/page.png: the control port's page in a headless Chromium, from a running
Velorin after some traffic, an axis move and a fault rule. Run from the repository's root after
`make build` (Debian's chromium, chromium-driver and python3-selenium, which `make deps`
installs): /usr/bin/python3 scripts/capture-page.py [output.png]"""

import shutil
import sys
import tempfile
import time
from pathlib import Path

from selenium import webdriver
from selenium.webdriver.chrome.service import Service

racine = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(racine / "python"))
import velorin  # noqa: E402  (the package of this tree)

sortie = sys.argv[1] if len(sys.argv) > 1 else str(racine / "docs/images/page.png")
binaire = str(racine / "build/velorin")
profil = tempfile.mkdtemp(prefix="velorin-chromium-")
options = webdriver.ChromeOptions()
options.binary_location = "/usr/bin/chromium"
for flag in ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
             "--disable-background-networking", "--disable-component-update", "--disable-sync",
             "--window-size=1280,1150", "--user-data-dir=" + profil]:
    options.add_argument(flag)

with velorin.Velorin(binary=binaire, clock="step") as v:
    navigateur = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    try:
        navigateur.get(f"http://127.0.0.1:{v.control_port}/")
        v.api.post("/faults", {"match": {"command": "P", "nth": 4}, "action": {"type": "delay",
                                                                              "ms": 50}})
        with v.plc() as plc:
            plc.version()
            plc.home()
            v.set_state(Chk_TraceIP=True)
            plc.move(60000, 25000)
            # The page samples four times a second: the axes move in device time meanwhile.
            for _ in range(40):
                v.advance(ms=60)
                time.sleep(0.25)
            plc.positions()
            plc.move(20000, 40000)
            for _ in range(24):
                v.advance(ms=60)
                time.sleep(0.25)
            for _ in range(4):
                plc.status()
            time.sleep(1.5)
        navigateur.save_screenshot(sortie)
    finally:
        navigateur.quit()
        shutil.rmtree(profil, ignore_errors=True)
print(sortie)
