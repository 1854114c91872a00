#!/usr/bin/env python3
"""The traffic journal, the recording proxy, playback and velorin-rejoue, against the real
programs: a second Velorin stands in for the machine. Every outcome is waited for as a condition
(a reply, an event in the journal, a file's size), never as a lapse of time.
"""

import argparse
import json
import os
import re
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest

import defauts
import velorin  # the package of this tree, on the path that defauts gives
from defauts import Velorin, frame

REJOUE = None
DEADLINE = defauts.DEADLINE
P1, P2 = b"\x1bP1\r", b"\x1bP2\r"
M = b"\x1bM10121\r"
# An error is met with the proxy, whose device refuses.
KINDS = {"listen", "connect", "recv", "send", "close", "control", "fault", "clock", "mode", "log"}


INCOMPLETE = 3   # the exit status of a run whose journal lost events


def read_journal(path):
    with open(path, encoding="utf-8") as f:
        return [json.loads(line) for line in f]


def wait_for(condition, what):
    end = time.monotonic() + DEADLINE
    while not condition():
        if time.monotonic() > end:
            raise AssertionError("still waiting for " + what)
        time.sleep(0.02)


def size(path):
    """The file is renamed, then made again: between the two it is not there."""
    try:
        return os.stat(path).st_size
    except FileNotFoundError:
        return 0


def bytes_of(event):
    return event["data"].encode("latin-1")


def launched(**keys):
    """A Velorin launched and not waited for: its start-up ends, or waits, before it is ready.
    No control API, as the keys left to the program's defaults."""
    v = velorin.Velorin(binary=defauts.BINARY, start_timeout=DEADLINE, stop_timeout=DEADLINE,
                        **{"control": None, "log": "off", **keys})
    v.launch()
    return v


def refused(**keys):
    """What a start-up that fails says on stderr; it must end with status 1, never ready."""
    v = launched(**keys)
    status = v.process.wait(DEADLINE)
    err = v.stderr()
    v.stop()
    assert status == 1, (keys, status, err)
    return err


def rejoue(*args):
    return subprocess.run([REJOUE, *args], capture_output=True, text=True, timeout=DEADLINE)


