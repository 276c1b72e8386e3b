#!/usr/bin/env python3
"""Benchmarks plomet.analyze_json against json.loads and simdjson's DOM parser.

Prints a Markdown table: one row per document with its size, the median time
of analyze_json(text, False), analyze_json(text, True), json.loads(text) and a
simdjson parse of the same bytes, and their ratios; then the scaling check, the
linearity check of the adversarial documents, the peak memory of one call, and
PASS/MISS for every target. Each document is timed in a fresh process; all
contenders run in the same process, interleaved, round after round.

Timings describe this machine only; they are not tests. --quick runs small
sizes once each, so CI can check that the harness still works.
"""
import argparse
import json
import os
import platform
import selectors
import statistics
import subprocess
import sys
import time
from dataclasses import dataclass, field

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, HERE)
import documents  # noqa: E402

CORPORA = ("twitter", "citm_catalog", "canada")
TRUNCATE_AT = 0.6
CONTENDERS = ("plomet_false", "plomet_true", "json_loads", "simdjson")

# Targets.
LOADS_SPEEDUP = {"twitter": 3.0, "citm_catalog": 3.0, "canada": 5.0, "records": 3.0}
SIMDJSON_FACTOR = 4.0
EXAMPLES_FACTOR = 1.3
TRUNCATED_SPEED = 1 / 3
SCALING_SPREAD = 0.15
# Ten times the input may cost at most 15 times the time; quadratic work costs 100.
LINEAR_PER_BYTE = 1.5
MEMORY_FACTOR = 3.0


@dataclass
class Doc:
    name: str
    group: str  # corpus, records, truncated, scaling, adversarial
    path: str = ""
    truncate: float = None
    original: str = None  # truncated: the document it was cut from
    smaller: str = None  # adversarial: the name of its 10x smaller version
    missing: str = None  # why the document is not there


@dataclass
class Result:
    doc: Doc
    bytes: int = None
    samples: dict = field(default_factory=dict)
    started: list = field(default_factory=list)
    firsts: dict = field(default_factory=dict)
    errors: dict = field(default_factory=dict)
    status: str = "ok"  # ok, timeout, crash, missing
    detail: str = ""
    wall: float = 0.0

    def median(self, contender):
        values = self.samples.get(contender)
        return statistics.median(values) if values else None

    def ratio(self, a, b):
        """The median over rounds of a's time over b's, both taken in the same
        round, so that a slow spell of the machine affects both alike."""
        first, second = self.samples.get(a, []), self.samples.get(b, [])
        pairs = list(zip(first, second))
        return statistics.median(x / y for x, y in pairs) if pairs else None


def count_label(n):
    for unit, size in (("M", 1_000_000), ("k", 1_000)):
        if n >= size and n % size == 0:
            return f"{n // size}{unit}"
    return str(n)


def mb_label(n):
    return f"{n / 1e6:g}MB"


