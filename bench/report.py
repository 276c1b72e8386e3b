"""Turns the results of a run into the benchmark's Markdown tables, and the
targets of the plan into a PASS/MISS verdict each."""
import math
import operator
import os
import platform
import statistics
from dataclasses import dataclass

from measure import CONTENDERS
from plan import CPP_CONTENDERS, TARGETS

COMPARISONS = {"≥": operator.ge, "≤": operator.le}

# Ratio columns of the Python tables and of the C++ loop table, which
# targets read as figures: name -> (numerator, denominator) contenders.
PYTHON_RATIOS = {"loads ÷ False": ("json_loads", "plomet_false"),
                 "loads ÷ True": ("json_loads", "plomet_true"),
                 "True ÷ False": ("plomet_true", "plomet_false")}
CPP_RATIOS = {"no examples ÷ simdjson": ("plomet_false", "simdjson"),
              "examples ÷ simdjson": ("plomet_true", "simdjson")}

# The tables in the order the report prints them; the verdicts follow it.
TABLES = ("python", "C++ loop", "scaling", "memory", "adversarial")


@dataclass(frozen=True)
class Figure:
    table: str  # the table the figure belongs to, one of TABLES
    read: object  # (report, doc, fresh) -> the figure, or None when it was not measured
    percent: bool = False  # shown as a percentage rather than as a ratio


def python_ratio(pair):
    return lambda report, doc, fresh: report.results[doc.name].ratio(*pair, fresh)


def cpp_ratio(pair):
    return lambda report, doc, fresh: report.cpp[doc.name].ratio(*pair)


def memory_figure(contender):
    return lambda report, doc, fresh: memory_ratio(report.memory_event(doc, contender))


# Every figure a target may read, by the name TARGETS gives it.
FIGURES = {
    **{name: Figure("python", python_ratio(pair)) for name, pair in PYTHON_RATIOS.items()},
    "False bytes/s ÷ original's": Figure(
        "python", lambda report, doc, fresh: report.truncated_speed(doc, fresh)),
    **{name: Figure("C++ loop", cpp_ratio(pair)) for name, pair in CPP_RATIOS.items()},
    "spread": Figure(
        "scaling", lambda report, doc, fresh: spread(per_byte_rounds(report.results[doc.name])),
        percent=True),
    "False ÷ input": Figure("memory", memory_figure("plomet_false")),
    "True ÷ input": Figure("memory", memory_figure("plomet_true")),
    "per-byte growth": Figure("adversarial", lambda report, doc, fresh: report.worst_growth(doc)),
}


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


def measured_text(value, percent=False):
    if value is None:
        return "—"
    if percent:
        return f"{value:.1%}"
    # An infinite growth stands for a call stopped by the timeout.
    return "timeout" if value == math.inf else times(value)


def verdict(vs, threshold, value):
    """PASS when value stands on the vs side of threshold (equal passes),
    MISS when it does not, n/a when either was not measured."""
    if value is None or threshold is None:
        return "n/a"
    return "PASS" if COMPARISONS[vs](value, threshold) else "MISS"


def label(target, doc, mode):
    """The wording of the target's verdict on doc in mode (None: no mode)."""
    threshold = (f"{target.threshold:.0%}" if FIGURES[target.figure].percent
                 else f"{target.threshold:g}")
    text = target.measure.format(
        doc=doc.name, original=doc.original, vs=target.vs, threshold=threshold,
        per_example=target.per_example, first=doc.parts[0] if doc.parts else None,
        last=doc.parts[-1] if doc.parts else None)
    return f"{text} ({mode})" if mode else text


def target_reading(figure):
    """The one target that reads the figure."""
    (target,) = [t for t in TARGETS if t.figure == figure]
    return target


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


def per_byte_rounds(result):
    """For each records size timed together, its seconds per byte round by
    round; None when the documents are missing."""
    if result.status == "missing":
        return None
    rounds = []
    for index in range(len(result.doc.parts)):
        timings = result.samples.get(f"plomet_false@{index}", [])
        size = result.sizes[index] if index < len(result.sizes) else None
        rounds.append([t / size for t in timings] if size else [])
    return rounds


def spread(rounds):
    """The median over rounds of (slowest ÷ fastest time per byte − 1)."""
    spreads = [max(r) / min(r) - 1 for r in zip(*rounds)] if rounds else []
    return statistics.median(spreads) if spreads else None


def growth(small, large):
    """contender -> its time per byte on the large document ÷ that on the
    small one; infinite when the large one's call ran out of time."""
    grown = {}
    for contender in CONTENDERS:
        a, b = small.median(contender), large.median(contender)
        if a and b and small.bytes and large.bytes:
            grown[contender] = (b / large.bytes) / (a / small.bytes)
        elif a and large.status == "timeout" and stopped_in(large, contender):
            grown[contender] = math.inf
    return grown


