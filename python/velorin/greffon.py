"""The `velorin` pytest fixture: a started Velorin, stopped after the test.

Keys come from a marker, an indirect parameter, or both (the parameter wins):

    @pytest.mark.velorin(mode="modeECHO", clock="step")
    def test_echo(velorin): ...

    @pytest.mark.parametrize("velorin", [{"mode": "modeECHO"}], indirect=True)
    def test_echo(velorin): ...

The program is --velorin=path, else $VELORIN, else velorin on the PATH. A Velorin that ends
with a status other than 0 fails the test.
"""

from typing import Any, Dict, Iterator

import pytest

from .processus import Velorin


def pytest_addoption(parser: Any) -> None:
    parser.addoption("--velorin", action="store", default=None, metavar="PATH",
                     help="the velorin program the fixture starts (default: $VELORIN, then PATH)")


def pytest_configure(config: Any) -> None:
    config.addinivalue_line("markers", "velorin(**keys): the keys the velorin fixture starts "
                            "Velorin with, mode=\"modeECHO\", clock=\"step\"...")


@pytest.fixture
def velorin(request: Any) -> Iterator[Velorin]:
    """A Velorin started on free ports for this test, stopped after it; keys from the
    velorin marker or an indirect parameter."""
    keys: Dict[str, Any] = {}
    for marque in reversed(list(request.node.iter_markers("velorin"))):
        keys.update(marque.kwargs)
    parametre = getattr(request, "param", None)
    if isinstance(parametre, dict):
        keys.update(parametre)
    binaire = request.config.getoption("--velorin", default=None)
    if binaire and "binary" not in keys:
        keys["binary"] = binaire
    with Velorin(**keys) as v:
        yield v
