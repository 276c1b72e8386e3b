#!/usr/bin/env python3
"""Benchmarks one shape question on a gigabyte of JSON Lines records, asked
of each contender on the same file in the same run: the command
(`plomet --lines`, one and two threads), plomet on Spark local[2] (its tasks
reading the file, and through Spark's text scan), Spark's own schema
inference (samplingRatio=1.0) in the same session, and DuckDB's
read_json_auto(sample_size=-1), its schema only.

Prints each contender's wall time and the peak resident memory of its
processes together (the command's, DuckDB's own process, or Spark's driver,
JVM and Python workers), then the ratios with their targets. Times are
medians of --rounds rounds. Runs with an interpreter that has pyspark,
pyarrow, duckdb and plomet (bench/run.sh gives it build/engines).
"""
import argparse
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
PAGE_KIB = os.sysconf("SC_PAGE_SIZE") // 1024


def parse_args(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build-dir", default=os.path.join(ROOT, "build", "bench"))
    parser.add_argument("--data-dir", help="where generated documents are cached (default: in the build folder)")
    parser.add_argument("--quick", action="store_true", help="20 MB of records, one round")
    parser.add_argument("--rounds", type=int, default=3)
    return parser.parse_args(argv)


def tree_rss_kib(root):
    """The resident memory of root and all its descendants, in KiB."""
    parents, rss = {}, {}
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/stat") as stat:
                fields = stat.read().rsplit(")", 1)[1].split()
        except OSError:
            continue
        parents[int(entry)] = int(fields[1])
        rss[int(entry)] = int(fields[21]) * PAGE_KIB
    members, frontier = {root}, [root]
    while frontier:
        parent = frontier.pop()
        children = [pid for pid, ppid in parents.items() if ppid == parent]
        members.update(children)
        frontier += children
    return sum(rss.get(pid, 0) for pid in members)


class PeakMemory:
    """Samples the memory of a process tree every 50 ms while it is open."""

    def __init__(self, root):
        self.root, self.peak, self.done = root, 0, threading.Event()

    def __enter__(self):
        self.thread = threading.Thread(target=self._sample, daemon=True)
        self.thread.start()
        return self

    def _sample(self):
        while not self.done.is_set():
            self.peak = max(self.peak, tree_rss_kib(self.root))
            self.done.wait(0.05)

    def __exit__(self, *exc):
        self.done.set()
        self.thread.join()
        self.peak = max(self.peak, tree_rss_kib(self.root))


def timed_process(command):
    """(seconds, peak MiB) of a command that runs on its own."""
    start = time.perf_counter()
    process = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    with PeakMemory(process.pid) as memory:
        _, errors = process.communicate()
    seconds = time.perf_counter() - start
    if process.returncode != 0:
        raise RuntimeError(f"{command} failed: {errors.decode(errors='replace')[-2000:]}")
    return seconds, memory.peak / 1024


def timed_call(function):
    """(seconds, peak MiB of this process and its descendants) of a call."""
    with PeakMemory(os.getpid()) as memory:
        start = time.perf_counter()
        function()
        seconds = time.perf_counter() - start
    return seconds, memory.peak / 1024


DUCKDB_SCHEMA = """
import sys, duckdb
columns = duckdb.sql("DESCRIBE SELECT * FROM read_json_auto(?, sample_size=-1)", params=[sys.argv[1]]).fetchall()
print(len(columns))
"""


def spark_session():
    from pyspark.sql import SparkSession

    os.environ["PYSPARK_PYTHON"] = sys.executable
    session = (SparkSession.builder.master("local[2]").appName("plomet-bench")
               .config("spark.ui.enabled", "false").config("spark.driver.memory", "4g").getOrCreate())
    session.sparkContext.setLogLevel("ERROR")
    return session


def run(args):
    size = 20 * MB if args.quick else 1000 * MB
    rounds = 1 if args.quick else args.rounds
    data = args.data_dir or os.path.join(args.build_dir, "many-documents-data")
    path = documents.write_cached(data, f"records-{size}.jsonl", documents.records_lines_chunks(size))
    tool = os.path.join(args.build_dir, "plomet")
    package_dir = os.path.join(args.build_dir, "python")
    sys.path.insert(0, package_dir)
    # Spark's Python workers find plomet where this process does.
    os.environ["PYTHONPATH"] = os.pathsep.join(filter(None, [package_dir, os.environ.get("PYTHONPATH")]))
    import plomet.spark

    spark = spark_session()
    contenders = {
        "plomet --lines --jobs 1": lambda: timed_process([tool, "--lines", "--quiet", "--jobs", "1", path]),
        "plomet --lines --jobs 2": lambda: timed_process([tool, "--lines", "--quiet", "--jobs", "2", path]),
        "DuckDB read_json_auto(sample_size=-1), schema": lambda: timed_process(
            [sys.executable, "-c", DUCKDB_SCHEMA, path]),
        "plomet on Spark local[2] (plomet.spark.infer_files)": lambda: timed_call(
            lambda: plomet.spark.infer_files(spark, path)),
        "plomet on Spark local[2], through Spark's text scan and mapInArrow": lambda: timed_call(
            lambda: plomet.spark.infer_files(spark, path, files_on_executors=False)),
        "Spark's own inference, spark.read.json(samplingRatio=1.0).schema": lambda: timed_call(
            lambda: spark.read.json(path, samplingRatio=1.0).schema),
    }
    # One call of each first, untimed: the session's Python workers start,
    # and the file is in the page cache for every contender alike.
    contenders["plomet on Spark local[2] (plomet.spark.infer_files)"]()
    samples = {name: [] for name in contenders}
    for _ in range(rounds):
        for name, contender in contenders.items():
            samples[name].append(contender())
            print(f"{name}: {samples[name][-1][0]:.2f} s, {samples[name][-1][1]:.0f} MiB", file=sys.stderr)
    spark.stop()
    return size, {name: (statistics.median(s for s, _ in found), max(m for _, m in found))
                  for name, found in samples.items()}


def render(size, results):
    seconds = {name: value[0] for name, value in results.items()}
    on_spark = seconds["plomet on Spark local[2] (plomet.spark.infer_files)"]
    two = seconds["plomet --lines --jobs 2"]
    ratios = [
        ("Spark's own inference ÷ plomet on Spark, same session, local[2]",
         seconds["Spark's own inference, spark.read.json(samplingRatio=1.0).schema"] / on_spark, "≥ 5", True),
        ("DuckDB full-sample inference ÷ plomet --lines --jobs 2",
         seconds["DuckDB read_json_auto(sample_size=-1), schema"] / two, "≥ 2", True),
        ("plomet on Spark ÷ plomet --lines --jobs 2 (the engine's overhead)", on_spark / two, "≤ 3", False),
    ]
    lines = [f"Machine: {platform.node()}, {os.cpu_count()} cores, {platform.processor() or platform.machine()}, "
             f"Python {platform.python_version()}; {size // MB} MB of JSON Lines records",
             "", "| contender | time | peak memory |", "|---|---|---|"]
    lines += [f"| {name} | {s:.2f} s | {m:.0f} MiB |" for name, (s, m) in results.items()]
    lines += ["", "| measure | value | target | verdict |", "|---|---|---|---|"]
    for measure, value, target, at_least in ratios:
        bound = float(target.split()[1])
        passed = value >= bound if at_least else value <= bound
        lines.append(f"| {measure} | {value:.2f} | {target} | {'PASS' if passed else 'MISS'} |")
    return "\n".join(lines)


def main(argv=None):
    args = parse_args(argv)
    size, results = run(args)
    print(render(size, results))
    return 0


if __name__ == "__main__":
    sys.exit(main())