class Plan:
    """The documents of one run, in timing order, and the settings."""

    def __init__(self, quick, shared_dir, data_dir, seed):
        self.quick = quick
        self.seed = seed
        self.data_dir = data_dir
        self.docs = []
        scale = 0.01 if quick else 1.0
        records_bytes = 1_000_000 if quick else 100_000_000
        self.records_name = "records_" + mb_label(records_bytes)
        self.scaling = [records_bytes // 10, records_bytes * 3 // 10, records_bytes]

        for name in CORPORA:
            path = os.path.join(shared_dir, "corpora", "bench", name + ".json")
            self.docs.append(Doc(name, "corpus", path,
                                 missing=None if os.path.exists(path) else f"not found: {path}"))
        self.docs.append(Doc(self.records_name, "records",
                             lambda: self.records_file(records_bytes)))
        for original in list(self.docs):
            self.docs.append(Doc(f"{original.name}@{int(TRUNCATE_AT * 100)}%", "truncated",
                                 original.path, TRUNCATE_AT, original=original.name,
                                 missing=original.missing))
        for size in self.scaling[:-1]:
            self.docs.append(Doc("records_" + mb_label(size), "scaling",
                                 lambda size=size: self.records_file(size)))

        adversarial = [
            ("ints", lambda n: documents.distinct_integers_chunks(n), 1_000_000),
            ("strings", lambda n: documents.distinct_strings_chunks(n), 1_000_000),
            ("objects", lambda n: documents.wide_objects_chunks(n, 1000, False), 10_000),
            ("distinct_keys", lambda n: documents.wide_objects_chunks(n, 1000, True), 10_000),
            ("deep", lambda n: documents.deep_nesting_chunks(1024, n), 100_000),
        ]
        labels = {"ints": "ints_{}", "strings": "strings_{}", "objects": "objects_{}x1k_keys",
                  "distinct_keys": "distinct_keys_{}x1k", "deep": "deep_1024x{}"}
        for kind, chunks, full in adversarial:
            large = int(full * scale)
            small = large // 10
            names = [labels[kind].format(count_label(n)) for n in (small, large)]
            for n, name in zip((small, large), names):
                path = (lambda kind=kind, n=n, chunks=chunks:
                        self.cached(f"{kind}-{n}.json", chunks(n)))
                self.docs.append(Doc(name, "adversarial", path,
                                     smaller=names[0] if name == names[1] else None))

    def cached(self, name, chunks):
        return documents.write_cached(
            self.data_dir, f"v{documents.GENERATOR_VERSION}-{name}", chunks)

    def records_file(self, size):
        return self.cached(f"records-s{self.seed}-{size}.json",
                           documents.realistic_chunks(size, self.seed))

    def by_name(self, name):
        return next(d for d in self.docs if d.name == name)


def run_child(command, timeout, on_event):
    """Runs one measuring process, handing each JSON line it prints to
    on_event. Returns (status, detail, wall seconds)."""
    start = time.monotonic()
    child = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    selector = selectors.DefaultSelector()
    selector.register(child.stdout, selectors.EVENT_READ)
    selector.register(child.stderr, selectors.EVENT_READ)
    buffer, stderr = b"", b""
    status, detail = "ok", ""
    open_streams = 2
    while open_streams:
        left = timeout - (time.monotonic() - start)
        if left <= 0:
            child.kill()
            status, detail = "timeout", f"stopped after {timeout:.0f} s"
            break
        for key, _ in selector.select(min(left, 1.0)):
            chunk = os.read(key.fd, 65536)
            if not chunk:
                selector.unregister(key.fileobj)
                open_streams -= 1
            elif key.fileobj is child.stderr:
                stderr = (stderr + chunk)[-4000:]
            else:
                buffer += chunk
                *lines, buffer = buffer.split(b"\n")
                for line in lines:
                    if line.startswith(b"{"):
                        on_event(json.loads(line))
    selector.close()
    _, wait_status, usage = os.wait4(child.pid, 0)
    stderr = stderr.decode(errors="replace").strip()
    child.stdout.close()
    child.stderr.close()
    code = os.waitstatus_to_exitcode(wait_status)
    if status == "ok" and code != 0:
        status, detail = "crash", f"exit {code}: {stderr[-500:]}"
    return status, detail, time.monotonic() - start, usage


class Bench:
    def __init__(self, args):
        self.args = args
        self.python = sys.executable
        self.module_dir = os.path.join(args.build_dir, "python")
        program = os.path.join(args.build_dir, "bench", "simdjson_parse")
        self.simdjson = program if os.access(program, os.X_OK) else None
        self.plan = Plan(args.quick, args.shared_dir, args.data_dir, args.seed)
        self.results = {}
        self.memory = {}

    def log(self, message):
        print(message, file=sys.stderr, flush=True)

    def child_command(self, doc, *extra):
        command = [self.python, os.path.join(HERE, "measure.py"), "--doc", doc.path,
                   "--module-dir", self.module_dir, *extra]
        if doc.truncate is not None:
            command += ["--truncate", str(doc.truncate)]
        return command

    def repeats_for(self, size):
        if self.args.repeats:
            return self.args.repeats
        if self.args.quick:
            return 1
        return 11 if size < 10_000_000 else 5

    def time_doc(self, doc, timeout):
        result = Result(doc)
        self.results[doc.name] = result
        if doc.missing:
            result.status, result.detail = "missing", doc.missing
            return result
        size = os.path.getsize(doc.path)
        contenders = list(CONTENDERS)
        if not self.simdjson:
            contenders.remove("simdjson")
        extra = ["--contenders", ",".join(contenders),
                 "--repeats", str(self.repeats_for(size)),
                 "--min-time", "0" if self.args.quick else str(self.args.min_time)]
        if self.simdjson:
            extra += ["--simdjson", self.simdjson]

        def on_event(event):
            kind = event["event"]
            if kind == "loaded":
                result.bytes = event["bytes"]
            elif kind == "start":
                result.started.append(event["contender"])
            elif kind == "first":
                result.firsts[event["contender"]] = event["seconds"]
            elif kind == "sample":
                result.samples.setdefault(event["contender"], []).append(event["seconds"])
            elif kind == "error":
                result.errors[event["contender"]] = f'{event["kind"]}: {event["message"]}'

        result.status, result.detail, result.wall, _ = run_child(
            self.child_command(doc, *extra), timeout, on_event)
        return result

    def run(self):
        self.log(f"plomet module from {self.module_dir}; simdjson program: "
                 f"{self.simdjson or 'not built (configure with -DPLOMET_BUILD_BENCH=ON)'}")
        for doc in self.plan.docs:
            if callable(doc.path):
                started = time.monotonic()
                doc.path = doc.path()
                took = time.monotonic() - started
                if took > 1:
                    self.log(f"generated {os.path.basename(doc.path)} in {took:.1f} s")
        for doc in self.plan.docs:
            timeout = self.args.timeout
            if doc.smaller:
                # Linear work takes about ten times the smaller document's time.
                smaller = self.results[doc.smaller]
                timeout = min(timeout, max(self.args.linear_timeout_floor, 30 * smaller.wall))
            result = self.time_doc(doc, timeout)
            self.log(f"timed {doc.name}: {result.status} in {result.wall:.1f} s"
                     + (f" ({result.detail})" if result.detail else ""))
        records = self.plan.by_name(self.plan.records_name)
        for contender in ("plomet_false", "plomet_true"):
            self.memory[contender] = self.measure_memory(records, contender)
            self.log(f"measured memory of {contender}")

    def measure_memory(self, doc, contender):
        events = []
        status, detail, _, usage = run_child(
            self.child_command(doc, "--memory", contender), self.args.timeout, events.append)
        if status != "ok" or not events:
            return {"status": status, "detail": detail}
        event = events[-1]
        if not event["peak_reset"]:
            # Without a resettable peak, the child's lifetime peak stands in;
            # it may include the transient of loading the text.
            event["peak_kib"] = usage.ru_maxrss
        event["status"] = "ok"
        return event


# ----------------------------------------------------------------- reporting

def ms(seconds):
    if seconds is None:
        return "—"
    value = seconds * 1e3
    if value < 10:
        return f"{value:.2f}"
    if value < 100:
        return f"{value:.1f}"
    return f"{value:.0f}"


def ratio(a, b):
    return a / b if a is not None and b else None


def times(value):
    return "—" if value is None else f"{value:.2f}×"


def cell(result, contender):
    if contender in result.errors:
        return "not JSON" if contender in ("json_loads", "simdjson") else "ERROR"
    median = result.median(contender)
    if median is None and result.status in ("timeout", "crash"):
        if stopped_in(result, contender):
            return f"> {result.wall:.0f} s" if result.status == "timeout" else "crash"
        return "not run"
    return ms(median)


def stopped_in(result, contender):
    """Whether contender's first call was running when the measuring process
    was stopped or died."""
    return (result.status in ("timeout", "crash") and bool(result.started)
            and result.started[-1] == contender and contender not in result.firsts)


class Report:
    def __init__(self, bench):
        self.bench = bench
        self.results = bench.results
        self.lines = []
        self.targets = []
        self.faults = []

    def out(self, line=""):
        self.lines.append(line)

    def target(self, label, value_text, ok):
        verdict = "n/a" if ok is None else ("PASS" if ok else "MISS")
        self.targets.append(f"| {label} | {value_text} | {verdict} |")

    def main_table(self):
        self.out("| document | bytes | analyze(False) ms | analyze(True) ms | json.loads ms "
                 "| simdjson ms | loads ÷ False | False ÷ simdjson | True ÷ False | False MB/s |")
        self.out("|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|")
        for result in self.results.values():
            name = result.doc.name
            if result.status == "missing":
                self.out(f"| {name} | missing | | | | | | | | |")
                continue
            f = result.median("plomet_false")
            speed = f"{result.bytes / f / 1e6:.0f}" if f and result.bytes else "—"
            self.out(f"| {name} | {result.bytes or '—'} | {cell(result, 'plomet_false')} "
                     f"| {cell(result, 'plomet_true')} | {cell(result, 'json_loads')} "
                     f"| {cell(result, 'simdjson')} "
                     f"| {times(result.ratio('json_loads', 'plomet_false'))} "
                     f"| {times(result.ratio('plomet_false', 'simdjson'))} "
                     f"| {times(result.ratio('plomet_true', 'plomet_false'))} | {speed} |")
            for contender in ("plomet_false", "plomet_true"):
                if contender in result.errors:
                    self.faults.append(f"{name}: {contender}: {result.errors[contender]}")
            if result.status == "crash":
                self.faults.append(f"{name}: measuring process failed: {result.detail}")

    def speed_targets(self):
        plan = self.bench.plan
        for name, factor in LOADS_SPEEDUP.items():
            doc_name = plan.records_name if name == "records" else name
            result = self.results[doc_name]
            value = result.ratio("json_loads", "plomet_false")
            self.target(f"{doc_name}: analyze(False) ≥ {factor:g}× faster than json.loads",
                        times(value), None if value is None else value >= factor)
        for name in CORPORA:
            result = self.results[name]
            value = result.ratio("plomet_false", "simdjson")
            self.target(f"{name}: analyze(False) within {SIMDJSON_FACTOR:g}× of simdjson",
                        times(value), None if value is None else value <= SIMDJSON_FACTOR)
        for name in (*CORPORA, plan.records_name):
            result = self.results[name]
            value = result.ratio("plomet_true", "plomet_false")
            self.target(f"{name}: analyze(True) ≤ {EXAMPLES_FACTOR:g}× analyze(False)",
                        times(value), None if value is None else value <= EXAMPLES_FACTOR)
        for result in self.results.values():
            doc = result.doc
            if doc.group != "truncated":
                continue
            original = self.results[doc.original]
            speeds = []
            for r in (result, original):
                f = r.median("plomet_false")
                speeds.append(r.bytes / f if f and r.bytes else None)
            value = ratio(speeds[0], speeds[1])
            self.target(f"{doc.name}: speed (bytes/s, False) ≥ 1/3 of {doc.original}'s",
                        times(value), None if value is None else value >= TRUNCATED_SPEED)

    def scaling(self):
        plan = self.bench.plan
        names = ["records_" + mb_label(size) for size in plan.scaling]
        self.out("| scaling | bytes | analyze(False) ns/byte | analyze(True) ns/byte "
                 "| json.loads ns/byte |")
        self.out("|---|---:|---:|---:|---:|")
        per_byte = {"plomet_false": [], "plomet_true": []}
        for name in names:
            result = self.results[name]
            row = []
            for contender in ("plomet_false", "plomet_true", "json_loads"):
                median = result.median(contender)
                value = median / result.bytes * 1e9 if median and result.bytes else None
                row.append("—" if value is None else f"{value:.2f}")
                if contender in per_byte:
                    per_byte[contender].append(value)
            self.out(f"| {name} | {result.bytes or '—'} | " + " | ".join(row) + " |")
        values = per_byte["plomet_false"]
        if all(values):
            spread = max(values) / min(values) - 1
            self.target(f"time per byte of analyze(False) flat {names[0]} → {names[-1]} "
                        f"within {SCALING_SPREAD:.0%}", f"{spread:.1%} spread",
                        spread <= SCALING_SPREAD)
        else:
            self.target("time per byte flat", "—", None)

    def linearity(self):
        self.out("| adversarial (×10 input) | bytes | analyze(False) ms | analyze(True) ms "
                 "| False per-byte growth | True per-byte growth | json.loads per-byte growth |")
        self.out("|---|---:|---:|---:|---:|---:|---:|")
        for result in self.results.values():
            doc = result.doc
            if not doc.smaller:
                continue
            small = self.results[doc.smaller]
            growth = {}
            for contender in ("plomet_false", "plomet_true", "json_loads"):
                a, b = small.median(contender), result.median(contender)
                if a and b and small.bytes and result.bytes:
                    growth[contender] = (b / result.bytes) / (a / small.bytes)
                elif a and result.status == "timeout" and stopped_in(result, contender):
                    growth[contender] = float("inf")
            cells = ["—" if c not in growth else
                     ("timeout" if growth[c] == float("inf") else f"{growth[c]:.2f}×")
                     for c in ("plomet_false", "plomet_true", "json_loads")]
            self.out(f"| {doc.smaller} → {doc.name} | {small.bytes or '—'} → {result.bytes or '—'} "
                     f"| {cell(small, 'plomet_false')} → {cell(result, 'plomet_false')} "
                     f"| {cell(small, 'plomet_true')} → {cell(result, 'plomet_true')} | "
                     + " | ".join(cells) + " |")
            worst = max((growth.get(c) for c in ("plomet_false", "plomet_true")
                         if growth.get(c) is not None), default=None)
            self.target(f"{doc.name}: linear (time per byte ×10 input ≤ {LINEAR_PER_BYTE:g}×)",
                        "—" if worst is None else
                        ("timeout" if worst == float("inf") else f"{worst:.2f}×"),
                        None if worst is None else worst <= LINEAR_PER_BYTE)

    def memory(self):
        name = self.bench.plan.records_name
        self.out(f"| peak memory, one call on {name} | input bytes | RSS with text loaded MiB "
                 "| peak RSS in call MiB | beyond baseline ÷ input |")
        self.out("|---|---:|---:|---:|---:|")
        for contender, label in (("plomet_false", "analyze(False)"), ("plomet_true", "analyze(True)")):
            event = self.bench.memory.get(contender, {})
            if event.get("status") != "ok":
                self.out(f"| {label} | {event.get('status', '—')} {event.get('detail', '')} | | | |")
                self.target(f"{label}: peak memory ≤ {MEMORY_FACTOR:g}× input", "—", None)
                continue
            extra = (event["peak_kib"] - event["baseline_kib"]) * 1024
            value = extra / event["bytes"]
            self.out(f"| {label} | {event['bytes']} | {event['baseline_kib'] / 1024:.0f} "
                     f"| {event['peak_kib'] / 1024:.0f} | {value:.2f}× |")
            self.target(f"{label}: peak memory beyond baseline ≤ {MEMORY_FACTOR:g}× input",
                        f"{value:.2f}×", value <= MEMORY_FACTOR)

    def render(self):
        bench = self.bench
        mode = "quick mode (small sizes, one repetition; timings not meaningful)" \
            if bench.args.quick else "full run"
        self.out(f"plomet benchmark, {mode}: {platform.python_implementation()} "
                 f"{platform.python_version()}, {os.cpu_count()} CPUs, {cpu_model()}")
        self.out("Times are medians over interleaved rounds, in milliseconds; each document "
                 "in a fresh process.")
        self.out()
        self.main_table()
        self.speed_targets()
        self.out()
        self.scaling()
        self.out()
        self.linearity()
        self.out()
        self.memory()
        self.out()
        self.out("| target | measured | verdict |")
        self.out("|---|---:|---|")
        self.lines.extend(self.targets)
        if self.faults:
            self.out()
            self.out("Harness faults (the pipeline failed on a document):")
            self.lines.extend(f"- {fault}" for fault in self.faults)
        return "\n".join(self.lines)


def cpu_model():
    try:
        with open("/proc/cpuinfo") as info:
            for line in info:
                if line.startswith("model name"):
                    return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return platform.processor() or "unknown CPU"


def shared_dir_from_cache(build_dir):
    try:
        with open(os.path.join(build_dir, "CMakeCache.txt")) as cache:
            for line in cache:
                if line.startswith("PLOMET_SHARED_DIR:"):
                    return line.split("=", 1)[1].strip()
    except OSError:
        pass
    return None


def parse_args(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--quick", action="store_true",
                        help="small sizes, one repetition (what CI runs)")
    parser.add_argument("--build-dir", default=os.environ.get("PLOMET_BUILD_DIR")
                        or os.path.join(ROOT, "build", "bench"),
                        help="CMake build folder holding python/plomet.abi3.so "
                             "and bench/simdjson_parse")
    parser.add_argument("--shared-dir", help="folder holding corpora/bench/ (default: "
                        "$PLOMET_SHARED_DIR, else the build's PLOMET_SHARED_DIR, else ../shared)")
    parser.add_argument("--data-dir", help="where generated documents are cached "
                        "(default: BUILD_DIR/bench-data)")
    parser.add_argument("--seed", type=int, default=documents.DEFAULT_SEED)
    parser.add_argument("--repeats", type=int, help="rounds per document "
                        "(default: 11 below 10 MB, 5 above; 1 in quick mode)")
    parser.add_argument("--min-time", type=float, default=0.05,
                        help="seconds one sample lasts at least (calls are repeated)")
    parser.add_argument("--timeout", type=float, default=None,
                        help="seconds allowed for one document (default 1800; 300 quick)")
    args = parser.parse_args(argv)
    args.build_dir = os.path.abspath(args.build_dir)
    args.shared_dir = (args.shared_dir or os.environ.get("PLOMET_SHARED_DIR")
                       or shared_dir_from_cache(args.build_dir)
                       or os.path.join(ROOT, "..", "shared"))
    args.data_dir = args.data_dir or os.path.join(args.build_dir, "bench-data")
    if args.timeout is None:
        args.timeout = 300.0 if args.quick else 1800.0
    args.linear_timeout_floor = 60.0
    return args


def main(argv=None):
    args = parse_args(argv)
    module = os.path.join(args.build_dir, "python")
    check = subprocess.run([sys.executable, "-c", "import plomet"], cwd=HERE,
                           env={**os.environ, "PYTHONPATH": module}, capture_output=True, text=True)
    if check.returncode != 0:
        print(f"cannot import plomet from {module}: {check.stderr.strip().splitlines()[-1:]}\n"
              f"build it with: scripts/build.sh {os.path.relpath(args.build_dir, ROOT)} "
              "-DPLOMET_BUILD_TESTS=OFF -DPLOMET_BUILD_BENCH=ON", file=sys.stderr)
        return 2
    bench = Bench(args)
    bench.run()
    report = Report(bench)
    print(report.render())
    return 1 if report.faults else 0


if __name__ == "__main__":
    sys.exit(main())
