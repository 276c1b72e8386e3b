"""The module boundary: module attributes, argument binding and conversion,
and the mapping of results and failures to Python objects."""
import importlib.machinery
import importlib.util
import inspect
import re
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

import plomet

analyze_json = plomet.analyze_json


class TextSubclass(str):
    def __str__(self):
        return "[1, 2, 3]"

    def encode(self, *args, **kwargs):  # never used: the str data is encoded directly
        return b"[1, 2, 3]"


class Holder:
    class Flag:
        def __bool__(self):
            return True


class UnnamedMeta(type):
    def __getattribute__(cls, name):
        if name == "__qualname__":
            raise RuntimeError("no name")
        return super().__getattribute__(name)


class Unnamed(metaclass=UnnamedMeta):
    pass


def fake_numpy_bool(name="bool_", module="numpy", **namespace):
    return type(name, (), {"__module__": module, **namespace})()


def raise_from_key_error(self):
    raise TypeError("cannot decide") from KeyError("k")


def raise_value_error(self):
    raise ValueError("no truth here")


def test_module_attributes():
    """The package re-exports the extension plomet._plomet, whose own
    attributes are exactly the public ones."""
    extension = plomet._plomet
    assert extension.__doc__ == ""
    for module in (plomet, extension):
        assert module.__all__ == ["analyze_json"]
        assert type(module.__all__) is list
        assert not hasattr(module, "PanicException")
    assert plomet.__all__ is extension.__all__
    assert [name for name in vars(extension) if not name.startswith("__")] == ["analyze_json", "Shape"]
    assert sorted(name for name in vars(plomet) if not name.startswith("_")) == ["Shape", "analyze_json"]
    assert plomet.Shape is extension.Shape and plomet.analyze_json is extension.analyze_json
    # The module built for this interpreter, which its import system takes
    # before the stable-ABI one beside it.
    assert extension.__file__.endswith("plomet/_plomet" + importlib.machinery.EXTENSION_SUFFIXES[0])
    assert Path(extension.__file__).with_name("_plomet.abi3.so").is_file()


def test_analyze_json_function_attributes():
    assert analyze_json.__name__ == "analyze_json"
    assert analyze_json.__module__ == "plomet"
    assert analyze_json.__self__ is plomet._plomet
    assert analyze_json.__text_signature__ == "(input, show_examples=True)"
    assert analyze_json.__doc__ is None
    parameters = list(inspect.signature(analyze_json).parameters.values())
    assert [(p.name, p.kind, p.default) for p in parameters] == [
        ("input", inspect.Parameter.POSITIONAL_OR_KEYWORD, inspect.Parameter.empty),
        ("show_examples", inspect.Parameter.POSITIONAL_OR_KEYWORD, True),
    ]


def test_each_module_object_gets_its_own_function_and_all():
    found = importlib.util.find_spec("plomet._plomet")
    modules = []
    for _ in range(2):
        module = importlib.util.module_from_spec(found)
        found.loader.exec_module(module)
        modules.append(module)
    first, second = modules
    assert first is not plomet._plomet and first is not second
    assert first.__all__ == ["analyze_json"] and second.__all__ == ["analyze_json"]
    assert first.__all__ is not second.__all__
    # Each module object has its own Shape type.
    assert first.Shape is not second.Shape
    assert first.analyze_json.__self__ is first
    assert first.analyze_json("[1]") == plomet.analyze_json("[1]")


@pytest.mark.parametrize("name", ["_plomet.abi3.so", "_plomet" + importlib.machinery.EXTENSION_SUFFIXES[0]])
def test_only_the_init_function_is_exported(name):
    nm = shutil.which("nm")
    if nm is None:
        pytest.skip("nm is not installed")
    listing = subprocess.run(
        [nm, "-D", "--defined-only", Path(plomet._plomet.__file__).with_name(name)],
        check=True, capture_output=True, text=True,
    ).stdout
    assert [line.split()[-1] for line in listing.splitlines() if line.strip()] == ["PyInit__plomet"]


