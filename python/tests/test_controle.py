"""The control API through the package: answers parsed, errors with the server's code and
field, waits, faults, journal."""

import pytest

from velorin import Velorin, VelorinError


@pytest.fixture(scope="module")
def v(tmp_path_factory):
    journal = tmp_path_factory.mktemp("journal") / "j.jsonl"
    with Velorin(clock="step", journal=str(journal), shutdown_pause_ms=0) as v:
        yield v


@pytest.mark.parametrize("appel, statut, code, champ", [
    (lambda v: v.set_state(Chk_TPnon0=3), 400, "wrong_type", "Chk_TPnon0"),
    (lambda v: v.set_state(Foo=1), 400, "unknown_field", "Foo"),
    (lambda v: v.api.delete("/faults/9"), 404, "no_such_rule", None),
    (lambda v: v.api.get("/nowhere"), 404, "not_found", None),
    (lambda v: v.api.delete("/state"), 405, "method_not_allowed", None),
    (lambda v: v.add_fault({"match": {"command": "P"}, "action": {"type": "nope"}}), 400,
     "invalid_value", "action.type"),
    (lambda v: v.wait(connections=3, timeout_ms=0), 408, "timeout", None),
    (lambda v: v.fault(99), 404, "no_such_rule", None),
], ids=["wrong type", "unknown field", "no rule", "no path", "method", "bad rule", "wait",
        "fault"])
def test_errors_carry_the_servers_code_and_field(v, appel, statut, code, champ):
    with pytest.raises(VelorinError) as echec:
        appel(v)
    assert (echec.value.status, echec.value.code, echec.value.field) == (statut, code, champ)
    assert str(statut) in str(echec.value) and code in str(echec.value)


def test_requests_by_name(v):
    v.reset(clock=True)
    assert v.api.get("/clock")["ticks"] == 0
    debut = v.log()["next"]
    v.set_state(Txt_ValeurLu="712")
    ligne = v.wait(log_contains="Txt_ValeurLu = 712", since=debut)["line"]
    assert "controle HTTP" in ligne
    assert v.log(since=debut)["lines"] == [ligne]
    assert v.log(since=v.log()["next"], wait_ms=0)["lines"] == []

    regle = v.add_fault({"match": {"command": "P"}, "action": {"type": "drop"}})
    assert v.add_fault([{"match": {"command": "V"}, "action": {"type": "drop"}}]) == [regle + 1]
    with v.plc(timeout=0.2) as plc:
        plc.send(b"\x1bP1\r")
        assert v.wait(fault_fired=regle)["fault"]["fired"] == 1
    assert v.fault(regle)["fired"] == 1
    v.clear_faults()
    assert v.api.faults() == []

    assert v.scenario({"state": {"Txt_ValeurLu": "321"}}) == {"status": "applied"}
    assert v.state()["Txt_ValeurLu"] == "321"
    assert v.advance(ms=300)["ticks_run"] == 3
    evenements = [e["event"] for e in v.journal(since=0)["events"]]
    assert {"connect", "recv"} <= set(evenements), evenements


def test_a_device_that_is_not_there(v):
    assert v.devices == {"default": v.port}
    with pytest.raises(VelorinError, match="no device 'laser'"):
        v.device("laser")
    with pytest.raises(VelorinError, match="no device 'laser'"):
        v.plc(device="laser")


def test_a_machine_by_device(tmp_path):
    """A machine file: no PORTIP= beside it, each device's port by name, its own API and
    clients, and the token of a control port that asks for one."""
    machine = tmp_path / "m.json"
    machine.write_text('{"devices":[{"name":"plc","mode":"automateOMRON","port":0},'
                       '{"name":"laser","mode":"moduleLASERS","port":0}]}')
    with Velorin(machine=str(machine), control_token="s3cret", shutdown_pause_ms=0) as v:
        assert sorted(v.devices) == ["laser", "plc"] and v.port == v.devices["plc"]
        v.device("laser").set_state(Txt_ValeurLu="0777")
        assert v.device("laser").state()["Txt_ValeurLu"] == "0777"
        assert v.device("plc").state()["Cmb_Simulate"] == "automateOMRON"
        with v.laser(device="laser") as laser, v.plc(device="plc") as plc:
            assert laser.value() == 777
            assert plc.version().startswith("version")
        with pytest.raises(VelorinError) as echec:
            v.device("nowhere").state()
        assert "nowhere" in str(echec.value)
