"""Packaging: the wheel that the README's offline route builds from a fresh
clone, its installation by that route into fresh virtual environments (no
system site packages) of every Python on the machine that the wheel serves,
the command it puts into each environment's bin/, and the type stub that mypy
finds there with no extra path."""
import os
import platform
import re
import shutil
import subprocess
import sys
import zipfile
from pathlib import Path

import pytest

pytestmark = pytest.mark.packaging

ROOT = Path(__file__).resolve().parents[2]
README = (ROOT / "README.md").read_text(encoding="utf-8")
# The oldest CPython the stable-ABI wheel serves: the module's Py_LIMITED_API.
OLDEST_MINOR = int(re.search(r"plomet_module PRIVATE Py_LIMITED_API=0x03([0-9A-Fa-f]{2})0000",
                             (ROOT / "CMakeLists.txt").read_text(encoding="utf-8")).group(1), 16)
WHEEL_NAME = f"plomet-0.1.0-cp3{OLDEST_MINOR}-abi3-linux_{platform.machine()}.whl"
STUB_SIGNATURE = "def analyze_json(input: str, show_examples: bool = True) -> str: ..."
# The interpreter of the README's wheel build, and the module built for it,
# which it and any other interpreter of its ABI import before the stable-ABI
# one.
WHEEL_PYTHON = "/usr/bin/python3"
NATIVE_SUFFIX = subprocess.run(
    [WHEEL_PYTHON, "-c", "import sysconfig; print(sysconfig.get_config_var('EXT_SUFFIX'))"],
    capture_output=True, text=True, check=True,
).stdout.strip()
NATIVE_MODULE = "plomet/_plomet" + NATIVE_SUFFIX
PACKAGE = ["plomet/__init__.py", "plomet/_plomet.abi3.so", NATIVE_MODULE, "plomet/__init__.pyi", "plomet/py.typed",
           "plomet/_pieces.py", "plomet/spark.py", "plomet/dask.py"]
COMMAND = "plomet-0.1.0.data/scripts/plomet"

SMOKE = """
import pathlib, sys, plomet
assert plomet.__all__ == ["analyze_json"] and plomet.Shape().documents == 0
# The engines are optional: plomet imports without them.
assert not {"pyspark", "dask", "pyarrow"} & set(sys.modules), sorted(sys.modules)
assert plomet.analyze_json('{"a": [1, 2') == '{\\n  "a": [\\n    1, 2\\n  ]\\n}', plomet.analyze_json('{"a": [1, 2')
assert plomet.analyze_json('[1]', False) == '  [\\n    int\\n  ]'
try:
    plomet.analyze_json(b"{}")
except TypeError as error:
    assert str(error) == "argument 'input': 'bytes' object is not an instance of 'str'"
else:
    raise AssertionError("bytes accepted")
print(pathlib.Path(plomet._plomet.__file__).resolve())
"""

OUTLINE = ("import sys, plomet; "
           "print(plomet.analyze_json(open(sys.argv[1], encoding='utf-8').read(), sys.argv[2] == 'True'))")

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


def offline_route():
    """The README's offline install: the lines that build the wheel (run once,
    in the sources) and the lines that install it into a new environment."""
    block = next(body for body in re.findall(r"^```sh\n(.*?)^```", README, re.M | re.S) if " pip wheel " in body)
    lines = [line for line in block.splitlines() if line.strip() and not line.lstrip().startswith("#")]
    build = [line for line in lines if " pip wheel " in line]
    install = [line for line in lines if line not in build]
    return build, install


def interpreters():
    """Debian's python3, the python3 first on PATH, and every pyenv Python the
    wheel serves; one entry per interpreter: its path, its version and the
    suffix of its own extension modules."""
    candidates = ["/usr/bin/python3", shutil.which("python3")]
    candidates += sorted(
        (str(p / "bin" / "python3") for p in Path("/root/.pyenv/versions").glob("3.*")
         if p.name.split(".")[1].isdigit() and int(p.name.split(".")[1]) >= OLDEST_MINOR),
        key=lambda path: tuple(int(part) for part in Path(path).parents[1].name.split(".")[:2]),
    )
    found = {}
    for candidate in candidates:
        if not candidate or not os.access(candidate, os.X_OK):
            continue
        probe = subprocess.run(
            [candidate, "-c", "import sys, sysconfig, venv; print(sys.executable); "
             "print('%d.%d' % sys.version_info[:2]); print(sysconfig.get_config_var('EXT_SUFFIX'))"],
            env=CLEAN_ENVIRONMENT, capture_output=True, text=True,
        )
        if probe.returncode == 0:
            executable, version, suffix = probe.stdout.split()
            found.setdefault(os.path.realpath(executable), (candidate, version, suffix))
    return sorted(found.values())


def test_the_readme_gives_both_routes():
    build, install = offline_route()
    assert build == [f"{WHEEL_PYTHON} -m pip wheel --no-build-isolation --no-deps --wheel-dir dist ."]
    assert install[0] == "python3 -m venv .venv"
    assert any(line.startswith(".venv/bin/pip install ") for line in install)
    assert "python3 -m pip install ." in README


@pytest.fixture(scope="module")
def wheel(fresh_clone):
    build, _ = offline_route()
    for line in build:
        run(["bash", "-c", line], cwd=fresh_clone)
    return fresh_clone / "dist"


