#!/usr/bin/env python3
"""Benchmarks plomet.analyze_json against json.loads, and plomet's C++ core
against simdjson's DOM parser.

Prints Markdown tables and a PASS/MISS verdict for every target:

- warm, in-process: each document in one fresh process that times
  analyze_json(text, False), analyze_json(text, True) and json.loads(text) in
  interleaved rounds (the calling order rotates every round), each sample the
  mean of enough calls to last --min-time; times are medians over rounds and
  a ratio is the median of the ratios taken round by round;
- fresh process: a new interpreter per timed call, which loads the text and
  imports json and plomet, then times its first call of anything; the
  contenders take turns process by process, and a ratio is the median of the
  ratios of the processes of one round;
- C++ loop: bench/analyze_loop (plomet's core, no Python) and
  bench/simdjson_parse (simdjson's DOM parse) on the same file with the same
  number of iterations, each reporting the median of its iterations; the
  programs take turns round by round, and a ratio is the median of the
  ratios of one round;
- the time per byte of analyze_json(text, False), timed alone, on records of
  10 MB, 100 MB and 1 GB (the 1 GB document is part of every full run unless
  --skip-1gb, or too little memory is free); a guard that time grows linearly
  on adversarial documents;
- the peak resident memory of one call beyond what the process held with the
  text loaded, each document and each show_examples value in a fresh
  process.

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
CONTENDERS = ("plomet_false", "plomet_true", "json_loads")
CPP_CONTENDERS = ("simdjson", "plomet_false", "plomet_true")
LABELS = {"plomet_false": "analyze(False)", "plomet_true": "analyze(True)",
          "json_loads": "json.loads", "simdjson": "simdjson DOM"}

# Targets of issue 11.
# json.loads ÷ analyze_json(text, False), by document kind.
LOADS_SPEEDUP = {"twitter": 4.0, "citm_catalog": 4.0, "records": 4.0, "canada": 8.0,
                 "seq_ints": 2.0, "floats": 2.0, "short_strings": 2.0, "tiny_objects": 5.0}
# json.loads ÷ analyze_json(text, True) on the arrays of distinct values.
DISTINCT_LOADS_SPEEDUP = 1.5
# C++ loop: plomet ÷ simdjson DOM.
SIMDJSON_FACTOR = 3.0
# analyze_json(text, True) ÷ analyze_json(text, False).
EXAMPLES_FACTOR = 1.3
# Bytes per second of a document cut at 60% ÷ those of the whole document.
TRUNCATED_SPEED = 0.5
# Peak memory beyond the process's with the text loaded ÷ input UTF-8 bytes,
# plus with examples shown, this many bytes per example printed.
MEMORY_FACTOR = 1.5
EXAMPLE_BYTES = 32
# (largest ÷ smallest) - 1 of the time per byte over the records sizes.
SCALING_SPREAD = 0.20

# Guard: ten times the input may cost at most 15 times the time; quadratic
# work costs 100.
LINEAR_PER_BYTE = 1.5

# Free memory below which the 1 GB records document is left out: its str
# takes up to 4 GiB (it holds characters beyond the BMP), and the call
# needs several times the input today.
GIGABYTE_NEEDS = 12 * 2**30


@dataclass
class Doc:
    name: str
    group: str  # corpus, records, arrays, tiny, truncated, scaling, adversarial
    path: object = ""  # a path, or until generated, a function returning one
    also: list = field(default_factory=list)  # scaling: the other documents timed with it
    parts: tuple = ()  # scaling: the name of each document timed, path first
    kind: str = None  # key of LOADS_SPEEDUP
    truncate: float = None
    original: str = None  # truncated: the document it was cut from
    smaller: str = None  # adversarial: the name of its 10x smaller version
    warm: tuple = CONTENDERS  # empty: memory only
    fresh: tuple = ()
    memory: bool = False
    needs_memory: int = 0  # free bytes required before it is loaded
    missing: str = None  # why the document is not there


@dataclass
class Result:
    doc: Doc
    bytes: int = None
    sizes: list = field(default_factory=list)  # of each document timed together
    samples: dict = field(default_factory=dict)  # warm: contender -> seconds per round
    fresh: dict = field(default_factory=dict)  # fresh: contender -> seconds per round
    started: list = field(default_factory=list)
    firsts: dict = field(default_factory=dict)
    errors: dict = field(default_factory=dict)
    fresh_errors: dict = field(default_factory=dict)
    status: str = "ok"  # ok, timeout, crash, missing
    detail: str = ""
    wall: float = 0.0

    def timings(self, fresh):
        return self.fresh if fresh else self.samples

    def median(self, contender, fresh=False):
        values = self.timings(fresh).get(contender)
        return statistics.median(values) if values else None

    def ratio(self, a, b, fresh=False):
        """The median over rounds of a's time over b's, both taken in the same
        round, so that a slow spell of the machine affects both alike."""
        timings = self.timings(fresh)
        pairs = list(zip(timings.get(a, []), timings.get(b, [])))
        return statistics.median(x / y for x, y in pairs) if pairs else None

    def speed(self, contender, fresh=False):
        """Bytes per second of the contender's median time."""
        median = self.median(contender, fresh)
        return self.bytes / median if median and self.bytes else None


