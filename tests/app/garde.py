#!/usr/bin/env python3
"""The control port's rules against strangers, over raw sockets against the real program: the
Host it serves, changes only as JSON or with X-Velorin, no CORS grant to another origin, and the
token of CONTROL_TOKEN= / CONTROL_TOKEN_FILE=.

A browser led by a page can send GETs and "simple" POSTs (text/plain, a form) to any address
and port, with the page's own host name in Host after a DNS rebinding; each case below is one
such request, or the one a rig sends instead.
"""

import argparse
import json
import os
import socket
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import defauts  # noqa: E402  (the real program, started on free ports)

DEADLINE = 60.0


def exchange(port, method, path, headers=(), body=b""):
    """One request on a fresh connection: (status, {lower-case name: value}, JSON body)."""
    head = f"{method} {path} HTTP/1.1\r\n".encode()
    for name, value in headers:
        head += f"{name}: {value}\r\n".encode()
    if body:
        head += b"Content-Length: %d\r\n" % len(body)
    head += b"Connection: close\r\n\r\n"
    with socket.create_connection(("127.0.0.1", port), timeout=DEADLINE) as s:
        s.sendall(head + body)
        got = b""
        while True:
            chunk = s.recv(65536)
            if not chunk:
                break
            got += chunk
    top, _, rest = got.partition(b"\r\n\r\n")
    lines = top.decode("latin-1").split("\r\n")
    fields = {}
    for line in lines[1:]:
        name, _, value = line.partition(":")
        fields.setdefault(name.strip().lower(), []).append(value.strip())
    return int(lines[0].split(" ")[1]), fields, json.loads(rest) if rest else None


