"""The cluster benchmark's harness on 20 MB (--quick): every contender runs
and the table holds a time and a peak memory for each, and each ratio."""
import os
import re
import subprocess
import sys

from jsonl_cases import COMMAND, ROOT


def test_quick_run_prints_every_contender_and_ratio(tmp_path):
    result = subprocess.run(
        [sys.executable, str(ROOT / "bench" / "clusters.py"), "--quick", "--build-dir", str(COMMAND.parent),
         "--data-dir", str(tmp_path)],
        capture_output=True, text=True, timeout=600, env={**os.environ, "PYSPARK_PYTHON": sys.executable})
    assert result.returncode == 0, result.stderr[-3000:]
    contenders = re.findall(r"^\| (.+?) \| (\d+\.\d\d) s \| (\d+) MiB \|$", result.stdout, re.M)
    assert len(contenders) == 6 and all(float(seconds) > 0 and int(mib) > 0 for _, seconds, mib in contenders)
    ratios = re.findall(r"^\| .+? \| (\d+\.\d\d) \| [≥≤] \d \| (PASS|MISS) \|$", result.stdout, re.M)
    assert len(ratios) == 3, result.stdout
