"""Runs what the plan lists: every document in measuring processes of its
own (bench/measure.py), the C++ loop programs, and the memory of one call,
and keeps every timing and event they report."""
import json
import os
import selectors
import statistics
import subprocess
import sys
import time
from dataclasses import dataclass, field

from plan import CPP_CONTENDERS, Doc

HERE = os.path.dirname(os.path.abspath(__file__))


def median_time(timings, contender):
    """The median of the contender's times over rounds (timings maps a
    contender to its time in each round), or None."""
    values = timings.get(contender)
    return statistics.median(values) if values else None


def median_ratio(timings, a, b):
    """The median over rounds of a's time over b's, both taken in the same
    round, so that a slow spell of the machine affects both alike."""
    pairs = list(zip(timings.get(a, []), timings.get(b, [])))
    return statistics.median(x / y for x, y in pairs) if pairs else None


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
        return median_time(self.timings(fresh), contender)

    def ratio(self, a, b, fresh=False):
        return median_ratio(self.timings(fresh), a, b)

    def speed(self, contender, fresh=False):
        """Bytes per second of the contender's median time."""
        median = self.median(contender, fresh)
        return self.bytes / median if median and self.bytes else None


@dataclass
class CppResult:
    doc: Doc
    iterations: int = 0
    rounds: int = 0
    samples: dict = field(default_factory=dict)  # contender -> median seconds per round
    errors: dict = field(default_factory=dict)

    def median(self, contender):
        return median_time(self.samples, contender)

    def ratio(self, a, b):
        return median_ratio(self.samples, a, b)


def rotated(names, turn):
    """names starting at position turn, so that no contender always runs first
    or last."""
    turn %= max(1, len(names))
    return list(names[turn:]) + list(names[:turn])


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


class Runner:
    """Measures every document of the plan with the settings of the command
    line, and keeps the results by document name."""

    def __init__(self, args, plan):
        self.args = args
        self.python = sys.executable
        self.module_dir = os.path.join(args.build_dir, "python")
        programs = {}
        for contender, name in (("simdjson", "simdjson_parse"), ("plomet", "analyze_loop")):
            program = os.path.join(args.build_dir, "bench", name)
            programs[contender] = program if os.access(program, os.X_OK) else None
        self.programs = programs
        self.plan = plan
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

    def rounds_for(self, chosen, size, below_10mb, above):
        """The rounds chosen on the command line, else one in quick mode, else
        by the document's size."""
        if chosen:
            return chosen
        if self.args.quick:
            return 1
        return below_10mb if size < 10_000_000 else above

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
                 "--repeats", str(self.rounds_for(self.args.repeats, size, 11, 5)),
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
            rounds = self.rounds_for(self.args.fresh_rounds, size, 9, 5)
            self.time_fresh(doc, result, rounds, timeout)
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

