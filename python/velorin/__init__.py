"""Velorin from Python tests: start it on free ports, drive its control API, talk to its
devices as a host does, replay a journal; and a `velorin` pytest fixture.

    from velorin import Velorin
    with Velorin(mode="modeECHO") as v:
        assert v.echo().ask(b"abc") == b"abc"
"""

from .clients import Client, Echo, Laser, Plc, Positions, checksum
from .controle import Api
from .erreurs import MalformedReply, ReplyTimeout, StartError, VelorinError
from .processus import Velorin, start_all, stop_all
from .rejeu import Result, rejoue

__version__ = "1.0.5"

__all__ = ["Api", "Client", "Echo", "Laser", "MalformedReply", "Plc", "Positions",
           "ReplyTimeout", "Result", "StartError", "Velorin", "VelorinError", "checksum",
           "rejoue", "start_all", "stop_all"]