BINDING_ERRORS = [
    # (positional, keywords, message)
    ((), {}, "analyze_json() missing 1 required positional argument: 'input'"),
    ((), {"show_examples": True}, "analyze_json() missing 1 required positional argument: 'input'"),
    (("{}", True, 3), {}, "analyze_json() takes from 1 to 2 positional arguments but 3 were given"),
    (("{}", True, 3, 4), {}, "analyze_json() takes from 1 to 2 positional arguments but 4 were given"),
    (("{}",), {"input": "[]"}, "analyze_json() got multiple values for argument 'input'"),
    (("{}", True), {"show_examples": False}, "analyze_json() got multiple values for argument 'show_examples'"),
    (("{}",), {"examples": True}, "analyze_json() got an unexpected keyword argument 'examples'"),
    ((), {"input": "{}", "Input": "{}"}, "analyze_json() got an unexpected keyword argument 'Input'"),
    # Too many positionals is checked before any keyword.
    (("{}", True, 3), {"input": "[]", "bogus": 1}, "analyze_json() takes from 1 to 2 positional arguments but 3 were given"),
    # Keywords are checked in the dictionary's order, each for both faults.
    (("{}",), {"bogus": 1, "input": "[]"}, "analyze_json() got an unexpected keyword argument 'bogus'"),
    (("{}",), {"input": "[]", "bogus": 1}, "analyze_json() got multiple values for argument 'input'"),
    # Keyword faults come before the missing input, binding before conversion.
    ((), {"bogus": 1}, "analyze_json() got an unexpected keyword argument 'bogus'"),
    ((b"{}",), {"input": 5}, "analyze_json() got multiple values for argument 'input'"),
    ((), {"show_examples": None}, "analyze_json() missing 1 required positional argument: 'input'"),
]


@pytest.mark.parametrize("args, kwargs, message", BINDING_ERRORS)
def test_binding_errors(args, kwargs, message):
    with pytest.raises(TypeError) as caught:
        analyze_json(*args, **kwargs)
    assert type(caught.value) is TypeError
    assert str(caught.value) == message


CONVERSION_ERRORS = [
    ((123,), {}, "argument 'input': 'int' object is not an instance of 'str'"),
    ((b"{}",), {}, "argument 'input': 'bytes' object is not an instance of 'str'"),
    ((bytearray(b"{}"),), {}, "argument 'input': 'bytearray' object is not an instance of 'str'"),
    ((None,), {}, "argument 'input': 'None' is not an instance of 'str'"),
    ((["{}"],), {}, "argument 'input': 'list' object is not an instance of 'str'"),
    ((Holder.Flag(),), {}, "argument 'input': 'Holder.Flag' object is not an instance of 'str'"),
    ((Unnamed(),), {}, "argument 'input': '<failed to extract type name>' object is not an instance of 'str'"),
    # input is converted before show_examples.
    ((123, None), {}, "argument 'input': 'int' object is not an instance of 'str'"),
    (("{}",), {"show_examples": None}, "argument 'show_examples': 'None' is not an instance of 'bool'"),
    (("{}",), {"show_examples": 1}, "argument 'show_examples': 'int' object is not an instance of 'bool'"),
    (("{}", 0), {}, "argument 'show_examples': 'int' object is not an instance of 'bool'"),
    (("{}", "yes"), {}, "argument 'show_examples': 'str' object is not an instance of 'bool'"),
    (("{}", Holder.Flag()), {}, "argument 'show_examples': 'Holder.Flag' object is not an instance of 'bool'"),
    (("{}", Unnamed()), {}, "argument 'show_examples': '<failed to extract type name>' object is not an instance of 'bool'"),
    # Types that look like numpy booleans but are not.
    (("{}", fake_numpy_bool(module="numpy.core", __bool__=lambda self: True)), {},
     "argument 'show_examples': 'bool_' object is not an instance of 'bool'"),
    (("{}", fake_numpy_bool(name="bool8", __bool__=lambda self: True)), {},
     "argument 'show_examples': 'bool8' object is not an instance of 'bool'"),
    # numpy-named types whose __bool__ is missing or misbehaves.
    (("{}", fake_numpy_bool()), {},
     "argument 'show_examples': object of type '<class 'numpy.bool_'>' does not define a '__bool__' conversion"),
    (("{}", fake_numpy_bool(name="bool")), {},
     "argument 'show_examples': object of type '<class 'numpy.bool'>' does not define a '__bool__' conversion"),
    (("{}", fake_numpy_bool(__bool__=lambda self: 1)), {},
     "argument 'show_examples': 'int' object is not an instance of 'bool'"),
    (("{}", fake_numpy_bool(__bool__=lambda self: None)), {},
     "argument 'show_examples': 'None' is not an instance of 'bool'"),
]


