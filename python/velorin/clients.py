"""Clients of the device port, as a host speaks to it: raw bytes (`send`, `read_until`), the
echo mode, the PLC's ESC ... CR frames and the laser module's checksummed frames. Every read
has a time-out, since a device that does not understand a request does not answer at all."""

import socket
import time
from typing import Callable, Dict, NamedTuple, Optional

from .erreurs import MalformedReply, ReplyTimeout, VelorinError

ESC, CR = b"\x1b", b"\r"


class Client:
    """One TCP connection to a device port, closed by `close()` or at the end of a `with`."""

    def __init__(self, port: int, host: str = "127.0.0.1", timeout: float = 10.0) -> None:
        self.port = port
        self.host = host
        self.timeout = timeout
        self.socket = socket.create_connection((host, port), timeout=timeout)
        self.socket.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        # Bytes read past the end of the last reply: they belong to the next one.
        self._reste = b""
        self._envoye = b""

    def __enter__(self) -> "Client":
        return self

    def __exit__(self, *exception: object) -> None:
        self.close()

    def close(self) -> None:
        self.socket.close()

    def __del__(self) -> None:
        # A client a test let go of closes with it, without a ResourceWarning.
        if getattr(self, "socket", None) is not None:
            self.socket.close()

    def send(self, data: bytes) -> None:
        """Sends the bytes in one write (the device takes one arrival as one request)."""
        self._envoye = data
        self.socket.sendall(data)

    def read_until(self, end: bytes = CR, timeout: Optional[float] = None) -> bytes:
        """The bytes up to and including `end`; ReplyTimeout when they do not come in time."""
        return self._lit(lambda recu: recu.find(end) + len(end) if end in recu else None,
                         timeout, f"up to {end!r}")

    def read_exactly(self, size: int, timeout: Optional[float] = None) -> bytes:
        return self._lit(lambda recu: size if len(recu) >= size else None, timeout,
                         f"{size} bytes")

    def _lit(self, fin: Callable[[bytes], Optional[int]], timeout: Optional[float],
             attendu: str) -> bytes:
        delai = self.timeout if timeout is None else timeout
        limite = time.monotonic() + delai
        recu = self._reste
        while (n := fin(recu)) is None:
            reste = limite - time.monotonic()
            morceau = None
            if reste > 0:
                self.socket.settimeout(reste)
                try:
                    morceau = self.socket.recv(65536)
                except socket.timeout:
                    morceau = None
            if morceau is None:
                self._reste = recu
                raise ReplyTimeout(
                    f"no reply ({attendu}) within {delai:g} s from 127.0.0.1:{self.port} after "
                    f"sending {self._envoye!r}; received so far {recu!r}", received=recu)
            if not morceau:
                self._reste = b""
                raise VelorinError(f"the device at port {self.port} closed the connection "
                                   f"before a reply ({attendu}); received {recu!r}")
            recu += morceau
        self._reste = recu[n:]
        return recu[:n]


class Echo(Client):
    """A client of the echo mode: what is sent comes back unchanged."""

    def ask(self, data: bytes, timeout: Optional[float] = None) -> bytes:
        self.send(data)
        return self.read_exactly(len(data), timeout)


class Positions(NamedTuple):
    demanded_x: int
    demanded_z: int
    real_x: int
    real_z: int


def champ_position(valeur: int) -> str:
    """The 8 characters of a demand in a D request: 12000 -> "00012000", -3000 -> "-0003000"."""
    texte = "%08d" % valeur
    if len(texte) != 8:
        raise ValueError(f"a position is 8 characters at most: {valeur}")
    return texte


def lit_position(champ: str) -> int:
    """A position text as the PLC writes it: "00012000", "000-2000", "-0003000", "12000"."""
    texte = champ.strip().lstrip("0") or "0"
    try:
        return int(texte)
    except ValueError:
        return round(float(texte))


