"""plomet.Shape: every way in, merging, the byte form, errors, threads and
interruption. The reference for a fold is analyze_json of the same documents
joined as one JSON array."""
import io
import json
import pickle
import random
import signal
import threading

import pytest
from hypothesis import given, settings, strategies as st

import plomet
from small_stack import run_on_small_stack

DOCS = [
    '{"id": 1, "tags": ["a", "b"], "user": {"name": "Ada"}}',
    '{"id": 2.5, "tags": [], "note": null, "user": {"name": "Bob", "mail": "b@x"}}',
    '{"id": 3, "tags": ["c"], "ünï": "çödé ☃"}',
]
UNREADABLE = ["[" * 1025, '{"k": NaN, a b: 1}', "1e999"]


def joined(docs):
    return "[" + ", ".join(docs) + "]"


def folded(docs, examples=True):
    shape = plomet.Shape(examples)
    for doc in docs:
        shape.add(doc)
    return shape


def lines_file(tmp_path, docs, newline="\n"):
    path = tmp_path / "docs.ndjson"
    path.write_bytes(newline.join(docs).encode() + newline.encode())
    return path


def add_each(convert):
    def feed(shape, docs, tmp_path):
        for doc in docs:
            shape.add(convert(doc))
    return feed


def add_lines_of(make_source):
    def feed(shape, docs, tmp_path):
        shape.add_lines(make_source(docs, tmp_path))
    return feed


def add_lines_of_open_file(mode, **text_options):
    def feed(shape, docs, tmp_path):
        with open(lines_file(tmp_path, docs, "\r\n"), mode, **text_options) as file:
            shape.add_lines(file)
    return feed


FEEDS = {
    "str": add_each(str),
    "bytes": add_each(str.encode),
    "bytearray": add_each(lambda doc: bytearray(doc.encode())),
    "memoryview": add_each(lambda doc: memoryview(doc.encode())),
    "memoryview of a slice": add_each(lambda doc: memoryview(b"[[" + doc.encode() + b"]]")[2:-2]),
    "memoryview of a bytearray": add_each(lambda doc: memoryview(bytearray(doc.encode())).toreadonly()),
    "str path": add_lines_of(lambda docs, tmp_path: str(lines_file(tmp_path, docs))),
    "pathlib path": add_lines_of(lambda docs, tmp_path: lines_file(tmp_path, docs, "\n\n \t\n")),
    "binary file": add_lines_of_open_file("rb"),
    "text file": add_lines_of_open_file("r", encoding="utf-8", newline=""),
    "str lines": add_lines_of(lambda docs, tmp_path: iter(doc + "\r\n" for doc in docs)),
    "bytes lines": add_lines_of(lambda docs, tmp_path: [doc.encode() for doc in docs]),
    "one str of many lines": add_lines_of(lambda docs, tmp_path: ["\n".join(docs)]),
}


@pytest.mark.parametrize("feed", FEEDS.values(), ids=FEEDS.keys())
@pytest.mark.parametrize("docs", [DOCS, DOCS[:1], ['"x"', "1", "2.5", '"x"'], ["[1, 2]", "[]", "[3.5]"]])
def test_every_way_in_folds_like_one_array(feed, docs, tmp_path):
    for examples in (True, False):
        shape = plomet.Shape(examples)
        feed(shape, docs, tmp_path)
        assert shape.documents == len(docs)
        assert shape.outline() == plomet.analyze_json(joined(docs), examples)


def test_from_file_reads_one_document_or_its_lines(tmp_path):
    path = lines_file(tmp_path, DOCS)
    assert plomet.Shape.from_file(path, lines=True).outline() == plomet.analyze_json(joined(DOCS))
    whole = tmp_path / "whole.json"
    whole.write_text(DOCS[0])
    assert plomet.Shape.from_file(whole).outline() == plomet.analyze_json(joined(DOCS[:1]))
    assert plomet.Shape.from_file(whole, examples=False).outline() == plomet.analyze_json(joined(DOCS[:1]), False)


def test_lines_that_span_read_chunks(tmp_path):
    # A "\r\n" cut by the end of the first 1 MiB read, then 5 MiB of two-byte characters that reads cut.
    head = '{"pad": "%s"}'
    docs = [head % ("p" * ((1 << 20) - 1 - len(head % ""))), '{"long": "%s"}' % ("é" * (5 << 19)), "[7]"]
    path = lines_file(tmp_path, docs, "\r\n")
    assert path.read_bytes()[(1 << 20) - 1:(1 << 20) + 1] == b"\r\n"
    from_text = plomet.Shape()
    with open(path, encoding="utf-8", newline="") as text:
        from_text.add_lines(text)
    for shape in (plomet.Shape.from_file(path, lines=True), from_text):
        assert shape.outline() == plomet.analyze_json(joined(docs))


