"""One Velorin process on free ports, for the length of a `with` block or a test.

The ready file is the contract: removed before the start, taken for this run's only once its
`pid` is the child's (an earlier run's file may still be there for a moment), waited for with
a time-out that gives up at once when the process ends, since then it never comes."""

import json
import os
import shutil
import signal
import subprocess
import tempfile
import time
import weakref
from typing import Any, Callable, Dict, Iterable, List, Optional

from .clients import Echo, Laser, Plc
from .controle import Api
from .erreurs import StartError, VelorinError


def programme(binary: Optional[str] = None) -> str:
    """`binary`, else $VELORIN, else velorin on the PATH."""
    if binary:
        source = "binary= (pytest: --velorin-binary)"
        if os.sep not in binary:  # a bare name, looked for on the PATH
            binary = shutil.which(binary) or binary
    elif os.environ.get("VELORIN"):
        binary, source = os.environ["VELORIN"], "$VELORIN"
    else:
        binary, source = shutil.which("velorin"), "the PATH"
    if not binary:
        raise VelorinError("velorin is not on the PATH: install it, or give binary= "
                           "(pytest: --velorin-binary) or $VELORIN")
    if not os.path.isfile(binary) or not os.access(binary, os.X_OK):
        raise VelorinError(f"{binary!r}, from {source}, is not an executable file")
    return binary


def ligne_de_commande(keys: Dict[str, Any]) -> List[str]:
    """KEY=value for each key, upper-cased; None leaves a key out, booleans are ON or OFF."""
    arguments = []
    for cle, valeur in keys.items():
        if valeur is None:
            continue
        if isinstance(valeur, bool):
            valeur = "ON" if valeur else "OFF"
        arguments.append(f"{cle.upper()}={valeur}")
    return arguments


