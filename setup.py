"""Builds the plomet extension with the project's CMake build and ships it as
one top-level stable-ABI module, plomet.abi3.so, with its type stub."""
import os
import shutil
import subprocess
import sys
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = Path(__file__).resolve().parent
MODULE_FILE = "plomet.abi3.so"
STUB_FILE = "plomet.pyi"


class CMakeBuildExt(build_ext):
    """Runs CMake on the repository's CMakeLists.txt and copies its module output."""

    def build_extension(self, ext):
        build_dir = Path(self.build_temp).resolve() / "cmake"
        build_dir.mkdir(parents=True, exist_ok=True)
        subprocess.run(
            [
                "cmake", "-S", str(ROOT), "-B", str(build_dir),
                f"-DPython3_EXECUTABLE={sys.executable}",
                "-DCMAKE_BUILD_TYPE=Release",
                "-DPLOMET_BUILD_TESTS=OFF",
                "-DPLOMET_BUILD_MODULE=ON",
            ],
            check=True,
        )
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL") or str(min(os.cpu_count() or 1, 2))
        subprocess.run(
            ["cmake", "--build", str(build_dir), "--target", "plomet_module", "-j", jobs],
            check=True,
        )
        target = Path(self.get_ext_fullpath(ext.name))
        if target.name != MODULE_FILE:
            raise RuntimeError(f"setuptools expects {target.name}, CMake builds {MODULE_FILE}")
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(build_dir / "python" / MODULE_FILE, target)
        shutil.copyfile(build_dir / "python" / STUB_FILE, target.with_name(STUB_FILE))

    def get_outputs(self):
        outputs = super().get_outputs()
        return outputs + [str(Path(path).with_name(STUB_FILE)) for path in outputs]


setup(
    ext_modules=[Extension("plomet", sources=[], py_limited_api=True)],
    cmdclass={"build_ext": CMakeBuildExt},
    options={"bdist_wheel": {"py_limited_api": "cp39"}},
    zip_safe=False,
)