@pytest.mark.parametrize("args, kwargs, message", CONVERSION_ERRORS)
def test_conversion_errors(args, kwargs, message):
    with pytest.raises(TypeError) as caught:
        analyze_json(*args, **kwargs)
    assert type(caught.value) is TypeError
    assert str(caught.value) == message
    assert caught.value.__cause__ is None


def test_conversion_type_error_passes_its_cause_on():
    with pytest.raises(TypeError) as caught:
        analyze_json("{}", fake_numpy_bool(__bool__=raise_from_key_error))
    assert type(caught.value) is TypeError
    assert str(caught.value) == "argument 'show_examples': cannot decide"
    assert type(caught.value.__cause__) is KeyError


@pytest.mark.parametrize(
    "show_examples, error",
    [
        (fake_numpy_bool(__bool__=raise_value_error), ValueError),
        (fake_numpy_bool(__bool__=lambda self: (_ for _ in ()).throw(UnicodeError("odd"))), UnicodeError),
    ],
)
def test_conversion_errors_other_than_type_error_are_raised_unchanged(show_examples, error):
    with pytest.raises(error) as caught:
        analyze_json("{}", show_examples)
    assert type(caught.value) is error
    assert not str(caught.value).startswith("argument")


def test_surrogate_error_beats_a_bad_show_examples():
    with pytest.raises(UnicodeEncodeError):
        analyze_json("\ud800", None)


def test_str_subclass_input_uses_the_str_data():
    assert analyze_json(TextSubclass('{"a": 1}')) == analyze_json('{"a": 1}')
    assert analyze_json(TextSubclass('{"a": 1}')) != analyze_json("[1, 2, 3]")


ACCEPTED_CALLS = [
    # (positional, keywords, expected show_examples)
    (("[7]",), {}, True),
    (("[7]", True), {}, True),
    (("[7]", False), {}, False),
    ((), {"input": "[7]"}, True),
    ((), {"input": "[7]", "show_examples": False}, False),
    ((), {"show_examples": False, "input": "[7]"}, False),
    (("[7]",), {"show_examples": False}, False),
    (("[7]", fake_numpy_bool(__bool__=lambda self: False)), {}, False),
    (("[7]", fake_numpy_bool(name="bool", __bool__=lambda self: True)), {}, True),
]


@pytest.mark.parametrize("args, kwargs, show_examples", ACCEPTED_CALLS)
def test_accepted_calls(args, kwargs, show_examples):
    assert analyze_json(*args, **kwargs) == ("  [\n    7\n  ]" if show_examples else "  [\n    int\n  ]")


def test_numpy_boolean_scalars():
    numpy = pytest.importorskip("numpy")
    with_examples = analyze_json("[7]", True)
    without = analyze_json("[7]", False)
    assert with_examples != without
    for value, expected in [
        (numpy.True_, with_examples),
        (numpy.False_, without),
        (numpy.bool_(True), with_examples),
        (numpy.bool_(0), without),
        (numpy.array([True, False])[1], without),
    ]:
        assert analyze_json("[7]", value) == expected
        assert analyze_json("[7]", show_examples=value) == expected


def test_numpy_array_and_integer_are_refused():
    numpy = pytest.importorskip("numpy")
    with pytest.raises(TypeError, match="^argument 'show_examples': 'int64' object is not an instance of 'bool'$"):
        analyze_json("[7]", numpy.int64(1))
    with pytest.raises(TypeError, match="^argument 'show_examples': 'ndarray' object is not an instance of 'bool'$"):
        analyze_json("[7]", numpy.array([True]))


@pytest.mark.parametrize(
    "text, message",
    [
        ('{"k": NaN, a b: 1}', "Failed to parse or repair JSON: InvalidNumber: NaN"),
        ("[inf, x y]", "Failed to parse or repair JSON: InvalidNumber: inf"),
        ("[" * 1025 + "]" * 1025, None),
    ],
)
def test_unreadable_text_raises_value_error(text, message):
    with pytest.raises(BaseException) as caught:
        analyze_json(text)
    assert type(caught.value) is ValueError
    assert str(caught.value).startswith("Failed to parse or repair JSON: ")
    if message is not None:
        assert str(caught.value) == message


