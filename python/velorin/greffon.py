"""The pytest fixtures: Velorins started for a test, stopped and checked after it.

    def test_version(velorin): ...                    # one Velorin, the PLC mode

    @pytest.mark.velorin(mode="modeECHO", clock="step")
    def test_echo(velorin): ...                       # keys from the marker

    @pytest.mark.velorin(machine="machine.json")      # beside the test file
    def test_plant(velorin_machine): ...

    def test_line(velorin_factory):
        plcs = velorin_factory.many(4, mode="automateOMRON")

An indirect parameter of `velorin` adds keys over the marker's. The program is
--velorin-binary, else $VELORIN, else velorin on the PATH. Each Velorin logs to a file and
records a journal in the test's own directory; when the test fails, the report shows the log's
last lines and the journal's path. A Velorin that ends with a status other than 0 fails the
test. With pytest-xdist, `pytest -n 4` runs tests side by side: every Velorin takes free ports
and files of its own.
"""

import os
import warnings
from typing import Any, Callable, Dict, Generator, Iterator, List, Set, TypeVar, cast

import pytest

from .erreurs import VelorinError
from .processus import Velorin, start_all, stop_all

LIGNES_DU_RAPPORT = 40

F = TypeVar("F", bound=Callable[..., Any])


def enveloppe(hook: F) -> F:
    """pytest.hookimpl(hookwrapper=True), typed: some pytest versions leave it untyped."""
    return cast(F, pytest.hookimpl(hookwrapper=True)(hook))


def pytest_addoption(parser: Any) -> None:
    groupe = parser.getgroup("velorin")
    groupe.addoption("--velorin-binary", action="store", default=None, metavar="PATH",
                     help="the velorin program the fixtures start (default: $VELORIN, then "
                          "velorin on the PATH)")


def pytest_configure(config: Any) -> None:
    config.addinivalue_line("markers", "velorin(**keys): the keys Velorin starts with, "
                            "mode=\"modeECHO\", clock=\"step\", machine=\"file.json\"...")


def cles_du_test(request: Any) -> Dict[str, Any]:
    """The velorin marker's keys (the closest marker wins), then an indirect parameter's."""
    keys: Dict[str, Any] = {}
    for marque in reversed(list(request.node.iter_markers("velorin"))):
        keys.update({cle.lower(): valeur for cle, valeur in marque.kwargs.items()})
    parametre = getattr(request, "param", None)
    if isinstance(parametre, dict):
        keys.update({str(cle).lower(): valeur for cle, valeur in parametre.items()})
    return keys


