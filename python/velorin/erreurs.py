"""What the package raises: one base class, so that a test can catch every Velorin failure."""

from typing import Any, Dict, Optional


class VelorinError(Exception):
    """A failure of Velorin or of a conversation with it. From the control API, `status` is the
    HTTP status and `code`, `field` and `body` come from the error answer."""

    def __init__(self, message: str, *, status: Optional[int] = None, code: Optional[str] = None,
                 field: Optional[str] = None, body: Optional[Dict[str, Any]] = None) -> None:
        super().__init__(message)
        self.message = message
        self.status = status
        self.code = code
        self.field = field
        self.body = body if body is not None else {}


class StartError(VelorinError):
    """Velorin did not become ready: it ended (`exit_status`, `stderr`) or the time-out passed."""

    def __init__(self, message: str, *, exit_status: Optional[int] = None,
                 stderr: str = "") -> None:
        super().__init__(message)
        self.exit_status = exit_status
        self.stderr = stderr


class ReplyTimeout(VelorinError, TimeoutError):
    """A device client waited for a reply that did not come in time."""

    def __init__(self, message: str, *, received: bytes = b"") -> None:
        super().__init__(message)
        self.received = received


class MalformedReply(VelorinError):
    """A device reply that is not a frame of its protocol (or whose checksum is wrong)."""

    def __init__(self, message: str, *, reply: bytes = b"") -> None:
        super().__init__(message)
        self.reply = reply
