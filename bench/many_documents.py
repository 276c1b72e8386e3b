#!/usr/bin/env python3
"""Benchmarks the folding of many documents: the command's --lines and
--jobs, the Python Shape API against json.loads, two threads against one,
merging against building, and peak memory of the multi-document modes.

Prints a Markdown table with a PASS/MISS verdict for every target. Timings
are medians of interleaved rounds and describe this machine only. --quick
runs small sizes, so CI can check that the harness still works.
"""
import argparse
import itertools
import json
import os
import platform
import statistics
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, HERE)
import documents  # noqa: E402

MB = 1_000_000


def parse_args(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build-dir", default=os.path.join(ROOT, "build", "bench"))
    parser.add_argument("--shared-dir", default=os.environ.get("PLOMET_SHARED_DIR", os.path.join(ROOT, "..", "shared")))
    parser.add_argument("--data-dir", help="where generated documents are cached (default: in the build folder)")
    parser.add_argument("--quick", action="store_true", help="small sizes, one round")
    parser.add_argument("--rounds", type=int, default=5)
    return parser.parse_args(argv)


class Bench:
    def __init__(self, args):
        self.args = args
        self.rounds = 1 if args.quick else args.rounds
        self.tool = os.path.join(args.build_dir, "plomet")
        self.data = args.data_dir or os.path.join(args.build_dir, "many-documents-data")
        os.makedirs(self.data, exist_ok=True)
        sys.path.insert(0, os.path.join(args.build_dir, "python"))
        import plomet
        self.plomet = plomet
        self.rows = []

    def cached(self, name, chunks):
        return documents.write_cached(self.data, name, chunks)

    def records_lines(self, size):
        return self.cached(f"records-{size}.jsonl", documents.records_lines_chunks(size))

    def records_array(self, size):
        """The same records as one array, one record per line."""
        path = os.path.join(self.data, f"records-{size}.json")
        if not os.path.exists(path):
            with open(self.records_lines(size), "rb") as lines, open(path + ".part", "wb") as out:
                out.write(b"[\n")
                first = True
                for line in lines:
                    out.write((b"" if first else b",\n") + line.rstrip(b"\n"))
                    first = False
                out.write(b"\n]\n")
            os.replace(path + ".part", path)
        return path

    def row(self, measure, value, target, passed, note=""):
        self.rows.append((measure, value, target, "PASS" if passed else "MISS", note))

    def wall(self, command, stdin=None):
        start = time.perf_counter()
        with open(stdin, "rb") if stdin else open(os.devnull, "rb") as source:
            subprocess.run(command, stdin=source, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
        return time.perf_counter() - start

    def call_time(self, function, minimum=0.2):
        """Seconds per call, from enough calls to last minimum seconds."""
        calls, start = 0, time.perf_counter()
        while True:
            function()
            calls += 1
            elapsed = time.perf_counter() - start
            if elapsed >= minimum:
                return elapsed / calls

    def lines_against_analyze(self, size):
        lines, array = self.records_lines(size), self.records_array(size)
        with open(array, encoding="utf-8") as f:
            text = f.read()
        ratios, speeds = [], []
        for _ in range(self.rounds):
            analyze = self.call_time(lambda: self.plomet.analyze_json(text, False), 0.5)
            one = self.wall([self.tool, "--lines", "--no-examples", "--jobs", "1", lines])
            ratios.append((os.path.getsize(lines) / one) / (len(text.encode()) / analyze))
            speeds.append(os.path.getsize(lines) / one / MB)
        self.row(f"--lines --no-examples, {size // MB} MB records, 1 core, MB/s ÷ analyze_json(array, False)",
                 f"{statistics.median(ratios):.2f} ({statistics.median(speeds):.0f} MB/s)", "≥ 0.8",
                 statistics.median(ratios) >= 0.8)

    def jobs(self, size):
        lines = self.records_lines(size)
        ratios = []
        for _ in range(self.rounds):
            one = self.wall([self.tool, "--lines", "--no-examples", "--jobs", "1", lines])
            two = self.wall([self.tool, "--lines", "--no-examples", "--jobs", "2", lines])
            ratios.append(one / two)
        value = statistics.median(ratios)
        self.row(f"--lines --no-examples, {size // MB} MB records, --jobs 2 ÷ --jobs 1", f"{value:.2f}×", "≥ 1.8×",
                 value >= 1.8)

    def loads_against_add(self, name, path, target):
        with open(path, "rb") as f:
            data = f.read()
        ratios = []
        for _ in range(self.rounds):
            loads = self.call_time(lambda: json.loads(data))
            add = self.call_time(lambda: self.plomet.Shape().add(data))
            ratios.append(loads / add)
        value = statistics.median(ratios)
        self.row(f"json.loads(bytes) ÷ Shape().add(bytes), {name}", f"{value:.1f}", f"≥ {target}", value >= target)

    def threads(self, size):
        paths = [self.records_lines(size), self.records_lines(size)]
        ratios = []
        for _ in range(self.rounds):
            start = time.perf_counter()
            for path in paths:
                self.plomet.Shape().add_lines(path)
            one = time.perf_counter() - start
            workers = [threading.Thread(target=lambda p=p: self.plomet.Shape().add_lines(p)) for p in paths]
            start = time.perf_counter()
            for worker in workers:
                worker.start()
            for worker in workers:
                worker.join()
            ratios.append(one / (time.perf_counter() - start))
        value = statistics.median(ratios)
        self.row("two threads ÷ one, add_lines on two files", f"{value:.2f}×", "≥ 1.8×", value >= 1.8)

    def merging(self, parts, per_part, record_bytes):
        path = self.records_lines(parts * per_part * record_bytes)
        ratios = []
        for _ in range(self.rounds):
            shapes = []
            build = 0.0
            with open(path, "rb") as f:
                for _ in range(parts):
                    lines = list(itertools.islice(f, per_part))
                    start = time.perf_counter()
                    shape = self.plomet.Shape()
                    shape.add_lines(lines)
                    build += time.perf_counter() - start
                    shapes.append(shape)
            start = time.perf_counter()
            whole = self.plomet.Shape()
            for shape in shapes:
                whole |= shape
            ratios.append((time.perf_counter() - start) / build)
        value = statistics.median(ratios)
        self.row(f"merging {parts:,} summaries of {per_part:,} records ÷ building them", f"{value:.3f}", "≤ 0.1",
                 value <= 0.1)

    def peak_rss(self, command, stdin=None):
        """Peak resident memory of the command in MiB, through a pipe when
        stdin names a file."""
        wrapped = [sys.executable, "-c",
                   "import resource, subprocess, sys\n"
                   "subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)\n"
                   "print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)\n"] + command
        if stdin:
            with open(stdin, "rb") as source:
                feeder = subprocess.Popen(["cat"], stdin=source, stdout=subprocess.PIPE)
                out = subprocess.run(wrapped, stdin=feeder.stdout, capture_output=True, text=True, check=True)
                feeder.wait()
        else:
            out = subprocess.run(wrapped, capture_output=True, text=True, check=True)
        return int(out.stdout.split()[-1]) / 1024

    def pipe_memory(self, size):
        path = self.records_lines(size)
        rss = self.peak_rss([self.tool, "--lines", "--jobs", "2", "-"], stdin=path)
        self.row(f"peak memory, {size // MB} MB JSON Lines from a pipe, --jobs 2", f"{rss:.1f} MiB", "≤ 64 MiB",
                 rss <= 64)

    def one_line_memory(self, count):
        path = self.cached(f"ints-{count}.json", documents.distinct_integers_chunks(count))
        plain = self.peak_rss([self.tool, path])
        for option in ("--lines", "--merge", "--explain"):
            rss = self.peak_rss([self.tool, option, path])
            self.row(f"peak memory of {option}, {os.path.getsize(path) // MB} MB one-line array of {count:,} ints, "
                     f"÷ the plain run's ({plain:.0f} MiB)", f"{rss / plain:.2f}×", "≤ 1.5×", rss / plain <= 1.5)

    def run(self):
        quick = self.args.quick
        self.lines_against_analyze(2 * MB if quick else 100 * MB)
        self.jobs(2 * MB if quick else 1000 * MB)
        for name in ("twitter", "citm_catalog", "canada"):
            path = os.path.join(self.args.shared_dir, "corpora", "bench", name + ".json")
            self.loads_against_add(name, path, 8 if name == "canada" else 4)
        self.loads_against_add("records", self.records_array(2 * MB if quick else 100 * MB), 4)
        self.threads(2 * MB if quick else 200 * MB)
        self.merging(20 if quick else 1000, 1000, 2500)
        self.pipe_memory(5 * MB if quick else 1000 * MB)
        self.one_line_memory(50_000 if quick else 5_000_000)

    def render(self):
        lines = [f"Machine: {platform.node()}, {os.cpu_count()} cores, {platform.processor() or platform.machine()}, "
                 f"Python {platform.python_version()}", "",
                 "| measure | value | target | verdict |", "|---|---|---|---|"]
        lines += [f"| {m} | {v} | {t} | {verdict} |" for m, v, t, verdict, _ in self.rows]
        return "\n".join(lines)


def main(argv=None):
    bench = Bench(parse_args(argv))
    bench.run()
    print(bench.render())
    return 0


if __name__ == "__main__":
    sys.exit(main())
