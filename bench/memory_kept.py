#!/usr/bin/env python3
"""Measures the memory a process keeps after analyze_json calls return.

Each measure runs in a fresh process: it builds a non-ASCII document of
about 24 MiB and its 60% cut (which takes the repair path), notes the
resident set, then outlines both three times on the main thread and then
in five batches of four short-lived threads, noting the resident set after
each phase. No malloc_trim is called. json.loads runs the same sequence as
a reference. Also prints the median time and minor page faults of a warm
call on the cut, and the price of each call owning and releasing its
memory: in the same process, Shape().add(cut) on a fresh Shape, whose
context starts empty, against adding it to one Shape, whose context keeps
its spare buffers from call to call, in interleaved pairs.

Prints a Markdown table with a PASS/MISS verdict for the two targets.
--quick runs a 2 MiB document, so CI can check that the harness works.
"""
import argparse
import json
import os
import platform
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
MIB = 1 << 20

# The child: prints one JSON object of resident sizes and call costs.
CHILD = r"""
import json, resource, statistics, sys, threading, time
sys.path.insert(0, sys.argv[1])
size, contender = int(sys.argv[2]), sys.argv[3]

def rss():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * resource.getpagesize()

record = '{"id": %d, "name": "Zoë Ångström", "city": "Kraków", "note": "naïve café — №%d", "tags": ["α", "β"]}'
parts, total, i = [], 2, 0
while total < size:
    part = record % (i, i)
    parts.append(part)
    total += len(part.encode()) + 2
    i += 1
text = "[" + ",\n".join(parts) + "]"
cut = text[: len(text) * 6 // 10]
if contender == "plomet":
    import plomet
    calls = [lambda: plomet.analyze_json(text), lambda: plomet.analyze_json(cut)]
else:
    def loads_cut():
        try:
            json.loads(cut)
        except ValueError:
            pass
    calls = [lambda: json.loads(text), loads_cut]
calls[0]()  # the module and the interpreter's own caches, before the baseline
base = rss()
for _ in range(3):
    for call in calls:
        call()
after_main = rss()
for _ in range(5):
    threads = [threading.Thread(target=lambda: [call() for call in calls]) for _ in range(4)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
after_threads = rss()
samples = []
for _ in range(7):
    before = resource.getrusage(resource.RUSAGE_SELF).ru_minflt
    start = time.perf_counter()
    calls[1]()
    seconds = time.perf_counter() - start
    samples.append((seconds, resource.getrusage(resource.RUSAGE_SELF).ru_minflt - before))
seconds, faults = sorted(samples)[len(samples) // 2]

def seconds_of(call):
    start = time.perf_counter()
    call()
    return time.perf_counter() - start

release = None
if contender == "plomet":
    kept = plomet.Shape()
    kept.add(cut)
    # Interleaved, so that both see the same load on a busy machine.
    pairs = [(seconds_of(lambda: plomet.Shape().add(cut)), seconds_of(lambda: kept.add(cut))) for _ in range(15)]
    release = {"fresh": statistics.median(f for f, _ in pairs), "reused": statistics.median(r for _, r in pairs),
               "ratio": statistics.median(f / r for f, r in pairs)}
print(json.dumps({"bytes": len(text.encode()), "kept_main": after_main - base, "kept_threads": after_threads - base,
                  "cut_seconds": seconds, "cut_faults": faults, "release": release}))
"""


def measure(python_dir, size, contender):
    out = subprocess.run([sys.executable, "-c", CHILD, python_dir, str(size), contender], check=True,
                         capture_output=True, text=True).stdout
    return json.loads(out)


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build-dir", default=os.path.join(ROOT, "build", "bench"))
    parser.add_argument("--quick", action="store_true", help="a 2 MiB document")
    args = parser.parse_args(argv)
    size = 2 * MIB if args.quick else 24 * MIB
    python_dir = os.path.join(args.build_dir, "python")
    plomet = measure(python_dir, size, "plomet")
    loads = measure(python_dir, size, "json.loads")
    print(f"\nMemory kept after calls return: {platform.machine()}, {os.cpu_count()} cores, "
          f"Python {platform.python_version()}; a {plomet['bytes'] / MIB:.1f} MiB non-ASCII document and its 60% cut, "
          "three times on the main thread, then five batches of four threads; no malloc_trim.\n")
    print("| contender | kept after the main thread's calls MiB | kept after the threads ended MiB | "
          "a warm call on the cut ms | its minor page faults |")
    print("|---|---:|---:|---:|---:|")
    for name, row in (("plomet.analyze_json", plomet), ("json.loads", loads)):
        print(f"| {name} | {row['kept_main'] / MIB:.1f} | {row['kept_threads'] / MIB:.1f} | "
              f"{row['cut_seconds'] * 1000:.1f} | {row['cut_faults']} |")
    fresh, reused = plomet["release"]["fresh"], plomet["release"]["reused"]
    print(f"\nThe price of releasing per call: Shape().add(cut) takes {fresh * 1000:.1f} ms on a fresh Shape and "
          f"{reused * 1000:.1f} ms on one that keeps its buffers; the median ratio of 15 interleaved pairs is "
          f"{plomet['release']['ratio']:.2f}×.")
    print("\n| target | measured | verdict |")
    print("|---|---:|---|")
    for label, key, bound in (("kept after calls on one thread return ≤ 8 MiB", "kept_main", 8),
                              ("kept after threads that made calls have ended ≤ 16 MiB", "kept_threads", 16)):
        value = plomet[key] / MIB
        print(f"| {label} | {value:.1f} MiB | {'PASS' if value <= bound else 'MISS'} |")


if __name__ == "__main__":
    main()
