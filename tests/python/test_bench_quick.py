"""The benchmark harness in quick mode: it runs end to end against the built
module and prints a row for every document. Nothing here judges a timing."""
import os
import re
import subprocess
import sys

import pytest

import plomet

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
HARNESS = os.path.join(ROOT, "bench", "run_bench.py")
# The module lives in BUILD_DIR/python/.
BUILD_DIR = os.environ.get("PLOMET_BUILD_DIR") or os.path.dirname(
    os.path.dirname(os.path.abspath(plomet.__file__)))

VALID = [
    "twitter", "citm_catalog", "canada", "records_1MB", "records_0.1MB", "records_0.3MB",
    "ints_1k", "ints_10k", "strings_1k", "strings_10k",
    "objects_10x1k_keys", "objects_100x1k_keys", "distinct_keys_10x1k", "distinct_keys_100x1k",
    "deep_1024x100", "deep_1024x1k",
]
TRUNCATED = ["twitter@60%", "citm_catalog@60%", "canada@60%", "records_1MB@60%"]
NUMBER = re.compile(r"^\d+(\.\d+)?$")


def harness_shared_dir():
    if os.environ.get("PLOMET_SHARED_DIR"):
        return os.environ["PLOMET_SHARED_DIR"]
    cache = os.path.join(BUILD_DIR, "CMakeCache.txt")
    if os.path.exists(cache):
        with open(cache, encoding="utf-8") as lines:
            for line in lines:
                if line.startswith("PLOMET_SHARED_DIR:"):
                    return line.split("=", 1)[1].strip()
    return os.path.join(ROOT, "..", "shared")


@pytest.fixture(scope="module")
def quick_run(tmp_path_factory):
    if not os.path.exists(os.path.join(harness_shared_dir(), "corpora", "bench", "twitter.json")):
        pytest.skip("benchmark corpora not found; set PLOMET_SHARED_DIR")
    done = subprocess.run(
        [sys.executable, HARNESS, "--quick", "--build-dir", BUILD_DIR,
         "--data-dir", str(tmp_path_factory.mktemp("bench-data"))],
        capture_output=True, text=True, timeout=900)
    return done


def table_rows(stdout):
    """The first table's rows, by document name, as lists of cells."""
    rows = {}
    for line in stdout.split("\n"):
        if line.startswith("| scaling |"):
            break
        if line.startswith("| ") and not line.startswith("| document"):
            cells = [c.strip() for c in line.strip().strip("|").split("|")]
            rows[cells[0]] = cells
    return rows


def test_quick_mode_exits_zero(quick_run):
    assert quick_run.returncode == 0, quick_run.stdout[-3000:] + quick_run.stderr[-3000:]


def test_every_document_has_timed_plomet_cells(quick_run):
    rows = table_rows(quick_run.stdout)
    assert set(rows) == set(VALID + TRUNCATED)
    for name in VALID + TRUNCATED:
        size, false_ms, true_ms = rows[name][1:4]
        assert int(size) > 0, rows[name]
        assert NUMBER.match(false_ms) and NUMBER.match(true_ms), rows[name]


def test_truncated_documents_are_not_json_and_the_others_are(quick_run):
    rows = table_rows(quick_run.stdout)
    simdjson_built = os.access(os.path.join(BUILD_DIR, "bench", "simdjson_parse"), os.X_OK)
    for name in TRUNCATED:
        assert rows[name][4] == "not JSON", rows[name]
    for name in VALID:
        assert NUMBER.match(rows[name][4]), rows[name]
        if simdjson_built:
            assert NUMBER.match(rows[name][5]), rows[name]


def test_truncated_rows_are_cut_at_sixty_percent(quick_run):
    rows = table_rows(quick_run.stdout)
    for name in TRUNCATED:
        original = int(rows[name.split("@")[0]][1])
        # Cut back to a character boundary: at most 3 bytes short.
        assert 0 <= int(original * 0.6) - int(rows[name][1]) <= 3, (name, rows[name][1], original)


def test_footer_gives_a_verdict_for_every_target(quick_run):
    verdicts = re.findall(r"^\| .+ \| .* \| (PASS|MISS|n/a) \|$", quick_run.stdout, re.M)
    # 4 json.loads, 3 simdjson, 4 examples, 4 truncated, 1 scaling, 5 linearity, 2 memory.
    assert len(verdicts) == 23, quick_run.stdout
    simdjson_built = os.access(os.path.join(BUILD_DIR, "bench", "simdjson_parse"), os.X_OK)
    assert verdicts.count("n/a") == (0 if simdjson_built else 3), quick_run.stdout


def test_memory_rows_report_a_ratio(quick_run):
    memory = re.findall(r"^\| analyze\((False|True)\) \| \d+ \| \d+ \| \d+ \| (-?\d+\.\d+)× \|$",
                        quick_run.stdout, re.M)
    assert [flag for flag, _ in memory] == ["False", "True"], quick_run.stdout
