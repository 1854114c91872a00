#!/usr/bin/env python3
"""The documentation's examples, and what the pages say about the program.

Every fenced block that README.md or a page of docs/ shows right after a line
`<!-- example: examples/NAME -->` must be that file byte for byte, and every file of
examples/ must be shown. Links between the pages must lead to a file, or to a heading, that
exists; the README's table of keys must name the keys of `velorin --help`; the fields shown for
GET /health and the ready file must be those the program gives.

Each example then runs against the real program, on free ports: it must end by itself with
status 0, print what it should and leave no process behind. It runs twice in a row, in the
same directory; the second time an earlier run's ready file is still at the ready file's path
for a moment after Velorin is started (it names another pid and a port nobody serves), as a
rig sees it when the file is slow to go: an example that takes it for this run's fails. The
examples that wait for Velorin must give up at once, with status 1, when it cannot start.

    verifie_exemples.py --velorin build/velorin --rejoue build/velorin-rejoue [-k laser_py]
"""

import argparse
import difflib
import functools
import json
import os
import re
import signal
import subprocess
import sys
import tempfile
import time
import unittest
from pathlib import Path

SOURCES = Path(__file__).resolve().parents[2]
sys.dont_write_bytecode = True   # no __pycache__ left in the sources
sys.path.insert(0, str(SOURCES / "python"))
import velorin  # noqa: E402  (the package of this tree)

VELORIN = "velorin"
REJOUE = "velorin-rejoue"

# Generous: sanitizer builds on a busy machine start slowly. Every example bounds its own waits.
EXAMPLE_TIMEOUT = 240

MARKER = re.compile(r"^<!-- example: (examples/[^ ]+) -->$")
FENCE = re.compile(r"^```[\w-]*$")
LINK = re.compile(r"\]\(([^)\s]+)\)")


def pages():
    return [SOURCES / "README.md", *sorted((SOURCES / "docs").glob("*.md"))]


def marked_blocks(page):
    """[(line number, example path, block text or None when no fenced block follows)]."""
    lines = page.read_text(encoding="utf-8").split("\n")
    blocks = []
    for i, line in enumerate(lines):
        found = MARKER.match(line)
        if not found:
            continue
        text = None
        if i + 1 < len(lines) and FENCE.match(lines[i + 1]):
            end = lines.index("```", i + 2) if "```" in lines[i + 2:] else None
            if end is not None:
                text = "".join(l + "\n" for l in lines[i + 2:end])
        blocks.append((i + 1, found.group(1), text))
    return blocks


def slug(heading):
    """The anchor a Markdown renderer gives a heading: lower case, punctuation dropped."""
    text = re.sub(r"[`*_]", "", heading.strip().lower())
    text = re.sub(r"[^\w\- ]", "", text)
    return text.replace(" ", "-")


def anchors(page):
    text = re.sub(r"^```.*?^```", "", page.read_text(encoding="utf-8"), flags=re.M | re.S)
    return {slug(h) for h in re.findall(r"^#+ (.+)$", text, flags=re.M)}


def environment(**more):
    # No window, and no __pycache__ left in python/ by the examples. The Python package from
    # this tree, as the installed one would be found.
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", VELORIN=VELORIN, VELORIN_REJOUE=REJOUE,
               PYTHONDONTWRITEBYTECODE="1", PYTHONPATH=str(SOURCES / "python"))
    env.update(more)
    return env


@functools.lru_cache(maxsize=None)
def version():
    out = subprocess.run([VELORIN, "--version"], env=environment(), capture_output=True,
                         text=True, timeout=60, check=True).stdout
    return out.split()[-1]


# Stands for velorin: leaves an earlier run's ready file at the READY= path, as it can still be
# seen just after a new Velorin is started, then becomes the program (same pid).
STALE_READY = r"""#!/usr/bin/env bash
for arg in "$@"; do
  case "${arg,,}" in
    ready=*) printf '{"control_port":1,"mode":"automateOMRON","pid":1,"port":1,"version":"0"}' \
               >"${arg#*=}" ;;
  esac
done
sleep 0.3
exec "$VELORIN_REAL" "$@"
"""


def processes_of_session(session):
    """Pids of the live processes whose session is `session` (zombies excluded)."""
    pids = []
    for stat in Path("/proc").glob("[0-9]*/stat"):
        try:
            fields = stat.read_text().rsplit(")", 1)[1].split()
        except OSError:
            continue
        if int(fields[3]) == session and fields[0] != "Z":
            pids.append(int(stat.parent.name))
    return pids


