"""velorin-rejoue from Python: replays a traffic journal to a device and says what differs."""

import json
import os
import shutil
import subprocess
from dataclasses import dataclass, field
from typing import Any, Dict, List, Optional, Sequence, Union

from .erreurs import VelorinError
from .processus import Velorin


@dataclass
class Result:
    """What velorin-rejoue said: `status` 0 (same replies), 1 (a reply differs) or 2 (nothing
    compared: `code` and `error` say why); `differences` as its --json report gives them."""

    status: int
    compared: int = 0
    differences: List[Dict[str, Any]] = field(default_factory=list)
    code: Optional[str] = None
    error: Optional[str] = None
    report: Dict[str, Any] = field(default_factory=dict)
    stderr: str = ""

    @property
    def ok(self) -> bool:
        return self.status == 0

    def __str__(self) -> str:
        if self.status == 2:
            return f"velorin-rejoue: nothing compared ({self.code}): {self.error}"
        lignes = [f"velorin-rejoue: {self.compared} replies compared, "
                  f"{len(self.differences)} differ"]
        for d in self.differences:
            lignes.append(f"  line {d.get('line')}, channel {d.get('channel')}"
                          + (f", device {d['device']}" if "device" in d else "") + ":")
            for cle in ("request", "expected", "received"):
                lignes.append(f"    {cle:<9}: {d.get(cle)}")
        return "\n".join(lignes)


def programme_rejoue(binary: Optional[str] = None, velorin: Optional[str] = None) -> str:
    """`binary`, else $VELORIN_REJOUE, else velorin-rejoue beside the velorin program (the
    target's, or $VELORIN), else on the PATH."""
    if binary:
        return binary
    if os.environ.get("VELORIN_REJOUE"):
        return os.environ["VELORIN_REJOUE"]
    velorin = velorin or os.environ.get("VELORIN")
    if velorin:
        voisin = os.path.join(os.path.dirname(velorin), "velorin-rejoue")
        if os.access(voisin, os.X_OK):
            return voisin
    trouve = shutil.which("velorin-rejoue")
    if not trouve:
        raise VelorinError("velorin-rejoue is not on the PATH: give binary= or $VELORIN_REJOUE")
    return trouve


Cible = Union[str, "os.PathLike[str]", Velorin, Dict[str, Any]]


def adresses_du_pret(pret: Dict[str, Any]) -> List[str]:
    """NAME=HOST:PORT for each device of a machine (its journal names them); HOST:PORT for the
    lone device of a run without one, named "default"."""
    appareils = pret.get("devices")
    if isinstance(appareils, list) and [a.get("name") for a in appareils] != ["default"]:
        return [f"{a['name']}=127.0.0.1:{int(a['port'])}" for a in appareils]
    return [f"127.0.0.1:{int(pret['port'])}"]


def cible(target_or_ready: Cible) -> List[str]:
    """velorin-rejoue's addresses for a Velorin, a ready file (its path or its content), or
    HOST:PORT and NAME=HOST:PORT as they are (several separated by blanks)."""
    if isinstance(target_or_ready, Velorin):
        return adresses_du_pret(target_or_ready.ready)
    if isinstance(target_or_ready, dict):
        return adresses_du_pret(target_or_ready)
    texte = os.fspath(target_or_ready)
    if os.path.isfile(texte):
        return ["--ready", texte]
    if not texte.split():
        raise VelorinError("no address to replay to")
    return texte.split()


def rejoue(journal: Union[str, "os.PathLike[str]"],
           target_or_ready: Cible,
           timing: Optional[str] = None, *, timeout_ms: Optional[int] = None,
           args: Sequence[str] = (), binary: Optional[str] = None,
           timeout: float = 600.0) -> Result:
    """Runs velorin-rejoue --json on the journal against the target: a Velorin (every device of
    a machine, by name), its ready file, or addresses; `args` are passed on as they are."""
    velorin = target_or_ready.binary if isinstance(target_or_ready, Velorin) else None
    arguments = [programme_rejoue(binary, velorin), "--json"]
    if timing is not None:
        arguments += ["--timing", timing]
    if timeout_ms is not None:
        arguments += ["--timeout-ms", str(timeout_ms)]
    adresses = cible(target_or_ready)
    if adresses[0] == "--ready":  # an option: before the journal
        arguments += adresses
        adresses = []
    arguments += [*args, os.fspath(journal), *adresses]
    fini = subprocess.run(arguments, stdin=subprocess.DEVNULL, capture_output=True,
                          timeout=timeout)
    stderr = fini.stderr.decode("utf-8", "replace")
    try:
        rapport = json.loads(fini.stdout)
    except ValueError:
        raise VelorinError(f"velorin-rejoue ended with status {fini.returncode} without a JSON "
                           f"report: {stderr.strip()}") from None
    if not isinstance(rapport, dict):
        rapport = {}
    return Result(status=fini.returncode, compared=int(rapport.get("compared", 0)),
                  differences=list(rapport.get("differences", [])), code=rapport.get("code"),
                  error=rapport.get("error"), report=rapport, stderr=stderr)
