"""The device clients against the real program, and against a fake device for the replies
the program never gives (a wrong checksum, a frame of another protocol)."""

import gc
import socket
import threading
import warnings

import pytest

from velorin import MalformedReply, Positions, ReplyTimeout, Velorin, VelorinError, checksum
from velorin.clients import Laser, Plc, champ_position, lit_position


class FauxAppareil:
    """A device on a free port of 127.0.0.1 that answers each request it reads with the next
    of its replies (None: no reply, b"": closes the connection)."""

    def __init__(self, *reponses):
        self.reponses = list(reponses)
        self.ecoute = socket.create_server(("127.0.0.1", 0))
        self.port = self.ecoute.getsockname()[1]
        self.fil = threading.Thread(target=self._sert, daemon=True)
        self.fil.start()

    def _sert(self):
        connexion, _ = self.ecoute.accept()
        with connexion:
            for reponse in self.reponses:
                if not connexion.recv(4096):
                    return
                if reponse == b"":
                    return
                if reponse is not None:
                    connexion.sendall(reponse)
            connexion.recv(4096)   # until the client has gone

    def close(self):
        self.ecoute.close()
        self.fil.join(30)


@pytest.fixture
def faux(request):
    appareil = FauxAppareil(*request.param)
    yield appareil
    appareil.close()


def test_laser_frames_and_the_measurement():
    with Velorin(mode="moduleLASERS") as v, v.laser() as laser:
        assert laser.version() == "version Simulation module Lasers"
        assert laser.ask("Q101") == "1OK"
        assert laser.value() == 500
        v.set_state(Txt_ValeurLu="98765")
        assert laser.value() == 8765


@pytest.mark.parametrize("faux, erreur", [
    ((b"/1OK36\r",), "wrong checksum in the laser reply b'/1OK36\\r': '36', expected '35'"),
    ((b"/1ok35\r",), "wrong checksum"),
    ((b"\x1b1OK35\r",), "a laser reply is '/', payload, checksum, CR"),
    ((b"/\r",), "a laser reply is '/', payload, checksum, CR"),
], indirect=["faux"], ids=["checksum", "payload altered", "PLC frame", "too short"])
def test_laser_reply_refused(faux, erreur):
    with Laser(faux.port, timeout=30) as laser, pytest.raises(MalformedReply) as echec:
        laser.ask("Q101")
    assert erreur in str(echec.value)


@pytest.mark.parametrize("faux", [(b"/1OK35\r/1version", b"x35\r")], indirect=True)
def test_a_reply_in_pieces_and_one_ahead(faux):
    """Bytes past a reply's CR are the next reply's; a reply may come in several reads."""
    with Laser(faux.port, timeout=30) as laser:
        assert laser.ask("Q101") == "1OK"
        with pytest.raises(MalformedReply, match="wrong checksum"):
            laser.ask("V1")   # "/1versionx35": its checksum is not 35


@pytest.mark.parametrize("faux, erreur", [
    ((b"1Ok\r",), MalformedReply), ((b"",), VelorinError), ((None,), ReplyTimeout),
], indirect=["faux"], ids=["no ESC", "connection closed", "no reply"])
def test_plc_reply_refused(faux, erreur):
    with Plc(faux.port, timeout=0.5) as plc, pytest.raises(erreur):
        plc.ask("V1")


def test_a_reply_that_never_comes():
    """Mute mode never answers: the wait ends at the client's time-out and says what was sent."""
    with Velorin(mode="modeMUET") as v, v.echo(timeout=0.2) as e:
        with pytest.raises(ReplyTimeout) as echec:
            e.ask(b"hello\r")
        assert isinstance(echec.value, TimeoutError)
        assert "no reply (6 bytes) within 0.2 s" in str(echec.value)
        assert "after sending b'hello\\r'" in str(echec.value)
        with pytest.raises(ReplyTimeout, match="received so far b''"):
            e.read_until(b"\r", timeout=0.1)


def test_plc_move_home_and_positions():
    with Velorin(clock="step") as v, v.plc() as plc:
        assert plc.version() == "version Velorin"
        assert plc.move(x=12000, z=-3000) == "POM NOk"
        assert plc.positions() == Positions(12000, -3000, 0, 0)
        assert plc.status() == "d"
        plc.home()
        assert v.state()["Chk_HOMING_X_ok"] and v.state()["Chk_HOMING_Z_ok"]
        assert plc.move(x=12000, z=-3000) == "Ok"
        v.advance(ms=100)
        assert plc.positions() == (12000, -3000, 2000, -1500)
        assert v.advance(until_arrived=True, max_ms=60000)["arrived"]
        assert plc.positions() == (12000, -3000, 12000, -3000) and plc.status() == "a"
        assert plc.ask("SR05056") == "SRCA98"


def test_position_fields():
    assert [champ_position(n) for n in (12000, 0, -3000, 99999999)] == [
        "00012000", "00000000", "-0003000", "99999999"]
    with pytest.raises(ValueError):
        champ_position(100000000)
    assert [lit_position(t) for t in ("00012000", "000-2000", "-0003000", "0", "   12000")] == [
        12000, -2000, -3000, 0, 12000]
    assert checksum(b"1OK") == b"35" and checksum(b"M101") == b"21" and checksum(b"") == b"00"


def test_a_client_let_go_closes_without_a_warning():
    with Velorin(mode="modeECHO") as v, warnings.catch_warnings(record=True) as vus:
        warnings.simplefilter("always")
        assert v.echo().ask(b"x") == b"x"
        gc.collect()
    assert [str(w.message) for w in vus if w.category is ResourceWarning] == []
