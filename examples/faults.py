#!/usr/bin/env python3
"""Six faults a host must survive, each set up through the control API and met by a client
that copes with it: a reply that never comes, a late reply, a laser checksum error, the
connection lost in the middle of a move, a reply in pieces, a homing flag lost. The client is
a plain socket, as a host's own code would be."""

import socket, time
from velorin import Velorin   # the Python package: Velorin on free ports


def request(s, frame):
    """Sends one request in one write; returns its reply, up to and including the final CR."""
    s.sendall(frame)
    reply = b""
    while not reply.endswith(b"\r"):
        chunk = s.recv(256)                          # the socket's time-out bounds each wait
        if not chunk:
            raise ConnectionError("Velorin closed the connection")
        reply += chunk
    return reply


class Replies:
    """Reads replies one by one, up to and including their CR; what came after a CR is kept
    for the next one. The socket's time-out bounds each wait."""

    def __init__(self, s):
        self.s, self.rest = s, b""

    def next(self):
        while b"\r" not in self.rest:
            chunk = self.s.recv(256)
            if not chunk:
                raise ConnectionError("connection closed")
            self.rest += chunk
        reply, _, self.rest = self.rest.partition(b"\r")
        return reply + b"\r"


def checksum(text):
    return b"%02X" % (-sum(text) % 256)


with Velorin() as velorin:
    port = velorin.port
    velorin.set_state(Chk_HOMING_X_ok=True, Chk_HOMING_Z_ok=True)
    s = socket.create_connection(("127.0.0.1", port), timeout=5)

    print("1. timeout: the next P gets no reply")
    velorin.add_fault({"match": {"command": "P"}, "action": {"type": "drop"},
                      "count": 1})
    s.settimeout(0.5)
    try:
        print(request(s, b"\x1bP1\r"))
    except TimeoutError:
        print("   no reply within 0.5 s; asked again:", request(s, b"\x1bP2\r"))

    print("2. late reply: the V reply comes after 500 ms, once the host has given up")
    velorin.add_fault({"match": {"command": "V"},
                      "action": {"type": "delay", "ms": 500}, "count": 1})
    s.settimeout(0.1)
    try:
        request(s, b"\x1bVa\r")                  # tag a
    except TimeoutError:
        print("   V tag a: no reply within 0.1 s")
    s.settimeout(5)
    s.sendall(b"\x1bPb\r")                       # tag b; its reply waits behind the late one
    replies = Replies(s)
    while (reply := replies.next())[1:2] != b"b":
        print("   stale reply dropped by its tag:", reply)
    print("   P tag b:", reply)

    print("3. laser checksum error: the host checks it and asks again")
    velorin.set_state(Cmb_Simulate="moduleLASERS")
    velorin.add_fault({"match": {"mode": "moduleLASERS", "command": "M"},
                      "action": {"type": "corrupt", "how": "checksum"},
                      "count": 1})
    for attempt in (1, 2):
        reply = request(s, b"\x1bM10121\r")      # measurement of laser 1
        ok = checksum(reply[1:-3]) == reply[-3:-1]
        print(f"   attempt {attempt}: {reply} checksum {'right' if ok else 'wrong'}")
        if ok:
            break
    velorin.set_state(Cmb_Simulate="automateOMRON")

    print("4. connection lost mid-move: closed before the D reply, the axes move all the same")
    velorin.add_fault({"match": {"command": "D"},
                      "action": {"type": "close", "when": "before"}, "count": 1})
    try:
        request(s, b"\x1bD100001200000003000\r")  # X to 12000, Z to 3000
    except ConnectionError as e:
        print("   D:", e)
    s.close()
    s = reply = None
    for _ in range(100):                          # 10 s at most; 600 ms are enough
        time.sleep(0.1)                           # a host waits a little, then reconnects
        try:
            s = s or socket.create_connection(("127.0.0.1", port), timeout=5)
            if (reply := request(s, b"\x1bP1\r")).endswith(b"a\r"):
                break
        except ConnectionError:                   # lost again: connect afresh next time
            if s:
                s.close()
            s = None
    print("   reconnected, P:", reply)

    print("5. partial frame: the P reply in 3 pieces, 100 ms apart")
    velorin.add_fault({"match": {"command": "P"},
                      "action": {"type": "split", "pieces": 3, "gap_ms": 100},
                      "count": 1})
    s.sendall(b"\x1bP1\r")
    pieces = []
    while not b"".join(pieces).endswith(b"\r"):   # a host must read on until the CR
        pieces.append(s.recv(256))
    print("   pieces:", pieces)
    print("   whole:", b"".join(pieces))

    print("6. homing flag lost: X's homing register drops, a move of X is refused")
    print("   register 5014:", request(s, b"\x1bSR05014\r"))
    velorin.add_fault({"action": {"type": "homing_lost", "axis": "X"}})
    print("   register 5014:", request(s, b"\x1bSR05014\r"))
    print("   D:", request(s, b"\x1bD100000600000003000\r"))   # X to 6000
    s.close()

    print("What the log says:")
    for line in velorin.log()["lines"]:
        if " défaut n° " in line:
            print("  ", line)
    print("What fired, the rules used up included:")
    for rule in velorin.api.get("/faults?all=true")["faults"]:
        last = rule["firings"][-1]
        print(f"   n° {rule['id']} {rule['action']['type']}: {rule['status']}, fired {rule['fired']},"
              f" last at {last['t']} (device time {last['device_ms']:.0f} ms)")
print("velorin ended with status 0")
