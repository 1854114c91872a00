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
from typing import Any, Callable, Dict, Generator, Iterator, List, TypeVar, cast

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
        keys.update(marque.kwargs)
    parametre = getattr(request, "param", None)
    if isinstance(parametre, dict):
        keys.update(parametre)
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
        # Every Velorin of the test, whichever fixture started it: their files are numbered
        # in it, and the report of a failing test reads it (pytest_runtest_makereport below).
        self._du_test: List[Velorin] = request.node.__dict__.setdefault("velorin_instances", [])

    def _prepare(self, keys: Dict[str, Any]) -> Velorin:
        choisies = {**self._defauts, **keys}
        n = len(self._du_test) + 1
        choisies.setdefault("log", os.path.join(self._dossier, f"velorin-{n}.log"))
        choisies.setdefault("journal", os.path.join(self._dossier, f"journal-{n}.jsonl"))
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
            raise

    def many(self, count: int, **keys: Any) -> List[Velorin]:
        """`count` Velorins with the same keys, started side by side."""
        return start_all([self._prepare(keys) for _ in range(count)])

    def stop(self) -> None:
        """Stops every one (all signalled first); one that ended badly fails the test."""
        demarres = [v for v in self.instances if v.process is not None]
        statuts = stop_all(demarres)
        mauvais = [f"{v!r} ended with status {s}: {v.stderr().strip()}"
                   for v, s in zip(demarres, statuts) if s != 0]
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
             v.log_tail(LIGNES_DU_RAPPORT) or "(nothing logged)"))
        rapport.sections.append((f"{nom}: its traffic journal",
                                 v.journal_file or "(none: journal=None)"))