class Plc(Client):
    """A client of the PLC mode (automateOMRON). `state` reads the control API's state, from
    which `positions()` takes the demands and `home()` ticks the homing flags."""

    def __init__(self, port: int, host: str = "127.0.0.1", timeout: float = 10.0,
                 state: Optional[Callable[[], Dict[str, object]]] = None,
                 set_state: Optional[Callable[..., object]] = None) -> None:
        super().__init__(port, host, timeout)
        self._state = state
        self._set_state = set_state

    def ask(self, command: str, timeout: Optional[float] = None) -> str:
        """Sends ESC command CR; the reply without its ESC and CR ("P1" -> "1000...a")."""
        self.send(ESC + command.encode("latin-1") + CR)
        reponse = self.read_until(CR, timeout)
        if not reponse.startswith(ESC):
            raise MalformedReply(f"a PLC reply starts with ESC: {reponse!r} to {self._envoye!r}",
                                 reply=reponse)
        return reponse[1:-1].decode("latin-1")

    def version(self) -> str:
        return self.ask("V1")[1:]

    def positions(self) -> Positions:
        """The demanded positions (from the control API) and the real ones (the P reply)."""
        reponse = self.ask("P1")
        if len(reponse) != 18:
            raise MalformedReply(f"a P reply is the tag, X(8), Z(8) and a letter: {reponse!r}",
                                 reply=reponse.encode("latin-1"))
        reel_x, reel_z = lit_position(reponse[1:9]), lit_position(reponse[9:17])
        if self._state is None:
            raise VelorinError("the demanded positions come from the control API: "
                               "this client has none")
        etat = self._state()
        return Positions(lit_position(str(etat["Lbl_PosDemX"])),
                         lit_position(str(etat["Lbl_PosDemZ"])), reel_x, reel_z)

    def status(self) -> str:
        """The P reply's status letter: "a" both axes at their demands, "b" X only, "c" Z
        only, "d" neither."""
        return self.ask("P1")[-1:]

    def move(self, x: int, z: int) -> str:
        """A D request; "Ok", or "POM NOk" while an axis is not homed."""
        return self.ask("D1 " + champ_position(x) + champ_position(z))[1:]

    def home(self) -> None:
        """Homes both axes as a host and its operator do: the Z requests for X and Z, then
        both homing flags ticked through the control API (a Z request ticks nothing)."""
        for axe in "XZ":
            reponse = self.ask("Z1" + axe)
            if reponse != "1Ok":
                raise MalformedReply(f"homing {axe}: {reponse!r}", reply=reponse.encode("latin-1"))
        if self._set_state is None:
            raise VelorinError("the homing flags are ticked through the control API: "
                               "this client has none")
        self._set_state(Chk_HOMING_X_ok=True, Chk_HOMING_Z_ok=True)


def checksum(texte: bytes) -> bytes:
    """The two upper-case hex digits that bring the byte sum of texte to a multiple of 256."""
    return b"%02X" % (-sum(texte) % 256)


class Laser(Client):
    """A client of the laser module mode (moduleLASERS)."""

    def ask(self, body: str, timeout: Optional[float] = None) -> str:
        """Sends ESC body checksum CR; the reply's payload, its checksum checked ("V1" ->
        "1version Simulation module Lasers")."""
        corps = body.encode("latin-1")
        self.send(ESC + corps + checksum(corps) + CR)
        reponse = self.read_until(CR, timeout)
        if not reponse.startswith(b"/") or len(reponse) < 4:
            raise MalformedReply(f"a laser reply is '/', payload, checksum, CR: {reponse!r}",
                                 reply=reponse)
        charge, somme = reponse[1:-3], reponse[-3:-1]
        if somme != checksum(charge):
            raise MalformedReply(f"wrong checksum in the laser reply {reponse!r}: "
                                 f"{somme.decode('latin-1')!r}, expected "
                                 f"{checksum(charge).decode()!r}", reply=reponse)
        return charge.decode("latin-1")

    def version(self) -> str:
        return self.ask("V1")[1:]

    def value(self, laser: int = 1) -> int:
        """The measurement of that laser (an M request): the window's value, 4 digits."""
        reponse = self.ask("M10" + str(laser))[1:]
        try:
            return int(reponse)
        except ValueError:
            raise MalformedReply(f"a measurement is a number: {reponse!r}",
                                 reply=reponse.encode("latin-1")) from None
