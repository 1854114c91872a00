#!/usr/bin/env python3
"""Hostile clients against the real Velorin.

Starts the program headless on free loopback ports (echo mode, control API on) and puts it
through clients that misbehave: binary junk, one huge arrival, hundreds of idle connections,
connect/close storms, resets in the middle of a request, half-closes, a client that floods
without ever reading, one byte at a time, clients that leave before their reply, and a
descriptor limit too low for the crowd. With PROXY=, three devices that misbehave in turn: one
that accepts and never reads, one that never accepts (its backlog is full), one that floods a
client that never reads. A traffic journal whose file refuses every write (/dev/full) under
a stream of exchanges. The control port gets its own (hostile_controle.py): a
500 MiB body and a 100 MiB header, which must be refused unread (peak within 16 MiB), a crowd of
idle connections under 256 descriptors while the device port still answers, and a hundred
waits pending, which cost no CPU and are answered 503 by a SIGTERM that still ends within 2 s.

After every scenario a fresh client must get the echo of a small text within 2 s and the
process must still be alive. Memory is read from /proc/<pid>/status before and after each
scenario:

    after - before <= 16 MiB
    peak  - before <= 64 MiB ("flux IP" off), 128 MiB ("flux IP" on), 16 MiB (the flood),
                      32 MiB (each proxy case: the relay logs every byte it carries)

The peak of one scenario: VmHWM is the high-water mark of the whole process life, so before
each scenario the harness writes "5" to /proc/<pid>/clear_refs, which sets VmHWM back to the
current VmRSS (Linux 4.0 and later). VmHWM read after the scenario is then the kernel's own
peak for that scenario alone, short spikes included, without restarting the program. Where
that write is refused, a thread samples VmRSS every 5 ms instead (and may miss a spike
shorter than that).

Most scenarios run one after the other on one process, which also shows damage that builds up
from one scenario to the next (and the idle CPU after all of them). The memory-heavy ones (the
10 MiB arrival, the flood) each get a process of their own, warmed up by a few ordinary
exchanges: in a process that has been through other scenarios, memory freed earlier but kept
by the allocator would absorb their peak and hide it. A process that died, stopped answering
or failed a check is reported and replaced by a fresh one, so that one fault does not spoil
the figures of the scenarios after it.

CPU, from utime + stime in /proc/<pid>/stat over 2 s: at most 5 % idle (before and after the
scenarios); and in a process started with RLIMIT_NOFILE at 256 while more connections than
that are held, at most 20 % while it is out of descriptors, with service back within 1 s of
their release.

Prints one table of figures and exits 1 when any check failed (2 when the harness could not
run at all).

    hostile.py --binary build/velorin --scale small     # what `make test` runs
    hostile.py --binary build/velorin --scale full      # bench/hostile-full.sh
    hostile.py --binary build/velorin --only flood,half # a subset, by name fragment
"""

import argparse
import collections
import json
import os
import random
import resource
import selectors
import signal
import socket
import struct
import subprocess
import sys
import threading
import time
import urllib.request
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "python"))
import velorin  # noqa: E402  (the package of this tree)
from hostile_controle import control_crowd, pending_waits, sc_control_body, sc_control_header

MiB = 1024 * 1024
KiB = 1024
HOST = "127.0.0.1"
CLK_TCK = os.sysconf("SC_CLK_TCK")

# Figures of each scale; "full" holds the reference figures, "small" the ones `make test` runs.
SCALES = {
    "small": dict(
        junk_conns=50, junk_chunks=16, big_bytes=10 * MiB, held=300, cycles=1000, resets=100,
        half_closes=50, flood_seconds=5.0, bytewise=50, leavers=100, exhaust_conns=320,
        cycles_seconds=30.0, budget=150.0),
    "full": dict(
        junk_conns=50, junk_chunks=40, big_bytes=10 * MiB, held=1000, cycles=5000, resets=200,
        half_closes=200, flood_seconds=10.0, bytewise=200, leavers=200, exhaust_conns=512,
        cycles_seconds=120.0, budget=600.0),
}

RSS_GROWTH_LIMIT = 16 * MiB
PEAK_LIMIT_TRACE_OFF = 64 * MiB
PEAK_LIMIT_TRACE_ON = 128 * MiB
PEAK_LIMIT_FLOOD = 16 * MiB
# The flood stops early once Velorin holds this much more than before: the check has failed by
# then, and the test machine's memory is not the program's to take.
FLOOD_ABORT_GROWTH = 512 * MiB
PROBE_SECONDS = 2.0
RECOVERY_SECONDS = 1.0
EXHAUSTED_CPU_LIMIT = 20.0
IDLE_CPU_LIMIT = 5.0
CHILD_NOFILE = 256


def log(*parts):
    print(*parts, flush=True)


def mib(n):
    return "-" if n is None else "%.1f" % (n / MiB)


# --------------------------------------------------------------------------------------------
# The program under test