def run_example(name, cwd=None, **env):
    """Runs examples/NAME in a session of its own, in cwd or an empty directory; returns the
    completed process and the pids still alive in its session shortly after it ended."""
    if cwd is None:
        with tempfile.TemporaryDirectory() as empty:
            return run_example(name, empty, **env)
    process = subprocess.Popen([str(SOURCES / "examples" / name)], cwd=cwd,
                               env=environment(**env), stdin=subprocess.DEVNULL,
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                               start_new_session=True)
    try:
        out, err = process.communicate(timeout=EXAMPLE_TIMEOUT)
    except subprocess.TimeoutExpired:
        os.killpg(process.pid, signal.SIGKILL)
        out, err = process.communicate()
        raise AssertionError(f"{name} still running after {EXAMPLE_TIMEOUT} s:\n"
                             + out.decode(errors="replace") + err.decode(errors="replace"))
    # What the example left behind, given time to go if it is on its way out.
    deadline = time.monotonic() + 10
    left = processes_of_session(process.pid)
    while left and time.monotonic() < deadline:
        time.sleep(0.1)
        left = processes_of_session(process.pid)
    for pid in left:
        os.kill(pid, signal.SIGKILL)
    return (subprocess.CompletedProcess(process.args, process.returncode,
                                        out.decode(errors="replace"), err.decode(errors="replace")),
            left)


class Documentation(unittest.TestCase):
    def test_each_marked_block_is_its_file_byte_for_byte(self):
        for page in pages():
            for line, path, block in marked_blocks(page):
                where = f"{page.relative_to(SOURCES)}:{line}"
                with self.subTest(where=where, example=path):
                    self.assertIsNotNone(block, f"{where}: no fenced block right after the marker")
                    file = SOURCES / path
                    self.assertTrue(file.is_file(), f"{where}: {path} does not exist")
                    shown, real = block.encode("utf-8"), file.read_bytes()
                    if shown != real:
                        diff = difflib.unified_diff(
                            real.decode("utf-8", "replace").splitlines(True),
                            block.splitlines(True), path, where)
                        self.fail(f"{where} differs from {path}:\n" + "".join(diff))

    def test_every_example_is_shown_and_can_be_run(self):
        shown = {path for page in pages() for _, path, _ in marked_blocks(page)}
        for file in sorted((SOURCES / "examples").iterdir()):
            if file.name == "__pycache__":
                continue
            path = f"examples/{file.name}"
            with self.subTest(example=path):
                self.assertIn(path, shown, "shown in no page")
                if file.suffix == ".json":        # data an example reads: shown, not run
                    continue
                self.assertTrue(os.access(file, os.X_OK), "not executable")
                self.assertTrue(file.read_bytes().startswith(b"#!"), "no #! line")

    def test_links_lead_to_a_file_or_heading(self):
        for page in pages():
            text = re.sub(r"^```.*?^```", "", page.read_text(encoding="utf-8"),
                          flags=re.M | re.S)
            for target in LINK.findall(text):
                if re.match(r"[a-z]+:", target):
                    continue
                with self.subTest(page=page.name, link=target):
                    file, _, anchor = target.partition("#")
                    linked = (page.parent / file).resolve() if file else page
                    self.assertTrue(linked.exists(), f"{linked} does not exist")
                    if anchor:
                        self.assertIn(anchor, anchors(linked), f"no such heading in {linked.name}")

    def test_keys_table_names_the_keys_of_help(self):
        text = (SOURCES / "README.md").read_text(encoding="utf-8")
        section = text.split("\n## Keys\n", 1)[1].split("\n## ", 1)[0]
        documented = set()
        for row in re.findall(r"^\| (.+?) \|", section, flags=re.M):
            documented |= {key.split("=")[0] for key in re.findall(r"`([^`]+)`", row)}
        help_text = subprocess.run([VELORIN, "--help"], env=environment(), capture_output=True,
                                   text=True, timeout=60, check=True).stdout
        in_help = set()
        for line in help_text.splitlines():
            if re.match(r"^ {4}\S", line):        # "    PORTIP=port   ...", "    --help, -h   ..."
                words = line.split()
                names = words[:2] if words[0].endswith(",") else words[:1]
                in_help |= {name.rstrip(",").split("=")[0] for name in names}
        self.assertTrue(in_help, help_text)
        self.assertEqual(documented, in_help)

    def test_health_and_ready_file_show_the_fields_the_program_gives(self):
        readme = (SOURCES / "README.md").read_text(encoding="utf-8")
        usage = (SOURCES / "docs" / "usage.md").read_text(encoding="utf-8")
        shown_health = json.loads(re.search(r"\| `GET /health` \| `(\{.*?\})`", readme).group(1))
        shown_ready = json.loads(re.search(r"^(\{\"control_port\".*\})$", usage, re.M).group(1))
        # Ended with a status other than 0, the with block fails the test.
        with velorin.Velorin(binary=VELORIN, env=environment(), log="off") as v:
            given_ready = v.ready
            given_health = v.api.health()
        for shown, given in ((shown_health, given_health), (shown_ready, given_ready)):
            self.assertEqual(shown.keys(), given.keys())
            for key in ("control_port", "port", "pid"):
                if key in shown and given[key] is not None:
                    self.assertIsInstance(given[key], int)
        self.assertEqual(given_health["version"], version())
        self.assertEqual(given_ready["version"], version())


