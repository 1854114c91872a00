"""The pytest fixtures as a user meets them: pytest in a subprocess, with the package from this
tree (PYTHONPATH alone) and installed offline into a throwaway virtual environment, where the
entry point brings the fixtures without any option. And the README's tests, run as shown."""

import os
import re
import shutil
import subprocess
import sys
import textwrap

import pytest

RACINE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SOURCES = os.path.dirname(RACINE)

ESSAIS = textwrap.dedent('''
    import pytest

    def test_default_keys(velorin):
        assert velorin.plc().version() == "version Velorin"
        assert velorin.state()["Cmb_Simulate"] == "automateOMRON"

    @pytest.mark.velorin(mode="modeECHO", clock="step")
    def test_marker(velorin):
        assert velorin.echo().ask(b"abc") == b"abc"
        assert velorin.api.get("/clock")["mode"] == "step"

    @pytest.mark.velorin(mode="modeECHO")
    @pytest.mark.parametrize("velorin", [{"mode": "moduleLASERS"}, {"mode": "modeMUET"}],
                             indirect=True)
    def test_indirect_parameter_wins(velorin):
        assert velorin.state()["Cmb_Simulate"] in ("moduleLASERS", "modeMUET")

    @pytest.mark.velorin(mode="modeECHO")
    def test_factory_marker_then_own_keys(velorin_factory):
        echos = velorin_factory.many(3)
        plc = velorin_factory(mode="automateOMRON")
        assert [v.echo().ask(b"x") for v in echos] == [b"x"] * 3
        assert plc.plc().version() == "version Velorin"
        open("pids-of-test", "a").write(" ".join(str(v.pid) for v in [*echos, plc]) + " ")

    @pytest.mark.velorin(machine="machine.json")
    def test_machine_beside_the_test(velorin_machine):
        assert sorted(velorin_machine.devices) == ["laser", "plc"]
        assert velorin_machine.laser("laser").version().startswith("version")
        assert velorin_machine.plc("plc").version() == "version Velorin"

    @pytest.mark.velorin(MODE="modeECHO", JOURNAL=None)
    def test_keys_in_any_case(velorin):
        assert velorin.journal_file is None and velorin.echo().ask(b"x") == b"x"

    def test_stopped_after_the_test(velorin):
        open("pids-of-test", "a").write(str(velorin.pid) + " ")
''')
TESTS_ESSAIS = 8

ECHECS = textwrap.dedent('''
    def test_fails_after_a_request(velorin):
        velorin.plc().version()
        assert False, "the host did something wrong"

    def test_machine_without_a_file(velorin_machine):
        pass

    def test_a_start_that_fails_is_said_once(velorin_factory):
        velorin_factory(portip="abc")
''')


def lance_pytest(python, dossier, *options, env=None):
    fini = subprocess.run([python, "-m", "pytest", "-q", "-p", "no:cacheprovider", *options],
                          cwd=dossier, env=env, capture_output=True, text=True, timeout=600)
    return fini.returncode, fini.stdout + fini.stderr


def environnement(**plus):
    env = {k: v for k, v in os.environ.items() if k not in ("PYTHONPATH", "PYTEST_DISABLE_PLUGIN_AUTOLOAD", "PYTEST_ADDOPTS")}
    env.update(plus)
    return env


def processus_vivant(pid):
    try:
        with open(f"/proc/{pid}/stat") as f:
            return f.read().rsplit(")", 1)[1].split()[0] != "Z"
    except FileNotFoundError:
        return False


def xdist_present():
    return subprocess.run([sys.executable, "-c", "import xdist"]).returncode == 0


@pytest.mark.parametrize("parallele", [False, True], ids=["one-by-one", "xdist"])
def test_fixtures_from_this_tree_by_the_entry_point_alone(tmp_path, parallele):
    """PYTHONPATH=python and nothing else: the sources' metadata brings the fixtures. Every
    Velorin has ended once pytest has, in parallel too (free ports, files of each test's own)."""
    if parallele and not xdist_present():
        pytest.skip("pytest-xdist is not installed (make deps installs it)")
    (tmp_path / "test_essais.py").write_text(ESSAIS)
    shutil.copy(os.path.join(SOURCES, "examples", "machine.json"), tmp_path)
    options = ["-n", "3"] if parallele else []
    statut, sortie = lance_pytest(sys.executable, tmp_path, *options,
                                  env=environnement(PYTHONPATH=RACINE))
    assert statut == 0 and f"{TESTS_ESSAIS} passed" in sortie, sortie
    pids = [int(p) for p in (tmp_path / "pids-of-test").read_text().split()]
    assert len(pids) == 5 and not any(processus_vivant(p) for p in pids), pids


def test_a_failing_test_reports_the_log_and_the_journal(tmp_path):
    (tmp_path / "test_echecs.py").write_text(ECHECS)
    statut, sortie = lance_pytest(sys.executable, tmp_path, env=environnement(PYTHONPATH=RACINE))
    assert statut == 1 and "2 failed, 1 error" in sortie, sortie
    rapport = sortie.split("test_fails_after_a_request", 2)[2]
    assert "velorin: the last 40 lines of its log" in rapport, sortie
    assert "demande version firmware --> version Velorin" in rapport, sortie
    journal = rapport.split("velorin: its traffic journal", 1)[1].split()[1]
    assert os.path.getsize(journal) > 0, sortie
    assert 'velorin_machine needs a machine file: @pytest.mark.velorin(machine="' in sortie