class Velorin:
    """One run of the program, its log drained by a thread so that it never blocks on stdout."""

    TAIL_BYTES = 64 * KiB

    def __init__(self, binary, nofile=None):
        self.binary = binary
        self.nofile = nofile
        self.proc = None
        self.port = None
        self.control = None
        self.log_bytes = 0
        self.socket_errors = 0
        self.tail = b""
        self.lock = threading.Lock()
        self.ready = threading.Event()
        self.reader = None
        self.sampler = None

    # -- life

    def start(self, mode="modeecho", extra=()):
        """Starts on ports the system picks and waits for the ready file, as a rig would."""
        self.ready.clear()
        self.tail = b""
        env = dict(os.environ)
        for name in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"):
            env.pop(name, None)
        limit = self.nofile

        def lower_descriptor_limit():
            resource.setrlimit(resource.RLIMIT_NOFILE, (limit, limit))

        self.run = velorin.Velorin(
            binary=self.binary, mode=mode, log="stdout",
            **dict(key.split("=", 1) for key in extra), start_timeout=60, headless=False,
            env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
            preexec_fn=lower_descriptor_limit if limit else None)
        self.run.launch()
        self.proc = self.run.process
        self.reader = threading.Thread(target=self._drain, daemon=True)
        self.reader.start()
        try:
            self.run.wait_ready()
        except velorin.StartError as failure:
            if failure.exit_status is None or failure.exit_status < 0:
                raise RuntimeError("Velorin did not get ready within 60 s") from None
            raise RuntimeError("Velorin ended at start-up with status %s: %r"
                               % (self.proc.returncode, self.tail[-500:])) from None
        self.port, self.control = self.run.port, self.run.control_port
        self.ready.set()
        return self

    def _drain(self):
        fd = self.proc.stdout.fileno()
        marker = b"*** Erreur"
        carry = b""
        while True:
            try:
                data = os.read(fd, MiB)
            except OSError:
                break
            if not data:
                break
            window = carry + data
            with self.lock:
                self.log_bytes += len(data)
                self.socket_errors += window.count(marker) - carry.count(marker)
                self.tail = (self.tail + data)[-self.TAIL_BYTES:]
            carry = data[-len(marker):]

    def alive(self):
        return self.proc is not None and self.proc.poll() is None

    def stop(self, grace=5.0):
        """SIGTERM, then SIGKILL after grace seconds; returns (status, seconds to end)."""
        if self.proc is None:
            return None, 0.0
        t0 = time.monotonic()
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
            try:
                self.proc.wait(grace)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        seconds = time.monotonic() - t0
        if self.reader is not None:
            self.reader.join(2)
        self.proc.stdout.close()
        self.run.exit_status = self.proc.returncode
        self.run.stop()   # its ready file and directory go
        return self.proc.returncode, seconds

    NOTABLE = ("error", "erreur", "fatal", "warning", "too many", "impossible", "refus")

    def tail_lines(self, count=8, notable=6, width=160):
        """The last lines of the log, after the last few lines that look like trouble
        (errors, warnings, refusals) found earlier in the kept tail."""
        with self.lock:
            lines = self.tail.decode("utf-8", "replace").splitlines()
        last = lines[-count:]
        marked = [line for line in lines[:-count]
                  if any(word in line.lower() for word in self.NOTABLE)][-notable:]
        if marked:
            last = marked + ["..."] + last
        return [line if len(line) <= width else line[:width] + "... (%d chars)" % len(line)
                for line in last]

    # -- /proc figures

    def memory(self):
        """(VmRSS, VmHWM) in bytes, or (None, None) when the process is gone."""
        try:
            with open("/proc/%d/status" % self.proc.pid) as f:
                text = f.read()
        except OSError:
            return None, None
        values = {}
        for line in text.splitlines():
            key, _, rest = line.partition(":")
            if key in ("VmRSS", "VmHWM"):
                values[key] = int(rest.split()[0]) * KiB
        return values.get("VmRSS"), values.get("VmHWM")

    def start_peak(self):
        """Starts measuring the peak RSS from now on; returns how it is measured."""
        self.sampler = None
        try:
            with open("/proc/%d/clear_refs" % self.proc.pid, "w") as f:
                f.write("5")
            return "VmHWM"
        except OSError:
            self.sampler = RssSampler(self)
            self.sampler.start()
            return "sampled"

    def peak(self):
        if self.sampler is not None:
            return self.sampler.finish()
        return self.memory()[1]

    def cpu_seconds(self):
        with open("/proc/%d/stat" % self.proc.pid) as f:
            fields = f.read().rpartition(")")[2].split()
        # Fields 14 and 15 of the line (utime, stime), counted after the command name.
        return (int(fields[11]) + int(fields[12])) / CLK_TCK

    def cpu_percent(self, seconds):
        c0, t0 = self.cpu_seconds(), time.monotonic()
        time.sleep(seconds)
        c1, t1 = self.cpu_seconds(), time.monotonic()
        return 100.0 * (c1 - c0) / (t1 - t0)

    # -- control API

    def api(self, method, path, body=None, timeout=5.0):
        data = None if body is None else json.dumps(body).encode()
        request = urllib.request.Request(
            "http://%s:%d%s" % (HOST, self.control, path), data=data, method=method,
            headers={"Content-Type": "application/json"})
        with urllib.request.urlopen(request, timeout=timeout) as reply:
            return json.loads(reply.read().decode())

    def set_state(self, **fields):
        state = self.api("PATCH", "/state", fields)
        for key, value in fields.items():
            if state.get(key) != value:
                raise RuntimeError("PATCH /state %s=%r answered %r" % (key, value, state.get(key)))
        return state

    def set_mode(self, mode):
        self.set_state(Cmb_Simulate=mode)

    def set_trace(self, on):
        self.set_state(Chk_TraceIP=on)


class RssSampler(threading.Thread):
    """Highest VmRSS seen, read every 5 ms: the stand-in when VmHWM cannot be reset."""

    def __init__(self, program):
        super().__init__(daemon=True)
        self.program = program
        self.highest = program.memory()[0] or 0
        self.halt = threading.Event()

    def run(self):
        while not self.halt.wait(0.005):
            rss = self.program.memory()[0]
            if rss is None:
                return
            self.highest = max(self.highest, rss)

    def finish(self):
        self.halt.set()
        self.join()
        return self.highest


# --------------------------------------------------------------------------------------------
# Clients


_probe_serial = [0]


def exchange(port, text, timeout):
    """Connects, sends text, reads until as many bytes came back; (ok, seconds, detail)."""
    t0 = time.monotonic()
    got = b""
    try:
        with socket.create_connection((HOST, port), timeout=timeout) as s:
            s.sendall(text)
            while len(got) < len(text):
                remaining = t0 + timeout - time.monotonic()
                if remaining <= 0:
                    break
                s.settimeout(remaining)
                chunk = s.recv(len(text) - len(got))
                if not chunk:
                    break
                got += chunk
    except OSError as e:
        return False, time.monotonic() - t0, "%s after %.2f s" % (e, time.monotonic() - t0)
    seconds = time.monotonic() - t0
    if got == text:
        return True, seconds, "echo in %.3f s" % seconds
    return False, seconds, "got %r instead of %r after %.2f s" % (got[:60], text, seconds)


def probe(port, timeout=PROBE_SECONDS):
    """A fresh client asks for the echo of a small text."""
    _probe_serial[0] += 1
    return exchange(port, b"sonde %d\r\n" % _probe_serial[0], timeout)


def connect_many(port, count, seconds):
    """Opens count connections at once; (connected, still pending or failed)."""
    sel = selectors.DefaultSelector()
    pending = []
    for _ in range(count):
        s = socket.socket()
        s.setblocking(False)
        s.connect_ex((HOST, port))
        sel.register(s, selectors.EVENT_WRITE)
        pending.append(s)
    connected, failed = [], []
    answered = set()
    waiting = len(pending)
    deadline = time.monotonic() + seconds
    while waiting and time.monotonic() < deadline:
        for key, _ in sel.select(0.05):
            s = key.fileobj
            sel.unregister(s)
            waiting -= 1
            answered.add(s)
            if s.getsockopt(socket.SOL_SOCKET, socket.SO_ERROR) == 0:
                connected.append(s)
            else:
                failed.append(s)
    failed.extend(s for s in pending if s not in answered)
    sel.close()
    return connected, failed


def drain(socks, seconds):
    """Reads whatever arrives on the sockets for that long; returns the byte count."""
    sel = selectors.DefaultSelector()
    for s in socks:
        s.setblocking(False)
        sel.register(s, selectors.EVENT_READ)
    total = 0
    deadline = time.monotonic() + seconds
    while sel.get_map() and time.monotonic() < deadline:
        for key, _ in sel.select(max(0.0, deadline - time.monotonic())):
            try:
                data = key.fileobj.recv(256 * KiB)
            except OSError:
                data = b""
            if data:
                total += len(data)
            else:
                sel.unregister(key.fileobj)
    sel.close()
    return total


def close_all(socks, reset=False):
    for s in socks:
        try:
            if reset:
                s.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            s.close()
        except OSError:
            pass