class Fabrique:
    """Starts Velorins for one test, each logging and recording into the test's directory,
    and stops them all together after it."""

    def __init__(self, request: Any, defauts: Dict[str, Any]) -> None:
        self._request = request
        self._defauts = defauts
        self._dossier = str(request.getfixturevalue("tmp_path"))
        self._binaire = request.config.getoption("--velorin-binary", default=None)
        self.instances: List[Velorin] = []
        self._journaux_par_defaut: Set[str] = set()
        # Every Velorin of the test, whichever fixture started it: their files are numbered
        # in it, and the report of a failing test reads it (pytest_runtest_makereport below).
        self._du_test: List[Velorin] = request.node.__dict__.setdefault("velorin_instances", [])

    def _prepare(self, keys: Dict[str, Any]) -> Velorin:
        # Keys in any case, as Velorin takes them: JOURNAL=None turns the default off too.
        choisies = {cle.lower(): valeur for cle, valeur in {**self._defauts, **keys}.items()}
        n = len(self._du_test) + 1
        choisies.setdefault("log", os.path.join(self._dossier, f"velorin-{n}.log"))
        if "journal" not in choisies:
            choisies["journal"] = os.path.join(self._dossier, f"journal-{n}.jsonl")
            self._journaux_par_defaut.add(choisies["journal"])
        machine = choisies.get("machine")
        if machine is not None and not os.path.isabs(str(machine)):
            # A machine file is named from the test file's folder, wherever pytest runs.
            fichier = getattr(self._request.node, "path", None) or self._request.node.fspath
            choisies["machine"] = os.path.join(os.path.dirname(str(fichier)), str(machine))
        if self._binaire and "binary" not in choisies:
            choisies["binary"] = self._binaire
        v = Velorin(**choisies)
        self.instances.append(v)
        self._du_test.append(v)
        return v

    def __call__(self, **keys: Any) -> Velorin:
        """One more Velorin, started: keys over the marker's."""
        v = self._prepare(keys)
        try:
            return v.start()
        except BaseException:
            v.stop()
            self.instances.remove(v)  # its failure is the test's error already
            raise

    def many(self, count: int, **keys: Any) -> List[Velorin]:
        """`count` Velorins with the same keys, started side by side."""
        lot = [self._prepare(keys) for _ in range(count)]
        try:
            return start_all(lot)
        except BaseException:
            del self.instances[-count:]  # start_all stopped them all
            raise

    def stop(self) -> None:
        """Stops every one (all signalled first); one that ended badly fails the test. A
        journal the fixture kept on its own that lost events (status 3) only warns."""
        demarres = [v for v in self.instances if v.process is not None]
        statuts = stop_all(demarres)
        mauvais = []
        for v, statut in zip(demarres, statuts):
            if statut == 3 and v.journal_file in self._journaux_par_defaut:
                warnings.warn(f"{v!r}: its traffic journal {v.journal_file} lost events "
                              "(status 3)", stacklevel=1)
            elif statut != 0:
                mauvais.append(f"{v!r} ended with status {statut}: {v.stderr().strip()}")
        if mauvais:
            pytest.fail("\n".join(mauvais), pytrace=False)


@pytest.fixture
def velorin_factory(request: Any) -> Iterator[Fabrique]:
    """velorin_factory(**keys) starts one more Velorin, velorin_factory.many(n, **keys) n side
    by side; the marker's keys apply to each. All are stopped together after the test."""
    fabrique = Fabrique(request, cles_du_test(request))
    yield fabrique
    fabrique.stop()


@pytest.fixture
def velorin(request: Any) -> Iterator[Velorin]:
    """A Velorin started on free ports for this test, stopped after it; keys from the
    velorin marker or an indirect parameter."""
    fabrique = Fabrique(request, {})
    yield fabrique(**cles_du_test(request))
    fabrique.stop()


@pytest.fixture
def velorin_machine(request: Any) -> Iterator[Velorin]:
    """A Velorin serving the machine file the marker names (machine="file.json", from the test
    file's folder); v.devices gives each device's port, v.device(name) its control API."""
    keys = cles_du_test(request)
    if keys.get("machine") is None:
        raise VelorinError("velorin_machine needs a machine file: "
                           "@pytest.mark.velorin(machine=\"machine.json\")")
    fabrique = Fabrique(request, {})
    yield fabrique(**keys)
    fabrique.stop()


def derniere_lignes(v: Velorin) -> str:
    """The end of a Velorin's log: from its control API while one device runs (the file is
    written a moment later), else from its file (a machine's lines, or a process that ended)."""
    if v.process is not None and v.process.poll() is None and v.control_port is not None \
            and len(v.devices) == 1:
        try:
            return "\n".join(v.log()["lines"][-LIGNES_DU_RAPPORT:])
        except (OSError, VelorinError):
            pass
    return v.log_tail(LIGNES_DU_RAPPORT)


@enveloppe
def pytest_runtest_makereport(item: Any, call: Any) -> Generator[None, Any, None]:
    """A failing test's report ends with each Velorin's last log lines and its journal."""
    resultat = yield
    rapport = resultat.get_result()
    instances = getattr(item, "velorin_instances", None)
    if not rapport.failed or not instances:
        return
    for n, v in enumerate(instances, 1):
        nom = "velorin" if len(instances) == 1 else f"velorin {n}"
        rapport.sections.append(
            (f"{nom}: the last {LIGNES_DU_RAPPORT} lines of its log ({v.log_file})",
             derniere_lignes(v) or "(nothing logged)"))
        rapport.sections.append((f"{nom}: its traffic journal",
                                 v.journal_file or "(none: journal=None)"))