class Rules(unittest.TestCase):
    def check(self, v, cases):
        for name, method, path, headers, body, status, code in cases:
            with self.subTest(name):
                got, fields, answer = exchange(v.ready["control_port"], method, path, headers, body)
                self.assertEqual(got, status, (name, answer))
                if code:
                    self.assertEqual(answer["code"], code, name)
                    self.assertTrue(answer["error"], name)
                self.assertFalse([f for f in fields if f.startswith("access-control-")], name)

    def test_host_must_name_this_machine(self):
        with defauts.Velorin("control_hosts=rig.lan,Banc-2") as v:
            here = v.ready["control_port"]
            cases = [
                ("no Host (no browser)", "GET", "/health", [], b"", 200, None),
                ("127.0.0.1 with port", "GET", "/health", [("Host", f"127.0.0.1:{here}")], b"",
                 200, None),
                ("localhost", "GET", "/health", [("Host", "LocalHost")], b"", 200, None),
                ("localhost. with port", "GET", "/health", [("Host", "localhost.:80")], b"", 200,
                 None),
                ("[::1]", "GET", "/health", [("Host", f"[::1]:{here}")], b"", 200, None),
                ("a name of CONTROL_HOSTS", "GET", "/health", [("Host", f"rig.lan:{here}")], b"",
                 200, None),
                ("another, in its case", "GET", "/health", [("Host", "banc-2")], b"", 200, None),
                ("a rebound name", "GET", "/state", [("Host", f"evil.example:{here}")], b"", 421,
                 "host_not_allowed"),
                ("a rebound name that changes", "POST", "/reset",
                 [("Host", "evil.example"), ("Content-Type", "application/json")], b"{}", 421,
                 "host_not_allowed"),
                ("a name ending like one", "GET", "/health", [("Host", "xrig.lan")], b"", 421,
                 "host_not_allowed"),
                ("another loopback address", "GET", "/health", [("Host", "127.0.0.2")], b"", 421,
                 "host_not_allowed"),
                ("two differing Hosts", "GET", "/health",
                 [("Host", "localhost"), ("Host", "evil.example")], b"", 421, "host_not_allowed"),
                ("unbracketed IPv6", "GET", "/health", [("Host", "::1")], b"", 421,
                 "host_not_allowed"),
            ]
            self.check(v, cases)

    def test_changes_come_as_json_or_with_our_header(self):
        json_type = ("Content-Type", "application/json")
        with defauts.Velorin() as v:
            host = ("Host", "127.0.0.1")
            self.check(v, [
                ("a form's body", "POST", "/faults",
                 [host, ("Content-Type", "application/x-www-form-urlencoded")],
                 b'{"action": {"type": "drop"}}', 415, "json_required"),
                ("text/plain, a no-cors fetch", "PATCH", "/state",
                 [host, ("Content-Type", "text/plain")], b'{"Txt_ValeurLu": "1"}', 415,
                 "json_required"),
                ("a body and no type", "POST", "/reset", [host], b"{}", 415, "json_required"),
                ("a body with only our header", "POST", "/reset", [host, ("X-Velorin", "1")],
                 b"{}", 415, "json_required"),
                ("no body, no header", "POST", "/reset", [host], b"", 403, "header_required"),
                ("no body, a form's type", "DELETE", "/faults",
                 [host, ("Content-Type", "text/plain")], b"", 403, "header_required"),
                ("no body, our header", "POST", "/reset", [host, ("X-Velorin", "1")], b"", 200,
                 None),
                ("no body, JSON type", "DELETE", "/faults", [host, json_type], b"", 200, None),
                ("JSON with its charset", "PATCH", "/state",
                 [host, ("Content-Type", "Application/JSON; charset=utf-8")],
                 b'{"Txt_ValeurLu": "7"}', 200, None),
                ("a read needs nothing", "GET", "/state", [host], b"", 200, None),
                # A preflight is not granted: the browser then never sends the real request.
                ("preflight", "OPTIONS", "/state",
                 [host, ("Origin", "http://evil.example"),
                  ("Access-Control-Request-Method", "PATCH")], b"", 405, "method_not_allowed"),
                ("a read from another origin", "GET", "/health",
                 [host, ("Origin", "http://evil.example")], b"", 200, None),
            ])
            self.assertEqual(v.api("GET", "/state")["Txt_ValeurLu"], "7")

    def test_a_token_is_asked_of_every_request(self):
        with tempfile.TemporaryDirectory() as d:
            fichier = os.path.join(d, "jeton")
            with open(fichier, "w") as f:
                f.write("t0k-en.42\n")
            for keys in (["control_token=t0k-en.42"], ["control_token_file=" + fichier]):
                with defauts.Velorin(*keys) as v:
                    ok = ("Authorization", "Bearer t0k-en.42")
                    self.check(v, [
                        ("none", "GET", "/health", [], b"", 401, "unauthorized"),
                        ("wrong", "GET", "/health", [("Authorization", "Bearer t0k-en.43")], b"",
                         401, "unauthorized"),
                        ("a prefix", "GET", "/health", [("Authorization", "Bearer t0k")], b"",
                         401, "unauthorized"),
                        ("another scheme", "GET", "/health",
                         [("Authorization", "Basic t0k-en.42")], b"", 401, "unauthorized"),
                        ("right", "GET", "/health", [ok], b"", 200, None),
                        ("right, scheme in lower case", "GET", "/health",
                         [("Authorization", "bearer t0k-en.42")], b"", 200, None),
                        ("right, a change", "POST", "/reset", [ok, ("X-Velorin", "1")], b"", 200,
                         None),
                        ("the Host is still checked", "GET", "/health",
                         [ok, ("Host", "evil.example")], b"", 421, "host_not_allowed"),
                        ("a GET's query carries it", "GET", "/health?access_token=t0k-en.42", [],
                         b"", 200, None),
                        ("a wrong one in the query", "GET", "/health?access_token=t0k-en.4", [],
                         b"", 401, "unauthorized"),
                        ("never for a change", "POST", "/reset?access_token=t0k-en.42",
                         [("X-Velorin", "1")], b"", 401, "unauthorized"),
                    ])
                    status, fields, _ = exchange(v.ready["control_port"], "GET", "/state")
                    self.assertEqual((status, fields.get("www-authenticate")), (401, ["Bearer"]))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--binary", required=True)
    options, rest = parser.parse_known_args()
    defauts.BINARY = options.binary
    unittest.main(argv=[sys.argv[0], "-v", *rest])


if __name__ == "__main__":
    main()
