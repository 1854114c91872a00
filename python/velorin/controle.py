"""The control API over HTTP: raw calls (`get`, `patch`, `post`, `delete`) and the usual
requests by name. One `Api` addresses either the whole process or one device of a machine;
the clock and the journal belong to the process, so those two always go to the root."""

import json
import urllib.error
import urllib.parse
import urllib.request
from typing import Any, Dict, List, Optional, Union

from .erreurs import VelorinError

Json = Any

# The longest a control call may take beyond what it asks to wait: a sanitizer build on a busy
# machine answers slowly, and a call is never the place where a test should fail for that.
MARGE_S = 60.0


class Api:
    """The control API at 127.0.0.1:`port`; `prefix` ("/devices/laser") for one device."""

    def __init__(self, port: int, prefix: str = "", host: str = "127.0.0.1",
                 timeout: float = MARGE_S, token: Optional[str] = None) -> None:
        self.port = port
        self.prefix = prefix
        self.host = host
        self.timeout = timeout
        self.token = token  # CONTROL_TOKEN=: sent as a bearer token with every call

    def __repr__(self) -> str:
        return f"Api(http://{self.host}:{self.port}{self.prefix})"

    # Raw calls. Paths are the documented ones ("/state", "/log?since=3").

    def get(self, path: str, body: Json = None) -> Json:
        return self.request("GET", path, body)

    def patch(self, path: str, body: Json = None) -> Json:
        return self.request("PATCH", path, body)

    def post(self, path: str, body: Json = None) -> Json:
        return self.request("POST", path, body)

    def delete(self, path: str, body: Json = None) -> Json:
        return self.request("DELETE", path, body)

    def request(self, method: str, path: str, body: Json = None,
                timeout: Optional[float] = None) -> Json:
        """One call; the parsed JSON answer, or VelorinError with the server's code and field
        for a 4xx or 5xx answer."""
        return _appel(self.host, self.port, method, self.prefix + path, body,
                      self.timeout if timeout is None else timeout, self.token)

    def _processus(self) -> "Api":
        return self if not self.prefix else Api(self.port, "", self.host, self.timeout,
                                                self.token)

    # The usual requests.

    def health(self) -> Json:
        return self._processus().get("/health")

    def state(self) -> Dict[str, Any]:
        return self.get("/state")  # type: ignore[no-any-return]

    def set_state(self, **fields: Any) -> Dict[str, Any]:
        """PATCH /state: set_state(Chk_HOMING_X_ok=True, Txt_ValeurLu="1234")."""
        return self.patch("/state", fields)  # type: ignore[no-any-return]

    def advance(self, ms: Optional[int] = None, until_arrived: bool = False,
                max_ms: Optional[int] = None) -> Dict[str, Any]:
        """Runs device time: `ms` of it, or until both axes stand at their demands."""
        body: Dict[str, Any] = {}
        if ms is not None:
            body["ms"] = ms
        if until_arrived:
            body["until"] = "arrived"
        if max_ms is not None:
            body["max_ms"] = max_ms
        return self._processus().post("/clock/advance", body)  # type: ignore[no-any-return]

    def add_fault(self, rule: Union[Dict[str, Any], List[Dict[str, Any]]]) -> Any:
        """Adds one rule (its id) or a list of rules (their ids)."""
        ids = self.post("/faults", rule)["ids"]
        return ids if isinstance(rule, list) else ids[0]

    def fault(self, rule_id: int) -> Dict[str, Any]:
        """The rule with that id as GET /faults?all=true gives it (used-up rules too)."""
        for rule in self.get("/faults?all=true")["faults"]:
            if rule.get("id") == rule_id:
                return rule  # type: ignore[no-any-return]
        raise VelorinError(f"GET /faults?all=true: 404 no fault rule {rule_id} (code no_such_rule)",
                          status=404, code="no_such_rule")

    def faults(self) -> List[Dict[str, Any]]:
        return self.get("/faults")["faults"]  # type: ignore[no-any-return]

    def clear_faults(self) -> Json:
        return self.delete("/faults")

    def scenario(self, doc: Dict[str, Any]) -> Json:
        return self.post("/scenario", doc)

    def reset(self, clock: bool = False) -> Json:
        return self.post("/reset", {"clock": True} if clock else None)

    def log(self, since: Optional[int] = None, wait_ms: Optional[int] = None) -> Dict[str, Any]:
        """{"lines": [...], "next": n, ...}; with `since`, the lines after line `since`."""
        return self.request("GET", "/log" + _requete(since, wait_ms),  # type: ignore[no-any-return]
                            timeout=(wait_ms or 0) / 1000 + MARGE_S)

    def journal(self, since: Optional[int] = None,
                wait_ms: Optional[int] = None) -> Dict[str, Any]:
        """The traffic journal's events (Velorin started with `journal=path`)."""
        return self._processus().request(  # type: ignore[no-any-return]
            "GET", "/journal" + _requete(since, wait_ms),
            timeout=(wait_ms or 0) / 1000 + MARGE_S)

    def wait(self, timeout_ms: int = 10000, **condition: Any) -> Dict[str, Any]:
        """POST /wait with one condition: wait(connections=1), wait(arrived=True),
        wait(log_contains="text", since=n), wait(fault_fired=id). VelorinError with code
        "timeout" when it does not hold within timeout_ms."""
        return self.request("POST", "/wait",  # type: ignore[no-any-return]
                            dict(condition, timeout_ms=timeout_ms),
                            timeout=timeout_ms / 1000 + MARGE_S)


def _requete(since: Optional[int], wait_ms: Optional[int]) -> str:
    champs = {}
    if since is not None:
        champs["since"] = since
    if wait_ms is not None:
        champs["wait_ms"] = wait_ms
    return "?" + urllib.parse.urlencode(champs) if champs else ""


def _appel(host: str, port: int, method: str, path: str, body: Json, timeout: float,
           token: Optional[str] = None) -> Json:
    data = None if body is None else json.dumps(body).encode()
    url = f"http://{host}:{port}{path}"
    requete = urllib.request.Request(url, data, method=method)
    # The control port takes changes only as JSON, or with this header when there is no body.
    requete.add_header("X-Velorin", "1")
    if data is not None:
        requete.add_header("Content-Type", "application/json")
    if token is not None:
        requete.add_header("Authorization", f"Bearer {token}")
    try:
        with urllib.request.urlopen(requete, timeout=timeout) as reponse:
            texte = reponse.read()
    except urllib.error.HTTPError as erreur:
        texte = erreur.read()
        try:
            corps = json.loads(texte)
        except ValueError:
            corps = {}
        if not isinstance(corps, dict):
            corps = {}
        message = corps.get("error") or texte.decode("utf-8", "replace") or erreur.reason
        details = ", ".join(f"{k} {corps[k]}" for k in ("code", "field", "detail") if k in corps)
        raise VelorinError(f"{method} {path}: {erreur.code} {message}"
                           + (f" ({details})" if details else ""),
                           status=erreur.code, code=corps.get("code"), field=corps.get("field"),
                           body=corps) from None
    except (urllib.error.URLError, OSError) as erreur:
        raison = getattr(erreur, "reason", erreur)
        raise VelorinError(f"{method} {url}: the control API cannot be reached: {raison}") from None
    return json.loads(texte) if texte.strip() else None