class Flow:
    """One client connection driven by pump(): sends its chunks one after the other, reads
    what comes back and, when echo is expected, compares it byte for byte with what was sent.

    lockstep: a chunk goes only once the previous one has come back whole.
    gap:      seconds between the end of a chunk and the start of the next.
    shut_wr:  half-close (SHUT_WR) once everything has been sent.
    """

    def __init__(self, sock, chunks, echo=True, lockstep=False, gap=0.0, shut_wr=False):
        self.sock = sock
        self.chunks = collections.deque(chunks)
        self.pending = None
        self.echo = echo
        self.sent = bytearray()
        self.nsent = 0
        self.nrecv = 0
        self.lockstep = lockstep
        self.gap = gap
        self.shut_wr = shut_wr
        self.next_at = 0.0
        self.mismatch = None
        self.eof = False
        self.error = None
        self.mask = 0

    def all_sent(self):
        return self.pending is None and not self.chunks

    def echoed(self):
        return self.all_sent() and self.nrecv == self.nsent and self.mismatch is None

    def finished(self):
        if self.error is not None or self.eof or self.mismatch is not None:
            return True
        if not self.all_sent():
            return False
        return not self.echo or self.nrecv >= self.nsent

    def wants_write(self, now):
        if self.error is not None or self.eof:
            return False
        if self.pending is not None:
            return True
        if not self.chunks:
            return False
        if self.lockstep and self.nrecv < self.nsent:
            return False
        return now >= self.next_at

    def write(self, now):
        if self.pending is None:
            self.pending = memoryview(self.chunks.popleft())
        try:
            n = self.sock.send(self.pending)
        except BlockingIOError:
            return
        except OSError as e:
            self.error = e
            return
        if self.echo:
            self.sent += self.pending[:n]
        self.nsent += n
        self.pending = self.pending[n:] if n < len(self.pending) else None
        if self.pending is None:
            self.next_at = now + self.gap
            if self.shut_wr and not self.chunks:
                try:
                    self.sock.shutdown(socket.SHUT_WR)
                except OSError as e:
                    self.error = e

    def read(self):
        try:
            data = self.sock.recv(256 * KiB)
        except BlockingIOError:
            return
        except OSError as e:
            self.error = e
            return
        if not data:
            self.eof = True
            return
        if self.echo and self.mismatch is None:
            expected = self.sent[self.nrecv:self.nrecv + len(data)]
            if expected != data:
                at = next((i for i, (a, b) in enumerate(zip(expected, data)) if a != b),
                          min(len(expected), len(data)))
                self.mismatch = self.nrecv + at
        self.nrecv += len(data)

    def state(self):
        if self.mismatch is not None:
            return "echo differs at byte %d" % self.mismatch
        if self.error is not None:
            return type(self.error).__name__
        if self.eof and not self.echoed():
            return "closed by Velorin"
        if self.echo and not self.echoed():
            return "echo incomplete"
        return "ok"


def pump(flows, seconds):
    """Drives the flows until each has finished or the time is up; returns the unfinished."""
    sel = selectors.DefaultSelector()
    for f in flows:
        f.sock.setblocking(False)
        f.mask = selectors.EVENT_READ
        sel.register(f.sock, f.mask, f)
    active = set(flows)
    timed = any(f.gap for f in flows)
    deadline = time.monotonic() + seconds
    while active:
        now = time.monotonic()
        if now >= deadline:
            break
        for f in list(active):
            if f.finished():
                active.discard(f)
                sel.unregister(f.sock)
                continue
            want = selectors.EVENT_READ
            if f.wants_write(now):
                want |= selectors.EVENT_WRITE
            if want != f.mask:
                sel.modify(f.sock, want, f)
                f.mask = want
        if not active:
            break
        for key, mask in sel.select(min(0.002 if timed else 0.05, deadline - now)):
            f = key.data
            if mask & selectors.EVENT_READ:
                f.read()
            if mask & selectors.EVENT_WRITE and f.error is None:
                f.write(time.monotonic())
    sel.close()
    return [f for f in flows if not f.finished()]


def summary(flows):
    counts = collections.Counter(f.state() for f in flows)
    return ", ".join("%d %s" % (n, state) for state, n in counts.most_common())


# --------------------------------------------------------------------------------------------
# Junk


JUNK_SIZES = [1, 2, 3, 5, 8, 13, 64, 255, 256, 257, 1000, 1448, 1460, 2048, 4095, 4096,
              8192, 16383, 16384, 32768, 65535, 65536]