def test_wheel_is_one_abi3_package_with_its_stub_and_the_command(wheel):
    assert [p.name for p in wheel.iterdir()] == [WHEEL_NAME]
    with zipfile.ZipFile(wheel / WHEEL_NAME) as archive:
        names = archive.namelist()
        wheel_metadata = archive.read("plomet-0.1.0.dist-info/WHEEL").decode()
        stub = archive.read("plomet/__init__.pyi").decode()
        command = archive.read(COMMAND)
        command_mode = archive.getinfo(COMMAND).external_attr >> 16
    assert sorted(n for n in names if "dist-info" not in n) == sorted([COMMAND] + PACKAGE)
    assert f"Tag: cp3{OLDEST_MINOR}-abi3-linux_{platform.machine()}" in wheel_metadata.splitlines()
    assert "Root-Is-Purelib: false" in wheel_metadata.splitlines()
    assert STUB_SIGNATURE in stub.splitlines()
    assert command.startswith(b"\x7fELF") and command_mode & 0o111 == 0o111


@pytest.mark.parametrize("python, version, suffix", interpreters())
def test_offline_route_in_a_fresh_venv(python, version, suffix, wheel, fresh_clone, tmp_path):
    """The README's install lines run as written, with `python3` being the
    interpreter under test."""
    shims = tmp_path / "shims"
    shims.mkdir()
    (shims / "python3").symlink_to(python)
    work = tmp_path / "work"
    work.mkdir()
    (work / "dist").symlink_to(wheel)
    environment = {**CLEAN_ENVIRONMENT, "PATH": f"{shims}{os.pathsep}{CLEAN_ENVIRONMENT['PATH']}"}
    for line in offline_route()[1]:
        run(["bash", "-c", line], cwd=work, env=environment)
    venv = work / ".venv"
    assert "include-system-site-packages = false" in (venv / "pyvenv.cfg").read_text().splitlines()
    bin_dir = venv / "bin"

    installed = Path(run([str(bin_dir / "python"), "-c", SMOKE], cwd=tmp_path).strip())
    site_packages = venv / "lib" / f"python{version}" / "site-packages"
    # The wheel's interpreter and those of its ABI take the module built for
    # it; any other the stable-ABI module.
    loaded = NATIVE_MODULE if suffix == NATIVE_SUFFIX else "plomet/_plomet.abi3.so"
    assert installed == (site_packages / loaded).resolve()
    assert sorted(str(path.relative_to(site_packages)) for path in (site_packages / "plomet").iterdir()
                  if path.name != "__pycache__") == sorted(PACKAGE)

    assert run([str(bin_dir / "plomet"), "--help"]).startswith("usage: plomet ")
    sample = str(fresh_clone / "samples" / "orders.json")
    for arguments, show_examples in [([sample], True), (["--no-examples", sample], False)]:
        outline = run([str(bin_dir / "plomet"), *arguments])
        assert outline == run([str(bin_dir / "python"), "-c", OUTLINE, sample, str(show_examples)])
        assert outline.startswith("{\n  \"page\": ")
    check_stub_with_mypy(bin_dir / "python", tmp_path)


def check_stub_with_mypy(venv_python, work):
    """Debian's mypy finds the installed package's stub through the environment
    alone and flags the bad calls, each on its line."""
    mypy = shutil.which("mypy")
    assert mypy is not None, "mypy is missing: scripts/ensure-packages.sh installs it"
    for name, text in [("good.py", GOOD_CALLER), ("bad.py", BAD_CALLER)]:
        (work / name).write_text(text)
    # mypy 1.0 runs a helper script in the target interpreter with mypy's own
    # folder first on sys.path, where its types.py hides the standard module
    # that sysconfig imports from Python 3.12 on; PYTHONSAFEPATH keeps that
    # folder off sys.path.
    environment = {**CLEAN_ENVIRONMENT, "PYTHONSAFEPATH": "1"}
    environment.pop("MYPYPATH", None)
    result = subprocess.run(
        [mypy, "--no-incremental", "--strict", "--python-executable", str(venv_python), "good.py", "bad.py"],
        cwd=work, env=environment, capture_output=True, text=True,
    )
    assert result.returncode == 1, result.stdout + result.stderr
    errors = [line.split(":")[:2] for line in result.stdout.splitlines() if ": error:" in line]
    assert errors == [["bad.py", "3"], ["bad.py", "4"], ["bad.py", "4"], ["bad.py", "5"]], result.stdout
    assert re.search(r"site-packages/plomet/__init__\.pyi:\d+: note:", result.stdout), result.stdout


def test_pip_install_from_the_sources(fresh_clone, wheel, tmp_path):
    venv = tmp_path / "venv"
    # System site packages give the build its setuptools and wheel; the index
    # that `pip install .` would take them from is not reachable here.
    run([sys.executable, "-m", "venv", "--system-site-packages", str(venv)])
    venv_python = venv / "bin" / "python"
    run([str(venv_python), "-m", "pip", "install", "--no-build-isolation", "--no-index", "--no-deps", "."],
        cwd=fresh_clone)
    installed = Path(run([str(venv_python), "-c", SMOKE], cwd=tmp_path).strip())
    assert installed.parent.parent.name == "site-packages" and venv.resolve() in installed.parents
    assert (installed.parent / "__init__.pyi").is_file() and (installed.parent / "py.typed").is_file()
    assert run([str(venv / "bin" / "plomet"), "--help"]).startswith("usage: plomet ")