def count_label(n):
    for unit, size in (("M", 1_000_000), ("k", 1_000)):
        if n >= size and n % size == 0:
            return f"{n // size}{unit}"
    return str(n)


def mb_label(n):
    if n >= 1_000_000_000 and n % 1_000_000_000 == 0:
        return f"{n // 1_000_000_000}GB"
    return f"{n / 1e6:g}MB"


def rotated(names, turn):
    """names starting at position turn, so that no contender always runs first
    or last."""
    turn %= max(1, len(names))
    return list(names[turn:]) + list(names[:turn])


class Plan:
    """The documents of one run, in timing order, and the settings."""

    def __init__(self, quick, shared_dir, data_dir, seed, skip_gigabyte):
        self.seed = seed
        self.data_dir = data_dir
        self.docs = []
        scale = 0.01 if quick else 1.0
        records_bytes = 100_000 if quick else 100_000_000
        measured = CONTENDERS  # timed warm and fresh on the documents of the targets

        for name in CORPORA:
            path = os.path.join(shared_dir, "corpora", "bench", name + ".json")
            self.docs.append(Doc(name, "corpus", path, kind=name, fresh=measured, memory=True,
                                 missing=None if os.path.exists(path) else f"not found: {path}"))
        self.docs.append(Doc("records_" + mb_label(records_bytes), "records",
                             lambda: self.records_file(records_bytes),
                             kind="records", fresh=measured, memory=True))
        count = int(1_000_000 * scale)
        arrays = [
            ("seq_ints", "arrays", documents.sequential_integers_chunks),
            ("floats", "arrays", documents.distinct_floats_chunks),
            ("short_strings", "arrays", documents.short_strings_chunks),
            ("tiny_objects", "tiny", documents.tiny_objects_chunks),
        ]
        for kind, group, chunks in arrays:
            path = (lambda kind=kind, chunks=chunks:
                    self.cached(f"{kind}-{count}.json", chunks(count)))
            self.docs.append(Doc(f"{kind}_{count_label(count)}", group, path, kind=kind,
                                 fresh=measured, memory=True))
        for original in [d for d in self.docs if d.group in ("corpus", "records")]:
            # json.loads stays in the warm rounds to show that the text is not JSON.
            self.docs.append(Doc(f"{original.name}@{int(TRUNCATE_AT * 100)}%", "truncated",
                                 original.path, truncate=TRUNCATE_AT, original=original.name,
                                 fresh=("plomet_false",), memory=True, missing=original.missing))
        # The records sizes of the time-per-byte check are timed in one
        # process, analyze(False) alone, round after round, so that a slow
        # spell of the machine or a json.loads call in between does not pass
        # for a change of speed with size. The middle size is the records
        # document above, whose memory is measured there.
        sizes = (records_bytes // 10, records_bytes, records_bytes * 10)
        paths = [lambda size=size: self.records_file(size) for size in sizes]
        names = ["records_" + mb_label(size) for size in sizes]
        scaling = Doc(" + ".join(names), "scaling", paths[0], also=paths[1:], parts=tuple(names),
                      warm=("plomet_false",))
        smallest, largest = (Doc(names[i], "scaling", paths[i], warm=(), memory=True)
                             for i in (0, 2))
        if sizes[-1] >= 1_000_000_000:
            for doc in (scaling, largest):
                doc.needs_memory = GIGABYTE_NEEDS
                if skip_gigabyte:
                    doc.missing = f"{largest.name} left out (--skip-1gb)"
        self.docs += [scaling, smallest, largest]

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


def run_child(command, timeout, on_event):
    """Runs one measuring process, handing each JSON line it prints to
    on_event. Returns (status, detail, wall seconds, resource usage)."""
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


def available_memory():
    try:
        with open("/proc/meminfo") as info:
            for line in info:
                if line.startswith("MemAvailable:"):
                    return int(line.split()[1]) * 1024
    except OSError:
        pass
    return None


class Bench:
    def __init__(self, args):
        self.args = args
        self.python = sys.executable
        self.module_dir = os.path.join(args.build_dir, "python")
        programs = {}
        for contender, name in (("simdjson", "simdjson_parse"), ("plomet", "analyze_loop")):
            program = os.path.join(args.build_dir, "bench", name)
            programs[contender] = program if os.access(program, os.X_OK) else None
        self.programs = programs
        self.plan = Plan(args.quick, args.shared_dir, args.data_dir, args.seed, args.skip_1gb)
        self.results = {}
        self.memory = {}  # (document name, contender) -> event
        self.cpp = {}  # document name -> CppResult

    def log(self, message):
        print(message, file=sys.stderr, flush=True)

    def child_command(self, doc, *extra):
        # -S: no site-packages, which the measuring process does not need,
        # so that each starts sooner.
        command = [self.python, "-S", os.path.join(HERE, "measure.py"), "--doc", doc.path,
                   "--module-dir", self.module_dir, *extra]
        for path in doc.also:
            command += ["--doc", path]
        if doc.truncate is not None:
            command += ["--truncate", str(doc.truncate)]
        return command

    def repeats_for(self, size):
        if self.args.repeats:
            return self.args.repeats
        if self.args.quick:
            return 1
        return 11 if size < 10_000_000 else 5

    def fresh_rounds_for(self, size):
        if self.args.fresh_rounds:
            return self.args.fresh_rounds
        if self.args.quick:
            return 1
        return 9 if size < 10_000_000 else 5

    def lacks_memory(self, doc):
        """Why the document cannot be loaded now, or None."""
        available = available_memory()
        if doc.needs_memory and available is not None and available < doc.needs_memory:
            return (f"left out: needs about {doc.needs_memory / 2**30:.0f} GiB of free memory, "
                    f"{available / 2**30:.1f} GiB available")
        return None

    def time_doc(self, doc, timeout):
        result = Result(doc)
        self.results[doc.name] = result
        doc.missing = doc.missing or self.lacks_memory(doc)
        if doc.missing:
            result.status, result.detail = "missing", doc.missing
            return result
        size = max(os.path.getsize(path) for path in [doc.path, *doc.also])
        extra = ["--contenders", ",".join(doc.warm),
                 "--repeats", str(self.repeats_for(size)),
                 "--min-time", "0" if self.args.quick else str(self.args.min_time)]

        def on_event(event):
            kind = event["event"]
            if kind == "loaded":
                result.sizes.append(event["bytes"])
                result.bytes = result.sizes[0]
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
        if result.status == "ok" and doc.fresh:
            self.time_fresh(doc, result, self.fresh_rounds_for(size), timeout)
        return result

    def time_fresh(self, doc, result, rounds, timeout):
        """One process per timed call; the contenders take turns. A contender
        that fails once is not run again."""
        for rep in range(rounds):
            for contender in rotated(doc.fresh, rep):
                if contender in result.fresh_errors:
                    continue
                events = []
                status, detail, _, _ = run_child(
                    self.child_command(doc, "--fresh", contender), timeout, events.append)
                timed = [e for e in events if e["event"] == "fresh"]
                failed = [e for e in events if e["event"] == "error"]
                if status == "ok" and timed:
                    result.fresh.setdefault(contender, []).append(timed[0]["seconds"])
                elif failed:
                    result.fresh_errors[contender] = f'{failed[0]["kind"]}: {failed[0]["message"]}'
                else:
                    result.fresh_errors[contender] = f"measuring process {status}: {detail}"

    def time_cpp(self, doc):
        """The C++ loop: simdjson's DOM parse and plomet's core, each program
        run with the same iterations, round after round."""
        result = CppResult(doc)
        self.cpp[doc.name] = result
        if doc.missing:
            result.errors["all"] = doc.missing
            return result
        iterations = 3 if self.args.quick else self.args.cpp_iterations
        rounds = 1 if self.args.quick else self.args.cpp_rounds
        commands = {
            "simdjson": [self.programs["simdjson"], doc.path, str(iterations)],
            "plomet_false": [self.programs["plomet"], doc.path, str(iterations), "--no-examples"],
            "plomet_true": [self.programs["plomet"], doc.path, str(iterations)],
        }
        result.iterations, result.rounds = iterations, rounds
        for rep in range(rounds):
            for contender in rotated(CPP_CONTENDERS, rep):
                if contender in result.errors or commands[contender][0] is None:
                    continue
                try:
                    done = subprocess.run(commands[contender], capture_output=True, text=True,
                                          timeout=self.args.timeout)
                except subprocess.TimeoutExpired:
                    result.errors[contender] = f"stopped after {self.args.timeout:.0f} s"
                    continue
                fields = dict(item.split("=", 1) for item in done.stdout.split() if "=" in item)
                if done.returncode != 0 or "median_ns" not in fields:
                    result.errors[contender] = (f"exit {done.returncode}: "
                                                f"{(done.stdout + done.stderr).strip()[-300:]}")
                    continue
                result.samples.setdefault(contender, []).append(int(fields["median_ns"]) / 1e9)
        return result

    def measure_memory(self, doc, contender):
        missing = doc.missing or self.lacks_memory(doc)
        if missing:
            return {"status": "missing", "detail": missing}
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

    def generated(self, path):
        """The path of a document, generating it first if it is not cached."""
        if not callable(path):
            return path
        started = time.monotonic()
        path = path()
        took = time.monotonic() - started
        if took > 1:
            self.log(f"generated {os.path.basename(path)} in {took:.1f} s")
        return path

    def run(self):
        self.log(f"plomet module from {self.module_dir}; C++ programs: "
                 + ", ".join(f"{c}: {p or 'not built (configure with -DPLOMET_BUILD_BENCH=ON)'}"
                             for c, p in self.programs.items()))
        for doc in self.plan.docs:
            if not doc.missing:
                doc.path = self.generated(doc.path)
                doc.also = [self.generated(path) for path in doc.also]
        for doc in self.plan.docs:
            if not doc.warm:
                continue
            timeout = self.args.timeout
            if doc.smaller:
                # Linear work takes about ten times the smaller document's time.
                smaller = self.results[doc.smaller]
                timeout = min(timeout, max(self.args.linear_timeout_floor, 30 * smaller.wall))
            started = time.monotonic()
            result = self.time_doc(doc, timeout)
            self.log(f"timed {doc.name}: {result.status} in {time.monotonic() - started:.1f} s"
                     + (f" ({result.detail})" if result.detail else ""))
        for doc in self.plan.docs:
            if doc.group == "corpus":
                started = time.monotonic()
                self.time_cpp(doc)
                self.log(f"C++ loop on {doc.name} in {time.monotonic() - started:.1f} s")
        for doc in self.plan.docs:
            if doc.memory:
                started = time.monotonic()
                for contender in ("plomet_false", "plomet_true"):
                    self.memory[doc.name, contender] = self.measure_memory(doc, contender)
                self.log(f"measured memory on {doc.name} in {time.monotonic() - started:.1f} s")


@dataclass
class CppResult:
    doc: Doc
    iterations: int = 0
    rounds: int = 0
    samples: dict = field(default_factory=dict)  # contender -> median seconds per round
    errors: dict = field(default_factory=dict)

    def median(self, contender):
        values = self.samples.get(contender)
        return statistics.median(values) if values else None

    def ratio(self, a, b):
        pairs = list(zip(self.samples.get(a, []), self.samples.get(b, [])))
        return statistics.median(x / y for x, y in pairs) if pairs else None


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


def stopped_in(result, contender):
    """Whether contender's first call was running when the measuring process
    was stopped or died."""
    return (result.status in ("timeout", "crash") and bool(result.started)
            and result.started[-1] == contender and contender not in result.firsts)


def cell(result, contender, fresh=False):
    errors = result.fresh_errors if fresh else result.errors
    if contender in errors:
        if contender == "json_loads":
            return "not JSON"
        return "ERROR" if "Error:" in errors[contender] else "failed"
    if contender not in (result.doc.fresh if fresh else result.doc.warm):
        return ""
    median = result.median(contender, fresh)
    if median is None and result.status in ("timeout", "crash"):
        if stopped_in(result, contender):
            return f"> {result.wall:.0f} s" if result.status == "timeout" else "crash"
        return "not run"
    return ms(median)


class Report:
    def __init__(self, bench):
        self.bench = bench
        self.plan = bench.plan
        self.results = bench.results
        self.lines = []
        self.targets = []
        self.faults = []

    def out(self, line=""):
        self.lines.append(line)

    def target(self, label, value_text, ok):
        verdict = "n/a" if ok is None else ("PASS" if ok else "MISS")
        self.targets.append(f"| {label} | {value_text} | {verdict} |")

    def ratio_target(self, label, value, ok):
        self.target(label, times(value), None if value is None else ok(value))

    def python_table(self, fresh):
        if fresh:
            self.out("Fresh process: one new interpreter per timed call; the time is of its "
                     "first call (text loaded, json and plomet imported before the clock starts).")
        else:
            self.out("Warm, in-process: one process per document, contenders interleaved "
                     "round after round; each sample the mean of repeated calls.")
        self.out()
        self.out("| document | bytes | analyze(False) ms | analyze(True) ms | json.loads ms "
                 "| loads ÷ False | loads ÷ True | True ÷ False | False MB/s |")
        self.out("|---|---:|---:|---:|---:|---:|---:|---:|---:|")
        for result in self.results.values():
            doc = result.doc
            if doc.group == "scaling" or (fresh and not doc.fresh):
                continue
            if result.status == "missing":
                self.out(f"| {doc.name} | missing: {doc.missing} | | | | | | | |")
                continue
            speed = result.speed("plomet_false", fresh)
            self.out(f"| {doc.name} | {result.bytes or '—'} "
                     f"| {cell(result, 'plomet_false', fresh)} "
                     f"| {cell(result, 'plomet_true', fresh)} "
                     f"| {cell(result, 'json_loads', fresh)} "
                     f"| {times(result.ratio('json_loads', 'plomet_false', fresh))} "
                     f"| {times(result.ratio('json_loads', 'plomet_true', fresh))} "
                     f"| {times(result.ratio('plomet_true', 'plomet_false', fresh))} "
                     f"| {'—' if speed is None else f'{speed / 1e6:.0f}'} |")
            errors = result.fresh_errors if fresh else result.errors
            for contender in ("plomet_false", "plomet_true"):
                if contender in errors:
                    kind = "fresh" if fresh else "warm"
                    self.faults.append(f"{doc.name}: {contender} ({kind}): {errors[contender]}")
            if result.status == "crash" and not fresh:
                self.faults.append(f"{doc.name}: measuring process failed: {result.detail}")

    def python_targets(self):
        for fresh in (False, True):
            how = "fresh process" if fresh else "warm"
            for result in self.results.values():
                doc = result.doc
                factor = LOADS_SPEEDUP.get(doc.kind)
                if factor is None:
                    continue
                self.ratio_target(
                    f"{doc.name}: json.loads ÷ analyze(False) ≥ {factor:g} ({how})",
                    result.ratio("json_loads", "plomet_false", fresh),
                    lambda v, factor=factor: v >= factor)
            for result in self.results.values():
                if result.doc.group == "arrays":
                    self.ratio_target(
                        f"{result.doc.name} (distinct values, every one printed): "
                        f"json.loads ÷ analyze(True) ≥ {DISTINCT_LOADS_SPEEDUP:g} ({how})",
                        result.ratio("json_loads", "plomet_true", fresh),
                        lambda v: v >= DISTINCT_LOADS_SPEEDUP)
            for result in self.results.values():
                if result.doc.group in ("corpus", "records", "tiny"):
                    self.ratio_target(
                        f"{result.doc.name}: analyze(True) ÷ analyze(False) "
                        f"≤ {EXAMPLES_FACTOR:g} ({how})",
                        result.ratio("plomet_true", "plomet_false", fresh),
                        lambda v: v <= EXAMPLES_FACTOR)
            for result in self.results.values():
                doc = result.doc
                if doc.group != "truncated":
                    continue
                original = self.results[doc.original]
                self.ratio_target(
                    f"{doc.name}: bytes/s of analyze(False) ÷ {doc.original}'s "
                    f"≥ {TRUNCATED_SPEED:g} ({how})",
                    ratio(result.speed("plomet_false", fresh),
                          original.speed("plomet_false", fresh)),
                    lambda v: v >= TRUNCATED_SPEED)

    def cpp_table(self):
        cpp = [r for r in self.bench.cpp.values() if r.rounds]
        iterations = cpp[0].iterations if cpp else 0
        rounds = cpp[0].rounds if cpp else 0
        self.out(f"C++ loop: bench/analyze_loop (plomet's core, no Python) and "
                 f"bench/simdjson_parse, {iterations} iterations each, median of the iterations; "
                 f"programs take turns for {rounds} rounds; ratios are medians of per-round ratios.")
        self.out()
        self.out("| C++ loop | bytes | simdjson DOM ms | plomet no examples ms "
                 "| plomet examples ms | no examples ÷ simdjson | examples ÷ simdjson |")
        self.out("|---|---:|---:|---:|---:|---:|---:|")
        for result in self.bench.cpp.values():
            name = result.doc.name
            if "all" in result.errors:
                self.out(f"| {name} | missing: {result.errors['all']} | | | | | |")
                continue
            cells = []
            for contender in CPP_CONTENDERS:
                if contender in result.errors:
                    cells.append("ERROR")
                    self.faults.append(f"C++ loop, {name}: {contender}: {result.errors[contender]}")
                else:
                    cells.append(ms(result.median(contender)) if contender in result.samples
                                 else "not built")
            self.out(f"| {name} | {os.path.getsize(result.doc.path)} | " + " | ".join(cells)
                     + f" | {times(result.ratio('plomet_false', 'simdjson'))} "
                     f"| {times(result.ratio('plomet_true', 'simdjson'))} |")

    def cpp_targets(self):
        for result in self.bench.cpp.values():
            for contender, mode in (("plomet_false", "no examples"), ("plomet_true", "examples")):
                self.ratio_target(
                    f"{result.doc.name}: C++ loop, plomet ({mode}) ÷ simdjson DOM "
                    f"≤ {SIMDJSON_FACTOR:g}",
                    result.ratio(contender, "simdjson"), lambda v: v <= SIMDJSON_FACTOR)

    def scaling(self):
        result = next(r for r in self.results.values() if r.doc.group == "scaling")
        names = result.doc.parts
        self.out("Time per byte of records documents, warm: the sizes are timed in one "
                 "process, analyze(False) alone, in interleaved rounds; the spread is "
                 "the median over rounds of (slowest ÷ fastest time per byte − 1).")
        self.out()
        self.out("| scaling | bytes | analyze(False) ns/byte |")
        self.out("|---|---:|---:|")
        rounds = []
        for index, name in enumerate(names):
            if result.status == "missing":
                self.out(f"| {name} | missing: {result.doc.missing} | |")
                continue
            timings = result.samples.get(f"plomet_false@{index}", [])
            size = result.sizes[index] if index < len(result.sizes) else None
            per_byte = [t / size for t in timings] if size else []
            rounds.append(per_byte)
            self.out(f"| {name} | {size or '—'} | "
                     f"{f'{statistics.median(per_byte) * 1e9:.2f}' if per_byte else '—'} |")
        label = (f"time per byte of analyze(False), {names[0]} → {names[-1]}: spread "
                 f"(slowest ÷ fastest − 1) ≤ {SCALING_SPREAD:.0%} (warm)")
        spreads = [max(r) / min(r) - 1 for r in zip(*rounds)] if len(rounds) == len(names) else []
        if spreads:
            spread = statistics.median(spreads)
            self.target(label, f"{spread:.1%}", spread <= SCALING_SPREAD)
        else:
            self.target(label, "—", None)

    def linearity(self):
        self.out("Guard, not a target of issue 11: time per byte of adversarial documents "
                 "as the input grows tenfold, warm.")
        self.out()
        self.out("| adversarial (×10 input) | bytes | analyze(False) ms | analyze(True) ms "
                 "| False per-byte growth | True per-byte growth | json.loads per-byte growth |")
        self.out("|---|---:|---:|---:|---:|---:|---:|")
        for result in self.results.values():
            doc = result.doc
            if not doc.smaller:
                continue
            small = self.results[doc.smaller]
            growth = {}
            for contender in CONTENDERS:
                a, b = small.median(contender), result.median(contender)
                if a and b and small.bytes and result.bytes:
                    growth[contender] = (b / result.bytes) / (a / small.bytes)
                elif a and result.status == "timeout" and stopped_in(result, contender):
                    growth[contender] = float("inf")
            cells = ["—" if c not in growth else
                     ("timeout" if growth[c] == float("inf") else f"{growth[c]:.2f}×")
                     for c in CONTENDERS]
            self.out(f"| {doc.smaller} → {doc.name} | {small.bytes or '—'} → {result.bytes or '—'} "
                     f"| {cell(small, 'plomet_false')} → {cell(result, 'plomet_false')} "
                     f"| {cell(small, 'plomet_true')} → {cell(result, 'plomet_true')} | "
                     + " | ".join(cells) + " |")
            worst = max((growth.get(c) for c in ("plomet_false", "plomet_true")
                         if growth.get(c) is not None), default=None)
            self.target(f"guard: {doc.name} linear (time per byte ×10 input ≤ "
                        f"{LINEAR_PER_BYTE:g}×)",
                        "—" if worst is None else
                        ("timeout" if worst == float("inf") else f"{worst:.2f}×"),
                        None if worst is None else worst <= LINEAR_PER_BYTE)

    def memory(self):
        self.out("Peak memory of one call, each in a fresh process: the peak resident set "
                 "during the call minus the resident set with the text loaded, ÷ the input's "
                 f"UTF-8 bytes. Allowed: {MEMORY_FACTOR:g}× without examples; with examples, "
                 f"{MEMORY_FACTOR:g}× plus {EXAMPLE_BYTES} bytes per example, where the examples "
                 "are the values printed in the outline (each number, true or false and quoted "
                 "string at a scalar position; the same value at two positions counts twice).")
        self.out()
        self.out("| memory | input bytes | RSS with text MiB | False: peak beyond MiB "
                 "| False ÷ input | True: peak beyond MiB | True ÷ input | examples printed "
                 "| True allowed ÷ input |")
        self.out("|---|---:|---:|---:|---:|---:|---:|---:|---:|")
        for doc in self.plan.docs:
            if not doc.memory:
                continue
            events = [self.bench.memory.get((doc.name, c), {}) for c in ("plomet_false",
                                                                          "plomet_true")]
            cells, values = [], []
            for event in events:
                if event.get("status") != "ok":
                    cells += [f"{event.get('status', '—')} {event.get('detail', '')}".strip(), "—"]
                    values.append(None)
                    continue
                beyond = (event["peak_kib"] - event["baseline_kib"]) * 1024
                values.append(beyond / event["bytes"])
                cells += [f"{beyond / 2**20:.1f}", f"{values[-1]:.2f}×"]
            known = [e for e in events if e.get("status") == "ok"]
            size = known[0]["bytes"] if known else None
            baseline = f"{known[0]['baseline_kib'] / 1024:.0f}" if known else "—"
            examples = events[1].get("examples") if events[1].get("status") == "ok" else None
            allowed = (MEMORY_FACTOR + EXAMPLE_BYTES * examples / size
                       if examples is not None else None)
            self.out(f"| {doc.name} | {size or '—'} | {baseline} | {cells[0]} | {cells[1]} "
                     f"| {cells[2]} | {cells[3]} | {'—' if examples is None else examples} "
                     f"| {times(allowed)} |")
            self.ratio_target(f"{doc.name}: peak memory beyond the text, analyze(False) "
                              f"≤ {MEMORY_FACTOR:g}× input", values[0],
                              lambda v: v <= MEMORY_FACTOR)
            self.target(f"{doc.name}: peak memory beyond the text, analyze(True) "
                        f"≤ {MEMORY_FACTOR:g}× input + {EXAMPLE_BYTES} B × examples",
                        times(values[1]) + (f" of {times(allowed)}" if allowed else ""),
                        None if values[1] is None or allowed is None else values[1] <= allowed)

    def render(self):
        bench = self.bench
        mode = "quick mode (small sizes, one repetition; timings not meaningful)" \
            if bench.args.quick else "full run"
        self.out(f"plomet benchmark, {mode}: {platform.python_implementation()} "
                 f"{platform.python_version()}, {os.cpu_count()} CPUs, {cpu_model()}")
        self.out("Times in milliseconds are medians over rounds; a ratio is the median of the "
                 "ratios taken within one round.")
        self.out()
        self.python_table(fresh=False)
        self.out()
        self.python_table(fresh=True)
        self.python_targets()
        self.out()
        self.cpp_table()
        self.cpp_targets()
        self.out()
        self.scaling()
        self.out()
        self.memory()
        self.out()
        self.linearity()
        self.out()
        self.out("| target | measured | verdict |")
        self.out("|---|---:|---|")
        self.lines.extend(self.targets)
        verdicts = [line.rsplit("|", 2)[1].strip() for line in self.targets
                    if not line.startswith("| guard:")]
        self.out()
        self.out(f"Targets of issue 11: {verdicts.count('PASS')} PASS, {verdicts.count('MISS')} "
                 f"MISS, {verdicts.count('n/a')} not measured, of {len(verdicts)}.")
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
                        help="CMake build folder holding the package python/plomet/, "
                             "bench/analyze_loop and bench/simdjson_parse")
    parser.add_argument("--shared-dir", help="folder holding corpora/bench/ (default: "
                        "$PLOMET_SHARED_DIR, else the build's PLOMET_SHARED_DIR, else ../shared)")
    parser.add_argument("--data-dir", help="where generated documents are cached "
                        "(default: BUILD_DIR/bench-data)")
    parser.add_argument("--seed", type=int, default=documents.DEFAULT_SEED)
    parser.add_argument("--repeats", type=int, help="warm rounds per document "
                        "(default: 11 below 10 MB, 5 above, 3 from 500 MB; 1 in quick mode)")
    parser.add_argument("--fresh-rounds", type=int, help="fresh processes per contender "
                        "and document (default: 9 below 10 MB, 5 above; 1 in quick mode)")
    parser.add_argument("--min-time", type=float, default=0.05,
                        help="seconds one warm sample lasts at least (calls are repeated)")
    parser.add_argument("--cpp-iterations", type=int, default=201,
                        help="iterations of each C++ loop program per round (default 201; "
                             "3 in quick mode); keep it odd, so that both programs' medians "
                             "are the middle time")
    parser.add_argument("--cpp-rounds", type=int, default=11,
                        help="rounds of the C++ loop (default 11; 1 in quick mode)")
    parser.add_argument("--skip-1gb", action="store_true",
                        help="leave out the 1 GB records document of a full run")
    parser.add_argument("--timeout", type=float, default=None,
                        help="seconds allowed for one measuring process (default 1800; 300 quick)")
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