# What each example must print, beyond ending with status 0; {version} is `velorin --version`'s.
EXPECTED = {
    "quickstart.sh": ['"version":"{version}"', "version Velorin\n", "0000000000000000a\n",
                      "velorin ended with status 0"],
    "quickstart.py": ["'version': '{version}'", r"b'\x1b1version Velorin\r'",
                      r"b'\x1b10000000000000000a\r'", "velorin ended with status 0"],
    "parallel.sh": ["4 Velorins on ports", "all ended with status 0"],
    "control_api.sh": ['"status":"ok"', '"version":"{version}"', "1Ok\n", "10001200000003000a\n",
                       '"Lbl_PosRelleX":"00012000"',
                       "controle HTTP : Chk_HOMING_X_ok = coché, Chk_HOMING_Z_ok = coché",
                       "velorin ended with status 0"],
    "metrics.sh": ['velorin_requests_total{{device="default",command="V"}} 1',
                   'velorin_requests_total{{device="default",command="P"}} 1',
                   'velorin_replies_total{{device="default"}} 2', '"code":"unauthorized"',
                   '"code":"host_not_allowed"', '"code":"json_required"', "a rig's change: 200",
                   "velorin ended with status 0"],
    "plc_move.py": ["b'1version Velorin'", "b'1Ok'", "12000 -3000 b'a'", "-0003000"],
    "laser.py": ["b'1version Simulation module Lasers'", "b'1OK'", "b'10500'"],
    "laser.sh": ["/105000A", "velorin ended with status 0"],
    "machine.sh": ["1version Velorin\n", "/1version Simulation module Lasers54\n",
                   "[laser] lecture des parametres ...", "velorin ended with status 0"],
    "events.sh": ['data: "', ' demande version firmware --> version Velorin"\n',
                  "velorin ended with status 0"],
    "clock.sh": ['"arrived":true', '"ticks_run":6', '"Lbl_PosRelleX":"10000"',
                 '"Lbl_PosRelleX":"8000"', "10000800000000000c", '"device_ms":800',
                 "velorin ended with status 0"],
    "clock.py": ["True 6", "['10000', '8000', '6000']", r"b'\x1b10000000000000000a\r'",
                 "velorin ended with status 0"],
    "faults.py": [r"asked again: b'\x1b20000000000000000a\r'",
                  r"stale reply dropped by its tag: b'\x1baversion Velorin\r'",
                  r"P tag b: b'\x1bb0000000000000000a\r'",
                  r"attempt 1: b'/105000B\r' checksum wrong",
                  r"attempt 2: b'/105000A\r' checksum right",
                  "D: Velorin closed the connection",
                  r"reconnected, P: b'\x1b10001200000003000a\r'",
                  r"whole: b'\x1b10001200000003000a\r'", r"register 5014: b'\x1bSR0000\r'",
                  r"D: b'\x1b1POM NOk\r'", "défaut n° 1 drop : pas de réponse sur canal 1",
                  "défaut n° 4 close : liaison fermée avant la réponse",
                  "défaut n° 6 homing_lost : homing X perdu",
                  "n° 1 drop: used_up, fired 1, last at 20", "n° 6 homing_lost: used_up, fired 1,",
                  "velorin ended with status 0"],
    "prove.sh": ["  V1 -> 1version Velorin", "  P1 -> 10000000000000000d", "journal: 4 requests",
                 "against the playback: status 0", "against the simulation: status 0",
                 "4 réponses comparées, 4 diffèrent", "against echo mode: status 1"],
    "rejoue.sh": ["hello -> hello", "again -> again", "2 réponses comparées, aucune ne diffère",
                  "same replies"],
    "rejoue_machine.sh": ["P1 -> 10000000000000000a", "M10121 -> /105000A",
                          "plc : 1 réponse comparée, aucune ne diffère\n"
                          "laser : 1 réponse comparée, aucune ne diffère\n"
                          "2 réponses comparées, aucune ne diffère\nstatus 0\n",
                          '<testsuite name="machine.jsonl" tests="2" failures="0" errors="0"',
                          ", appareil laser, canal 1 : la réponse diffère\n",
                          "plc : 1 réponse comparée, aucune ne diffère\n"
                          "laser : 1 réponse comparée, 1 diffère\n"
                          "2 réponses comparées, 1 diffère\nstatus 1\n"],
    "start_sequence.py": ["registers 5014 and 5015 read 0080",
                          r"arrived: b'\x1b10001200000003000a\r'", "device time: 1600 ms",
                          "homing X fait (automatique)", "homing Z fait (automatique)",
                          "velorin ended with status 0"],
    "wait.py": ["1\nb'\\x1b1Ok\\r'\n00012000\n1\n", "défaut n° 1 drop : pas de réponse sur canal 1",
                "True\n408 timeout 0"],
}


