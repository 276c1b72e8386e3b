"""What the benchmark measures: the documents, in timing order, who runs on
each, and the targets, a table of rows that the report checks the results
against."""
import os
from dataclasses import dataclass, field

import documents
from measure import CONTENDERS

CORPORA = ("twitter", "citm_catalog", "canada")
TRUNCATE_AT = 0.6
CPP_CONTENDERS = ("simdjson", "plomet_false", "plomet_true")

# The groups of documents whose peak memory of one call is measured.
MEASURED_MEMORY = ("corpus", "records", "arrays", "tiny", "truncated", "sizes")

# Free memory below which the 1 GB records document is left out: its str
# takes up to 4 GiB (it holds characters beyond the BMP), and the call
# needs several times the input today.
GIGABYTE_NEEDS = 12 * 2**30


@dataclass(frozen=True)
class Target:
    """A figure of one document's results that must stand on the right side
    of a threshold. One row holds for every document of its groups or kinds,
    and with modes, once per mode."""
    measure: str  # the wording of the verdict's row; {doc}, {vs}, {threshold}... are filled in
    figure: str  # the figure it reads, as report.FIGURES names it
    vs: str  # "≥" or "≤": how the figure compares with the threshold
    threshold: float
    on: tuple  # groups or kinds of documents
    modes: tuple = ()  # "warm", "fresh process": named at the end of the wording
    per_example: int = 0  # bytes per example printed allowed on top of the threshold
    guard: bool = False  # given a verdict but not counted among the targets


BOTH_MODES = ("warm", "fresh process")
LOADS_OVER_FALSE = "{doc}: json.loads ÷ analyze(False) {vs} {threshold}"
PEAK_MEMORY = "{doc}: peak memory beyond the text, "

# The targets of issue 11, and the guard that time grows linearly.
TARGETS = (
    Target(LOADS_OVER_FALSE, "loads ÷ False", "≥", 4.0, ("twitter", "citm_catalog", "records"),
           BOTH_MODES),
    Target(LOADS_OVER_FALSE, "loads ÷ False", "≥", 8.0, ("canada",), BOTH_MODES),
    Target(LOADS_OVER_FALSE, "loads ÷ False", "≥", 2.0, ("seq_ints", "floats", "short_strings"),
           BOTH_MODES),
    Target(LOADS_OVER_FALSE, "loads ÷ False", "≥", 5.0, ("tiny_objects",), BOTH_MODES),
    Target("{doc} (distinct values, every one printed): json.loads ÷ analyze(True) "
           "{vs} {threshold}", "loads ÷ True", "≥", 1.5, ("arrays",), BOTH_MODES),
    Target("{doc}: analyze(True) ÷ analyze(False) {vs} {threshold}", "True ÷ False", "≤", 1.3,
           ("corpus", "records", "tiny"), BOTH_MODES),
    Target("{doc}: bytes/s of analyze(False) ÷ {original}'s {vs} {threshold}",
           "False bytes/s ÷ original's", "≥", 0.5, ("truncated",), BOTH_MODES),
    Target("{doc}: C++ loop, plomet (no examples) ÷ simdjson DOM {vs} {threshold}",
           "no examples ÷ simdjson", "≤", 3.0, ("corpus",)),
    Target("{doc}: C++ loop, plomet (examples) ÷ simdjson DOM {vs} {threshold}",
           "examples ÷ simdjson", "≤", 3.0, ("corpus",)),
    # (largest ÷ smallest) - 1 of the time per byte over the records sizes.
    Target("time per byte of analyze(False), {first} → {last}: spread (slowest ÷ fastest − 1) "
           "{vs} {threshold}", "spread", "≤", 0.20, ("scaling",), ("warm",)),
    # Peak memory beyond the process's with the text loaded ÷ input UTF-8
    # bytes, plus with examples shown, this many bytes per example printed.
    Target(PEAK_MEMORY + "analyze(False) {vs} {threshold}× input", "False ÷ input", "≤", 1.5,
           MEASURED_MEMORY),
    Target(PEAK_MEMORY + "analyze(True) {vs} {threshold}× input + {per_example} B × examples",
           "True ÷ input", "≤", 1.5, MEASURED_MEMORY, per_example=32),
    # Ten times the input may cost at most 15 times the time; quadratic work
    # costs 100.
    Target("guard: {doc} linear (time per byte ×10 input {vs} {threshold}×)", "per-byte growth",
           "≤", 1.5, ("adversarial",), guard=True),
)


