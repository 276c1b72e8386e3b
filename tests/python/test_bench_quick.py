"""The benchmark harness in quick mode: it runs end to end against the built
module and prints a row for every document; its verdicts compare figures with
the targets' thresholds the way each target says. Nothing here judges a
timing."""
import collections
import math
import os
import re
import subprocess
import sys
from types import SimpleNamespace

import pytest

import plomet

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
HARNESS = os.path.join(ROOT, "bench", "run_bench.py")
sys.path.insert(0, os.path.join(ROOT, "bench"))
import measure  # noqa: E402
import plan  # noqa: E402
import report  # noqa: E402
import runner  # noqa: E402

# The package lives in BUILD_DIR/python/plomet/.
BUILD_DIR = os.environ.get("PLOMET_BUILD_DIR") or os.path.dirname(
    os.path.dirname(os.path.dirname(os.path.abspath(plomet.__file__))))

TARGET_DOCS = ["twitter", "citm_catalog", "canada", "records_0.1MB",
               "seq_ints_10k", "floats_10k", "short_strings_10k", "tiny_objects_10k"]
TRUNCATED = ["twitter@60%", "citm_catalog@60%", "canada@60%", "records_0.1MB@60%"]
SCALING = ["records_0.01MB", "records_0.1MB", "records_1MB"]
ADVERSARIAL = [
    "ints_1k", "ints_10k", "strings_1k", "strings_10k",
    "objects_10x1k_keys", "objects_100x1k_keys", "distinct_keys_10x1k", "distinct_keys_100x1k",
    "deep_1024x100", "deep_1024x1k",
]
NUMBER = re.compile(r"^\d+(\.\d+)?$")
RATIO = re.compile(r"^\d+\.\d\d×$")


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


def built(program):
    """Whether the build has the C++ loop program (simdjson_parse needs
    libsimdjson-dev, both need PLOMET_BUILD_BENCH)."""
    return os.access(os.path.join(BUILD_DIR, "bench", program), os.X_OK)


@pytest.fixture(scope="module")
def quick_run(tmp_path_factory):
    if not os.path.exists(os.path.join(harness_shared_dir(), "corpora", "bench", "twitter.json")):
        pytest.skip("benchmark corpora not found; set PLOMET_SHARED_DIR")
    done = subprocess.run(
        [sys.executable, HARNESS, "--quick", "--build-dir", BUILD_DIR,
         "--data-dir", str(tmp_path_factory.mktemp("bench-data"))],
        capture_output=True, text=True, timeout=900)
    return done


def tables(stdout):
    """The tables, each as {first cell: cells}, by the first cell of the
    header; of two tables with the same header cell, the first."""
    found, rows = {}, None
    for line in stdout.split("\n"):
        if not line.startswith("|"):
            rows = None
            continue
        cells = [c.strip() for c in line.strip().strip("|").split("|")]
        if rows is None:
            rows = {}
            found.setdefault(cells[0], rows)
        elif not line.startswith("|---"):
            rows[cells[0]] = cells
    return found


def test_quick_mode_exits_zero(quick_run):
    assert quick_run.returncode == 0, quick_run.stdout[-3000:] + quick_run.stderr[-3000:]


def test_warm_table_times_every_contender_on_every_document(quick_run):
    rows = tables(quick_run.stdout)["document"]
    assert list(rows) == TARGET_DOCS + TRUNCATED + ADVERSARIAL
    for name, cells in rows.items():
        size, false_ms, true_ms, loads_ms = cells[1:5]
        assert int(size) > 0 and NUMBER.match(false_ms) and NUMBER.match(true_ms), cells
        assert loads_ms == "not JSON" if name in TRUNCATED else NUMBER.match(loads_ms), cells


def test_scaling_table_times_every_records_size(quick_run):
    rows = tables(quick_run.stdout)["scaling"]
    assert list(rows) == SCALING
    sizes = [int(rows[name][1]) for name in SCALING]
    assert sizes[0] < sizes[1] < sizes[2], rows
    assert all(NUMBER.match(rows[name][2]) for name in SCALING), rows


def test_fresh_table_times_the_target_documents(quick_run):
    # The second table headed "document" is the fresh one.
    fresh = quick_run.stdout.split("Fresh process:", 1)[1]
    rows = tables(fresh)["document"]
    assert list(rows) == TARGET_DOCS + TRUNCATED
    for name, cells in rows.items():
        timed = cells[2:3] if name in TRUNCATED else cells[2:5]
        assert all(NUMBER.match(c) for c in timed), cells
        if name not in TRUNCATED:
            assert all(RATIO.match(c) for c in cells[5:8]), cells


def test_truncated_rows_are_cut_at_sixty_percent(quick_run):
    rows = tables(quick_run.stdout)["document"]
    for name in TRUNCATED:
        original = int(rows[name.split("@")[0]][1])
        # Cut back to a character boundary: at most 3 bytes short.
        assert 0 <= int(original * 0.6) - int(rows[name][1]) <= 3, (name, rows[name][1], original)