class Velorin:
    """Velorin(mode="modeECHO", clock="step", ...) starts one Velorin on free ports (the
    device's and the control API's) and stops it at the end of the `with` block."""

    def __init__(self, *, binary: Optional[str] = None, start_timeout: float = 60.0,
                 stop_timeout: float = 30.0, headless: bool = True,
                 env: Optional[Dict[str, str]] = None, stdout: Any = subprocess.DEVNULL,
                 stderr: Any = None, preexec_fn: Optional[Callable[[], None]] = None,
                 poll_interval: float = 0.02, strict: bool = True, **keys: Any) -> None:
        self.binary = programme(binary)
        self.start_timeout = start_timeout
        self.stop_timeout = stop_timeout
        self.dir = tempfile.mkdtemp(prefix="velorin-")
        # The directory goes with the object too, should it never be started or stopped.
        self._efface = weakref.finalize(self, shutil.rmtree, self.dir, True)
        self._stderr_garde = ""  # stderr as it was when the directory went
        self.stderr_file = os.path.join(self.dir, "stderr")
        # A test's device listens on loopback only, on a free port.
        choisies: Dict[str, Any] = {"portip": 0, "bind": "127.0.0.1", "control": 0,
                                    "log": os.path.join(self.dir, "velorin.log")}
        # A machine file gives its devices' ports and addresses; PORTIP= and BIND= beside it
        # are refused.
        if any(cle.lower() == "machine" for cle in keys):
            del choisies["portip"], choisies["bind"]
        choisies.update({cle.lower(): valeur for cle, valeur in keys.items()})
        # The log's file, unless it goes to stdout or nowhere.
        journal_log = choisies.get("log")
        self.log_file: Optional[str] = (
            None if journal_log is None or str(journal_log).upper() in ("STDOUT", "OFF")
            else str(journal_log))
        self.journal_file: Optional[str] = (None if choisies.get("journal") is None
                                            else str(choisies["journal"]))
        self.ready_file = str(choisies.get("ready") or os.path.join(self.dir, "ready.json"))
        self._cles = choisies
        choisies["ready"] = self.ready_file
        self.arguments = [self.binary, *ligne_de_commande(choisies)]
        environnement = dict(os.environ if env is None else env)
        if headless and "QT_QPA_PLATFORM" not in environnement:
            environnement["QT_QPA_PLATFORM"] = "offscreen"
        self._env = environnement
        self._stdout = stdout  # the log's mirror, with log=None (LOG=STDOUT when headless)
        self._stderr = stderr  # None: a file of its own, read back when the start fails
        self._preexec_fn = preexec_fn
        # How often the ready file is looked for: a bench timing start-ups asks for less.
        self.poll_interval = poll_interval
        # A key Velorin ignores (unknown, or an unknown mode) ends the start: the test would
        # otherwise run against another device than it asked for.
        self.strict = strict
        self.process: Optional["subprocess.Popen[bytes]"] = None
        self.exit_status: Optional[int] = None
        self._termine = False  # SIGTERM sent: once only, a second one may end the shutdown early
        self.ready: Dict[str, Any] = {}
        self._api = Api(0)

    # Start and stop.

    def start(self) -> "Velorin":
        """Starts the process and waits for its ready file; StartError with its stderr when it
        ends first, or at the time-out."""
        self.launch()
        return self.wait_ready()

    def launch(self) -> None:
        """Only the first half of start(): many can be launched before any is waited for."""
        if os.path.lexists(self.ready_file):  # an earlier run's file says nothing of this one
            os.remove(self.ready_file)
        with open(self.stderr_file, "wb") as erreurs:
            self.process = subprocess.Popen(
                self.arguments, stdin=subprocess.DEVNULL, stdout=self._stdout,
                stderr=erreurs if self._stderr is None else self._stderr, env=self._env,
                preexec_fn=self._preexec_fn)

    def wait_ready(self) -> "Velorin":
        assert self.process is not None, "launch() first"
        limite = time.monotonic() + self.start_timeout
        vu: Optional[Dict[str, Any]] = None
        while True:
            vu = self._fichier_pret()
            if vu is not None and vu.get("pid") == self.process.pid:
                break
            if self.process.poll() is not None:
                statut = self.process.returncode
                raise StartError(f"velorin ended with status {statut} before it was ready: "
                                 f"{self.stderr().strip()}", exit_status=statut,
                                 stderr=self.stderr())
            if time.monotonic() > limite:
                self._tue()
                pourquoi = (f"; the ready file names pid {vu.get('pid')!r}, not {self.process.pid}"
                            if vu is not None else "")
                raise StartError(f"velorin not ready after {self.start_timeout:g} s{pourquoi}: "
                                 f"{self.stderr().strip()}", exit_status=self.exit_status,
                                 stderr=self.stderr())
            time.sleep(self.poll_interval)
        self.ready = vu
        if self.control_port is not None:
            self._api = Api(self.control_port, token=self._jeton())
        ignorees = self.cles_ignorees() if self.strict else []
        if ignorees:
            self._tue()
            raise StartError("velorin ignored what it was given (strict=False lets it run): "
                             + "; ".join(ignorees), exit_status=self.exit_status,
                             stderr=self.stderr())
        return self

    def cles_ignorees(self) -> List[str]:
        """What start-up said it ignored: an unknown mode (from the ready file), an unknown key
        (from the first device's log, with the control API)."""
        ignorees = []
        mode = self._cles.get("mode")
        dit = self.ready.get("mode")  # an older Velorin's ready file may not say it
        if mode is not None and dit is not None and str(dit).lower() != str(mode).lower():
            ignorees.append(f"mode {mode!r} is unknown, velorin runs as "
                            f"{self.ready.get('mode')!r}")
        if self.control_port is not None:
            for ligne in self._api.get("/log").get("lines", []):
                if ligne.startswith("parametre inconnu ignoré : "):
                    ignorees.append(f"unknown key {ligne.split(' : ', 1)[1]}")
                elif ligne.startswith("initialisation"):
                    break
        return ignorees

    def _jeton(self) -> Optional[str]:
        """The control port's token, from control_token= or control_token_file=."""
        if self._cles.get("control_token") is not None:
            return str(self._cles["control_token"])
        fichier = self._cles.get("control_token_file")
        if fichier is None:
            return None
        with open(str(fichier), encoding="utf-8") as f:
            return f.read().strip()

    def _fichier_pret(self) -> Optional[Dict[str, Any]]:
        try:
            with open(self.ready_file, encoding="utf-8") as f:
                contenu = json.load(f)
        except (FileNotFoundError, ValueError):
            return None
        return contenu if isinstance(contenu, dict) else None

    def signal(self, numero: int = signal.SIGTERM) -> None:
        if self.process is not None and self.process.poll() is None:
            self.process.send_signal(numero)

    def terminate(self) -> None:
        """SIGTERM, once: Velorin restores the default action once its shutdown is done, so a
        second one could end it by the signal rather than with its status."""
        if not self._termine:
            self._termine = True
            self.signal(signal.SIGTERM)

    def stop(self) -> int:
        """SIGTERM, then the exit status (0 for a normal end; KILL past stop_timeout). Calling
        it again gives the same status."""
        if self.exit_status is None and self.process is not None:
            self.terminate()
            try:
                self.exit_status = self.process.wait(self.stop_timeout)
            except subprocess.TimeoutExpired:
                self._tue()
        self._nettoie()
        return self.exit_status if self.exit_status is not None else 0

    def _tue(self) -> None:
        assert self.process is not None
        self.process.kill()
        self.exit_status = self.process.wait()

    def _nettoie(self) -> None:
        if self._efface.alive:
            self._stderr_garde = self.stderr()
            self._efface()

    def log_tail(self, lines: int = 40) -> str:
        """The last lines of the log's file ("" when the log has no file, or none yet)."""
        if self.log_file is None:
            return ""
        try:
            with open(self.log_file, "rb") as f:
                f.seek(0, os.SEEK_END)
                debut = max(0, f.tell() - 200 * lines)  # the end is enough, however long
                f.seek(debut)
                fin = f.read().decode("utf-8", "replace").splitlines()
        except OSError:
            return ""
        if debut > 0:
            fin = fin[1:]  # begun in the middle of a line
        return "\n".join(fin[-lines:])

    def stderr(self) -> str:
        """What the process wrote on stderr so far."""
        try:
            with open(self.stderr_file, "rb") as f:
                return f.read().decode("utf-8", "replace")
        except FileNotFoundError:
            return self._stderr_garde

    def __enter__(self) -> "Velorin":
        try:
            return self.start()
        except BaseException:
            if self.process is not None and self.process.poll() is None:
                self._tue()
            self._nettoie()
            raise

    def __exit__(self, kind: object, *exception: object) -> None:
        deja = self.exit_status is not None
        statut = self.stop()
        if not deja and statut != 0 and kind is None:
            raise VelorinError(f"velorin ended with status {statut}: {self.stderr().strip()}")

    def __repr__(self) -> str:
        return f"Velorin(pid={self.ready.get('pid')}, port={self.ready.get('port')})"

    @property
    def api(self) -> Api:
        """The control API: raw calls (get, patch, post, delete) and the usual requests."""
        return self._api

    # What the ready file says.

    @property
    def pid(self) -> int:
        return int(self.ready["pid"])

    @property
    def port(self) -> int:
        return int(self.ready["port"])

    @property
    def control_port(self) -> Optional[int]:
        port = self.ready.get("control_port")
        return None if port is None else int(port)

    @property
    def devices(self) -> Dict[str, int]:
        """Device name -> port: the ready file's devices, else {"default": port}."""
        appareils = self.ready.get("devices")
        if isinstance(appareils, list) and appareils:
            return {str(a["name"]): int(a["port"]) for a in appareils}
        return {"default": self.port}

    def device(self, name: str) -> Api:
        """The control API of one device of a machine: /devices/<name>/..."""
        if name not in self.devices:
            raise VelorinError(f"no device {name!r}: {sorted(self.devices)}")
        return Api(self._port_controle(), f"/devices/{name}", token=self._jeton())

    def _port_controle(self) -> int:
        if self.control_port is None:
            raise VelorinError("velorin was started without its control API (control=None)")
        return self.control_port

    def _port_appareil(self, device: Optional[str]) -> int:
        if device is None:
            return self.port
        if device not in self.devices:
            raise VelorinError(f"no device {device!r}: {sorted(self.devices)}")
        return self.devices[device]

    def _api_appareil(self, device: Optional[str]) -> Optional[Api]:
        if self.control_port is None:
            return None
        return self._api if device is None else self.device(device)

    # Clients of a device port.

    def plc(self, device: Optional[str] = None, timeout: float = 10.0) -> Plc:
        api = self._api_appareil(device)
        return Plc(self._port_appareil(device), timeout=timeout,
                   state=api.state if api else None, set_state=api.set_state if api else None)

    def laser(self, device: Optional[str] = None, timeout: float = 10.0) -> Laser:
        return Laser(self._port_appareil(device), timeout=timeout)

    def echo(self, device: Optional[str] = None, timeout: float = 10.0) -> Echo:
        return Echo(self._port_appareil(device), timeout=timeout)

    # The control API's usual requests, on the first device (v.device(name) for another).

    def state(self) -> Dict[str, Any]:
        return self._api.state()

    def set_state(self, **fields: Any) -> Dict[str, Any]:
        return self._api.set_state(**fields)

    def advance(self, ms: Optional[int] = None, until_arrived: bool = False,
                max_ms: Optional[int] = None) -> Dict[str, Any]:
        return self._api.advance(ms, until_arrived, max_ms)

    def add_fault(self, rule: Any) -> Any:
        return self._api.add_fault(rule)

    def fault(self, rule_id: int) -> Dict[str, Any]:
        return self._api.fault(rule_id)

    def clear_faults(self) -> Any:
        return self._api.clear_faults()

    def scenario(self, doc: Dict[str, Any]) -> Any:
        return self._api.scenario(doc)

    def reset(self, clock: bool = False) -> Any:
        return self._api.reset(clock)

    def log(self, since: Optional[int] = None, wait_ms: Optional[int] = None) -> Dict[str, Any]:
        return self._api.log(since, wait_ms)

    def journal(self, since: Optional[int] = None,
                wait_ms: Optional[int] = None) -> Dict[str, Any]:
        return self._api.journal(since, wait_ms)

    def wait(self, timeout_ms: int = 10000, **condition: Any) -> Dict[str, Any]:
        return self._api.wait(timeout_ms, **condition)


def start_all(instances: Iterable[Velorin]) -> List[Velorin]:
    """Launches every instance, then waits for each: they start side by side. On a failure the
    ones already launched are stopped before the error goes on."""
    liste = list(instances)
    try:
        for v in liste:
            v.launch()
        for v in liste:
            v.wait_ready()
    except BaseException:
        stop_all(v for v in liste if v.process is not None)
        raise
    return liste


def stop_all(instances: Iterable[Velorin]) -> List[int]:
    """Signals every instance first, then waits for each: their shutdowns overlap. Their exit
    statuses, in order."""
    liste = list(instances)
    for v in liste:
        if v.exit_status is None:
            v.terminate()
    return [v.stop() for v in liste]
