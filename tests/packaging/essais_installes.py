"""Tests a user writes, run against an installed Velorin: the programs on the PATH, the Python
package and its pytest entry point where the installation put them."""

import pytest


def test_version(velorin):
    assert velorin.plc().version().startswith("version")


@pytest.mark.velorin(mode="moduleLASERS")
def test_laser(velorin):
    velorin.set_state(Txt_ValeurLu="1234")
    assert velorin.laser().value() == 1234