def test_cpp_loop_times_both_programs_on_the_corpora(quick_run):
    rows = tables(quick_run.stdout)["C++ loop"]
    assert list(rows) == ["twitter", "citm_catalog", "canada"]
    for cells in rows.values():
        if built("analyze_loop"):
            assert NUMBER.match(cells[3]) and NUMBER.match(cells[4]), cells
        if built("simdjson_parse"):
            assert NUMBER.match(cells[2]), cells
        if built("analyze_loop") and built("simdjson_parse"):
            assert RATIO.match(cells[5]) and RATIO.match(cells[6]), cells


def test_memory_rows_cover_every_target_document(quick_run):
    rows = tables(quick_run.stdout)["memory"]
    assert list(rows) == TARGET_DOCS + TRUNCATED + [SCALING[0], SCALING[2]]
    for cells in rows.values():
        assert re.match(r"^-?\d+\.\d\d×$", cells[4]) and re.match(r"^-?\d+\.\d\d×$", cells[6]), cells
    # Every value of an array of distinct values is printed; a million equal
    # objects print one.
    for name in ("seq_ints_10k", "floats_10k", "short_strings_10k"):
        assert rows[name][7] == "10000", rows[name]
    assert rows["tiny_objects_10k"][7] == "1", rows["tiny_objects_10k"]


def test_footer_gives_a_verdict_for_every_target(quick_run):
    verdicts = re.findall(r"^\| .+ \| .* \| (PASS|MISS|n/a) \|$", quick_run.stdout, re.M)
    # Warm and fresh: 8 json.loads ÷ False, 3 json.loads ÷ True, 5 True ÷ False,
    # 4 truncated; 6 C++ loop, 1 scaling, 2 × 14 memory, 5 linearity guards.
    assert len(verdicts) == 2 * (8 + 3 + 5 + 4) + 6 + 1 + 2 * 14 + 5, quick_run.stdout
    both_built = built("analyze_loop") and built("simdjson_parse")
    assert verdicts.count("n/a") == (0 if both_built else 6), quick_run.stdout
    summary = re.search(r"^Targets of issue 11: (\d+) PASS, (\d+) MISS, (\d+) not measured, "
                        r"of 75\.$", quick_run.stdout, re.M)
    assert summary and sum(map(int, summary.groups())) == 75, quick_run.stdout[-500:]


def quick_plan():
    return plan.Plan(True, harness_shared_dir(), "unused", 0, False)


def test_every_target_of_the_plan_gets_one_verdict(quick_run):
    verdict_table = quick_run.stdout.split("| target | measured | verdict |", 1)[1]
    reported = re.findall(r"^\| (.+) \| .* \| (?:PASS|MISS|n/a) \|$", verdict_table, re.M)
    expected = [report.label(target, doc, mode) for target, doc, mode in quick_plan().targets()]
    assert collections.Counter(reported) == collections.Counter(expected)
    assert len(set(reported)) == len(reported)


def test_only_keeps_its_groups_and_the_documents_truncated_ones_are_compared_with():
    kept = quick_plan()
    kept.keep_only(["truncated"])
    assert [d.name for d in kept.docs] == TARGET_DOCS[:4] + TRUNCATED
    kept = quick_plan()
    kept.keep_only(["arrays", "tiny"])
    assert [d.name for d in kept.docs] == TARGET_DOCS[4:]


@pytest.mark.parametrize("quick", [True, False])
def test_every_row_of_the_targets_holds_for_some_document(quick):
    docs = plan.Plan(quick, harness_shared_dir(), "unused", 0, False).docs
    idle = [target.measure for target in plan.TARGETS if not any(d.meets(target) for d in docs)]
    assert not idle
    assert all(target.figure in report.FIGURES and target.vs in report.COMPARISONS
               for target in plan.TARGETS)


@pytest.mark.parametrize("vs, threshold, value, verdict", [
    ("≥", 4.0, 4.0, "PASS"),
    ("≥", 4.0, 3.99, "MISS"),
    ("≥", 4.0, 40.0, "PASS"),
    ("≤", 1.3, 1.3, "PASS"),
    ("≤", 1.3, 1.31, "MISS"),
    ("≤", 1.3, 0.2, "PASS"),
    ("≤", 1.5, math.inf, "MISS"),
    ("≥", 4.0, None, "n/a"),
    ("≤", None, 1.0, "n/a"),
])
def test_verdict_compares_the_way_the_target_says(vs, threshold, value, verdict):
    assert report.verdict(vs, threshold, value) == verdict


def report_of(results=(), memory=None):
    run = SimpleNamespace(args=SimpleNamespace(quick=True), plan=quick_plan(), cpp={},
                          results={result.doc.name: result for result in results},
                          memory=memory or {})
    return report.Report(run)


def doc_named(name):
    return next(doc for doc in quick_plan().docs if doc.name == name)


def target_reading(figure):
    return next(target for target in plan.TARGETS if target.figure == figure)