def memory_ratio(event):
    """Peak memory of the call beyond the process's with the text loaded ÷
    the input's bytes, or None."""
    if event.get("status") != "ok":
        return None
    return (event["peak_kib"] - event["baseline_kib"]) * 1024 / event["bytes"]


class Report:
    def __init__(self, run):
        self.quick = run.args.quick
        self.plan = run.plan
        self.results = run.results
        self.cpp = run.cpp
        self.memory = run.memory
        self.lines = []
        self.faults = []

    def out(self, line=""):
        self.lines.append(line)

    def memory_event(self, doc, contender):
        return self.memory.get((doc.name, contender), {})

    def truncated_speed(self, doc, fresh):
        """Bytes per second of analyze(False) on a truncated document ÷ those
        on the document it was cut from."""
        return ratio(self.results[doc.name].speed("plomet_false", fresh),
                     self.results[doc.original].speed("plomet_false", fresh))

    def worst_growth(self, doc):
        grown = growth(self.results[doc.smaller], self.results[doc.name])
        return max((grown[c] for c in ("plomet_false", "plomet_true") if c in grown),
                   default=None)

    def allowed(self, doc, target):
        """The target's threshold plus its bytes per example printed with
        examples shown, ÷ the input's bytes; None when not counted."""
        event = self.memory_event(doc, "plomet_true")
        if event.get("status") != "ok":
            return None
        return target.threshold + target.per_example * event["examples"] / event["bytes"]

    def python_table(self, fresh):
        if fresh:
            self.out("Fresh process: one new interpreter per timed call; the time is of its "
                     "first call (text loaded, json and plomet imported before the clock starts).")
        else:
            self.out("Warm, in-process: one process per document, contenders interleaved "
                     "round after round; each sample the mean of repeated calls.")
        self.out()
        self.out("| document | bytes | analyze(False) ms | analyze(True) ms | json.loads ms | "
                 + " | ".join(PYTHON_RATIOS) + " | False MB/s |")
        self.out("|---|---:|---:|---:|---:|---:|---:|---:|---:|")
        for result in self.results.values():
            doc = result.doc
            if doc.group == "scaling" or (fresh and not doc.fresh):
                continue
            if result.status == "missing":
                self.out(f"| {doc.name} | missing: {doc.missing} | | | | | | | |")
                continue
            speed = result.speed("plomet_false", fresh)
            self.out(f"| {doc.name} | {result.bytes or '—'} | "
                     + " | ".join(cell(result, c, fresh) for c in CONTENDERS) + " | "
                     + " | ".join(times(result.ratio(*pair, fresh))
                                  for pair in PYTHON_RATIOS.values())
                     + f" | {'—' if speed is None else f'{speed / 1e6:.0f}'} |")
            errors = result.fresh_errors if fresh else result.errors
            for contender in ("plomet_false", "plomet_true"):
                if contender in errors:
                    kind = "fresh" if fresh else "warm"
                    self.faults.append(f"{doc.name}: {contender} ({kind}): {errors[contender]}")
            if result.status == "crash" and not fresh:
                self.faults.append(f"{doc.name}: measuring process failed: {result.detail}")

    def cpp_table(self):
        cpp = [r for r in self.cpp.values() if r.rounds]
        iterations = cpp[0].iterations if cpp else 0
        rounds = cpp[0].rounds if cpp else 0
        self.out(f"C++ loop: bench/analyze_loop (plomet's core, no Python) and "
                 f"bench/simdjson_parse, {iterations} iterations each, median of the iterations; "
                 f"programs take turns for {rounds} rounds; ratios are medians of per-round ratios.")
        self.out()
        self.out("| C++ loop | bytes | simdjson DOM ms | plomet no examples ms "
                 "| plomet examples ms | " + " | ".join(CPP_RATIOS) + " |")
        self.out("|---|---:|---:|---:|---:|---:|---:|")
        for result in self.cpp.values():
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
                     + " | "
                     + " | ".join(times(result.ratio(*pair)) for pair in CPP_RATIOS.values())
                     + " |")

    def scaling_table(self):
        result = next((r for r in self.results.values() if r.doc.group == "scaling"), None)
        if result is None:  # left out by --only
            return
        self.out("Time per byte of records documents, warm: the sizes are timed in one "
                 "process, analyze(False) alone, in interleaved rounds; the spread is "
                 "the median over rounds of (slowest ÷ fastest time per byte − 1).")
        self.out()
        self.out("| scaling | bytes | analyze(False) ns/byte |")
        self.out("|---|---:|---:|")
        rounds = per_byte_rounds(result)
        for index, name in enumerate(result.doc.parts):
            if rounds is None:
                self.out(f"| {name} | missing: {result.doc.missing} | |")
                continue
            per_byte = rounds[index]
            size = result.sizes[index] if index < len(result.sizes) else None
            self.out(f"| {name} | {size or '—'} | "
                     f"{f'{statistics.median(per_byte) * 1e9:.2f}' if per_byte else '—'} |")

    def memory_table(self):
        without, with_examples = target_reading("False ÷ input"), target_reading("True ÷ input")
        self.out("Peak memory of one call, each in a fresh process: the peak resident set "
                 "during the call minus the resident set with the text loaded, ÷ the input's "
                 f"UTF-8 bytes. Allowed: {without.threshold:g}× without examples; with examples, "
                 f"{with_examples.threshold:g}× plus {with_examples.per_example} bytes per "
                 "example, where the examples are the values printed in the outline (each "
                 "number, true or false and quoted string at a scalar position; the same value "
                 "at two positions counts twice).")
        self.out()
        self.out("| memory | input bytes | RSS with text MiB | False: peak beyond MiB "
                 "| False ÷ input | True: peak beyond MiB | True ÷ input | examples printed "
                 "| True allowed ÷ input |")
        self.out("|---|---:|---:|---:|---:|---:|---:|---:|---:|")
        for doc in self.plan.docs:
            if not doc.memory:
                continue
            events = [self.memory_event(doc, c) for c in ("plomet_false", "plomet_true")]
            cells = []
            for event in events:
                if event.get("status") != "ok":
                    cells += [f"{event.get('status', '—')} {event.get('detail', '')}".strip(), "—"]
                    continue
                beyond = (event["peak_kib"] - event["baseline_kib"]) * 1024
                cells += [f"{beyond / 2**20:.1f}", times(memory_ratio(event))]
            known = [e for e in events if e.get("status") == "ok"]
            size = known[0]["bytes"] if known else None
            baseline = f"{known[0]['baseline_kib'] / 1024:.0f}" if known else "—"
            examples = events[1].get("examples") if events[1].get("status") == "ok" else None
            self.out(f"| {doc.name} | {size or '—'} | {baseline} | {cells[0]} | {cells[1]} "
                     f"| {cells[2]} | {cells[3]} | {'—' if examples is None else examples} "
                     f"| {times(self.allowed(doc, with_examples))} |")

    def linearity_table(self):
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
            grown = growth(small, result)
            cells = ["—" if c not in grown else measured_text(grown[c]) for c in CONTENDERS]
            self.out(f"| {doc.smaller} → {doc.name} | {small.bytes or '—'} → {result.bytes or '—'} "
                     f"| {cell(small, 'plomet_false')} → {cell(result, 'plomet_false')} "
                     f"| {cell(small, 'plomet_true')} → {cell(result, 'plomet_true')} | "
                     + " | ".join(cells) + " |")

    def verdicts(self):
        """(target, the row of its verdict) for every target of the plan, table
        by table: the Python tables' mode by mode, then target by target, the
        others' document by document."""
        rows = [t.measure for t in TARGETS]
        docs = [d.name for d in self.plan.docs]

        def order(item):
            target, doc, mode = item
            table = FIGURES[target.figure].table
            row, at = rows.index(target.measure), docs.index(doc.name)
            mode_index = target.modes.index(mode) if mode else 0
            within = (row, at) if table == "python" else (at, row)
            return (TABLES.index(table), mode_index, *within)

        return [(target, self.verdict_row(target, doc, mode))
                for target, doc, mode in sorted(self.plan.targets(), key=order)]

    def verdict_row(self, target, doc, mode):
        figure = FIGURES[target.figure]
        value = figure.read(self, doc, mode == "fresh process")
        threshold = self.allowed(doc, target) if target.per_example else target.threshold
        shown = measured_text(value, figure.percent)
        if target.per_example and threshold is not None:
            shown += f" of {times(threshold)}"
        return f"| {label(target, doc, mode)} | {shown} | {verdict(target.vs, threshold, value)} |"

    def render(self):
        mode = "quick mode (small sizes, one repetition; timings not meaningful)" \
            if self.quick else "full run"
        self.out(f"plomet benchmark, {mode}: {platform.python_implementation()} "
                 f"{platform.python_version()}, {os.cpu_count()} CPUs, {cpu_model()}")
        self.out("Times in milliseconds are medians over rounds; a ratio is the median of the "
                 "ratios taken within one round.")
        self.out()
        self.python_table(fresh=False)
        self.out()
        self.python_table(fresh=True)
        self.out()
        self.cpp_table()
        self.out()
        self.scaling_table()
        self.out()
        self.memory_table()
        self.out()
        self.linearity_table()
        self.out()
        self.out("| target | measured | verdict |")
        self.out("|---|---:|---|")
        verdicts = self.verdicts()
        self.lines.extend(row for _, row in verdicts)
        counted = [row.rsplit("|", 2)[1].strip() for target, row in verdicts if not target.guard]
        self.out()
        self.out(f"Targets of issue 11: {counted.count('PASS')} PASS, {counted.count('MISS')} "
                 f"MISS, {counted.count('n/a')} not measured, of {len(counted)}.")
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