def junk_sizes(rng, index, count):
    """Every listed size appears across the connections; the rest are log-uniform."""
    sizes = [JUNK_SIZES[(index + k * 7) % len(JUNK_SIZES)] for k in range(count // 2)]
    sizes += [int(2 ** rng.uniform(0, 16)) for _ in range(count - len(sizes))]
    rng.shuffle(sizes)
    return sizes


def checksum(body):
    return b"%02X" % (-sum(body) % 256)


def frame_junk(rng, letters, laser):
    """ESC, a command letter, junk, CR: passes the first and last character checks and
    reaches the field slicing with fields too short, too long or full of junk."""
    body = bytes([rng.choice(letters)]) + rng.randbytes(int(2 ** rng.uniform(0, 6)) - 1)
    if laser and rng.random() < 0.5:
        body += checksum(body)
    elif laser:
        body += rng.randbytes(2)
    return b"\x1b" + body + b"\r"


# --------------------------------------------------------------------------------------------
# Scenarios. Each returns (ok, notes) and must end in echo mode.


class Context:
    def __init__(self, cfg, seed):
        self.cfg = cfg
        self.rng = random.Random(seed)
        self.program = None

    @property
    def port(self):
        return self.program.port


def sc_junk_echo(ctx):
    cfg, rng = ctx.cfg, ctx.rng
    socks, failed = connect_many(ctx.port, cfg["junk_conns"], 10)
    flows = [Flow(s, [rng.randbytes(n) for n in junk_sizes(rng, i, cfg["junk_chunks"])],
                  lockstep=True)
             for i, s in enumerate(socks)]
    pump(flows, 25)
    close_all(socks + failed)
    good = sum(f.echoed() for f in flows)
    notes = ["%d connections, %.1f MiB sent, %d of %d echoed byte for byte (%s)"
             % (len(socks), sum(f.nsent for f in flows) / MiB, good, cfg["junk_conns"],
                summary(flows))]
    return good == cfg["junk_conns"], notes


def junk_device(ctx, mode, letters, laser):
    cfg, rng = ctx.cfg, ctx.rng
    ctx.program.set_mode(mode)
    try:
        socks, failed = connect_many(ctx.port, cfg["junk_conns"], 10)
        flows = []
        for i, s in enumerate(socks):
            chunks = [rng.randbytes(n) for n in junk_sizes(rng, i, cfg["junk_chunks"])]
            chunks += [frame_junk(rng, letters, laser) for _ in range(4 * cfg["junk_chunks"])]
            rng.shuffle(chunks)
            flows.append(Flow(s, chunks, echo=False, gap=0.003))
        unfinished = pump(flows, 20)
        # Whatever the device still answers is read for a moment before leaving.
        late = drain([f.sock for f in flows if f.error is None and not f.eof], 0.2)
        close_all(socks + failed)
        notes = ["%d connections, %.1f MiB of junk and frame-shaped junk sent, %d bytes answered"
                 % (len(socks), sum(f.nsent for f in flows) / MiB,
                    sum(f.nrecv for f in flows) + late)]
        errors = [f for f in flows if f.error is not None or f.eof]
        if errors:
            notes.append("connections cut by Velorin: %s" % summary(errors))
        ok = not unfinished and len(socks) == cfg["junk_conns"]
        if unfinished:
            notes.append("%d connections could not send everything in 20 s" % len(unfinished))
        return ok, notes
    finally:
        if ctx.program.alive():
            ctx.program.set_mode("modeECHO")


def sc_junk_plc(ctx):
    return junk_device(ctx, "automateOMRON", b"VPTDZMS", laser=False)


def sc_junk_laser(ctx):
    return junk_device(ctx, "moduleLASERS", b"VCQXGgMY", laser=True)


def sc_big_arrival(ctx):
    size = ctx.cfg["big_bytes"]
    data = ctx.rng.randbytes(size)
    s = socket.create_connection((HOST, ctx.port), timeout=5)
    flow = Flow(s, [data])
    t0 = time.monotonic()
    pump([flow], 40)
    seconds = time.monotonic() - t0
    close_all([s])
    notes = ["%.1f MiB sent, %.1f MiB echoed in %.1f s: %s"
             % (flow.nsent / MiB, flow.nrecv / MiB, seconds, flow.state())]
    return flow.echoed() and flow.nsent == size, notes


SETTLE_SECONDS = 0.6


def sc_held(ctx):
    n = ctx.cfg["held"]
    t0 = time.monotonic()
    socks, failed = connect_many(ctx.port, n, 20)
    connect_seconds = time.monotonic() - t0
    flows = [Flow(s, [b"tenue %d\r\n" % i]) for i, s in enumerate(socks)]
    t1 = time.monotonic()
    pump(flows, 20)
    answer_seconds = time.monotonic() - t1
    close_all(socks + failed)
    good = sum(f.echoed() for f in flows)
    notes = ["%d of %d connected in %.1f s; %d of %d answered in %.1f s (%s)"
             % (len(socks), n, connect_seconds, good, n, answer_seconds, summary(flows))]
    return good == n, notes


def sc_cycles(ctx):
    n = ctx.cfg["cycles"]
    deadline = time.monotonic() + ctx.cfg["cycles_seconds"]
    done, errors, slow = 0, collections.Counter(), 0
    for _ in range(n):
        if time.monotonic() > deadline:
            break
        t0 = time.monotonic()
        try:
            with socket.create_connection((HOST, ctx.port), timeout=2):
                pass
            done += 1
        except OSError as e:
            errors[type(e).__name__] += 1
        if time.monotonic() - t0 > 0.5:
            slow += 1
    notes = ["%d of %d connect/close cycles, %d slower than 0.5 s%s"
             % (done, n, slow, "".join(", %d %s" % (c, e) for e, c in errors.items()))]
    return done == n, notes


def sc_resets(ctx):
    n, rng = ctx.cfg["resets"], ctx.rng
    big = rng.randbytes(MiB)
    done, kinds = 0, collections.Counter()
    deadline = time.monotonic() + 20
    while done < n and time.monotonic() < deadline:
        socks, failed = connect_many(ctx.port, min(25, n - done), 5)
        for i, s in enumerate(socks):
            s.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            kind = (done + i) % 3
            try:
                if kind == 0:     # a long request, cut while it is still on its way
                    s.send(big)
                elif kind == 1:   # the first half of a request
                    s.send(b"requete coupee en plein milieu")
                else:             # a whole request, the reply not yet read
                    s.send(b"requete entiere\r\n")
            except OSError:
                pass
            kinds[kind] += 1
        time.sleep(0.005)
        close_all(socks, reset=True)
        close_all(failed)
        done += len(socks) + len(failed)
    notes = ["%d connections reset (%d during a 1 MiB request, %d after half a request, "
             "%d before reading the reply)" % (sum(kinds.values()), kinds[0], kinds[1], kinds[2])]
    return sum(kinds.values()) == n, notes


def sc_half_close(ctx):
    n = ctx.cfg["half_closes"]
    socks, failed = connect_many(ctx.port, n, 10)
    flows = [Flow(s, [b"demi-fermeture %d\r\n" % i], shut_wr=True) for i, s in enumerate(socks)]
    pump(flows, 10)
    close_all(socks + failed)
    good = sum(f.echoed() for f in flows)
    notes = ["%d of %d replies arrived after SHUT_WR (%s)" % (good, n, summary(flows))]
    return good == n, notes


def sc_flood(ctx):
    seconds = ctx.cfg["flood_seconds"]
    program = ctx.program
    s = socket.socket()
    # A small receive buffer: the replies pile up in Velorin rather than in our kernel buffers.
    s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 16 * KiB)
    s.settimeout(5)
    s.connect((HOST, ctx.port))
    s.setblocking(False)
    burst = b"".join(b"\x1bflood %08d\r" % i for i in range(256))
    sent, blocked, cut = 0, 0.0, None
    sel = selectors.DefaultSelector()
    sel.register(s, selectors.EVENT_WRITE)
    t0 = time.monotonic()
    end, probe_at = t0 + seconds, t0 + seconds / 2
    during = None
    before = program.memory()[0] or 0
    rss_high, next_look, aborted = before, t0, None
    while time.monotonic() < end:
        now = time.monotonic()
        if during is None and now >= probe_at:
            during = probe(ctx.port)
        if now >= next_look:
            rss_high = max(rss_high, program.memory()[0] or 0)
            next_look = now + 0.02
            if rss_high - before > FLOOD_ABORT_GROWTH:
                aborted = now - t0
                break
        try:
            sent += s.send(burst)
        except BlockingIOError:
            b0 = time.monotonic()
            sel.select(0.05)
            blocked += time.monotonic() - b0
        except OSError as e:
            cut = "%s after %.1f s" % (type(e).__name__, time.monotonic() - t0)
            break
    sel.close()
    flood_seconds = time.monotonic() - t0
    if during is None:
        during = probe(ctx.port)
    rss_high = max(rss_high, program.memory()[0] or 0)
    close_all([s], reset=True)
    notes = ["flooded %.1f MiB in %.1f s without reading; send blocked %.1f s of it; "
             "VmRSS read every 20 ms during the flood: up to %s MiB"
             % (sent / MiB, flood_seconds, blocked, mib(rss_high))]
    if aborted is not None:
        notes.append("flood stopped after %.1f s: Velorin had grown by more than %s MiB"
                     % (aborted, mib(FLOOD_ABORT_GROWTH)))
    if cut:
        notes.append("Velorin cut the flooding connection: %s" % cut)
    notes.append("a fresh client during the flood: %s" % during[2])
    return during[0], notes


def sc_bytewise(ctx):
    n = ctx.cfg["bytewise"]
    socks, failed = connect_many(ctx.port, n, 10)
    flows = []
    for i, s in enumerate(socks):
        s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        text = b"un octet a la fois %04d\r\n" % i
        flows.append(Flow(s, [text[k:k + 1] for k in range(len(text))], gap=0.005))
    t0 = time.monotonic()
    pump(flows, 20)
    seconds = time.monotonic() - t0
    close_all(socks + failed)
    good = sum(f.echoed() for f in flows)
    notes = ["%d of %d texts sent one byte per write came back whole in %.1f s (%s)"
             % (good, n, seconds, summary(flows))]
    return good == n, notes


def sc_leavers(ctx):
    n, rng = ctx.cfg["leavers"], ctx.rng
    big = rng.randbytes(64 * KiB)
    done = 0
    deadline = time.monotonic() + 15
    while done < n and time.monotonic() < deadline:
        socks, failed = connect_many(ctx.port, min(50, n - done), 5)
        wave_end = time.monotonic() + 5
        for i, s in enumerate(socks):
            s.settimeout(max(0.05, wave_end - time.monotonic()))
            try:
                s.sendall(big if (done + i) % 2 else b"je pars avant la reponse %d\r\n" % i)
            except OSError:
                pass
            s.close()
        close_all(failed)
        done += len(socks) + len(failed)
    time.sleep(0.2)
    notes = ["%d clients sent a request (half of them 64 KiB) and closed at once" % done]
    return done == n, notes


# --------------------------------------------------------------------------------------------
# Through PROXY=: devices that misbehave, each behind a Velorin of its own

PEAK_LIMIT_PROXY = 32 * MiB
# Velorin closes a client held back for 10 s; this much more is allowed before the case fails.
PROXY_CUT_SECONDS = 25.0


class Device:
    """A device on a loopback port that misbehaves in one of three ways:
    "unread":  its connections are made by the system and never read (small receive buffer);
    "full":    its backlog is full, so that a connection to it is never made;
    "flood":   it accepts and sends as fast as it can, whatever the other side does."""

    def __init__(self, kind):
        self.kind = kind
        self.listener = socket.socket()
        self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 16 * KiB)
        self.listener.bind((HOST, 0))
        self.listener.listen(0 if kind == "full" else 8)
        self.port = self.listener.getsockname()[1]
        self.held = []
        self.sent = 0
        self.flood_ended = None
        self.halt = threading.Event()
        self.thread = None
        if kind == "full":
            # A backlog of 0 holds one connection: the next ones wait, their SYNs dropped.
            filler = socket.create_connection((HOST, self.port), timeout=5)
            self.held.append(filler)
        elif kind == "flood":
            self.thread = threading.Thread(target=self._flood, daemon=True)
            self.thread.start()

    def _flood(self):
        self.listener.settimeout(0.2)
        while not self.halt.is_set():
            try:
                conn, _ = self.listener.accept()
                break
            except socket.timeout:
                continue
            except OSError:
                return
        else:
            return
        self.held.append(conn)
        conn.settimeout(0.2)
        block = b"\x1bflot de l'appareil\r" * 3000
        t0 = time.monotonic()
        while not self.halt.is_set():
            try:
                self.sent += conn.send(block)
            except socket.timeout:
                continue
            except OSError as e:
                self.flood_ended = "%s after %.1f s" % (type(e).__name__, time.monotonic() - t0)
                return

    def close(self):
        self.halt.set()
        if self.thread is not None:
            self.thread.join(5)
        close_all(self.held + [self.listener], reset=True)


