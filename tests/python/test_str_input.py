"""The str input: the module built for the running interpreter reads a str's
own storage (one, two or four bytes per code point) in chunks of CHUNK code
points; the stable-ABI module copies the code points out in slices of SLICE.
Both must hand the core exactly the bytes of str.encode("utf-8"), raise the
interpreter's UnicodeEncodeError for a lone surrogate, and leave the caller's
str as it was."""
import ctypes
import importlib.machinery
import importlib.util
import random
import sys
from pathlib import Path

import pytest
from hypothesis import given, settings, strategies as st

import plomet

CHUNK = 2**20
SLICE = 2**14

PACKAGE_DIR = Path(plomet._plomet.__file__).parent
EXTENSION_FILES = {
    "native": PACKAGE_DIR / ("_plomet" + importlib.machinery.EXTENSION_SUFFIXES[0]),
    "abi3": PACKAGE_DIR / "_plomet.abi3.so",
}


def load_extension(path):
    """A module object of the extension file, beside the one `import` gave."""
    loader = importlib.machinery.ExtensionFileLoader("plomet._plomet", str(path))
    module_found = importlib.util.spec_from_file_location("plomet._plomet", path, loader=loader)
    module = importlib.util.module_from_spec(module_found)
    loader.exec_module(module)
    return module


EXTENSIONS = {name: load_extension(path) for name, path in EXTENSION_FILES.items() if path.is_file()}


@pytest.fixture(params=["native", "abi3"])
def extension(request):
    if request.param not in EXTENSIONS:
        pytest.skip(f"no {EXTENSION_FILES[request.param].name} beside {plomet._plomet.__file__}")
    return EXTENSIONS[request.param]


class TextSubclass(str):
    """A str subclass keeps its characters apart from the object."""


def outline_of_string(value):
    return f'  [\n    "{value}"\n  ]'


def outcome(call, *args):
    """What a call gives: its result, or its exception's type and arguments."""
    try:
        return "returned", call(*args)
    except Exception as error:  # noqa: BLE001 - compared, not handled
        return type(error), error.args


# (filler, special): the filler sets the storage of the str, one byte (é),
# two (€) or four (𝄞) per code point; special is what must survive the edge.
KINDS = [
    ("é", "ÿé"),
    ("€", "日本é"),
    ("𝄞", "😀é€"),
    ("a", "€😀"),  # mostly ASCII, stored four bytes per code point
    ("a", "é"),  # mostly ASCII, stored one byte per code point
]


@pytest.mark.parametrize("filler, special", KINDS)
@pytest.mark.parametrize(
    "before, after",
    [
        (0, 0),
        (1, 0),
        (0, 40),
        (13, 70),  # inside the vector blocks, then past them
        (SLICE - 3, 5),  # across the first slice boundary
        (CHUNK - 3, 100),  # across the first chunk boundary
        (3 * SLICE + 1, SLICE),
    ],
)
def test_every_kind_of_str_arrives_intact(extension, filler, special, before, after):
    # `["` is two code points: before + 2 puts special at that offset.
    value = filler * before + special + filler * after
    document = f'["{value}"]'
    assert extension.analyze_json(document) == outline_of_string(value)
    assert extension.analyze_json(TextSubclass(document)) == outline_of_string(value)


@pytest.mark.parametrize(
    "text",
    [
        "\ud800",
        '["\udfff"]',
        '["' + "a" * 40 + '\udc00"]',  # after a vector block of ASCII
        '["\ud83d\ude00"]',  # each half of a UTF-16 pair is a code point of its own
        '["' + "é" * 100 + '\udbff"]',
        '["' + "😀" * 50 + '\ud800" , "😀"]',
        '["' + "é" * (SLICE + 7) + '\ud800"]',  # in a later slice
        '["' + "€" * (CHUNK + 7) + '\ud800"]',  # in a later chunk
        TextSubclass('["\ud83d"]'),
    ],
)
def test_lone_surrogate_raises_the_interpreters_unicode_encode_error(extension, text):
    with pytest.raises(UnicodeEncodeError) as expected:
        str.encode(text, "utf-8")
    for call in (extension.analyze_json, extension.Shape().add):
        with pytest.raises(UnicodeEncodeError) as caught:
            call(text)
        assert type(caught.value) is UnicodeEncodeError
        assert caught.value.args == expected.value.args