def test_calls_leave_the_reference_counts_of_their_arguments_alone():
    text = '{"a": [1, 2]}'
    subclass_text = TextSubclass(text)
    flag = fake_numpy_bool(__bool__=lambda self: True)
    bad_flag = fake_numpy_bool(__bool__=lambda self: 1)
    surrogate = "\ud800"
    unreadable = '{"k": NaN, a b: 1}'
    calls = [
        ((text,), {}), ((subclass_text, flag), {}), ((), {"input": text, "show_examples": False}),
        ((text, bad_flag), {}), ((surrogate,), {}), ((unreadable,), {}), ((text, True, flag), {}),
        ((text,), {"input": text}), ((text,), {"bogus": flag}), ((flag,), {}),
    ]
    watched = [text, subclass_text, flag, bad_flag, surrogate, unreadable]
    before = [sys.getrefcount(obj) for obj in watched]
    for _ in range(100):
        for args, kwargs in calls:
            try:
                analyze_json(*args, **kwargs)
            except (TypeError, ValueError, UnicodeEncodeError):
                pass
    assert [sys.getrefcount(obj) for obj in watched] == before


def test_results_are_new_and_equal_across_calls():
    text = '{"b": [1, 2], "a": {"z": "x", "y": [{"k": 1}, {"j": 2}]}, "c": null}'
    outlines = [analyze_json(text) for _ in range(3)]
    assert type(outlines[0]) is str
    assert outlines[0] == outlines[1] == outlines[2]
    assert outlines[0] is not outlines[1]


def test_input_with_nul_characters_is_passed_whole():
    # The text is handed over with its length, so a NUL does not cut it short.
    assert analyze_json('["a\x00b", "c"]', True) == '  [\n    "ab", "c"\n  ]'


class TestPanicException:
    """No input reaches an internal fault; the probe module throws C++
    exceptions through the same boundary code that analyze_json uses."""

    @pytest.fixture(autouse=True)
    def probe(self):
        self.probe = pytest.importorskip("plomet_fault_probe")

    def raise_native(self, kind, message=""):
        with pytest.raises(BaseException) as caught:
            self.probe.raise_native(kind, message)
        return caught.value

    def test_type(self):
        panic = self.probe.panic_exception_type()
        assert panic is self.probe.panic_exception_type()
        assert panic.__module__ == "_plomet_runtime"
        assert panic.__name__ == "PanicException"
        assert panic.__bases__ == (BaseException,)
        assert not issubclass(panic, Exception)
        assert "BaseException" in panic.__doc__ and "SystemExit" in panic.__doc__

    def test_internal_fault(self, capfd):
        error = self.raise_native("internal_fault", "schema keys should serialize to JSON strings")
        assert type(error) is self.probe.panic_exception_type()
        assert error.args == ("schema keys should serialize to JSON strings",)
        # The location is the throw site, not the boundary that caught it.
        assert re.fullmatch(
            r"plomet: internal fault at \S*fault_probe\.cpp:\d+ in throw_kind: "
            r"schema keys should serialize to JSON strings\n",
            capfd.readouterr().err,
        )

    def test_is_not_caught_by_except_exception(self):
        with pytest.raises(self.probe.panic_exception_type()):
            try:
                self.probe.raise_native("internal_fault", "x")
            except Exception:  # noqa: BLE001 - the point of the test
                pytest.fail("PanicException was caught as an Exception")

    @pytest.mark.parametrize(
        "kind, message, expected",
        [
            ("logic_error", "vector::at", "vector::at"),
            ("internal_fault", "", "the native code failed without a message"),
            ("int", "", "the native code failed without a message"),
        ],
    )
    def test_other_exceptions_become_panics(self, kind, message, expected, capfd):
        error = self.raise_native(kind, message)
        assert type(error) is self.probe.panic_exception_type()
        assert error.args == (expected,)
        assert capfd.readouterr().err.endswith(": " + expected + "\n")

    def test_bad_alloc_becomes_memory_error(self, capfd):
        assert type(self.raise_native("bad_alloc")) is MemoryError
        assert capfd.readouterr().err == ""
