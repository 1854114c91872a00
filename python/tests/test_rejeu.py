"""velorin.rejoue: a journal recorded here, replayed to a device that answers the same, to one
that does not, and to none; a machine's, device by device."""

import os
import socket

import pytest

import velorin
from velorin import Velorin

RACINE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


@pytest.fixture(scope="module")
def enregistre(tmp_path_factory):
    journal = tmp_path_factory.mktemp("rejeu") / "session.jsonl"
    with Velorin(mode="modeECHO", journal=str(journal)) as v:
        with v.echo() as e:
            assert e.ask(b"\x1bP1\r") == b"\x1bP1\r"
    return journal


def test_same_replies(enregistre):
    with Velorin(mode="modeECHO") as v:
        resultat = velorin.rejoue(enregistre, v)
        assert (resultat.status, resultat.compared, resultat.differences) == (0, 1, [])
        assert resultat.ok and str(resultat).startswith("velorin-rejoue: 1 replies compared")
        assert velorin.rejoue(enregistre, v.ready_file, timing="recorded").ok
        assert velorin.rejoue(enregistre, f"127.0.0.1:{v.port}", timeout_ms=5000).ok


def test_found_beside_the_program_that_served(enregistre, monkeypatch):
    binaire = os.environ["VELORIN"]
    for variable in ("VELORIN", "VELORIN_REJOUE"):
        monkeypatch.delenv(variable)
    monkeypatch.setenv("PATH", "/nonexistent")
    with Velorin(mode="modeECHO", binary=binaire) as v:
        assert velorin.rejoue(enregistre, v).ok


def test_a_reply_that_differs(enregistre):
    with Velorin() as plc:
        resultat = velorin.rejoue(enregistre, plc.ready)
    assert resultat.status == 1
    difference, = resultat.differences
    assert (difference["request"], difference["expected"], difference["received"]) == (
        "Esc/P1Cr/", "Esc/P1Cr/", "Esc/10000000000000000aCr/")
    assert "    received : Esc/10000000000000000aCr/" in str(resultat)


def test_no_device(enregistre):
    with socket.create_server(("127.0.0.1", 0)) as s:
        port = s.getsockname()[1]
    resultat = velorin.rejoue(enregistre, f"127.0.0.1:{port}")
    assert (resultat.status, resultat.code) == (2, "unreachable")
    assert "nothing compared (unreachable)" in str(resultat)


def test_a_machine_of_one_device_is_replayed_by_its_name(tmp_path):
    machine = tmp_path / "un.json"
    machine.write_text('{"devices": [{"name": "plc", "mode": "modeECHO", "port": 0}]}')
    journal = tmp_path / "un.jsonl"
    with Velorin(machine=str(machine), journal=str(journal)) as v:
        assert v.echo().ask(b"abc") == b"abc"
    with Velorin(machine=str(machine)) as v:
        assert velorin.rejoue(journal, v).ok


def test_a_machine_replayed_device_by_device(tmp_path):
    """A machine's journal goes to each device by name: from the Velorin, or its ready file."""
    machine = os.path.join(os.path.dirname(RACINE), "examples", "machine.json")
    journal = tmp_path / "machine.jsonl"
    with Velorin(machine=machine, journal=str(journal)) as v:
        assert v.plc("plc").version() == "version Velorin"
        assert v.laser("laser").version().startswith("version")
    with Velorin(machine=machine) as v:
        resultat = velorin.rejoue(journal, v)
        assert (resultat.status, resultat.compared) == (0, 2), resultat
        assert velorin.rejoue(journal, v.ready_file).ok
        inverse = f"plc=127.0.0.1:{v.devices['laser']} laser=127.0.0.1:{v.devices['plc']}"
        assert {d["device"] for d in velorin.rejoue(journal, inverse).differences} == {
            "plc", "laser"}