def grown_too_much(program, before):
    """Whether Velorin holds more than FLOOD_ABORT_GROWTH above before: the check has failed by
    then, and the test machine's memory is not the program's to take."""
    return (program.memory()[0] or 0) - before > FLOOD_ABORT_GROWTH


def push_until_cut(program, seconds):
    """A client sends without pause and never reads, until Velorin cuts it or seconds pass;
    (bytes sent, seconds, how it ended or None)."""
    port, before = program.port, program.memory()[0] or 0
    s = socket.socket()
    s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 16 * KiB)
    s.settimeout(5)
    s.connect((HOST, port))
    s.setblocking(False)
    block = b"\x1bflot du client\r" * 4096
    sel = selectors.DefaultSelector()
    sel.register(s, selectors.EVENT_WRITE)
    sent, cut, t0 = 0, None, time.monotonic()
    try:
        while time.monotonic() - t0 < seconds:
            if grown_too_much(program, before):
                break
            try:
                sent += s.send(block)
            except BlockingIOError:
                sel.select(0.1)
            except OSError as e:
                cut = "%s after %.1f s" % (type(e).__name__, time.monotonic() - t0)
                break
    finally:
        sel.close()
        close_all([s], reset=True)
    return sent, time.monotonic() - t0, cut


def hold_until_cut(program, device, seconds):
    """A client that never reads while the device floods it, until the device's connection is
    cut or seconds pass; (bytes the device sent, seconds, how it ended or None)."""
    port, before = program.port, program.memory()[0] or 0
    s = socket.socket()
    s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 16 * KiB)
    s.settimeout(5)
    s.connect((HOST, port))
    t0 = time.monotonic()
    try:
        while time.monotonic() - t0 < seconds and device.flood_ended is None \
                and not grown_too_much(program, before):
            time.sleep(0.05)
    finally:
        close_all([s], reset=True)
    return device.sent, time.monotonic() - t0, device.flood_ended


# How long exchanges go on while the journal's file refuses every write.
JOURNAL_FULL_SECONDS = 3

PROXY_CASES = [
    # key, title, device kind, what Velorin must say when it closes the client
    ("proxy-unread", "14 proxy: device never reads", "unread",
     "l'appareil ne lit plus ce que le client envoie"),
    ("proxy-full", "15 proxy: device never accepts", "full",
     "l'appareil n'accepte pas la connexion"),
    ("proxy-flood", "16 proxy: client never reads", "flood", "le client ne lit plus ses"),
]


def proxy_case(binary, title, kind, said, rows):
    """One case on a Velorin of its own relaying to a misbehaving device; appends its row."""
    row = Row(title, True)
    row.peak_limit = PEAK_LIMIT_PROXY
    device = program = None
    t0 = time.monotonic()
    try:
        device = Device(kind)
        program = Velorin(binary).start(extra=["proxy=%s:%d" % (HOST, device.port)])
        row.before = program.memory()[0]
        how = program.start_peak()
        if kind == "flood":
            moved, seconds, cut = hold_until_cut(program, device, PROXY_CUT_SECONDS)
            row.notes.append("the device sent %.1f MiB in %.1f s to a client that never reads"
                             % (moved / MiB, seconds))
        else:
            moved, seconds, cut = push_until_cut(program, PROXY_CUT_SECONDS)
            row.notes.append("the client sent %.1f MiB in %.1f s without reading"
                             % (moved / MiB, seconds))
        if how != "VmHWM":
            row.notes.append("peak sampled every 5 ms (VmHWM could not be reset)")
        if not program.alive():
            row.failures.append("Velorin died: status %s" % program.proc.returncode)
            return
        row.peak = program.peak()
        if cut is None:
            row.failures.append("the connection was not cut within %.0f s" % PROXY_CUT_SECONDS)
        else:
            row.notes.append("Velorin cut it: %s" % cut)
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline and not any(
                said in line for line in program.tail_lines(count=40)):
            time.sleep(0.05)
        if not any(said in line for line in program.tail_lines(count=40)):
            row.failures.append("no log line says %r" % said)
        program.api("GET", "/health")
        time.sleep(SETTLE_SECONDS)
        row.after = program.memory()[0]
        row.peak = max(row.peak or 0, row.after or 0)
        check_memory(row)
    except Exception as e:
        row.failures.append("harness error: %r" % e)
    finally:
        row.seconds = time.monotonic() - t0
        if program is not None:
            if row.failures:
                row.notes.append("last log lines:")
                row.notes.extend("  | " + line for line in program.tail_lines())
            status, _ = program.stop()
            if status != 0:
                row.failures.append("SIGTERM: exit status %s" % status)
        if device is not None:
            device.close()
        rows.append(row)


