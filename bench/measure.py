"""The benchmark's measuring process: one fresh interpreter per document.

Timing (default): loads one document, then times every contender on it in
interleaved rounds and writes one JSON line per event to stdout, so that the
parent keeps what was measured even if it has to stop this process.

Memory (--memory): loads the document, records the resident set size with the
text loaded, runs one analyze_json call and reports the peak resident set
size reached during the call.
"""
import argparse
import gc
import json
import math
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import documents  # noqa: E402

CONTENDERS = ("plomet_false", "plomet_true", "json_loads", "simdjson")


def emit(**event):
    sys.stdout.write(json.dumps(event) + "\n")
    sys.stdout.flush()


def load_text(path, truncate):
    with open(path, "rb") as f:
        data = f.read()
    text = data.decode("utf-8")
    del data
    if truncate is not None:
        text = documents.truncated_text(text, truncate)
    return text


def import_plomet(module_dir):
    if module_dir:
        sys.path.insert(0, module_dir)
    import plomet
    return plomet


class Simdjson:
    """Runs the simdjson program on the document's file; it times its own
    parses, so process start and file loading are not counted."""

    def __init__(self, program, path):
        self.program = program
        self.path = path

    def run(self, iterations):
        done = subprocess.run([self.program, self.path, str(iterations)],
                              capture_output=True, text=True)
        fields = dict(item.split("=", 1) for item in done.stdout.split() if "=" in item)
        if done.returncode == 2 and "error" in fields:
            raise ValueError("simdjson: " + done.stdout.strip().split("=", 1)[1])
        if done.returncode != 0 or "median_ns" not in fields:
            raise RuntimeError(f"simdjson_parse exited {done.returncode}: {done.stderr.strip()}")
        return int(fields["median_ns"]) / 1e9


def make_timers(names, text, plomet, simdjson):
    """Maps each contender to a function that runs it `count` times and
    returns the mean seconds of one run."""

    def python_timer(call):
        def timed(count):
            start = time.perf_counter()
            for _ in range(count):
                result = call(text)
            elapsed = time.perf_counter() - start
            del result  # freed outside the timed region
            return elapsed / count
        return timed

    timers = {}
    for name in names:
        if name == "plomet_false":
            timers[name] = python_timer(lambda t: plomet.analyze_json(t, False))
        elif name == "plomet_true":
            timers[name] = python_timer(lambda t: plomet.analyze_json(t, True))
        elif name == "json_loads":
            timers[name] = python_timer(json.loads)
        elif name == "simdjson":
            timers[name] = simdjson.run
    return timers


def run_timing(args):
    text = load_text(args.doc, args.truncate)
    emit(event="loaded", bytes=len(text.encode("utf-8")), chars=len(text))
    names = [n for n in args.contenders.split(",") if n]
    plomet = None
    if any(n.startswith("plomet") for n in names):
        plomet = import_plomet(args.module_dir)
    simdjson = None
    if "simdjson" in names:
        if args.simdjson and args.truncate is None:
            simdjson = Simdjson(args.simdjson, args.doc)
        else:
            names.remove("simdjson")
    # json.loads recurses once per nesting level.
    sys.setrecursionlimit(max(sys.getrecursionlimit(), 20000))
    timers = make_timers(names, text, plomet, simdjson)

    gc.collect()
    gc.disable()  # as timeit does: no collector passes inside the timed calls
    counts = {}
    for name in list(names):
        emit(event="start", contender=name)
        try:
            first = timers[name](1)
        except (KeyboardInterrupt, SystemExit):
            raise
        except BaseException as error:  # noqa: BLE001 - includes the module's internal fault
            # A text that this contender does not read (json.loads and simdjson
            # on a truncated document) or a pipeline failure: reported, not timed.
            emit(event="error", contender=name, kind=type(error).__name__, message=str(error)[:300])
            names.remove(name)
            continue
        emit(event="first", contender=name, seconds=first)
        counts[name] = max(1, min(10_000, math.ceil(args.min_time / max(first, 1e-9))))

    for rep in range(args.repeats):
        # Rotate the order so that no contender always runs first or last.
        order = names[rep % len(names):] + names[:rep % len(names)] if names else []
        for name in order:
            count = counts[name]
            if name == "simdjson":
                seconds = timers[name](max(3, count))
            else:
                seconds = timers[name](count)
            emit(event="sample", contender=name, rep=rep, seconds=seconds, count=count)
    emit(event="done")


def read_status_kib(field):
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith(field + ":"):
                return int(line.split()[1])
    return None


def reset_peak_rss():
    # Writing 5 to clear_refs resets the peak resident set size (VmHWM).
    try:
        with open("/proc/self/clear_refs", "w") as f:
            f.write("5")
        return True
    except OSError:
        return False


def run_memory(args):
    text = load_text(args.doc, args.truncate)
    plomet = import_plomet(args.module_dir)
    show_examples = args.memory == "plomet_true"
    plomet.analyze_json("[1]", show_examples)  # the module's own first-use costs
    gc.collect()
    reset = reset_peak_rss()
    baseline = read_status_kib("VmRSS")
    result = plomet.analyze_json(text, show_examples)
    peak = read_status_kib("VmHWM")
    emit(event="memory", bytes=len(text.encode("utf-8")), baseline_kib=baseline,
         peak_kib=peak, peak_reset=reset, output_chars=len(result))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--doc", required=True)
    parser.add_argument("--truncate", type=float)
    parser.add_argument("--module-dir")
    parser.add_argument("--simdjson")
    parser.add_argument("--contenders", default=",".join(CONTENDERS))
    parser.add_argument("--repeats", type=int, default=5)
    parser.add_argument("--min-time", type=float, default=0.05,
                        help="seconds that one sample should last at least")
    parser.add_argument("--memory", choices=("plomet_false", "plomet_true"))
    args = parser.parse_args()
    if args.memory:
        run_memory(args)
    else:
        run_timing(args)


if __name__ == "__main__":
    main()
