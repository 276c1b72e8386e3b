"""The benchmark's measuring process: one fresh interpreter per document.

Warm timing (default): loads one document, then times every contender on it
in interleaved rounds and writes one JSON line per event to stdout, so that
the parent keeps what was measured even if it has to stop this process.

Fresh timing (--fresh CONTENDER): loads the document and imports json and
plomet, then times one call of the contender, the first call of anything in
this process, and reports it.

Memory (--memory): loads the document, records the resident set size with the
text loaded, runs one analyze_json call and reports the peak resident set
size reached during the call, and with examples shown, how many examples the
outline prints.
"""
import argparse
import gc
import json
import math
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import documents  # noqa: E402

CONTENDERS = ("plomet_false", "plomet_true", "json_loads")


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


def contender_call(name, plomet):
    if name == "plomet_false":
        return lambda text: plomet.analyze_json(text, False)
    if name == "plomet_true":
        return lambda text: plomet.analyze_json(text, True)
    return json.loads


def make_timers(names, text, plomet):
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

    return {name: python_timer(contender_call(name, plomet)) for name in names}


def run_timing(args):
    texts = [load_text(path, args.truncate) for path in args.doc]
    for index, text in enumerate(texts):
        emit(event="loaded", doc=index, bytes=len(text.encode("utf-8")), chars=len(text))
    plomet = import_plomet(args.module_dir)
    # json.loads recurses once per nesting level.
    sys.setrecursionlimit(max(sys.getrecursionlimit(), 20000))
    # With several documents, every contender runs on each, named
    # contender@index.
    timers = {}
    for index, text in enumerate(texts):
        for name, timer in make_timers(args.contenders.split(","), text, plomet).items():
            timers[name if len(texts) == 1 else f"{name}@{index}"] = timer
    names = list(timers)

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
            # A text that this contender does not read (json.loads on a
            # truncated document) or a pipeline failure: reported, not timed.
            emit(event="error", contender=name, kind=type(error).__name__, message=str(error)[:300])
            names.remove(name)
            continue
        emit(event="first", contender=name, seconds=first)
        counts[name] = max(1, min(10_000, math.ceil(args.min_time / max(first, 1e-9))))

    for rep in range(args.repeats):
        # Rotate the order so that no contender always runs first or last.
        order = names[rep % len(names):] + names[:rep % len(names)] if names else []
        for name in order:
            seconds = timers[name](counts[name])
            emit(event="sample", contender=name, rep=rep, seconds=seconds, count=counts[name])
    emit(event="done")


def run_fresh(args):
    text = load_text(args.doc[0], args.truncate)
    plomet = import_plomet(args.module_dir)
    sys.setrecursionlimit(max(sys.getrecursionlimit(), 20000))
    call = contender_call(args.fresh, plomet)
    gc.collect()
    gc.disable()
    try:
        start = time.perf_counter()
        result = call(text)
        seconds = time.perf_counter() - start
    except (KeyboardInterrupt, SystemExit):
        raise
    except BaseException as error:  # noqa: BLE001 - as in run_timing
        emit(event="error", contender=args.fresh, kind=type(error).__name__,
             message=str(error)[:300])
        return
    del result
    emit(event="fresh", contender=args.fresh, bytes=len(text.encode("utf-8")), seconds=seconds)


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


TYPE_WORDS = ("null", "bool", "int", "float", "str")


def key_length(line):
    """The length of the key at the start of an outline line (a JSON string,
    then "?" when optional, then ": "), or 0 when the line does not start
    with one."""
    if not line.startswith('"'):
        return 0
    i = 1
    while i < len(line) and line[i] != '"':
        i += 2 if line[i] == "\\" else 1
    i += 1
    if line.startswith("?", i):
        i += 1
    return i + 2 if line.startswith(": ", i) else 0


def count_examples(outline):
    """The number of example values an outline made with show_examples=True
    prints: each number, true or false, and quoted string that stands at a
    scalar position, where a type word would stand without examples. String
    examples are printed unescaped, so one that holds '", "' counts as two,
    and one that holds a line feed can make the count off by one."""
    count = 0
    for line in outline.split("\n"):
        value = line.lstrip(" ")
        value = value[key_length(value):].removesuffix(",")
        if not value or value in TYPE_WORDS or value[0] in "{}[]" or value.startswith("...  //"):
            continue
        if value in ("true", "false"):
            count += 1
        elif value[0] == '"':
            count += 1 + value.count('", "')
        elif value[0] == "-" or value[0].isdigit():
            count += 1 + value.count(", ")
    return count


def run_memory(args):
    text = load_text(args.doc[0], args.truncate)
    plomet = import_plomet(args.module_dir)
    show_examples = args.memory == "plomet_true"
    plomet.analyze_json("[1]", show_examples)  # the module's own first-use costs
    gc.collect()
    reset = reset_peak_rss()
    baseline = read_status_kib("VmRSS")
    result = plomet.analyze_json(text, show_examples)
    peak = read_status_kib("VmHWM")
    emit(event="memory", bytes=len(text.encode("utf-8")), baseline_kib=baseline,
         peak_kib=peak, peak_reset=reset, output_chars=len(result),
         examples=count_examples(result) if show_examples else 0)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--doc", required=True, action="append",
                        help="the document; warm timing takes several")
    parser.add_argument("--truncate", type=float)
    parser.add_argument("--module-dir")
    parser.add_argument("--contenders", default=",".join(CONTENDERS))
    parser.add_argument("--repeats", type=int, default=5)
    parser.add_argument("--min-time", type=float, default=0.05,
                        help="seconds that one sample should last at least")
    parser.add_argument("--fresh", choices=CONTENDERS,
                        help="time the first call of this contender in this process")
    parser.add_argument("--memory", choices=("plomet_false", "plomet_true"))
    args = parser.parse_args()
    if (args.memory or args.fresh) and len(args.doc) != 1:
        parser.error("--memory and --fresh take one --doc")
    if args.memory:
        run_memory(args)
    elif args.fresh:
        run_fresh(args)
    else:
        run_timing(args)


if __name__ == "__main__":
    main()