# These run one after the other on one process, so that damage left by one shows in the next.
SHARED_SCENARIOS = [
    # key, title, trace ("flux IP"), peak limit, function
    ("junk-echo", "1 junk 1 B..64 KiB, echo", False, PEAK_LIMIT_TRACE_OFF, sc_junk_echo),
    ("junk-plc", "1 junk, PLC mode", False, PEAK_LIMIT_TRACE_OFF, sc_junk_plc),
    ("junk-laser", "1 junk, laser mode", False, PEAK_LIMIT_TRACE_OFF, sc_junk_laser),
    ("held", "3 connections held", False, PEAK_LIMIT_TRACE_OFF, sc_held),
    ("cycles", "4 connect/close cycles", False, PEAK_LIMIT_TRACE_OFF, sc_cycles),
    ("resets", "5 resets mid-request", False, PEAK_LIMIT_TRACE_OFF, sc_resets),
    ("half", "6 half-close then read", False, PEAK_LIMIT_TRACE_OFF, sc_half_close),
    ("bytewise", "8 one byte at a time", False, PEAK_LIMIT_TRACE_OFF, sc_bytewise),
    ("leavers", "9 send then close", False, PEAK_LIMIT_TRACE_OFF, sc_leavers),
    ("control-header", "10 control: 100 MiB header", False, PEAK_LIMIT_FLOOD, sc_control_header),
    ("junk-echo", "1 junk 1 B..64 KiB, echo", True, PEAK_LIMIT_TRACE_ON, sc_junk_echo),
]

# These get a process of their own, warmed up but otherwise fresh: memory that an earlier
# scenario freed but the allocator kept would otherwise absorb their peak and hide it.
OWN_PROCESS_SCENARIOS = [
    ("big", "2 one 10 MiB arrival", False, PEAK_LIMIT_TRACE_OFF, sc_big_arrival),
    ("big", "2 one 10 MiB arrival", True, PEAK_LIMIT_TRACE_ON, sc_big_arrival),
    ("flood", "7 non-reading flood", False, PEAK_LIMIT_FLOOD, sc_flood),
    ("control-body", "11 control: 500 MiB body", False, PEAK_LIMIT_FLOOD, sc_control_body),
]


def warm_up(port):
    """A few ordinary exchanges, so that what any first client costs (buffers, the first
    repaints of the message area) is not charged to the scenario that comes next."""
    socks, failed = connect_many(port, 5, 5)
    flows = [Flow(s, [b"echauffement %d\r\n" % i, b"x" * (64 * KiB), b"fin\r\n"], lockstep=True)
             for i, s in enumerate(socks)]
    pump(flows, 5)
    close_all(socks + failed)
    ok, _, detail = probe(port)
    time.sleep(0.3)
    if not ok:
        raise RuntimeError("the warm-up exchange failed: %s" % detail)


# --------------------------------------------------------------------------------------------
# Running and reporting


class Row:
    def __init__(self, title, trace):
        self.title = title
        self.trace = trace
        self.before = self.after = self.peak = None
        self.peak_limit = None
        self.seconds = 0.0
        self.failures = []
        self.notes = []

    @property
    def ok(self):
        return not self.failures


