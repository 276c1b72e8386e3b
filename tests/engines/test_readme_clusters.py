"""The README's examples of plomet.spark and plomet.dask, run as written from
the repository's root: each `print(...)  # text` prints that text."""
import os
import re
import subprocess
import sys

from jsonl_cases import ROOT

README = (ROOT / "README.md").read_text(encoding="utf-8")
SECTION = README.split("\n## Clusters: Spark and Dask\n", 1)[1].split("\n## ", 1)[0]
BLOCKS = re.findall(r"^```python\n(.*?)^```", SECTION, re.M | re.S)


def test_each_engine_has_an_example():
    assert [("plomet.spark" in block, "plomet.dask" in block) for block in BLOCKS] == [(True, False), (False, True)]


def test_examples_print_what_they_say():
    environment = {**os.environ, "PYSPARK_PYTHON": sys.executable}
    for block in BLOCKS:
        expected = [match.group(1) for match in re.finditer(r"^\s*print\(.*\)  # (.+)$", block, re.M)]
        assert expected
        result = subprocess.run([sys.executable, "-c", block], cwd=ROOT, env=environment, capture_output=True,
                                text=True, timeout=300)
        assert result.returncode == 0, result.stderr[-3000:]
        printed = result.stdout.splitlines()
        assert [line for line in printed if line in expected] == expected, result.stdout
