"""Packaging: the wheel that pip builds from a clean copy of the sources, its
installation into fresh virtual environments of each Python on the machine,
and the type stub that it ships."""
import os
import platform
import shutil
import subprocess
import sys
import zipfile
from pathlib import Path

import pytest

pytestmark = pytest.mark.packaging

ROOT = Path(__file__).resolve().parents[2]
WHEEL_NAME = f"plomet-0.1.0-cp39-abi3-linux_{platform.machine()}.whl"
STUB_SIGNATURE = "def analyze_json(input: str, show_examples: bool = True) -> str: ..."

SMOKE = """
import pathlib, sys, plomet
assert plomet.analyze_json('{"a": [1, 2') == '{\\n  "a": [\\n    1, 2\\n  ]\\n}', plomet.analyze_json('{"a": [1, 2')
assert plomet.analyze_json('[1]', False) == '  [\\n    int\\n  ]'
try:
    plomet.analyze_json(b"{}")
except TypeError as error:
    assert str(error) == "argument 'input': 'bytes' object is not an instance of 'str'"
else:
    raise AssertionError("bytes accepted")
print(pathlib.Path(plomet.__file__).resolve())
"""

GOOD_CALLER = """
import plomet
outline: str = plomet.analyze_json("{}")
plain: str = plomet.analyze_json(input="[1]", show_examples=False)
names: list[str] = plomet.__all__
"""

BAD_CALLER = """
import plomet
outline: int = plomet.analyze_json("{}")
plomet.analyze_json(b"{}", show_examples=1)
plomet.analyze_json("{}", examples=True)
"""


# The tests themselves import the module from the build tree through
# PYTHONPATH; the interpreters under test must see only their own installation.
CLEAN_ENVIRONMENT = {k: v for k, v in os.environ.items() if k not in ("PYTHONPATH", "PYTHONHOME")}


def run(command, **kwargs):
    kwargs.setdefault("env", CLEAN_ENVIRONMENT)
    result = subprocess.run(command, capture_output=True, text=True, **kwargs)
    assert result.returncode == 0, f"{command} failed:\n{result.stdout}\n{result.stderr}"
    return result.stdout


def interpreters():
    """Debian's python3, the python3 first on PATH, and, when pyenv has them,
    its oldest Python of at least 3.9 (the stable ABI tag's floor) and its
    newest; one entry per interpreter."""
    candidates = ["/usr/bin/python3", shutil.which("python3")]
    pyenv = sorted(
        (tuple(int(part) for part in p.name.split(".")[:2]), str(p / "bin" / "python3"))
        for p in Path("/root/.pyenv/versions").glob("3.*")
        if p.name.split(".")[1].isdigit() and int(p.name.split(".")[1]) >= 9
    )
    if pyenv:
        candidates += [pyenv[0][1], pyenv[-1][1]]
    found = {}
    for candidate in candidates:
        if not candidate or not os.access(candidate, os.X_OK):
            continue
        probe = subprocess.run(
            [candidate, "-c", "import sys, venv; print(sys.executable); print('%d.%d' % sys.version_info[:2])"],
            env=CLEAN_ENVIRONMENT, capture_output=True, text=True,
        )
        if probe.returncode == 0:
            executable, version = probe.stdout.split()
            found.setdefault(os.path.realpath(executable), (candidate, version))
    return sorted(found.values())


@pytest.fixture(scope="module")
def source_copy(tmp_path_factory):
    """The working tree's files as a clean checkout would have them: no build trees."""
    copy = tmp_path_factory.mktemp("checkout")
    listed = subprocess.run(
        ["git", "ls-files", "-z", "--cached", "--others", "--exclude-standard"],
        cwd=ROOT, capture_output=True,
    )
    if listed.returncode != 0:
        pytest.skip("the sources are not a git checkout")
    for name in listed.stdout.decode().split("\0"):
        if name and (ROOT / name).is_file():
            (copy / name).parent.mkdir(parents=True, exist_ok=True)
            shutil.copy2(ROOT / name, copy / name)
    return copy