class Runner:
    def __init__(self, binary, scale, only, seed):
        self.binary = binary
        self.scale = scale
        self.cfg = SCALES[scale]
        self.only = only
        self.ctx = Context(self.cfg, seed)
        self.rows = []
        self.t_start = time.monotonic()
        self.program = None
        self.served = 0

    def wanted(self, key):
        return not self.only or any(part in key for part in self.only)

    def over_budget(self):
        return time.monotonic() - self.t_start > self.cfg["budget"]

    def report(self, row):
        self.rows.append(row)
        log(format_row(row))
        for note in row.notes:
            log("      " + note)
        for failure in row.failures:
            log("      FAILED: " + failure)

    def fresh_program(self, row=None, warm=False):
        if self.program is not None:
            status, seconds = self.program.stop()
            if row is not None:
                row.notes.append("process replaced (it ended with status %s)" % status)
        self.program = Velorin(self.binary).start()
        self.ctx.program = self.program
        self.served = 0
        if warm:
            warm_up(self.program.port)

    def run_scenario(self, key, title, trace, peak_limit, fn, own_process=False):
        row = Row(title, trace)
        row.peak_limit = peak_limit
        if self.over_budget():
            row.failures.append("not run: the %.0f s budget is spent" % self.cfg["budget"])
            self.report(row)
            return
        if own_process:
            row.notes.append("on a process of its own, after a warm-up")
            try:
                self.fresh_program(warm=True)
            except Exception as e:
                row.failures.append("could not start a process for it: %s" % e)
                self.report(row)
                return
        program = self.program
        try:
            program.set_trace(trace)
        except Exception as e:
            row.failures.append("could not set flux IP: %r" % e)
            self.fresh_program(row)
            program = self.program
            program.set_trace(trace)
        row.before = program.memory()[0]
        how = program.start_peak()
        errors0, log0 = program.socket_errors, program.log_bytes
        overflows0 = listen_overflows()
        t0 = time.monotonic()
        try:
            ok, notes = fn(self.ctx)
        except Exception as e:
            ok, notes = False, ["harness error: %r" % e]
        row.seconds = time.monotonic() - t0
        self.served += 1
        overflows = listen_overflows()
        row.notes.extend(notes)
        if overflows0 is not None and overflows != overflows0:
            row.notes.append("accept queue overflowed %d times (connection requests dropped "
                             "and sent again by the kernel)" % (overflows - overflows0))
        if not ok:
            row.failures.append("the clients did not get what they should (see above)")
        alive = program.alive()
        healthy = False
        if not alive:
            row.failures.append("Velorin died: status %s" % program.proc.returncode)
        else:
            row.peak = program.peak()
            healthy, _, detail = probe(program.port)
            if not healthy:
                row.failures.append("fresh client after the scenario: %s" % detail)
            # What is left once Velorin has seen every client go (it frees their sockets and
            # hands the memory back within a few hundred ms).
            time.sleep(SETTLE_SECONDS)
            row.after = program.memory()[0]
            if row.peak is not None and row.after is not None:
                row.peak = max(row.peak, row.after)
        if how != "VmHWM":
            row.notes.append("peak sampled every 5 ms (VmHWM could not be reset)")
        row.notes.append("log written: %.1f MiB%s" % (
            (program.log_bytes - log0) / MiB,
            ", %d socket errors logged" % (program.socket_errors - errors0)
            if program.socket_errors != errors0 else ""))
        check_memory(row)
        if trace and alive:
            try:
                program.set_trace(False)
            except Exception as e:
                row.failures.append("could not untick flux IP: %r" % e)
                healthy = False
        if not healthy or not ok:
            row.notes.append("last log lines:")
            row.notes.extend("  | " + line for line in program.tail_lines())
        if own_process:
            status, seconds = program.stop()
            self.program = None
            if status != 0:
                row.failures.append("SIGTERM: exit status %s after %.1f s" % (status, seconds))
        elif row.failures:
            # The next scenarios get a fresh process: a damaged one would hide their figures.
            self.fresh_program(row)
        self.report(row)

    def idle(self, title):
        row = Row(title, False)
        row.before = self.program.memory()[0]
        t0 = time.monotonic()
        time.sleep(0.3)
        cpu = self.program.cpu_percent(2.0)
        row.seconds = time.monotonic() - t0
        row.after = self.program.memory()[0]
        row.notes.append("CPU %.1f %% over 2 s with no client (limit %.0f %%), on a process "
                         "that has been through %d scenarios" % (cpu, IDLE_CPU_LIMIT, self.served))
        if cpu > IDLE_CPU_LIMIT:
            row.failures.append("idle CPU %.1f %% > %.0f %%" % (cpu, IDLE_CPU_LIMIT))
        self.report(row)

    def shutdown(self):
        row = Row("SIGTERM after the scenarios", False)
        row.before = self.program.memory()[0]
        status, seconds = self.program.stop()
        row.seconds = seconds
        row.notes.append("exit status %s after %.2f s" % (status, seconds))
        if status != 0:
            row.failures.append("exit status %s (0 expected within 5 s)" % status)
        self.program = None
        self.report(row)

    def exhaustion(self):
        n = self.cfg["exhaust_conns"]
        row = Row("descriptors exhausted (%d fds)" % CHILD_NOFILE, False)
        row.peak_limit = PEAK_LIMIT_TRACE_OFF
        if self.over_budget():
            row.failures.append("not run: the %.0f s budget is spent" % self.cfg["budget"])
            self.report(row)
            return
        try:
            program = Velorin(self.binary, nofile=CHILD_NOFILE).start()
        except Exception as e:
            row.failures.append("could not start Velorin under the limit: %s" % e)
            self.report(row)
            return
        socks = []
        t0 = time.monotonic()
        try:
            row.before = program.memory()[0]
            program.start_peak()
            socks, pending = connect_many(program.port, n, 3)
            socks += pending
            # Every held connection says something, so that the accepted ones are in use.
            for s in socks:
                try:
                    s.send(b"tenue\r\n")
                except OSError:
                    pass
            time.sleep(1.0)
            if not program.alive():
                row.failures.append("Velorin died under the descriptor limit: status %s"
                                    % program.proc.returncode)
                return
            cpu = program.cpu_percent(2.0)
            row.notes.append("%d connections attempted, %d connected; CPU %.1f %% over 2 s "
                             "while out of descriptors (limit %.0f %%)"
                             % (n, n - len(pending), cpu, EXHAUSTED_CPU_LIMIT))
            if cpu > EXHAUSTED_CPU_LIMIT:
                row.failures.append("CPU %.1f %% while out of descriptors" % cpu)
            close_all(socks)
            socks = []
            seconds = recovery_time(program.port, 5.0)
            if seconds is None:
                row.failures.append("no service within 5 s after the connections were released")
                row.notes.append("service not back within 5 s after the release")
            else:
                row.notes.append("service back %.3f s after the release (limit %.1f s)"
                                 % (seconds, RECOVERY_SECONDS))
                if seconds > RECOVERY_SECONDS:
                    row.failures.append("service back only after %.2f s" % seconds)
            if program.alive():
                row.peak = program.peak()
                ok, _, detail = probe(program.port)
                if not ok:
                    row.failures.append("fresh client after the scenario: %s" % detail)
                row.after = program.memory()[0]
                check_memory(row)
            else:
                row.failures.append("Velorin died: status %s" % program.proc.returncode)
        finally:
            row.seconds = time.monotonic() - t0
            close_all(socks)
            if row.failures:
                row.notes.append("last log lines:")
                row.notes.extend("  | " + line for line in program.tail_lines())
            program.stop()
            self.report(row)

    def run(self):
        self.fresh_program()
        log("Velorin %s, pid %d, port %d, control %d; scale %s"
            % (self.binary, self.program.proc.pid, self.program.port, self.program.control,
               self.scale))
        log(HEADER)
        self.idle("idle at start")
        warm_up(self.program.port)
        for key, title, trace, peak_limit, fn in SHARED_SCENARIOS:
            if self.wanted(key):
                self.run_scenario(key, title, trace, peak_limit, fn)
        self.idle("idle after the scenarios")
        self.shutdown()
        for key, title, trace, peak_limit, fn in OWN_PROCESS_SCENARIOS:
            if self.wanted(key):
                self.run_scenario(key, title, trace, peak_limit, fn, own_process=True)
        if self.wanted("exhaust"):
            self.exhaustion()
        if self.wanted("control-crowd"):
            self.own_run("12 control: idle crowd (%d fds)" % CHILD_NOFILE, CHILD_NOFILE,
                         lambda p: control_crowd(p, connect_many, close_all, probe,
                                                 EXHAUSTED_CPU_LIMIT))
        if self.wanted("control-waits"):
            self.own_run("13 control: waits, SIGTERM", None,
                         lambda p: pending_waits(p, IDLE_CPU_LIMIT))

        self.proxy_cases()
        if self.wanted("journal-full"):
            self.journal_full()

    def journal_full(self):
        """A traffic journal whose file refuses every write, under a stream of exchanges: the
        device goes on answering, what is held for the file stays bounded, the loss is said in
        /health, and the run ends with the status of an incomplete record."""
        row = Row("17 journal: file refuses writes", False)
        row.peak_limit = PEAK_LIMIT_TRACE_OFF
        if self.over_budget():
            row.failures.append("not run: the %.0f s budget is spent" % self.cfg["budget"])
            self.report(row)
            return
        t0 = time.monotonic()
        program = None
        try:
            program = Velorin(self.binary).start(extra=["journal=/dev/full"])
            row.before = program.memory()[0]
            program.start_peak()
            answered = 0
            deadline = time.monotonic() + JOURNAL_FULL_SECONDS
            while time.monotonic() < deadline:
                ok, _, detail = probe(program.port)
                if not ok:
                    row.failures.append("an exchange failed: %s" % detail)
                    break
                answered += 1
            row.notes.append("%d exchanges answered while the journal lost them" % answered)
            journal = program.api("GET", "/health").get("journal", {})
            if journal.get("state") != "error" or not journal.get("lost"):
                row.failures.append("/health does not say the journal loses events: %r" % journal)
            row.peak = program.peak()
            row.after = program.memory()[0]
            check_memory(row)
        except Exception as e:
            row.failures.append("harness error: %r" % e)
        finally:
            row.seconds = time.monotonic() - t0
            if program is not None:
                status, _ = program.stop()
                if status != 3:
                    row.failures.append("SIGTERM: exit status %s, 3 expected" % status)
            self.report(row)

    def own_run(self, title, nofile, fn):
        """A scenario on a process of its own (started under `nofile` descriptors when
        given), which it may end itself."""
        row = Row(title, False)
        if self.over_budget():
            row.failures.append("not run: the %.0f s budget is spent" % self.cfg["budget"])
            self.report(row)
            return
        t0 = time.monotonic()
        program = None
        try:
            program = Velorin(self.binary, nofile=nofile).start()
            row.before = program.memory()[0]
            ok, notes = fn(program)
            row.notes.extend(notes)
            if not ok:
                row.failures.append("the clients did not get what they should (see above)")
        except Exception as e:
            row.failures.append("harness error: %r" % e)
        finally:
            row.seconds = time.monotonic() - t0
            if program is not None:
                if row.failures:
                    row.notes.append("last log lines:")
                    row.notes.extend("  | " + line for line in program.tail_lines())
                if program.alive():
                    program.stop()
            self.report(row)

    def proxy_cases(self):
        """Side by side: each waits out the 10 s stall rule, and their processes are apart."""
        cases = [c for c in PROXY_CASES if self.wanted(c[0])]
        if not cases:
            return
        if self.over_budget():
            for _, title, _, _ in cases:
                row = Row(title, True)
                row.failures.append("not run: the %.0f s budget is spent" % self.cfg["budget"])
                self.report(row)
            return
        rows = []
        threads = [threading.Thread(target=proxy_case, args=(self.binary, title, kind, said, rows),
                                    daemon=True) for _, title, kind, said in cases]
        for t in threads:
            t.start()
        for t in threads:
            t.join(PROXY_CUT_SECONDS + 60)
        for row in sorted(rows, key=lambda r: r.title):
            self.report(row)
        if len(rows) < len(cases):
            row = Row("proxy cases", True)
            row.failures.append("%d of them did not end" % (len(cases) - len(rows)))
            self.report(row)