@pytest.mark.parametrize("doc", UNREADABLE)
def test_add_raises_analyze_jsons_message_and_adds_nothing(doc):
    with pytest.raises(ValueError) as expected:
        plomet.analyze_json(doc)
    shape = folded(DOCS[:1])
    for form in (doc, doc.encode(), bytearray(doc.encode())):
        with pytest.raises(ValueError) as raised:
            shape.add(form)
        assert str(raised.value) == str(expected.value)
    assert shape.outline() == folded(DOCS[:1]).outline() and shape.documents == 1


@pytest.mark.parametrize("data, offset", [(b'{"a": "\xff"}', 7), (b"\xc3", 0), (b'["ok", "\xe2\x82"]', 8)])
def test_bad_utf8_names_its_byte_offset(data, offset):
    with pytest.raises(ValueError, match=rf"\bbyte {offset}\b"):
        plomet.Shape().add(data)
    shape = plomet.Shape()
    shape.add_lines([b"{}", b"", data], errors="skip")
    assert shape.skipped_count == 1 and shape.skipped[0][0] == 3
    assert f"byte {offset}" in shape.skipped[0][1]


LINES = ['{"a": 1}', "", " \t\f\v\r", UNREADABLE[0], '{"a": 2}', UNREADABLE[2], '{"b": 3}']


def messages():
    found = []
    for doc in (UNREADABLE[0], UNREADABLE[2]):
        with pytest.raises(ValueError) as raised:
            plomet.analyze_json(doc)
        found.append(str(raised.value))
    return found


def test_errors_raise_stops_at_the_first_bad_line_keeping_the_lines_before():
    shape = plomet.Shape()
    with pytest.raises(ValueError) as raised:
        shape.add_lines(LINES)
    assert str(raised.value) == "line 4: " + messages()[0]
    assert shape.outline() == plomet.analyze_json(joined(LINES[:1])) and shape.skipped_count == 0


def test_errors_skip_counts_and_keeps_each_bad_line():
    shape = plomet.Shape()
    shape.add_lines(LINES, errors="skip")
    assert shape.skipped == list(zip([4, 6], messages())) and shape.skipped_count == 2
    assert shape.outline() == plomet.analyze_json(joined([LINES[0], LINES[4], LINES[6]]))
    capped = plomet.Shape()
    capped.add_lines(["1e999"] * 1005, errors="skip")
    assert capped.skipped_count == 1005 and [line for line, _ in capped.skipped] == list(range(1, 1001))


@pytest.mark.parametrize(
    "add, expected",
    [
        # JSON Lines given whole: the first record is read, two are not.
        (lambda shape: shape.add('{"a": 1}\n{"a": 2}\n{"a": 3}'), [(1, None, 2)]),
        (lambda shape: shape.add(b'[1] [2]'), [(1, None, 1)]),
        # Two records on one line, and a line of three scalars.
        (lambda shape: shape.add_lines(['{"a": 1} {"a": 2}', '{"b": 1}', "1 2 3"]), [(1, 1, 1), (3, 3, 2)]),
        # One value each, read as they are or repaired: nothing left out.
        (lambda shape: shape.add_lines(['{"a": 1}', '{"a": [1, 2', "[1, 2] "]), []),
        (lambda shape: shape.add("{'a': 1,}"), []),
    ],
)
def test_values_after_a_documents_first_are_listed_not_read(add, expected):
    shape = plomet.Shape()
    add(shape)
    assert shape.values_not_read == expected
    assert plomet.Shape.from_bytes(bytes(shape)).values_not_read == []


BROKEN = '{"msg": "don\\\'t",\n "n": 1 2}'  # stops reading at the 2: byte 26, line 2


def where(error):
    return (error.document, error.line, error.offset)


@pytest.mark.parametrize("doc, expected", [
    (BROKEN, (2, 2, 26)),
    (BROKEN.encode(), (2, 2, 26)),
    (b'{"a":\n "\xff"}', (2, 2, 8)),
    ("1e999", (2, 1, 0)),
])
def test_add_says_which_document_and_where(doc, expected):
    shape = folded(DOCS[:1])
    with pytest.raises(ValueError) as raised:
        shape.add(doc)
    assert where(raised.value) == expected