@dataclass
class Doc:
    name: str
    # corpus, records, arrays, tiny, truncated, scaling (the records sizes
    # timed together), sizes (the smallest and largest of them, memory only),
    # adversarial_base and adversarial (the same document ten times larger)
    group: str
    path: object = ""  # a path, or until generated, a function returning one
    also: list = field(default_factory=list)  # scaling: the other documents timed with it
    parts: tuple = ()  # scaling: the name of each document timed, path first
    kind: str = None  # the targets that hold for one kind of document name it
    truncate: float = None
    original: str = None  # truncated: the document it was cut from
    smaller: str = None  # adversarial: the name of its 10x smaller version
    warm: tuple = CONTENDERS  # empty: memory only
    fresh: tuple = ()
    needs_memory: int = 0  # free bytes required before it is loaded
    missing: str = None  # why the document is not there

    @property
    def memory(self):
        """Whether the peak memory of a call on it is measured."""
        return self.group in MEASURED_MEMORY

    def meets(self, target):
        """Whether the target holds for this document."""
        return self.group in target.on or self.kind in target.on


def count_label(n):
    for unit, size in (("M", 1_000_000), ("k", 1_000)):
        if n >= size and n % size == 0:
            return f"{n // size}{unit}"
    return str(n)


def mb_label(n):
    if n >= 1_000_000_000 and n % 1_000_000_000 == 0:
        return f"{n // 1_000_000_000}GB"
    return f"{n / 1e6:g}MB"


class Plan:
    """The documents of one run, in timing order, and where the generated
    ones are cached."""

    def __init__(self, quick, shared_dir, data_dir, seed, skip_gigabyte):
        self.seed = seed
        self.data_dir = data_dir
        self.docs = []
        scale = 0.01 if quick else 1.0
        records_bytes = 100_000 if quick else 100_000_000
        measured = CONTENDERS  # timed warm and fresh on the documents of the targets

        for name in CORPORA:
            path = os.path.join(shared_dir, "corpora", "bench", name + ".json")
            self.docs.append(Doc(name, "corpus", path, kind=name, fresh=measured,
                                 missing=None if os.path.exists(path) else f"not found: {path}"))
        self.docs.append(Doc("records_" + mb_label(records_bytes), "records",
                             lambda: self.records_file(records_bytes),
                             kind="records", fresh=measured))
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
                                 fresh=measured))
        for original in [d for d in self.docs if d.group in ("corpus", "records")]:
            # json.loads stays in the warm rounds to show that the text is not JSON.
            self.docs.append(Doc(f"{original.name}@{int(TRUNCATE_AT * 100)}%", "truncated",
                                 original.path, truncate=TRUNCATE_AT, original=original.name,
                                 fresh=("plomet_false",), missing=original.missing))
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
        smallest, largest = (Doc(names[i], "sizes", paths[i], warm=()) for i in (0, 2))
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
                larger = name == names[1]
                self.docs.append(Doc(name, "adversarial" if larger else "adversarial_base", path,
                                     smaller=names[0] if larger else None))

    def keep_only(self, groups):
        """Leaves out every document but those of the given groups, and the
        documents that a truncated one is compared with."""
        kept = {d.name for d in self.docs if d.group in groups}
        kept |= {d.original for d in self.docs if d.name in kept and d.original}
        self.docs = [d for d in self.docs if d.name in kept]

    def cached(self, name, chunks):
        return documents.write_cached(
            self.data_dir, f"v{documents.GENERATOR_VERSION}-{name}", chunks)

    def records_file(self, size):
        return self.cached(f"records-s{self.seed}-{size}.json",
                           documents.realistic_chunks(size, self.seed))

    def targets(self):
        """(target, document, mode) for every verdict to give, row by row of
        TARGETS, then mode by mode, then document by document; mode is None
        for a target without modes."""
        return [(target, doc, mode) for target in TARGETS for mode in target.modes or (None,)
                for doc in self.docs if doc.meets(target)]