def recovery_time(port, limit):
    """Seconds until a client gets its echo; a new attempt starts every 100 ms, so that a
    connection request dropped by a full accept queue does not stand for the program."""
    sel = selectors.DefaultSelector()
    t0 = time.monotonic()
    next_attempt = t0
    attempts = []
    try:
        while time.monotonic() - t0 < limit:
            now = time.monotonic()
            if now >= next_attempt:
                s = socket.socket()
                s.setblocking(False)
                s.connect_ex((HOST, port))
                text = b"retour %d\r\n" % len(attempts)
                state = {"text": text, "got": b"", "sent": False}
                sel.register(s, selectors.EVENT_WRITE, state)
                attempts.append(s)
                next_attempt = now + 0.1
            for key, mask in sel.select(0.01):
                s, state = key.fileobj, key.data
                if not state["sent"]:
                    if s.getsockopt(socket.SOL_SOCKET, socket.SO_ERROR) != 0:
                        sel.unregister(s)
                        continue
                    try:
                        s.send(state["text"])
                    except OSError:
                        sel.unregister(s)
                        continue
                    state["sent"] = True
                    sel.modify(s, selectors.EVENT_READ, state)
                    continue
                try:
                    data = s.recv(256)
                except OSError:
                    data = b""
                if not data:
                    sel.unregister(s)
                    continue
                state["got"] += data
                if state["got"] == state["text"]:
                    return time.monotonic() - t0
        return None
    finally:
        sel.close()
        close_all(attempts)


def listen_overflows():
    """TcpExtListenOverflows: connection requests dropped by a full accept queue, counted
    for the whole system (other programs' drops show here too)."""
    try:
        with open("/proc/net/netstat") as f:
            lines = f.read().splitlines()
    except OSError:
        return None
    for names, values in zip(lines[::2], lines[1::2]):
        if names.startswith("TcpExt:"):
            table = dict(zip(names.split()[1:], values.split()[1:]))
            return int(table.get("ListenOverflows", 0))
    return None


def check_memory(row):
    if row.before is None or row.after is None:
        return
    if row.after - row.before > RSS_GROWTH_LIMIT:
        row.failures.append("RSS grew by %s MiB (limit %s)"
                            % (mib(row.after - row.before), mib(RSS_GROWTH_LIMIT)))
    if row.peak is not None and row.peak_limit is not None \
            and row.peak - row.before > row.peak_limit:
        row.failures.append("peak RSS %s MiB above the start (limit %s)"
                            % (mib(row.peak - row.before), mib(row.peak_limit)))


HEADER = ("%-32s %-4s %8s %8s %8s %8s %12s %7s  %s"
          % ("scenario", "flux", "RSS MiB", "after", "peak", "growth", "peak+ (lim)", "time",
             "result"))


def format_row(row):
    growth = None if row.after is None or row.before is None else row.after - row.before
    rise = None if row.peak is None or row.before is None else row.peak - row.before
    limit = "" if row.peak_limit is None else " (%d)" % (row.peak_limit // MiB)
    return ("%-32s %-4s %8s %8s %8s %8s %12s %6.1fs  %s"
            % (row.title[:32], "on" if row.trace else "off", mib(row.before), mib(row.after),
               mib(row.peak), ("%+.1f" % (growth / MiB)) if growth is not None else "-",
               (("%+.1f" % (rise / MiB)) if rise is not None else "-") + limit,
               row.seconds, "ok" if row.ok else "FAIL"))


def raise_own_descriptor_limit(needed):
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    if soft != resource.RLIM_INFINITY and soft < needed:
        target = needed if hard == resource.RLIM_INFINITY else min(needed, hard)
        resource.setrlimit(resource.RLIMIT_NOFILE, (target, hard))
    return resource.getrlimit(resource.RLIMIT_NOFILE)[0]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--binary", required=True, help="the velorin program")
    parser.add_argument("--scale", choices=sorted(SCALES), default="small")
    parser.add_argument("--only", default="",
                        help="comma-separated name fragments: junk, big, held, cycles, resets, "
                             "half, flood, bytewise, leavers, exhaust, control, proxy, journal")
    parser.add_argument("--seed", type=int, default=20240611)
    args = parser.parse_args()

    if not os.access(args.binary, os.X_OK):
        log("hostile: %s is not an executable program" % args.binary)
        return 2
    cfg = SCALES[args.scale]
    needed = max(cfg["held"], cfg["exhaust_conns"]) + 256
    if raise_own_descriptor_limit(needed) < needed:
        log("hostile: %d descriptors needed, the limit is lower" % needed)
        return 2

    only = [part for part in args.only.split(",") if part]
    runner = Runner(os.path.abspath(args.binary), args.scale, only, args.seed)
    harness_error = None
    try:
        runner.run()
    except Exception as e:
        harness_error = "%s: %s" % (type(e).__name__, e)
        log("hostile: the run stopped: %s" % harness_error)
    finally:
        if runner.program is not None:
            runner.program.stop()
    total = time.monotonic() - runner.t_start

    log("")
    log("Summary (%s scale, %.1f s in all)" % (args.scale, total))
    log(HEADER)
    for row in runner.rows:
        log(format_row(row))
    failed = [row for row in runner.rows if not row.ok]
    for row in failed:
        for failure in row.failures:
            log("FAILED %s (flux %s): %s" % (row.title, "on" if row.trace else "off", failure))
    log("%d of %d checks passed" % (len(runner.rows) - len(failed), len(runner.rows)))
    if harness_error:
        log("FAILED: the run stopped before its end: %s" % harness_error)
    return 1 if failed or harness_error else 0


if __name__ == "__main__":
    sys.exit(main())
