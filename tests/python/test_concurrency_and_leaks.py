"""Repeated and concurrent calls: no growth in memory, no cross-talk between threads."""
import threading

import plomet


def resident_kib():
    with open("/proc/self/status", encoding="ascii") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    raise AssertionError("no VmRSS line")


class TextSubclass(str):
    pass


def exercise_every_path():
    """One round of calls over good, broken and failing inputs and every error path."""
    plomet.analyze_json('{"a": [1, 2.5, "x"], "b": {"c": null}}')
    plomet.analyze_json('[{"a": 1}, {"b": "tab\there"}]', False)
    plomet.analyze_json('{"a": [1, 2')  # repaired
    plomet.analyze_json("{name: John, tags: [a, b]}")  # rebuilt with quotes
    plomet.analyze_json(TextSubclass("[true]"))
    failures = [
        (lambda: plomet.analyze_json("[" * 1025), (ValueError,)),
        (lambda: plomet.analyze_json('{"k": NaN, a b: 1}'), (ValueError,)),
        (lambda: plomet.analyze_json(b"{}"), (TypeError,)),
        (lambda: plomet.analyze_json(), (TypeError,)),
        (lambda: plomet.analyze_json("{}", True, 3), (TypeError,)),
        (lambda: plomet.analyze_json("{}", input="[]"), (TypeError,)),
        (lambda: plomet.analyze_json("{}", examples=True), (TypeError,)),
        (lambda: plomet.analyze_json("{}", show_examples=None), (TypeError,)),
        (lambda: plomet.analyze_json("{}", show_examples=1), (TypeError,)),
        (lambda: plomet.analyze_json('"\ud800"'), (UnicodeEncodeError,)),
    ]
    for call, expected in failures:
        try:
            call()
        except expected:
            pass
        else:
            raise AssertionError("call did not fail")


def test_resident_memory_stays_flat_over_a_hundred_thousand_calls():
    rounds = 100_000 // 15  # each round makes fifteen calls
    for _ in range(rounds // 10):
        exercise_every_path()
    before = resident_kib()
    for _ in range(rounds - rounds // 10):
        exercise_every_path()
    grown = resident_kib() - before
    assert grown < 4096, f"resident memory grew by {grown} KiB"


def test_concurrent_calls_give_the_sequential_outlines():
    documents = [
        '{"id": %d, "tags": ["t%d", "u"], "items": [{"n": %d}, {"n": 2, "x": true}]}' % (i, i, i)
        for i in range(8)
    ] + ['{"a": [1, 2', "{name: John}", "[1 2 3]", '{"s": "x""}']
    expected = [plomet.analyze_json(d) for d in documents]
    mismatches = []
    barrier = threading.Barrier(8)

    def worker(offset):
        barrier.wait()
        for round_ in range(300):
            index = (offset + round_) % len(documents)
            if plomet.analyze_json(documents[index]) != expected[index]:
                mismatches.append(index)

    threads = [threading.Thread(target=worker, args=(i,)) for i in range(8)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert mismatches == []
