"""Inputs at the edges of size and depth: each gives an outline or a ValueError,
without exhausting the stack or memory, in time linear in its size."""
import threading
import time

import pytest

import plomet

DEPTH_LIMIT = 1024


def run_in_small_stack_thread(fn):
    """Runs fn on a thread with a 512 KiB stack and returns its result or raises its error."""
    outcome = {}

    def target():
        try:
            outcome["value"] = fn()
        except BaseException as error:  # noqa: BLE001 - handed back to the caller
            outcome["error"] = error

    old = threading.stack_size(512 * 1024)
    try:
        thread = threading.Thread(target=target)
        thread.start()
        thread.join()
    finally:
        threading.stack_size(old)
    if "error" in outcome:
        raise outcome["error"]
    return outcome["value"]


def timed_refusal(text):
    start = time.perf_counter()
    with pytest.raises(ValueError, match="^Failed to parse or repair JSON: "):
        plomet.analyze_json(text)
    return time.perf_counter() - start


@pytest.mark.parametrize("unit", ["[", '{"a":'])
def test_ten_million_levels_are_refused_in_linear_time(unit):
    small = timed_refusal(unit * 1_000_000)
    large = timed_refusal(unit * 10_000_000)
    # Ten times the input may cost ten times the time; quadratic work would cost a hundred.
    assert large < 30 * small + 1.0, (small, large)


@pytest.mark.parametrize("unit", ["[", '{"a":'])
def test_ten_million_levels_on_a_small_stack_thread(unit):
    def call():
        with pytest.raises(ValueError):
            plomet.analyze_json(unit * 10_000_000)
        return True

    assert run_in_small_stack_thread(call)


@pytest.mark.parametrize(
    "opener, closer",
    [("[", "]"), ('{"a":', "}")],
)
def test_deepest_accepted_nesting_on_a_small_stack_thread(opener, closer):
    deepest = opener * DEPTH_LIMIT + "1" + closer * DEPTH_LIMIT
    outline = run_in_small_stack_thread(lambda: plomet.analyze_json(deepest))
    assert "1" in outline
    too_deep = opener * (DEPTH_LIMIT + 1) + "1" + closer * (DEPTH_LIMIT + 1)
    with pytest.raises(ValueError):
        run_in_small_stack_thread(lambda: plomet.analyze_json(too_deep))


def test_two_hundred_megabytes_of_whitespace_around_one_value():
    padding = " \n\t" * (100 * 1024 * 1024 // 3)
    assert plomet.analyze_json(padding + "[1, 2]" + padding) == "  [\n    1, 2\n  ]"


def test_a_million_keys_in_one_object():
    text = "{" + ",".join(f'"k{i}": {i}' for i in range(1_000_000)) + "}"
    lines = plomet.analyze_json(text, False).split("\n")
    assert len(lines) == 1_000_002
    assert lines[1] == '  "k0": int,'
    assert lines[-2] == '  "k999999": int'


def test_a_fifty_megabyte_string():
    value = "ab\u00e9" * (50 * 1024 * 1024 // 4)
    assert plomet.analyze_json('{"s": "' + value + '"}') == '{\n  "s": "' + value + '"\n}'
