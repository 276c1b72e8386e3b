"""Builds plomet with the project's CMake build and ships, in one stable-ABI
wheel:

- the package plomet (src/python/plomet): its Python files, the type stub
  of the extension's API (__init__.pyi) and py.typed, which tells type
  checkers such as mypy to read them (PEP 561);
- the extension module inside it, plomet/_plomet.abi3.so, which every
  CPython from 3.10 on loads, and beside it the same module built for the
  interpreter that builds the wheel (plomet/_plomet.<its SOABI>.so), which
  reads a str's own storage; that interpreter's import system prefers it;
- the plomet command (CMake target plomet_cli) as a script, which pip
  installs into the environment's bin/.

The wheel's tag follows the Py_LIMITED_API version that CMakeLists.txt sets
for the module, so that version is written in one place only."""
import os
import re
import shutil
import subprocess
import sys
import sysconfig
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext
# setuptools provides this distutils (imported after it), on every Python.
from distutils.command.build_scripts import build_scripts  # noqa: E402

ROOT = Path(__file__).resolve().parent
MODULE_FILE = "_plomet.abi3.so"
NATIVE_MODULE_FILE = "_plomet" + sysconfig.get_config_var("EXT_SUFFIX")
COMMAND_FILE = "plomet"


def limited_api_tag():
    """The wheel's Python tag, cp3N, for Py_LIMITED_API=0x030N0000 of plomet_module."""
    cmake = (ROOT / "CMakeLists.txt").read_text(encoding="utf-8")
    found = re.search(r"target_compile_definitions\(plomet_module PRIVATE Py_LIMITED_API=0x03([0-9A-Fa-f]{2})0000\)",
                      cmake)
    if found is None:
        raise RuntimeError("CMakeLists.txt sets no Py_LIMITED_API=0x030N0000 for plomet_module")
    return f"cp3{int(found.group(1), 16)}"


def cmake_build_dir(command):
    return Path(command.get_finalized_command("build_ext").build_temp).resolve() / "cmake"


class CMakeBuildExt(build_ext):
    """Runs CMake on the repository's CMakeLists.txt for the module and the
    command, and copies the module into the build's package."""

    def build_extension(self, ext):
        build_dir = cmake_build_dir(self)
        build_dir.mkdir(parents=True, exist_ok=True)
        # Every option is given, so a build folder left by an earlier run
        # with other options builds exactly this.
        subprocess.run(
            [
                "cmake", "-S", str(ROOT), "-B", str(build_dir),
                f"-DPython3_EXECUTABLE={sys.executable}",
                "-DCMAKE_BUILD_TYPE=Release",
                "-DPLOMET_BUILD_MODULE=ON",
                "-DPLOMET_BUILD_CLI=ON",
                "-DPLOMET_BUILD_TESTS=OFF",
                "-DPLOMET_BUILD_FUZZERS=OFF",
                "-DPLOMET_BUILD_BENCH=OFF",
                "-DPLOMET_SANITIZE=OFF",
                "-DPLOMET_WERROR=OFF",
            ],
            check=True,
        )
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL") or str(min(os.cpu_count() or 1, 2))
        subprocess.run(
            ["cmake", "--build", str(build_dir), "--target", "plomet_module", "plomet_module_native", "plomet_cli",
             "-j", jobs],
            check=True,
        )
        target = Path(self.get_ext_fullpath(ext.name))
        if target.name != MODULE_FILE:
            raise RuntimeError(f"setuptools expects {target.name}, CMake builds {MODULE_FILE}")
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(build_dir / "python" / "plomet" / MODULE_FILE, target)
        shutil.copyfile(build_dir / "python" / "plomet" / NATIVE_MODULE_FILE, target.with_name(NATIVE_MODULE_FILE))


class CommandBuildScripts(build_scripts):
    """Takes the plomet command that build_ext built as the one script, byte
    for byte (it is a native program, not a Python script)."""

    def run(self):
        self.run_command("build_ext")
        self.mkpath(self.build_dir)
        target = Path(self.build_dir) / COMMAND_FILE
        shutil.copyfile(cmake_build_dir(self) / COMMAND_FILE, target)
        os.chmod(target, 0o755)

    def get_source_files(self):
        return []  # built, not shipped in a source distribution

    def get_outputs(self):
        return [str(Path(self.build_dir) / COMMAND_FILE)]


setup(
    ext_modules=[Extension("plomet._plomet", sources=[], py_limited_api=True)],
    scripts=[COMMAND_FILE],
    cmdclass={"build_ext": CMakeBuildExt, "build_scripts": CommandBuildScripts},
    options={"bdist_wheel": {"py_limited_api": limited_api_tag()}},
    zip_safe=False,
)
