"""A long call runs the interpreter's signal handlers as it goes: the exception
a handler raises (KeyboardInterrupt for Ctrl-C) ends the call soon after the
signal, with nothing left behind, and the next call works; a handler that
returns leaves the result alone."""
import os
import signal
import subprocess
import sys
import time

import pytest

import plomet

# Twelve megabytes that do not read as they are, so that the reader, the
# normalisation and every repair pass scan them: seconds of work. The items
# are short, so no single step of the work is long.
SLOW_TEXT = "[" + ("[" + "1, " * 1000 + "1], ") * 4000 + "}}}x"
LATENCY_LIMIT = 0.1
SMALL_TEXT, SMALL_OUTLINE = '{"a": [1, 2', '{\n  "a": [\n    1, 2\n  ]\n}'


class Stop(Exception):
    pass


@pytest.fixture(scope="module")
def slow_call():
    """The uninterrupted call on SLOW_TEXT, after one that warms the memory a
    call keeps for the next: (seconds, result)."""
    plomet.analyze_json(SLOW_TEXT)
    start = time.monotonic()
    result = plomet.analyze_json(SLOW_TEXT)
    seconds = time.monotonic() - start
    # The interruptions below must land inside the call.
    assert seconds > 0.5, seconds
    return seconds, result


@pytest.fixture(autouse=True)
def restored_signals():
    saved = {number: signal.getsignal(number) for number in (signal.SIGALRM, signal.SIGINT)}
    yield
    signal.setitimer(signal.ITIMER_REAL, 0)
    for number, handler in saved.items():
        signal.signal(number, handler)


def raiser(error):
    def handler(signum, frame):
        raise error
    return handler


def resident_bytes():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


# (share of the call's duration at which the timer fires, the handler's
# exception): errors of the kinds analyze_json raises itself must come
# through as the handler's own objects, unchanged.
TIMER_CASES = [
    (0.02, Stop("stop")),
    (0.2, KeyboardInterrupt()),
    (0.4, TypeError("from the handler")),
    (0.6, ValueError("from the handler")),
]


@pytest.mark.parametrize("share, error", TIMER_CASES, ids=[type(error).__name__ for _, error in TIMER_CASES])
def test_a_timer_handlers_exception_ends_the_call(slow_call, share, error):
    seconds, _ = slow_call
    signal.signal(signal.SIGALRM, raiser(error))
    delay = share * seconds
    start = time.monotonic()
    signal.setitimer(signal.ITIMER_REAL, delay)
    with pytest.raises(type(error)) as raised:
        plomet.analyze_json(SLOW_TEXT)
    late = time.monotonic() - (start + delay)
    assert raised.value is error
    assert late < LATENCY_LIMIT, f"raised {late * 1000:.1f} ms after the signal"
    assert plomet.analyze_json(SMALL_TEXT) == SMALL_OUTLINE


def test_sigint_from_another_process_raises_keyboard_interrupt(slow_call):
    signal.signal(signal.SIGINT, signal.default_int_handler)
    read_end, write_end = os.pipe()
    # The child notes the time (CLOCK_MONOTONIC, shared by every process)
    # just before it sends the signal.
    sender = subprocess.Popen(
        [sys.executable, "-c",
         "import os, sys, time; time.sleep(0.3); fd, pid = map(int, sys.argv[1:]); "
         "os.write(fd, repr(time.monotonic()).encode()); os.kill(pid, 2)",
         str(write_end), str(os.getpid())],
        pass_fds=(write_end,),
    )
    os.close(write_end)
    try:
        with pytest.raises(KeyboardInterrupt):
            plomet.analyze_json(SLOW_TEXT)
        caught = time.monotonic()
        sent = float(os.read(read_end, 64))
    finally:
        sender.wait()
        os.close(read_end)
    assert caught - sent < LATENCY_LIMIT, f"raised {(caught - sent) * 1000:.1f} ms after the signal"
    assert plomet.analyze_json(SMALL_TEXT) == SMALL_OUTLINE


def test_handlers_that_return_leave_the_result_alone(slow_call):
    """A 2 ms timer all through the call: its handler runs again and again
    (signals that wait coalesce, so a call that never ran the handlers would
    run it once, at the end), even analyses texts itself, and the call's
    result is the uninterrupted one."""
    seconds, expected = slow_call
    runs = []

    def analyse_and_note(signum, frame):
        runs.append((time.monotonic(), plomet.analyze_json(SMALL_TEXT)))

    signal.signal(signal.SIGALRM, analyse_and_note)
    start = time.monotonic()
    signal.setitimer(signal.ITIMER_REAL, 0.002, 0.002)
    result = plomet.analyze_json(SLOW_TEXT)
    end = time.monotonic()
    signal.setitimer(signal.ITIMER_REAL, 0)
    assert result == expected
    assert all(outline == SMALL_OUTLINE for _, outline in runs)
    during = [start] + [at for at, _ in runs if at < end] + [end]
    assert len(during) > 10, f"{len(during) - 2} handler runs in {end - start:.2f} s"
    longest = max(later - earlier for earlier, later in zip(during, during[1:]))
    assert longest < LATENCY_LIMIT, f"{longest * 1000:.1f} ms without running the handlers"


def test_interrupted_calls_leave_nothing_behind(slow_call):
    signal.signal(signal.SIGALRM, raiser(Stop()))

    def interrupted_calls(count):
        """The largest resident size after each of count interrupted calls."""
        largest = 0
        for _ in range(count):
            signal.setitimer(signal.ITIMER_REAL, 0.05)
            with pytest.raises(Stop):
                plomet.analyze_json(SLOW_TEXT, show_examples=False)
            largest = max(largest, resident_bytes())
        return largest

    references = sys.getrefcount(SLOW_TEXT)
    # What calls keep for the next call on the thread is bounded, and the
    # first calls fill it; later ones must add nothing (a call that left its
    # document behind would add tens of megabytes).
    interrupted_calls(10)
    settled = interrupted_calls(10)
    assert interrupted_calls(10) - settled < 32 << 20
    assert sys.getrefcount(SLOW_TEXT) == references
    assert plomet.analyze_json(SMALL_TEXT, False) == '{\n  "a": [\n    int\n  ]\n}'


def test_a_long_non_ascii_str_is_interruptible_while_it_is_converted():
    """Twenty-four million code points are converted in slices, with the
    handlers run between them; a TypeError from a handler is not taken for a
    bad argument."""
    error = TypeError("from the handler")
    signal.signal(signal.SIGALRM, raiser(error))
    text = "[" + '"\u00e9\u6771", ' * 4_000_000 + "1]"
    start = time.monotonic()
    signal.setitimer(signal.ITIMER_REAL, 0.001)
    with pytest.raises(TypeError) as raised:
        plomet.analyze_json(text)
    late = time.monotonic() - (start + 0.001)
    assert raised.value is error
    assert late < LATENCY_LIMIT, f"raised {late * 1000:.1f} ms after the signal"
    assert plomet.analyze_json(SMALL_TEXT) == SMALL_OUTLINE