# 100 kB of input, 1,000 examples: 32 B each allow 0.32 × input beyond 1.5 ×.
@pytest.mark.parametrize("beyond_kib, examples, measured, verdict", [
    (100, 1000, "1.02× of 1.82×", "PASS"),
    (177.734375, 1000, "1.82× of 1.82×", "PASS"),
    (200, 1000, "2.05× of 1.82×", "MISS"),
    (200, 0, "2.05× of 1.50×", "MISS"),
    (None, 1000, "—", "n/a"),
])
def test_memory_with_examples_is_allowed_bytes_per_example_printed(beyond_kib, examples, measured,
                                                                   verdict):
    doc = doc_named("records_0.1MB")
    event = ({"status": "timeout", "detail": "stopped"} if beyond_kib is None else
             {"status": "ok", "bytes": 100_000, "baseline_kib": 1000,
              "peak_kib": 1000 + beyond_kib, "examples": examples})
    row = report_of(memory={(doc.name, "plomet_true"): event}).verdict_row(
        target_reading("True ÷ input"), doc, None)
    assert row.split(" | ")[-2:] == [measured, verdict + " |"]


def timed(doc, seconds, status="ok", started=()):
    """A warm result of doc: its size, and seconds for analyze(False)."""
    samples = {} if seconds is None else {"plomet_false": [seconds]}
    return runner.Result(doc, bytes=1000 * (10 if doc.smaller else 1), samples=samples,
                         status=status, started=list(started))


# The small document takes 1 ms for 1,000 bytes; the large one has 10,000.
@pytest.mark.parametrize("large_seconds, status, measured, verdict", [
    (0.010, "ok", "1.00×", "PASS"),
    (0.015, "ok", "1.50×", "PASS"),
    (0.020, "ok", "2.00×", "MISS"),
    (None, "timeout", "timeout", "MISS"),
    (None, "crash", "—", "n/a"),
])
def test_guard_reads_the_growth_of_time_per_byte(large_seconds, status, measured, verdict):
    large = doc_named("ints_10k")
    small = doc_named(large.smaller)
    results = [timed(small, 0.001), timed(large, large_seconds, status, ["plomet_false"])]
    row = report_of(results).verdict_row(target_reading("per-byte growth"), large, None)
    assert row.split(" | ")[-2:] == [measured, verdict + " |"]


@pytest.mark.parametrize("text, printed", [
    ('{"a": [1, 2', 2),
    ('{"id": 7, "name": "text", "list": ["x", "y", "x"], '
     '"users": [{"a": 1, "b": true}, {"a": 2}]}', 6),
    ("[true, false]", 0),
    ('{"f": false, "n": null, "e": [], "o": {}}', 1),
    ('{"k\\"ey": -1.5, "s?": ["a, b", "c"]}', 3),
    ('{"k": [[1, 2], [3]]}', 2),
    ('[{"a": 1}, {"a": 2.5}]', 0),
    ('"x"', 1),
    ('{"x": ["1", "2"], "y": "z"}', 3),
])
def test_examples_are_counted_from_the_outline(text, printed):
    assert measure.count_examples(plomet.analyze_json(text, True)) == printed
    assert measure.count_examples(plomet.analyze_json(text, False)) == 0


MANY_DOCUMENTS_MEASURES = 12


@pytest.mark.skipif(not os.access(os.path.join(BUILD_DIR, "plomet"), os.X_OK), reason="command not built")
def test_many_documents_harness_gives_a_verdict_for_every_measure(tmp_path):
    if not os.path.exists(os.path.join(harness_shared_dir(), "corpora", "bench", "twitter.json")):
        pytest.skip("benchmark corpora not found; set PLOMET_SHARED_DIR")
    done = subprocess.run(
        [sys.executable, os.path.join(ROOT, "bench", "many_documents.py"), "--quick", "--build-dir", BUILD_DIR,
         "--shared-dir", harness_shared_dir(), "--data-dir", str(tmp_path)],
        capture_output=True, text=True, timeout=600)
    assert done.returncode == 0, done.stderr[-3000:]
    rows = tables(done.stdout)["measure"]
    assert len(rows) == MANY_DOCUMENTS_MEASURES
    for cells in rows.values():
        assert cells[3] in ("PASS", "MISS") and NUMBER.match(cells[1].split()[0].rstrip("×")), cells


def test_memory_kept_harness_gives_a_verdict_for_both_targets():
    done = subprocess.run([sys.executable, os.path.join(ROOT, "bench", "memory_kept.py"), "--quick",
                           "--build-dir", BUILD_DIR], capture_output=True, text=True, timeout=600)
    assert done.returncode == 0, done.stderr[-3000:]
    found = tables(done.stdout)
    assert set(found["contender"]) == {"plomet.analyze_json", "json.loads"}
    targets = found["target"]
    assert len(targets) == 2
    for cells in targets.values():
        assert cells[2] in ("PASS", "MISS") and NUMBER.match(cells[1].split()[0]), cells