def test_fixture_option_names_the_program(tmp_path):
    """--velorin-binary wins over $VELORIN; a start-up failure fails the test with the reason."""
    (tmp_path / "test_un.py").write_text("def test_one(velorin):\n    pass\n")
    env = environnement(PYTHONPATH=RACINE, VELORIN="/nonexistent")
    binaire = "--velorin-binary=" + os.environ["VELORIN"]
    statut, sortie = lance_pytest(sys.executable, tmp_path, binaire, env=env)
    assert statut == 0 and "1 passed" in sortie, sortie
    # Named as well as found by its entry point: loaded once.
    statut, sortie = lance_pytest(sys.executable, tmp_path, binaire, "-p", "velorin.greffon",
                                  env=env)
    assert statut == 0 and "1 passed" in sortie, sortie
    (tmp_path / "test_un.py").write_text(
        "import pytest\n@pytest.mark.velorin(portip='abc')\ndef test_one(velorin):\n    pass\n")
    statut, sortie = lance_pytest(sys.executable, tmp_path, binaire, env=env)
    assert statut == 1 and "1 error" in sortie and "PORTIP" in sortie, sortie


def test_readme_pytest_section_five_line_test_first_and_every_test_shown(tmp_path):
    with open(os.path.join(SOURCES, "README.md"), encoding="utf-8") as f:
        readme = f.read()
    section = readme.split("\n## Testing with pytest\n", 1)[1].split("\n## ", 1)[0]
    blocs = re.findall(r"```python\n(.*?)```", section, re.S)
    assert blocs and section.lstrip().startswith("```python\n" + blocs[0])
    assert len(blocs[0].strip().splitlines()) == 5, blocs[0]
    for n, code in enumerate(blocs):
        (tmp_path / f"test_readme_{n}.py").write_text(code)
    shutil.copy(os.path.join(SOURCES, "examples", "machine.json"), tmp_path)
    statut, sortie = lance_pytest(sys.executable, tmp_path, env=environnement(PYTHONPATH=RACINE))
    attendus = sum(code.count("\ndef test_") + code.startswith("def test_") for code in blocs)
    assert statut == 0 and f"{attendus} passed" in sortie, sortie


def test_installed_offline_in_a_virtual_environment(tmp_path):
    """pip install with no index and no build isolation: Debian's setuptools builds it, and
    the entry point gives pytest the fixture without -p."""
    if subprocess.run([sys.executable, "-c", "import setuptools, pip"]).returncode != 0:
        pytest.skip("pip or setuptools missing for " + sys.executable)
    # A copy: a build leaves its egg-info and build/ beside the sources.
    copie = tmp_path / "python"
    shutil.copytree(RACINE, copie, ignore=shutil.ignore_patterns("__pycache__", "tests"))
    venv = tmp_path / "venv"
    subprocess.run([sys.executable, "-m", "venv", "--system-site-packages", str(venv)],
                   check=True, timeout=300)
    python = str(venv / "bin" / "python")
    env = environnement(PIP_NO_INDEX="1", PIP_DISABLE_PIP_VERSION_CHECK="1")
    fini = subprocess.run([python, "-m", "pip", "install", "--no-index", "--no-build-isolation",
                           str(copie)], env=env, capture_output=True, text=True, timeout=600)
    assert fini.returncode == 0, fini.stdout + fini.stderr
    essais = tmp_path / "essais"
    essais.mkdir()
    (essais / "test_essais.py").write_text(ESSAIS)
    shutil.copy(os.path.join(SOURCES, "examples", "machine.json"), essais)
    statut, sortie = lance_pytest(python, essais, env=env)
    assert statut == 0 and f"{TESTS_ESSAIS} passed" in sortie, sortie
    trouve = subprocess.run([python, "-c", "import velorin; print(velorin.__file__)"], env=env,
                            cwd=essais, capture_output=True, text=True, timeout=60).stdout
    assert trouve.startswith(str(venv)), trouve
    typage = subprocess.run([python, "-c", "import importlib.resources as r; "
                             "print(r.files('velorin').joinpath('py.typed').is_file())"],
                            env=env, cwd=essais, capture_output=True, text=True, timeout=60)
    assert typage.stdout.strip() == "True", typage


def test_version_is_the_programs():
    with open(os.path.join(SOURCES, "CMakeLists.txt")) as f:
        programme = re.search(r"project\(Velorin VERSION ([\d.]+)", f.read()).group(1)
    with open(os.path.join(RACINE, "pyproject.toml")) as f:
        paquet = re.search(r'^version = "([^"]+)"', f.read(), re.M).group(1)
    with open(os.path.join(RACINE, "velorin.dist-info", "METADATA")) as f:
        metadonnees = re.search(r"^Version: (\S+)$", f.read(), re.M).group(1)
    import velorin
    assert paquet == metadonnees == velorin.__version__ == programme
