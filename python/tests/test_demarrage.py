"""Starting and stopping: the ready file of this run only, a start-up that fails, many side
by side."""

import json
import os
import signal
import stat
import sys
import tempfile

import pytest

import velorin
from velorin import StartError, Velorin, VelorinError


def faux_programme(dossier, corps):
    """A program standing for velorin: a Python script given the same command line."""
    chemin = os.path.join(dossier, "faux-velorin")
    with open(chemin, "w") as f:
        f.write(f"#!{sys.executable}\nimport json, os, sys, time\n"
                "pret = [a.split('=', 1)[1] for a in sys.argv if a.startswith('READY=')][0]\n"
                + corps)
    os.chmod(chemin, os.stat(chemin).st_mode | stat.S_IXUSR)
    return chemin


def test_ready_file_of_another_process_is_never_taken():
    """A ready file that names another pid (an earlier run's, or a stray write) is not this
    run's: the start waits for the one of this process, or says it did not come."""
    with tempfile.TemporaryDirectory() as d:
        faux = faux_programme(d, "import signal\n"
                                 "signal.pthread_sigmask(signal.SIG_BLOCK, [signal.SIGTERM])\n"
                                 "json.dump({'pid': 1, 'port': 1}, open(pret, 'w'))\n"
                                 "time.sleep(0.5)\n"
                                 "json.dump({'pid': os.getpid(), 'port': 7}, open(pret + '.t', 'w'))\n"
                                 "os.rename(pret + '.t', pret)\n"
                                 "signal.sigwait([signal.SIGTERM])\n")
        with Velorin(binary=faux) as v:
            assert v.port == 7

        faux = faux_programme(d, "json.dump({'pid': 1, 'port': 1}, open(pret, 'w'))\n"
                                 "time.sleep(600)\n")
        with pytest.raises(StartError) as echec:
            with Velorin(binary=faux, start_timeout=1):
                pass
        assert "not ready after 1 s" in str(echec.value)
        assert echec.value.exit_status == -signal.SIGKILL, "the process has been ended"


def test_half_written_ready_file_is_waited_past():
    """A ready file that is not (yet) JSON is read again until it is whole."""
    with tempfile.TemporaryDirectory() as d:
        faux = faux_programme(d, "import signal\n"
                                 "signal.pthread_sigmask(signal.SIG_BLOCK, [signal.SIGTERM])\n"
                                 "open(pret, 'w').write('{\"pid\": ')\n"
                                 "time.sleep(0.3)\n"
                                 "json.dump({'pid': os.getpid(), 'port': 7, 'control_port': None},"
                                 " open(pret, 'w'))\n"
                                 "signal.sigwait([signal.SIGTERM])\n")
        with Velorin(binary=faux) as v:
            assert (v.port, v.control_port, v.devices) == (7, None, {"default": 7})
            with pytest.raises(VelorinError, match="without its control API"):
                v.device("default")
        assert v.exit_status == 0


def test_an_earlier_runs_file_is_removed_before_the_start(tmp_path):
    pret = tmp_path / "ready.json"
    pret.write_text(json.dumps({"pid": 1, "port": 1, "control_port": 1}))
    with Velorin(ready=str(pret), mode="modeECHO") as v:
        assert v.pid == v.process.pid and v.port != 1
        assert v.echo().ask(b"ici\r") == b"ici\r"


@pytest.mark.parametrize("cle, raison", [
    ({"portip": "abc"}, "PORTIP"),
    ({"bind": "nowhere"}, '"nowhere"'),
])
def test_a_start_up_failure_raises_with_stderr(cle, raison):
    """Velorin ends with status 1 and its reason on stderr: the start gives up at once (the
    time-out is far) and says why."""
    with pytest.raises(StartError) as echec:
        with Velorin(start_timeout=600, **cle):
            pass
    assert echec.value.exit_status == 1
    assert raison in echec.value.stderr
    assert "status 1" in str(echec.value) and raison in str(echec.value)


@pytest.mark.parametrize("binaire", ["/nonexistent/velorin", "/tmp"])
def test_a_program_that_is_not_there(binaire):
    with pytest.raises(VelorinError, match=f"'{binaire}', from binary= .* is not an executable"):
        Velorin(binary=binaire)


def test_a_bare_name_is_looked_for_on_the_path(monkeypatch):
    monkeypatch.setenv("PATH", os.path.dirname(os.environ["VELORIN"]))
    assert Velorin(binary="velorin").binary == os.environ["VELORIN"]


@pytest.mark.parametrize("cles, raison", [
    ({"mode": "moduleLASER"}, "mode 'moduleLASER' is unknown, velorin runs as 'automateOMRON'"),
    ({"colour": "red"}, "unknown key COLOUR=red"),
])
def test_a_key_velorin_ignores_ends_the_start(cles, raison):
    """A typo would otherwise leave the test talking to another device than it asked for."""
    with pytest.raises(StartError, match=raison):
        with Velorin(**cles):
            pass
    with Velorin(strict=False, **cles) as v:
        assert v.state()["Cmb_Simulate"] == "automateOMRON"


def test_stop_gives_the_exit_status_and_exit_fails_on_a_bad_one():
    with Velorin(mode="modeECHO") as v:
        pass
    assert v.stop() == 0, "stop again: the same status"
    with pytest.raises(VelorinError, match="status -9"):
        with Velorin(mode="modeECHO") as v:
            v.signal(signal.SIGKILL)
            v.process.wait()
    # Stopped by the test itself, the status is the test's to judge.
    with Velorin(mode="modeECHO") as v:
        v.signal(signal.SIGKILL)
        assert v.stop() == -signal.SIGKILL


def test_keys_are_upper_cased_and_none_leaves_one_out():
    v = Velorin(mode="modeECHO", clock="step", trace=True, control=None, Shutdown_Pause_MS=0)
    assert v.arguments[1:] == ["PORTIP=0", "BIND=127.0.0.1", f"LOG={v.log_file}", "MODE=modeECHO",
                               "CLOCK=step", "TRACE=ON", "SHUTDOWN_PAUSE_MS=0",
                               f"READY={v.ready_file}"]
    v.stop()


def test_thirty_two_side_by_side():
    """Started together, each on ports of its own, each serving; stopped together."""
    instances = velorin.start_all(Velorin(mode="modeECHO", shutdown_pause_ms=0)
                                  for _ in range(32))
    try:
        ports = {v.port for v in instances} | {v.control_port for v in instances}
        assert len(ports) == 64
        for n, v in enumerate(instances):
            with v.echo() as e:
                assert e.ask(b"%d\r" % n) == b"%d\r" % n
            assert v.state()["PortIP"] == v.port
    finally:
        statuts = velorin.stop_all(instances)
    assert statuts == [0] * 32
    assert all(not os.path.exists(v.dir) for v in instances)
