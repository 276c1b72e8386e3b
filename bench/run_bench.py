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

plan.py says what is measured (the documents, and the targets as a table),
runner.py measures it, and report.py prints the tables and the verdicts.
"""
import argparse
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, HERE)
import documents  # noqa: E402
from plan import Plan  # noqa: E402
from report import Report  # noqa: E402
from runner import Runner  # noqa: E402


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
                        "(default: 11 below 10 MB, 5 above; 1 in quick mode)")
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
    parser.add_argument("--only", help="measure only the documents of these groups, comma-separated "
                        "(corpus, records, arrays, tiny, truncated, scaling, sizes, adversarial), "
                        "and the documents a truncated one is compared with")
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
    measured = Plan(args.quick, args.shared_dir, args.data_dir, args.seed, args.skip_1gb)
    if args.only:
        measured.keep_only(args.only.split(","))
    run = Runner(args, measured)
    run.run()
    report = Report(run)
    print(report.render())
    return 1 if report.faults else 0


if __name__ == "__main__":
    sys.exit(main())