class RecordPlayVerify(unittest.TestCase):
    """One session recorded through the proxy, played back, and verified against the stand-in."""

    def test_record_through_the_proxy_then_play_back_and_verify(self):
        with tempfile.TemporaryDirectory() as d:
            journal = os.path.join(d, "session.jsonl")
            requests = [M, b"\x1bM10121\r", M]
            with Velorin("mode=moduleLASERS") as machine:
                with Velorin(f"proxy=127.0.0.1:{machine.ready['port']}", "journal=" + journal) as proxy:
                    replies = []
                    with proxy.client() as s:
                        for n, request in enumerate(requests):
                            replies.append(frame(s, request))
                            if n == 0:  # the machine's value changes between two equal requests
                                machine.api("PATCH", "/state", {"Txt_ValeurLu": "612"})
                    wait_for(lambda: any(e["event"] == "close" for e in read_journal(journal)), "the close")
                    self.assertTrue(any("<1 (" in line for line in proxy.log()), "traffic shown as trace lines")
                self.assertEqual(replies[0], b"/105000A\r")
                self.assertNotEqual(replies[0], replies[1])
                events = read_journal(journal)
                self.assertEqual([bytes_of(e) for e in events if e["event"] == "recv"], requests)
                self.assertEqual([bytes_of(e) for e in events if e["event"] == "send"], replies)

                # Playback gives the recorded replies in their order, byte for byte, and one log
                # line with no reply for a request never recorded.
                with Velorin("playback=" + journal, "mode=modeECHO") as player, player.client() as s:
                    self.assertEqual([frame(s, r) for r in requests], replies)
                    s.sendall(b"\x1bZ\r")
                    wait_for(lambda: any("absente du journal rejoué : Esc/ZCr/, pas de réponse" in line
                                         for line in player.log()), "the log line")
                    self.assertEqual(frame(s, M), replies[2], "no reply before; the last reply again")
                with Velorin("playback=" + journal, "playback_fallback=SIM") as player, player.client() as s:
                    self.assertEqual(frame(s, P1), b"\x1b10000000000000000a\r", "the simulation answers")

                # Verification: the journal replayed against the stand-in as it is now (612) differs
                # only on the first request, which was recorded before the change.
                target = f"127.0.0.1:{machine.ready['port']}"
                result = rejoue("--json", journal, target)
                self.assertEqual(result.returncode, 1, result.stderr)
                report = json.loads(result.stdout)
                self.assertEqual(report["compared"], 3)
                self.assertEqual([(x["request_bytes"], x["expected_bytes"]) for x in report["differences"]],
                                 [(M.decode("latin-1"), replies[0].decode("latin-1"))])
                machine.api("PATCH", "/state", {"Txt_ValeurLu": "500"})
                result = rejoue(journal, target)
                self.assertEqual(result.returncode, 1)
                self.assertIn("Esc/M10121Cr/", result.stdout)
                # Against a playback of the same journal, nothing differs.
                with Velorin("playback=" + journal) as player:
                    result = rejoue(journal, f"127.0.0.1:{player.ready['port']}")
                    self.assertEqual(result.returncode, 0, result.stdout + result.stderr)

    def test_a_session_stopped_with_its_host_connected_plays_back_without_the_notice(self):
        with tempfile.TemporaryDirectory() as d:
            journal = os.path.join(d, "session.jsonl")
            with Velorin() as machine:
                target = f"127.0.0.1:{machine.ready['port']}"
                proxy = Velorin(f"proxy={target}", "journal=" + journal).start()
                with proxy.client() as s:
                    reply = frame(s, P1)
                    proxy.terminate()   # SIGTERM: the host is still connected
                    self.assertEqual(frame(s), b"ARRET du serveur en cours")
                    self.assertEqual(proxy.stop(), 0)
                events = read_journal(journal)
                notices = [e for e in events if e.get("origin") == "velorin"]
                self.assertEqual([(e["event"], e["data"]) for e in notices],
                                 [("send", "ARRET du serveur en cours")])
                # The notice is Velorin's, not the device's: never played back, never compared.
                # The request asked twice: a notice glued to the first reply would come first
                # in the second.
                with Velorin("playback=" + journal) as player, player.client() as s:
                    self.assertEqual([frame(s, P1), frame(s, P1)], [reply, reply])
                result = rejoue(journal, target)
                self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
                self.assertIn("avis de Velorin, non comparé : ARRET du serveur en cours", result.stdout)

    def test_a_burst_through_the_proxy_is_journaled_whole(self):
        burst = bytes(range(256)) * (4 * 1024)   # 1 MiB each way, in pieces of any size
        with tempfile.TemporaryDirectory() as d:
            journal = os.path.join(d, "j.jsonl")
            with Velorin("mode=modeECHO") as machine:
                with Velorin(f"proxy=127.0.0.1:{machine.ready['port']}", "journal=" + journal) as proxy, \
                        proxy.client() as s:
                    sender = threading.Thread(target=s.sendall, args=(burst,))
                    sender.start()
                    echoed = b""
                    while len(echoed) < len(burst):
                        echoed += s.recv(1 << 20)
                    sender.join()
                    self.assertEqual(echoed, burst)
            events = read_journal(journal)
            for kind in ("recv", "send"):
                self.assertEqual(b"".join(bytes_of(e) for e in events if e["event"] == kind), burst, kind)
            self.assertFalse([e for e in events if "perdus" in e.get("data", "")])

    def test_an_upstream_that_refuses_closes_the_client(self):
        with socket.socket() as unused:
            unused.bind(("127.0.0.1", 0))
            port = unused.getsockname()[1]  # bound, never listening: connections are refused
            with tempfile.TemporaryDirectory() as d, \
                    Velorin(f"proxy=127.0.0.1:{port}", "journal=" + os.path.join(d, "j")) as proxy, \
                    proxy.client() as s:
                s.sendall(P1)
                self.assertIsNone(frame(s), "the client's connection is closed")
                wait_for(lambda: any("appareil relayé" in line and "canal 1 fermé" in line
                                     for line in proxy.log()), "the log line")
                errors = [e for e in proxy.api("GET", "/journal")["events"] if e["event"] == "error"]
                self.assertEqual([e["channel"] for e in errors], [1])


