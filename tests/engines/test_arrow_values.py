"""Shape.add_arrow on pyarrow's string and binary arrays: each value is read
in place as one line of add_lines."""
import pytest

import plomet

pyarrow = pytest.importorskip("pyarrow")


def test_arrow_values_are_lines():
    values = ['{"a": 1}', None, "  ", '{"b": 2}\r', "1e999", '{"a": "é"}']
    from_lines, from_arrow = plomet.Shape(), plomet.Shape()
    from_lines.add_lines([value or "" for value in values], errors="skip")
    for kind in (pyarrow.string(), pyarrow.large_string(), pyarrow.binary(), pyarrow.large_binary()):
        array = pyarrow.array([v.encode() if v is not None and "binary" in str(kind) else v for v in values], kind)
        shape = plomet.Shape()
        shape.add_arrow(array.slice(1), errors="skip")  # an offset into the buffers
        shape.add_arrow(array.slice(0, 1))
        assert shape.documents == 3 and shape.skipped == [(4, "Failed to parse or repair JSON: InvalidNumber: 1e999")]
        with pytest.raises(ValueError, match="^line 5: "):
            plomet.Shape().add_arrow(array)
        from_arrow = plomet.Shape()
        from_arrow.add_arrow(array, errors="skip")
        assert from_arrow.outline() == from_lines.outline()
    for wrong, error in [(pyarrow.array([1]), TypeError), ([b"{}"], TypeError)]:
        with pytest.raises(error):
            plomet.Shape().add_arrow(wrong)
