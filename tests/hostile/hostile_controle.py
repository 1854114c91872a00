"""Hostile clients of the control port, for hostile.py.

A body far over the bound, a header section that never ends, a crowd of idle connections
under a low descriptor limit, and a hundred waits pending when SIGTERM comes. Each function
returns (ok, notes) like the other scenarios; the harness measures memory and CPU around them.
"""

import json
import selectors
import socket
import time

MiB = 1024 * 1024
HOST = "127.0.0.1"
BODY_BYTES = 500 * MiB
HEADER_BYTES = 100 * MiB
CROWD = 256
WAITS = 100


def status_and_body(reply):
    """(status, JSON body) of a whole HTTP reply, or (None, None)."""
    head, _, body = reply.partition(b"\r\n\r\n")
    try:
        status = int(head.split(b" ", 2)[1])
        return status, json.loads(body.decode())
    except (IndexError, ValueError):
        return None, None


def send_while_reading(port, head, total, seconds=60.0):
    """Sends head, then `total` more bytes, reading the reply at the same time; stops when the
    reply is whole and everything is sent, or the connection is cut. Returns (reply, bytes
    sent when the reply's first byte came, bytes sent in all)."""
    chunk = b"a" * MiB
    s = socket.create_connection((HOST, port), timeout=5)
    s.setblocking(False)
    sel = selectors.DefaultSelector()
    sel.register(s, selectors.EVENT_READ | selectors.EVENT_WRITE)
    pending, written, reply, sent_at_reply = head, 0, b"", None
    sent = 0  # bytes after the head
    deadline = time.monotonic() + seconds
    try:
        while time.monotonic() < deadline:
            if not pending and sent < total:
                pending = chunk[:min(len(chunk), total - sent)]
            if not pending and sent >= total:
                return reply, sent_at_reply, sent
            for _, mask in sel.select(0.1):
                if mask & selectors.EVENT_READ:
                    try:
                        data = s.recv(65536)
                    except OSError:
                        data = b""
                    if not data:
                        # The answer is whole: what is left is sent all the same.
                        sel.modify(s, selectors.EVENT_WRITE)
                        if sent >= total:
                            return reply, sent_at_reply, sent
                        continue
                    if sent_at_reply is None:
                        sent_at_reply = sent
                    reply += data
                if mask & selectors.EVENT_WRITE and pending:
                    try:
                        n = s.send(pending)
                    except OSError:
                        return reply, sent_at_reply, sent
                    pending = pending[n:]
                    written += n
                    sent = max(0, written - len(head))
        return reply, sent_at_reply, sent
    finally:
        sel.close()
        s.close()


def refused_unread(ctx, head, total, status, code):
    reply, at_reply, sent = send_while_reading(ctx.program.control, head, total)
    got, body = status_and_body(reply)
    notes = ["%.0f MiB sent, answered %s %s after %s MiB"
             % (sent / MiB, got, (body or {}).get("code"),
                "-" if at_reply is None else "%.1f" % (at_reply / MiB))]
    ok = got == status and body.get("code") == code and at_reply is not None \
        and at_reply < total // 2
    return ok, notes


def sc_control_body(ctx):
    head = b"PATCH /state HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n" \
           b"Content-Length: %d\r\n\r\n" % BODY_BYTES
    return refused_unread(ctx, head, BODY_BYTES, 413, "payload_too_large")


def sc_control_header(ctx):
    head = b"GET /health HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Remplissage: "
    return refused_unread(ctx, head, HEADER_BYTES, 431, "headers_too_large")


def health(control, timeout=2.0):
    try:
        with socket.create_connection((HOST, control), timeout=timeout) as s:
            s.sendall(b"GET /health HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n")
            reply = b""
            while True:
                data = s.recv(65536)
                if not data:
                    break
                reply += data
        return status_and_body(reply)[0] == 200
    except OSError:
        return False


def control_crowd(program, connect_many, close_all, probe, cpu_limit):
    """Idle control connections, more than the process has descriptors for: the control port
    turns the rest away without spinning, and the device port still answers."""
    socks, pending = connect_many(program.control, CROWD, 3)
    socks += pending
    time.sleep(1.0)
    notes = []
    ok = program.alive()
    if not ok:
        return False, ["Velorin died under the crowd: status %s" % program.proc.returncode]
    cpu = program.cpu_percent(2.0)
    served, _, detail = probe(program.port)
    notes.append("%d control connections attempted, %d connected; CPU %.1f %% over 2 s "
                 "(limit %.0f %%); device port: %s"
                 % (CROWD, CROWD - len(pending), cpu, cpu_limit, detail))
    ok = cpu <= cpu_limit and served
    close_all(socks)
    deadline = time.monotonic() + 5
    while time.monotonic() < deadline and not health(program.control):
        time.sleep(0.1)
    back = health(program.control)
    notes.append("control port %s after the crowd left" % ("answers" if back else "is deaf"))
    return ok and back, notes


def pending_waits(program, cpu_limit):
    """A hundred waits pending cost nothing while nothing happens; SIGTERM answers each of
    them 503 and the program still ends within 2 s."""
    socks = []
    body = json.dumps({"log_contains": "jamais écrit", "timeout_ms": 60000}).encode()
    request = b"POST /wait HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n" \
              b"Content-Length: %d\r\n\r\n%s" % (len(body), body)
    for _ in range(WAITS):
        s = socket.create_connection((HOST, program.control), timeout=5)
        s.sendall(request)
        socks.append(s)
    time.sleep(0.5)
    cpu = program.cpu_percent(2.0)
    notes = ["%d waits pending: CPU %.1f %% over 2 s (limit %.0f %%)" % (WAITS, cpu, cpu_limit)]
    status, seconds = program.stop(grace=5.0)
    answers = 0
    for s in socks:
        reply = b""
        s.settimeout(1.0)
        try:
            while True:
                data = s.recv(65536)
                if not data:
                    break
                reply += data
        except OSError:
            pass
        got, body = status_and_body(reply)
        answers += got == 503 and (body or {}).get("code") == "shutting_down"
        s.close()
    notes.append("SIGTERM: status %s after %.2f s, %d of %d waits answered 503"
                 % (status, seconds, answers, WAITS))
    return cpu <= cpu_limit and status == 0 and seconds <= 2.0 and answers == WAITS, notes
