"""The source folders keep to the layering their READMEs state, and the
README's Layout walks every one of them."""
import pathlib
import re

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]
README = (ROOT / "README.md").read_text(encoding="utf-8")


CORE_FOLDERS = ("core", "text", "document", "read", "repair", "shape", "output")


def allowed_includes(folder: str) -> set[str]:
    """The folders a source folder may include, as its README states them."""
    readme = (ROOT / "src" / folder / "README.md").read_text()
    line = next(line for line in readme.splitlines() if line.startswith("May include:"))
    allowed = {name.strip("/") for name in re.findall(r"`([a-z_]+)/`", line)}
    if "any folder of the core" in line:
        allowed |= set(CORE_FOLDERS)
    return allowed | {folder}


@pytest.mark.parametrize("folder", CORE_FOLDERS + ("cli", "module"))
def test_sources_include_only_the_folders_their_readme_allows(folder):
    allowed = allowed_includes(folder)
    strays = []
    for path in sorted((ROOT / "src" / folder).glob("*.[ch]*")):
        for included in re.findall(r'^#include "([a-z_]+)/', path.read_text(), re.M):
            if included not in allowed:
                strays.append(f"{path.name} includes {included}/")
    assert not strays, f"src/{folder} may include {sorted(allowed)}: {strays}"


def test_layout_names_every_source_folder():
    layout = README.split("## Layout", 1)[1].split("\n## ", 1)[0]
    folders = sorted(p.name for p in (ROOT / "src").iterdir() if p.is_dir())
    missing = [name for name in folders if f"`src/{name}/" not in layout]
    assert not missing, f"the README's Layout leaves out {missing}"
