"""The README's set-up commands on a fresh clone: the sample command, then the
test command, then both again, so each runs after the other and after
itself. The test command runs here without its slow parts (the sanitizer
build, the Python tests and the fuzz targets); what matters is that each
command builds what it needs whatever ran before it."""
import os
import re
import subprocess
from pathlib import Path

import pytest

import plomet

pytestmark = pytest.mark.packaging

ROOT = Path(__file__).resolve().parents[2]
README = (ROOT / "README.md").read_text(encoding="utf-8")
SAMPLE_COMMAND = "scripts/run-sample.sh"
TEST_COMMAND = "scripts/run-tests.sh"
QUICK_TEST_COMMAND = {"PLOMET_SKIP_SANITIZER": "1", "PLOMET_SKIP_PYTHON": "1", "PLOMET_SKIP_FUZZ": "1"}


def readme_setup_commands():
    """The commands of the README's first shell block, in order."""
    block = re.search(r"^```sh\n(.*?)^```", README, re.M | re.S).group(1)
    return [line.split("#")[0].strip() for line in block.splitlines() if line.strip()]


def test_the_readme_gives_the_sample_command_then_the_test_command():
    commands = readme_setup_commands()
    assert commands[:2] == [SAMPLE_COMMAND, TEST_COMMAND]
    ci = (ROOT / ".ci" / "run").read_text(encoding="utf-8")
    assert f"exec {TEST_COMMAND}" in ci.splitlines()


def sample_output():
    text = (ROOT / "samples" / "orders.json").read_text(encoding="utf-8")
    return plomet.analyze_json(text) + "\n\n" + plomet.analyze_json(text, show_examples=False) + "\n"


def test_setup_commands_in_sequence_on_a_fresh_clone(fresh_clone):
    # The commands use only what they build: no PYTHONPATH from this run.
    environment = {k: v for k, v in os.environ.items() if k not in ("PYTHONPATH", "PLOMET_BUILD_DIR")}
    environment.update(QUICK_TEST_COMMAND)
    for command in [SAMPLE_COMMAND, TEST_COMMAND] * 2:
        result = subprocess.run([str(fresh_clone / command)], cwd=fresh_clone, env=environment,
                                capture_output=True, text=True)
        assert result.returncode == 0, f"{command}:\n{result.stdout[-3000:]}\n{result.stderr[-3000:]}"
        if command == SAMPLE_COMMAND:
            assert result.stdout == sample_output()
        else:
            assert re.search(r"^\[  PASSED  \] \d+ tests\.$", result.stdout, re.M), result.stdout[-3000:]
    # Each command has a tree of its own.
    assert (fresh_clone / "build" / "sample" / "python" / "plomet" / "_plomet.abi3.so").is_file()
    assert (fresh_clone / "build" / "release" / "plomet_tests").is_file()