def test_line_errors_say_which_document_line_and_offset(tmp_path):
    lines = [DOCS[0], "", '{"k": NaN, a b: 1}', DOCS[1]]
    for source in (lines, lines_file(tmp_path, lines)):
        shape = plomet.Shape()
        with pytest.raises(ValueError) as raised:
            shape.add_lines(source)
        assert str(raised.value).startswith("line 3: Failed to parse or repair JSON: ")
        assert where(raised.value) == (2, 3, 13)
    with pytest.raises(ValueError) as raised:
        plomet.Shape.from_file(lines_file(tmp_path, lines), lines=True)
    assert where(raised.value) == (2, 3, 13)
    whole = tmp_path / "whole.json"
    whole.write_text(BROKEN)
    with pytest.raises(ValueError) as raised:
        plomet.Shape.from_file(whole)
    assert where(raised.value) == (1, 2, 26)


@pytest.mark.parametrize("call, error", [
    (lambda s: s.add(5), TypeError),
    (lambda s: s.add(memoryview(b"[1, 2, 3, 4]")[::2]), BufferError),
    (lambda s: s.add_lines(b"{}\n"), TypeError),
    (lambda s: s.add_lines(io.StringIO("{}"), errors="ignore"), ValueError),
    (lambda s: s.add_lines("/nonexistent/plomet"), FileNotFoundError),
    (lambda s: s.outline(max_examples=-1), ValueError),
    (lambda s: s.json_schema(max_example_chars="3"), TypeError),
    (lambda s: s.merge({}), TypeError),
    (lambda s: s.merge(plomet.Shape(examples=False)), ValueError),
    (lambda s: s | plomet.Shape(examples=False), ValueError),
    (lambda s: s | 1, TypeError),
    (lambda s: plomet.Shape.from_bytes("text"), TypeError),
    (lambda s: plomet.Shape.from_file(0), TypeError),
])
def test_bad_calls_raise_and_change_nothing(call, error):
    shape = folded(DOCS)
    with pytest.raises(error):
        call(shape)
    assert shape.outline() == folded(DOCS).outline() and shape.documents == len(DOCS)


def failing_lines():
    yield DOCS[0]
    raise OSError("disk gone")


@pytest.mark.parametrize("source, error", [(failing_lines, OSError), (lambda: [DOCS[0], 5, DOCS[1]], TypeError)])
def test_lines_before_a_failing_item_stay_added(source, error):
    shape = plomet.Shape()
    with pytest.raises(error):
        shape.add_lines(source())
    assert shape.outline() == plomet.analyze_json(joined(DOCS[:1]))


def test_merging_leaves_its_operands_and_merges_with_itself():
    first, second = folded(DOCS[:2]), folded(DOCS[2:])
    before = [first.outline(), second.outline()]
    assert (first | second).outline() == folded(DOCS).outline()
    assert [first.outline(), second.outline()] == before
    twice = folded(DOCS)
    assert twice.merge(twice) is twice
    assert twice.outline() == folded(DOCS + DOCS).outline() and twice.documents == 6


def test_byte_form_and_pickle_round_trip():
    shape = folded(DOCS)
    for copy in (plomet.Shape.from_bytes(bytes(shape)), plomet.Shape.from_bytes(bytearray(bytes(shape))),
                 pickle.loads(pickle.dumps(shape))):
        assert type(copy) is plomet.Shape
        assert (copy.outline(), copy.json_schema(), copy.documents) == (
            shape.outline(), shape.json_schema(), shape.documents)
        assert bytes(copy) == bytes(shape)


def test_damaged_bytes_raise_value_error_and_never_crash():
    data = bytes(folded(DOCS))
    for end in range(len(data)):
        with pytest.raises(ValueError):
            plomet.Shape.from_bytes(data[:end])
    generator = random.Random(7)
    for _ in range(2000):
        damaged = bytearray(data)
        damaged[generator.randrange(len(data))] ^= 1 << generator.randrange(8)
        try:
            shape = plomet.Shape.from_bytes(damaged)
        except ValueError:
            continue
        shape.outline(), shape.json_schema(), bytes(shape | shape)


def big_lines(seed):
    generator = random.Random(seed)
    return [json.dumps({"n": generator.randrange(1000), "k%d" % generator.randrange(5): [1.5] * 50})
            for _ in range(20000)]


def test_threads_filling_their_own_shapes_get_the_sequential_results():
    sources = [big_lines(seed) for seed in range(4)]
    results = [None] * len(sources)

    def fill(index):
        shape = plomet.Shape()
        shape.add_lines(sources[index])
        results[index] = shape.outline()

    threads = [threading.Thread(target=fill, args=(index,)) for index in range(len(sources))]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert results == [plomet.analyze_json(joined(lines)) for lines in sources]


