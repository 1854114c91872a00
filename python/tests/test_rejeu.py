"""velorin.rejoue: a journal recorded here, replayed to a device that answers the same, to one
that does not, and to none."""

import socket

import pytest

import velorin
from velorin import Velorin


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
