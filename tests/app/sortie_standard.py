#!/usr/bin/env python3
"""What a test rig does to Velorin's standard output, and to its signals, over real processes.

Each case starts the real program headless on a port the system picks and waits for its ready
file, as a rig would:

- stdout piped and never read: the device keeps answering a flood that logs far more than the
  pipe and the mirror hold, memory stays bounded, and SIGTERM still ends it with status 0;
- the same pipe read at last: one line says how many lines were lost, and the lines after it
  follow;
- stdout closed by its reader: the mirror ends, the device goes on;
- SIGTERM, SIGINT or SIGHUP during the shutdown pause that a first signal started: status 0.

Deadlines are generous (the sanitizer build on a busy machine is slow); they bound waits and
are not what is measured.
"""

import argparse
import os
import signal
import socket
import subprocess
import sys
import threading
import time
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "python"))
import velorin  # noqa: E402  (the package of this tree)

BINARY = None
DEADLINE = 60.0
PERDUES = b" lignes du journal perdues : la sortie ne les lisait pas"


def wait_for(condition, what, deadline=DEADLINE):
    end = time.monotonic() + deadline
    while time.monotonic() < end:
        if condition():
            return
        time.sleep(0.01)
    raise AssertionError("timed out waiting for " + what)


def rss_kib(pid):
    with open("/proc/%d/status" % pid) as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