class Examples(unittest.TestCase):
    def check(self, name):
        self.assertIn(name, EXPECTED, "say in EXPECTED what the example prints")
        if name in ("control_api.sh", "metrics.sh", "events.sh") and subprocess.run(["sh", "-c", "command -v curl"],
                                                       capture_output=True).returncode != 0:
            self.skipTest("curl is not installed")
        with tempfile.TemporaryDirectory() as cwd:
            stale = Path(cwd, ".velorin-stale")
            stale.write_text(STALE_READY)
            stale.chmod(0o755)
            for run, env in (("first run", {}),
                             ("second run, an earlier ready file still there",
                              {"VELORIN": str(stale), "VELORIN_REAL": VELORIN})):
                result, left = run_example(name, cwd, **env)
                output = f"{run}\nstdout:\n{result.stdout}\nstderr:\n{result.stderr}"
                self.assertEqual(result.returncode, 0, output)
                self.assertEqual(left, [], f"{name} left processes running\n{output}")
                for text in EXPECTED[name]:
                    self.assertIn(text.format(version=version()), result.stdout, output)
        return result

    def test_parallel_sh_ports_differ(self):
        ports = re.search(r"Velorins on ports ([\d ]+)", self.check("parallel.sh").stdout)
        ports = ports.group(1).split()
        self.assertEqual(len(ports), 4)
        self.assertEqual(len(set(ports)), 4, ports)


def add_example_tests():
    for file in sorted((SOURCES / "examples").glob("*.*")):
        if file.suffix in (".sh", ".py") and file.name != "parallel.sh":
            def test(self, name=file.name):
                self.check(name)
            setattr(Examples, "test_" + file.name.replace(".", "_"), test)


add_example_tests()


class StartFailure(unittest.TestCase):
    """An example waiting for a Velorin that has already ended must say so at once, not wait
    out its 30 s."""

    def test_quickstart_sh_start_failure(self):
        begin = time.monotonic()
        result, left = run_example("quickstart.sh", VELORIN="/bin/false")
        self.assertEqual(result.returncode, 1, result)
        self.assertIn("velorin ended with status 1", result.stderr)
        self.assertLess(time.monotonic() - begin, 25)
        self.assertEqual(left, [])

    def test_quickstart_py_start_failure_gives_the_reason(self):
        with tempfile.TemporaryDirectory() as cwd:
            # velorin with a key it refuses: it ends at start-up, saying why on stderr.
            refused = Path(cwd, ".velorin-refuse")
            refused.write_text('#!/bin/sh\nexec "$VELORIN_REAL" bind=nowhere "$@"\n')
            refused.chmod(0o755)
            begin = time.monotonic()
            result, left = run_example("quickstart.py", cwd, VELORIN=str(refused),
                                       VELORIN_REAL=VELORIN)
        self.assertEqual(result.returncode, 1, result)
        self.assertIn("velorin ended with status 1", result.stderr)
        self.assertIn('"nowhere"', result.stderr)   # the reason, from velorin's stderr
        self.assertLess(time.monotonic() - begin, 25)
        self.assertEqual(left, [])


def main():
    global VELORIN, REJOUE
    parser = argparse.ArgumentParser(add_help=False)
    parser.add_argument("--velorin", required=True)
    parser.add_argument("--rejoue", required=True)
    options, rest = parser.parse_known_args()
    VELORIN = str(Path(options.velorin).resolve())
    REJOUE = str(Path(options.rejoue).resolve())
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)


if __name__ == "__main__":
    main()
