"""Shared pytest set-up: the packaging marker and its opt-out, and a copy of
the sources as a fresh clone has them."""
import os
import shutil
import subprocess
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]


def pytest_configure(config):
    config.addinivalue_line(
        "markers",
        "packaging: builds and installs the wheel, or runs the set-up commands on a fresh clone (slow); "
        "skipped when PLOMET_SKIP_PACKAGING=1",
    )


def pytest_collection_modifyitems(config, items):
    if os.environ.get("PLOMET_SKIP_PACKAGING") != "1":
        return
    skip = pytest.mark.skip(reason="PLOMET_SKIP_PACKAGING=1")
    for item in items:
        if "packaging" in item.keywords:
            item.add_marker(skip)


@pytest.fixture(scope="module")
def fresh_clone(tmp_path_factory):
    """The working tree's files as a fresh clone has them (the committed ones
    and those not committed yet, without build trees or other ignored
    files), in a folder beside a link to the shared corpora, as the
    repository sits beside them."""
    listed = subprocess.run(
        ["git", "ls-files", "-z", "--cached", "--others", "--exclude-standard"],
        cwd=ROOT, capture_output=True,
    )
    if listed.returncode != 0:
        pytest.skip("the sources are not a git checkout")
    parent = tmp_path_factory.mktemp("clone")
    shared = ROOT.parent / "shared"
    if shared.is_dir():
        (parent / "shared").symlink_to(shared.resolve())
    clone = parent / "plomet"
    for name in listed.stdout.decode().split("\0"):
        if name and (ROOT / name).is_file():
            (clone / name).parent.mkdir(parents=True, exist_ok=True)
            shutil.copy2(ROOT / name, clone / name)
    return clone