def test_empty_str_is_an_empty_object(extension):
    assert extension.analyze_json("") == plomet.analyze_json("{}")


def cached_utf8_size(text):
    """What the str holds beyond its characters: sys.getsizeof counts a UTF-8
    copy that the interpreter caches on it."""
    return sys.getsizeof(text)


@pytest.mark.parametrize("make", [
    lambda: "".join(['["é', '"]']),
    lambda: "".join(['["€', '"]']),
    lambda: "".join(['["😀', '"]']),
    lambda: '["' + "日本" * CHUNK + '"]',
    lambda: TextSubclass('{"ключ": "значение"}'),
])
def test_the_callers_str_holds_no_utf8_copy_after_the_call(extension, make):
    text = make()  # a new str, with nothing cached on it
    before = cached_utf8_size(text)
    extension.analyze_json(text)
    extension.Shape().add(text)
    assert cached_utf8_size(text) == before
    # The measure sees a cached copy: the interpreter's own caching call.
    as_utf8 = ctypes.pythonapi.PyUnicode_AsUTF8AndSize
    as_utf8.restype = ctypes.c_char_p
    as_utf8.argtypes = [ctypes.py_object, ctypes.c_void_p]
    as_utf8(text, None)
    assert cached_utf8_size(text) > before


# Code points that an outline of ["value"] prints back as they are: all but
# the C0 controls, the quote, the backslash, the line and paragraph
# separators and the surrogates.
PRINTED_AS_THEY_ARE = st.characters(
    blacklist_categories=("Cs",),
    blacklist_characters='"\\\u2028\u2029' + "".join(map(chr, range(0x20))),
)
# Marks that set the storage of a str: none (ASCII or one byte), two or four
# bytes per code point.
STORAGE_MARKS = st.sampled_from(["", "é", "€", "😀"])


@settings(max_examples=300, deadline=None)
@given(parts=st.lists(st.tuples(st.text(PRINTED_AS_THEY_ARE, max_size=70), STORAGE_MARKS), max_size=6))
def test_random_values_arrive_intact(parts):
    value = "".join(text + mark for text, mark in parts)
    for module in EXTENSIONS.values():
        assert module.analyze_json(f'["{value}"]') == outline_of_string(value)


# Any code point, surrogates included, now and then.
ANY_CHARACTER = st.characters(blacklist_categories=())


@settings(max_examples=300, deadline=None)
@given(text=st.text(ANY_CHARACTER, max_size=120), mark=STORAGE_MARKS, show_examples=st.booleans())
def test_random_documents_read_as_their_utf8_bytes(text, mark, show_examples):
    text = mark + text
    outcomes = set()
    for module in EXTENSIONS.values():
        outcomes.add(repr(outcome(module.analyze_json, text, show_examples)))
        # A document given as str folds as its UTF-8 bytes fold.
        from_str, from_bytes = module.Shape(examples=show_examples), module.Shape(examples=show_examples)
        str_outcome = outcome(from_str.add, text)
        try:
            utf8 = text.encode("utf-8")
        except UnicodeEncodeError as error:
            assert str_outcome == (UnicodeEncodeError, error.args)
            continue
        assert str_outcome == outcome(from_bytes.add, utf8)
        assert bytes(from_str) == bytes(from_bytes)
    assert len(outcomes) == 1


def test_a_huge_str_of_every_kind_of_character_reads_as_its_utf8_bytes(extension):
    rng = random.Random(20240925)
    pool = "abc xyz 0123" + "éÿ" + "€日本語" + "😀𝄞" + "\u0080\u07ff\u0800\uffff\U00010000\U0010ffff"
    value = "".join(rng.choice(pool) for _ in range(3 * CHUNK + 1234))
    document = f'{{"key": "{value}", "more": ["{value[::-1]}", 1]}}'
    from_str, from_bytes = extension.Shape(), extension.Shape()
    from_str.add(document)
    from_bytes.add(document.encode("utf-8"))
    assert bytes(from_str) == bytes(from_bytes)
    assert extension.analyze_json(f'["{value}"]') == outline_of_string(value)