@pytest.fixture(scope="module")
def wheel(source_copy):
    dist = source_copy / "dist"
    run([sys.executable, "-m", "pip", "wheel", "--no-build-isolation", "--no-index", "--no-deps",
         "--wheel-dir", str(dist), "."], cwd=source_copy)
    return dist


def test_wheel_is_one_abi3_module_with_its_stub(wheel):
    assert [p.name for p in wheel.iterdir()] == [WHEEL_NAME]
    with zipfile.ZipFile(wheel / WHEEL_NAME) as archive:
        names = archive.namelist()
        wheel_metadata = archive.read("plomet-0.1.0.dist-info/WHEEL").decode()
        stub = archive.read("plomet.pyi").decode()
    assert sorted(n for n in names if "dist-info" not in n) == ["plomet.abi3.so", "plomet.pyi"]
    assert f"Tag: cp39-abi3-linux_{platform.machine()}" in wheel_metadata.splitlines()
    assert "Root-Is-Purelib: false" in wheel_metadata.splitlines()
    assert STUB_SIGNATURE in stub.splitlines()


@pytest.mark.parametrize("python, version", interpreters())
def test_wheel_installs_and_runs_in_a_fresh_venv(python, version, wheel, tmp_path):
    venv = tmp_path / "venv"
    run([python, "-m", "venv", str(venv)])
    venv_python = venv / "bin" / "python"
    run([str(venv_python), "-m", "pip", "install", "--no-index", "--no-deps", str(wheel / WHEEL_NAME)])
    installed = Path(run([str(venv_python), "-c", SMOKE], cwd=tmp_path).strip())
    site_packages = venv / "lib" / f"python{version}" / "site-packages"
    assert installed == (site_packages / "plomet.abi3.so").resolve()
    stub = installed.with_name("plomet.pyi")
    assert STUB_SIGNATURE in stub.read_text().splitlines()
    assert not (site_packages / "plomet").exists()
    check_stub_with_mypy(stub, tmp_path, version)


def check_stub_with_mypy(stub, work, version):
    mypy = shutil.which("mypy")
    if mypy is None:
        return
    # mypy reads no single-file stubs from site-packages, so it is handed the
    # installed stub through MYPYPATH.
    stubs = work / "stubs"
    stubs.mkdir()
    shutil.copy(stub, stubs / "plomet.pyi")
    environment = {**CLEAN_ENVIRONMENT, "MYPYPATH": str(stubs)}
    for name, text in [("good.py", GOOD_CALLER), ("bad.py", BAD_CALLER)]:
        (work / name).write_text(text)
    command = [mypy, "--no-incremental", "--strict", "--python-version", version]
    good = subprocess.run(command + ["good.py"], cwd=work, env=environment, capture_output=True, text=True)
    assert good.returncode == 0, good.stdout
    bad = subprocess.run(command + ["bad.py"], cwd=work, env=environment, capture_output=True, text=True)
    assert bad.returncode == 1, bad.stdout
    errors = [line for line in bad.stdout.splitlines() if ": error:" in line]
    assert [line.split(":")[1] for line in errors] == ["3", "4", "4", "5"], bad.stdout


def test_pip_install_from_the_sources(source_copy, tmp_path):
    venv = tmp_path / "venv"
    # System site packages give the build its setuptools and wheel.
    run([sys.executable, "-m", "venv", "--system-site-packages", str(venv)])
    venv_python = venv / "bin" / "python"
    run([str(venv_python), "-m", "pip", "install", "--no-build-isolation", "--no-index", "--no-deps", "."],
        cwd=source_copy)
    installed = Path(run([str(venv_python), "-c", SMOKE], cwd=tmp_path).strip())
    assert installed.parent.name == "site-packages" and venv.resolve() in installed.parents
    assert installed.with_name("plomet.pyi").is_file()