class Journal(unittest.TestCase):
    def test_every_kind_of_event_and_every_byte(self):
        with tempfile.TemporaryDirectory() as d:
            path = os.path.join(d, "j.jsonl")
            with Velorin("journal=" + path, "mode=modeECHO") as v:
                every_byte = bytes(range(256))
                with v.client() as s:
                    s.sendall(every_byte)
                    echoed = b""
                    while len(echoed) < 256:
                        echoed += s.recv(4096)
                v.api("PATCH", "/clock", {"speed": 10})
                v.api("PATCH", "/state", {"Cmb_Simulate": "automateOMRON"})
                v.api("POST", "/faults", {"match": {"command": "P"}, "action": {"type": "drop"}})
                with v.client() as s:
                    s.sendall(P1)
                    wait_for(lambda: any(e["event"] == "fault" for e in v.api("GET", "/journal")["events"]),
                             "the fault")
                    s.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, b"\x01\x00\x00\x00\x00\x00\x00\x00")
                seen = lambda: {e["event"] for e in v.api("GET", "/journal?since=0")["events"]}
                wait_for(lambda: KINDS <= seen(), "every kind, missing %s" % (KINDS - seen()))
                api = v.api("GET", "/journal?since=0")
                self.assertEqual(api["missed"], 0)
                later = v.api("GET", "/journal?since=%d" % api["next"])
                self.assertEqual((later["events"], later["first"]), ([], api["next"] + 1))
            events = read_journal(path)
            self.assertEqual(events[:len(api["events"])], api["events"], "the file and the API agree")
            for e in events:
                self.assertRegex(e["t"], r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{6}Z$")
                self.assertIsInstance(e["mono_us"], int)
                if "data" in e:
                    self.assertEqual(e["len"], len(e["data"]))
            self.assertEqual([e["mono_us"] for e in events], sorted(e["mono_us"] for e in events))
            self.assertEqual([bytes_of(e) for e in events if e["event"] in ("recv", "send")][:2],
                             [every_byte, every_byte])

    def test_the_file_turns_over_at_its_bound(self):
        with tempfile.TemporaryDirectory() as d:
            path = os.path.join(d, "j.jsonl")
            with Velorin("journal=" + path, "journal_max=8K", "mode=modeECHO") as v, v.client() as s:
                n = 0
                while not os.path.exists(path + ".1") or size(path) == 0:
                    n += 1
                    s.sendall(b"x" * 200 + b"%d\r" % n)
                    frame(s)
                    self.assertLess(n, 10000)
            for name in (path, path + ".1"):
                self.assertLessEqual(os.path.getsize(name), 8192)
                read_journal(name)  # whole lines only

    def test_a_journal_nobody_reads_never_holds_the_device(self):
        with tempfile.TemporaryDirectory() as d:
            fifo = os.path.join(d, "fifo")
            os.mkfifo(fifo)
            # A reader that holds the pipe open and never reads: the writer blocks once it is full.
            holder = os.open(fifo, os.O_RDONLY | os.O_NONBLOCK)
            try:
                with Velorin("journal=" + fifo, "mode=modeECHO") as v, v.client() as s:
                    block = b"y" * 60000 + b"\r"
                    for _ in range(300):  # far past the pipe and the writer's bound
                        s.sendall(block)
                        got = b""
                        while len(got) < len(block):
                            got += s.recv(65536)
                    self.assertEqual(v.api("GET", "/health")["port"], v.ready["port"])
                    start = time.monotonic()
                    v.terminate()
                    # Lines were dropped: the run says its journal is incomplete.
                    self.assertEqual(v.stop(), INCOMPLETE)
                    self.assertLess(time.monotonic() - start, DEADLINE)
                    self.assertIn("incomplet", v.stderr())
            finally:
                os.close(holder)

    def test_bad_keys_and_bad_journals_stop_the_start(self):
        with tempfile.TemporaryDirectory() as d:
            bad = os.path.join(d, "bad.jsonl")
            with open(bad, "w") as f:
                f.write('{"t": "x", "mono_us": 1, "event": "listen"}\nnot json\n')
            cases = [
                (["playback=" + bad], "ligne 2"),
                (["journal_max=12", "journal=" + os.path.join(d, "j")], "JOURNAL_MAX"),
                (["journal_max=12"], "JOURNAL_MAX"),
                (["journal=" + os.path.join(d, "missing", "j.jsonl")], "JOURNAL"),
                (["proxy=nowhere"], "PROXY"),
                (["proxy=127.0.0.1:1", "playback=" + bad], "PROXY et PLAYBACK"),
                (["playback_fallback=MAYBE"], "PLAYBACK_FALLBACK"),
            ]
            for keys, said in cases:
                with self.subTest(keys=keys):
                    self.assertIn(said, refused(**dict(key.split("=", 1) for key in keys)))


class FilesThatFight(unittest.TestCase):
    """Files that refuse writes, never end, or never come."""

    def test_a_journal_that_cannot_be_written_is_said_and_ends_the_run_apart(self):
        with Velorin("journal=/dev/full", "mode=modeECHO") as v:
            with v.client() as s:
                self.assertEqual(frame(s, P1), P1)
            wait_for(lambda: v.api("GET", "/health")["journal"]["lost"] > 0, "the losses counted")
            health = v.api("GET", "/health")
            self.assertEqual((health["status"], health["journal"]["state"]), ("ok", "error"))
            self.assertEqual(health["journal"]["reason"], os.strerror(28))
            said = [line for line in v.log() if "fichier JOURNAL" in line]
            self.assertEqual(len(said), 1, "said once, not once a line")
            v.terminate()
            self.assertEqual(v.stop(), INCOMPLETE)
            err = v.stderr()
            self.assertIn('écriture impossible dans le fichier JOURNAL "/dev/full"', err)
            self.assertRegex(err, r'fichier JOURNAL "/dev/full" incomplet : \d+ événements perdus')
        with tempfile.TemporaryDirectory() as d, Velorin("journal=" + os.path.join(d, "j")) as v:
            self.assertEqual(v.api("GET", "/health")["journal"], {"state": "ok", "lost": 0})
            self.assertEqual(v.stop(), 0)

    def test_a_fifo_nobody_opens_holds_the_start_until_sigterm(self):
        with tempfile.TemporaryDirectory() as d:
            fifo = os.path.join(d, "fifo")
            os.mkfifo(fifo)
            # Read by start-up (nobody writes), or written (nobody reads).
            for key, read in (("scenario", True), ("playback", True), ("journal", False), ("log", False)):
                with self.subTest(key):
                    v = launched(**{key: fifo})
                    proc = v.process

                    # SIGTERM caught, and for a FIFO to read, the FIFO held open. Opening it to
                    # look would be a writer that comes and goes.
                    def waiting():
                        try:
                            with open(f"/proc/{proc.pid}/status") as f:
                                caught = int(re.search(r"^SigCgt:\s*(\w+)", f.read(), re.M)[1], 16)
                            fds = os.listdir(f"/proc/{proc.pid}/fd")
                            held = any(os.readlink(f"/proc/{proc.pid}/fd/{fd}") == fifo for fd in fds)
                            return caught & (1 << (signal.SIGTERM - 1)) and (held or not read)
                        except (OSError, TypeError):
                            return proc.poll() is not None
                    wait_for(waiting, "the start to wait on the FIFO")
                    self.assertIsNone(proc.poll(), v.stderr())
                    v.terminate()
                    self.assertEqual(v.stop(), 0)

    def test_files_past_their_bound_and_pipes_read_to_their_end(self):
        with tempfile.TemporaryDirectory() as d:
            journal = os.path.join(d, "j.jsonl")
            with open(journal, "w") as f:
                f.write(json.dumps({"t": "x", "mono_us": 1, "event": "recv", "channel": 1, "data": "\x1bP1\r"}) + "\n")
                f.write(json.dumps({"t": "x", "mono_us": 2, "event": "send", "channel": 1, "data": "R\r"}) + "\n")
                f.write('{"t": "x", "mono_')   # a writer stopped short
            for keys, said in [(["scenario=/dev/zero"], "SCENARIO"), (["playback=/dev/zero"], "PLAYBACK")]:
                with self.subTest(keys):
                    err = refused(**dict(key.split("=", 1) for key in keys))
                    self.assertIn(said, err)
                    self.assertRegex(err, r"trop grand, \d+ octets au plus")
            # A pipe, as bash's <(cat file) gives it, with a writer that has gone or not yet.
            r, w = os.pipe()
            with open(journal, "rb") as f:
                os.write(w, f.read())
            os.close(w)
            with Velorin(f"playback=/proc/{os.getpid()}/fd/{r}") as player, player.client() as s:
                self.assertEqual(frame(s, P1), b"R\r")
                log = player.log()
                self.assertTrue(any("ligne 3 coupée avant sa fin, ignorée" in line for line in log), log)
                self.assertTrue(any("1 requêtes enregistrées" in line for line in log), log)
            os.close(r)
            with Velorin("mode=modeECHO") as echo:
                r, w = os.pipe()
                done = subprocess.Popen([REJOUE, f"/dev/fd/{r}",
                                         f"127.0.0.1:{echo.ready['port']}"], pass_fds=(r,),
                                        stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
                os.close(r)
                os.write(w, b'{"t":"x","mono_us":1,"event":"recv","channel":1,"data":"A"}\n')
                os.write(w, b'{"t":"x","mono_us":2,"event":"send","channel":1,"data":"A"}\n')
                os.close(w)
                out, err = done.communicate(timeout=DEADLINE)
                self.assertEqual(done.returncode, 0, err)
                self.assertIn("1 réponse comparée, aucune ne diffère", out)


def main():
    global REJOUE
    parser = argparse.ArgumentParser()
    parser.add_argument("--binary", required=True)
    parser.add_argument("--rejoue", required=True)
    options, rest = parser.parse_known_args()
    defauts.BINARY = options.binary
    REJOUE = options.rejoue
    unittest.main(argv=[sys.argv[0], "-v", *rest])


if __name__ == "__main__":
    main()