class Velorin(velorin.Velorin):
    """One headless Velorin with the given stdout, ready once its ready file is there. No
    display and no QT_QPA_PLATFORM: the program's own choice of platform is part of the test."""

    def __init__(self, *args, stdout):
        env = {k: v for k, v in os.environ.items()
               if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
        super().__init__(binary=BINARY, start_timeout=DEADLINE, headless=False, env=env,
                         stdout=stdout, control=None, log=None,
                         **dict(arg.split("=", 1) for arg in args))
        self.start()
        self.proc = self.process

    def connect(self):
        s = socket.create_connection(("127.0.0.1", self.port), timeout=DEADLINE)
        return s

    def stop(self, sig=signal.SIGTERM):
        self.proc.send_signal(sig)
        return self.ends()

    def ends(self):
        """Exit status, and how long it took to end."""
        start = time.monotonic()
        status = self.proc.wait(timeout=DEADLINE)
        return status, time.monotonic() - start

    def close(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        self.exit_status = self.proc.returncode
        super().stop()


def echo(sock, data):
    sock.sendall(data)
    got = b""
    while len(got) < len(data):
        chunk = sock.recv(len(data) - len(got))
        if not chunk:
            raise ConnectionError("Velorin closed the connection")
        got += chunk
    return got


def flood(velorin, requests=80):
    """Echoes of 60 KiB with "flux IP" on: three log lines of 60 KiB each per request, some
    15 MiB in all, far more than a pipe (64 KiB) and the mirror (8 MiB) hold."""
    data = b"a" * (60 * 1024)
    with velorin.connect() as s:
        for _ in range(requests):
            assert echo(s, data) == data


class StdoutNeverRead(unittest.TestCase):
    def test_the_device_keeps_answering_in_bounded_memory_and_sigterm_ends_it(self):
        lecture, ecriture = os.pipe()
        velorin = Velorin("MODE=modeecho", "TRACE=ON", stdout=ecriture)
        os.close(ecriture)
        try:
            before = rss_kib(velorin.proc.pid)
            flood(velorin)
            growth = rss_kib(velorin.proc.pid) - before
            # Under AddressSanitizer freed memory is held in quarantine: the figure means nothing.
            if "ASAN_OPTIONS" not in os.environ:
                self.assertLess(growth, 48 * 1024, "RSS grew by %d KiB" % growth)
            status, took = velorin.stop()
            self.assertEqual(status, 0)
            print("ended %.2f s after SIGTERM with stdout blocked, RSS +%d KiB" % (took, growth))
        finally:
            velorin.close()
            os.close(lecture)

    def test_once_read_one_line_says_how_many_lines_were_lost(self):
        lecture, ecriture = os.pipe()
        velorin = Velorin("MODE=modeecho", "TRACE=ON", stdout=ecriture)
        os.close(ecriture)
        try:
            flood(velorin)
            lu = bytearray()

            def drain():
                while True:
                    bloc = os.read(lecture, 1 << 16)
                    if not bloc:
                        return
                    lu.extend(bloc)

            threading.Thread(target=drain, daemon=True).start()
            wait_for(lambda: PERDUES in lu, "the loss line")
            with velorin.connect() as s:
                echo(s, b"apres la perte")
            wait_for(lambda: b"mode ECHO -> apres la perte\n" in lu, "the lines after it")
            lignes = bytes(lu).split(b"\n")
            pertes = [l for l in lignes if l.endswith(PERDUES)]
            self.assertEqual(len(pertes), 1)
            self.assertGreater(int(pertes[0].split(b" ")[0]), 0)
            self.assertLess(lignes.index(pertes[0]),
                            [i for i, l in enumerate(lignes) if l.endswith(b"apres la perte")][0])
            # Lines are whole: every kept trace of the flood carries its 60 KiB.
            traces = [l for l in lignes if l.startswith(b"<1 (") and b"apres" not in l]
            self.assertTrue(traces)
            self.assertTrue(all(l.endswith(b"a" * 60 * 1024) for l in traces))
            self.assertEqual(velorin.stop()[0], 0)
        finally:
            velorin.close()
            os.close(lecture)


class StdoutClosed(unittest.TestCase):
    def test_a_closed_stdout_ends_the_mirror_not_the_program(self):
        lecture, ecriture = os.pipe()
        velorin = Velorin("MODE=modeecho", "TRACE=ON", stdout=ecriture)
        os.close(ecriture)
        os.close(lecture)
        try:
            with velorin.connect() as s:
                for i in range(200):
                    texte = b"encore %d" % i
                    self.assertEqual(echo(s, texte), texte)
            self.assertEqual(velorin.stop()[0], 0)
        finally:
            velorin.close()


class SignalDuringShutdown(unittest.TestCase):
    def test_a_second_signal_during_the_pause_ends_it_as_well(self):
        for sig in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
            with self.subTest(signal=sig.name):
                velorin = Velorin(stdout=subprocess.PIPE)
                try:
                    client = velorin.connect()
                    # Answered: the client is on a channel of its own.
                    client.sendall(b"\x1bV1\r")
                    self.assertEqual(client.recv(64), b"\x1b1version Velorin\r")
                    velorin.proc.send_signal(signal.SIGTERM)
                    # The warning reaches the client during the shutdown loop, before the pause.
                    client.settimeout(DEADLINE)
                    self.assertEqual(client.recv(64), b"ARRET du serveur en cours")
                    velorin.proc.send_signal(sig)
                    status, took = velorin.ends()
                    self.assertEqual(status, 0)
                    sortie = velorin.proc.stdout.read()
                    self.assertEqual(sortie.count("fermeture demandée".encode()), 1)
                    client.close()
                finally:
                    velorin.close()


class ShutdownPause(unittest.TestCase):
    def test_any_pause_from_0_to_500_still_warns_the_clients(self):
        for pause in ("0", "20", "500"):
            with self.subTest(pause=pause):
                velorin = Velorin("SHUTDOWN_PAUSE_MS=" + pause, "LOG=OFF", stdout=subprocess.DEVNULL)
                try:
                    client = velorin.connect()
                    client.sendall(b"\x1bV1\r")
                    self.assertEqual(client.recv(64), b"\x1b1version Velorin\r")
                    velorin.proc.send_signal(signal.SIGTERM)
                    got = b""
                    while True:
                        chunk = client.recv(64)
                        if not chunk:
                            break
                        got += chunk
                    self.assertEqual(got, b"ARRET du serveur en cours")
                    self.assertEqual(velorin.ends()[0], 0)
                    client.close()
                finally:
                    velorin.close()

    def test_a_pause_out_of_range_stops_the_start_naming_the_key(self):
        for value in ("501", "-1", "", "abc", "1e3"):
            with self.subTest(value=value):
                with self.assertRaises(velorin.StartError) as run:
                    with velorin.Velorin(binary=BINARY, start_timeout=DEADLINE, control=None,
                                         log="off", shutdown_pause_ms=value):
                        pass
                self.assertEqual(run.exception.exit_status, 1)
                self.assertIn('SHUTDOWN_PAUSE_MS invalide "%s"' % value.upper(),
                              run.exception.stderr)


def main():
    global BINARY
    parser = argparse.ArgumentParser()
    parser.add_argument("--binary", required=True)
    args, rest = parser.parse_known_args()
    BINARY = args.binary
    unittest.main(argv=[sys.argv[0], "-v", *rest])


if __name__ == "__main__":
    main()