def test_one_shape_used_by_two_threads_refuses_or_folds_correctly():
    document = joined(big_lines(1)).encode()
    shape, added, refused = plomet.Shape(), [], []

    def hammer():
        for _ in range(10):
            try:
                shape.add(document)
                added.append(1)
            except RuntimeError as error:
                refused.append(str(error))

    threads = [threading.Thread(target=hammer) for _ in range(2)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert set(refused) <= {"Shape is in use by another thread"} and len(added) + len(refused) == 20
    assert shape.documents == len(added)
    assert shape.outline() == folded([document] * len(added)).outline()


class Stop(Exception):
    pass


def test_a_signal_handlers_exception_ends_a_fold_that_runs_without_the_gil(tmp_path):
    # Seconds of work: the text reads only after every repair pass has scanned it.
    slow = ("[" + ("[" + "1, " * 1000 + "1], ") * 4000 + "}}}x").encode()
    path = tmp_path / "slow.ndjson"
    path.write_bytes(b'{"a": 1}\n' + slow + b"\n")

    def stop(signum, frame):
        raise Stop

    saved = signal.signal(signal.SIGALRM, stop)
    try:
        # (call, documents kept): an interrupted add adds nothing; add_lines keeps the lines before.
        for call, kept in [(lambda shape: shape.add(slow), 0), (lambda shape: shape.add_lines(path), 1)]:
            shape = plomet.Shape()
            signal.setitimer(signal.ITIMER_REAL, 0.05)
            with pytest.raises(Stop):
                call(shape)
            assert shape.documents == kept
            shape.add("[2]")
            assert shape.outline() == plomet.analyze_json(joined(['{"a": 1}'] * kept + ["[2]"]))
    finally:
        signal.setitimer(signal.ITIMER_REAL, 0)
        signal.signal(signal.SIGALRM, saved)


# Documents that read without repair: every kind at every depth, few keys and
# values so that positions meet, ints within 64 bits beside floats.
scalars = (st.none() | st.booleans() | st.integers(-(2 ** 63), 2 ** 63 - 1) | st.sampled_from([0, 1, -1, 2.5, 1e300])
           | st.floats(allow_nan=False, allow_infinity=False) | st.text("aé☃", max_size=3))
values = st.recursive(scalars, lambda inner: st.lists(inner, max_size=4)
                      | st.dictionaries(st.sampled_from("abcd"), inner, max_size=4), max_leaves=16)
OPERATIONS = ["merge", "|", "|=", "bytes"]


def merged(shapes, operations):
    result = shapes[0]
    for shape, operation in zip(shapes[1:], operations):
        if operation == "merge":
            result.merge(shape)
        elif operation == "|":
            result = result | shape
        elif operation == "|=":
            result |= shape
        else:
            result = plomet.Shape.from_bytes(bytes(result)) | plomet.Shape.from_bytes(bytes(shape))
    return result


@settings(max_examples=300, deadline=None)
@given(docs=st.lists(values.map(json.dumps), max_size=8), examples=st.booleans(), data=st.data(),
       limits=st.tuples(st.none() | st.integers(0, 3), st.none() | st.integers(0, 3)))
def test_merged_parts_equal_the_whole_fold(docs, examples, data, limits):
    cuts = sorted(data.draw(st.lists(st.integers(0, len(docs)), max_size=4)))
    bounds = [0, *cuts, len(docs)]
    parts = [folded(docs[start:end], examples) for start, end in zip(bounds, bounds[1:])]
    operations = data.draw(st.lists(st.sampled_from(OPERATIONS), min_size=len(parts), max_size=len(parts)))
    whole, combined = folded(docs, examples), merged(parts, operations)
    assert whole.outline() == plomet.analyze_json(joined(docs), examples)
    assert combined.documents == whole.documents == len(docs)
    for show in (True, False):
        assert combined.outline(show, *limits) == whole.outline(show, *limits)
        assert combined.json_schema(show, *limits) == whole.json_schema(show, *limits)


def test_the_deepest_documents_fold_merge_and_render_on_a_small_stack():
    # As deep as the reader takes: an array of 1024 levels, and 1022 objects
    # around an array holding an object.
    deepest = ["[" * 1024 + "]" * 1024, '{"a":' * 1022 + '[1, "x", {"b": 2.5}]' + "}" * 1022]

    def work():
        shape = plomet.Shape()
        for text in deepest:
            shape.add(text)
        merged = plomet.Shape.from_bytes(bytes(shape | shape))
        return merged.documents, merged.outline(), merged.json_schema()

    assert run_on_small_stack(work) == work()
