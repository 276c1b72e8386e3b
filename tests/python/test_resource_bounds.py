"""Inputs at the edges of size and depth: each gives an outline or a ValueError,
without exhausting the stack or memory, in time linear in its size."""
import time

import pytest

from small_stack import run_on_small_stack

import plomet

DEPTH_LIMIT = 1024




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


# The smallest thread stack Python allows: the reads and repairs keep their
# bookkeeping off the call stack (the missing-quotes repair's open containers
# alone would take 32 KiB).
@pytest.mark.parametrize("text, outline", [
    ('{"a": [1, 2', '{\n  "a": [\n    1, 2\n  ]\n}'),
    ("{name: John Smith, age: 3", '{\n  "name": "John Smith",\n  "age": 3\n}'),
    ("[alpha, beta]", "  [\n    \"alpha\", \"beta\"\n  ]"),
])
def test_repairs_on_the_smallest_thread_stack(text, outline):
    assert run_on_small_stack(lambda: plomet.analyze_json(text), stack_bytes=32 * 1024) == outline


@pytest.mark.parametrize("unit", ["[", '{"a":'])
def test_ten_million_levels_on_a_small_stack_thread(unit):
    def call():
        with pytest.raises(ValueError):
            plomet.analyze_json(unit * 10_000_000)
        return True

    assert run_on_small_stack(call)


@pytest.mark.parametrize(
    "opener, closer",
    [("[", "]"), ('{"a":', "}")],
)
def test_deepest_accepted_nesting_on_a_small_stack_thread(opener, closer):
    deepest = opener * DEPTH_LIMIT + "1" + closer * DEPTH_LIMIT
    outline = run_on_small_stack(lambda: plomet.analyze_json(deepest))
    assert "1" in outline
    too_deep = opener * (DEPTH_LIMIT + 1) + "1" + closer * (DEPTH_LIMIT + 1)
    with pytest.raises(ValueError):
        run_on_small_stack(lambda: plomet.analyze_json(too_deep))


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
