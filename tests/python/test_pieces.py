"""The merge of piece summaries that plomet.spark and plomet.dask share, with
no engine: pieces given in any order come back in (file, offset) order, and
skipped records are numbered in their file."""
import random

import pytest

import plomet
from plomet._pieces import PieceFolder, SkippedRecord, merge_in_order

FILES = {
    "a.jsonl": ["[1]", "1e999", '{"a": 1}', ""],
    "b.jsonl": ['{"b": "ü"}', "", "1e999", '{"b": 2}', "1e999", '{"c": null}'],
}


def pieces(size):
    """Each file cut into pieces of size lines, keyed by the offset of their
    first line, folded in calls of two values."""
    cut = []
    for name, lines in FILES.items():
        for first in range(0, len(lines), size):
            folder = PieceFolder(examples=True)
            part = lines[first:first + size]
            for at in range(0, len(part), 2):
                folder.add_lines(part[at:at + 2])
            cut.append(folder.piece(name, sum(len(line) + 1 for line in lines[:first])))
    return cut


def whole_fold():
    shape = plomet.Shape()
    for lines in FILES.values():
        shape.add_lines(lines, errors="skip")
    return shape


@pytest.mark.parametrize("size", [1, 2, 3, 10])
@pytest.mark.parametrize("seed", range(4))
def test_pieces_in_any_order_merge_as_the_whole(size, seed):
    shuffled = pieces(size)
    random.Random(seed).shuffle(shuffled)
    skipped = []
    shape = merge_in_order(shuffled, True, "skip", skipped)
    assert (shape.outline(), shape.documents) == (whole_fold().outline(), whole_fold().documents)
    assert skipped == [SkippedRecord("a.jsonl", 2, "Failed to parse or repair JSON: InvalidNumber: 1e999"),
                       SkippedRecord("b.jsonl", 3, "Failed to parse or repair JSON: InvalidNumber: 1e999"),
                       SkippedRecord("b.jsonl", 5, "Failed to parse or repair JSON: InvalidNumber: 1e999")]
    with pytest.raises(ValueError, match=r"^a\.jsonl:2: Failed to parse or repair JSON: InvalidNumber: 1e999$"):
        merge_in_order(shuffled, True, "raise")


def test_a_bag_numbers_lines_in_the_whole_sequence():
    folder = PieceFolder(examples=False)
    folder.add_lines(["{}", "1e999"])
    later = PieceFolder(examples=False)
    later.add_lines(["1e999"])
    with pytest.raises(ValueError, match=r"^line 2: "):
        merge_in_order([later.piece("", 1), folder.piece("", 0)], False, "raise")
    skipped = []
    merge_in_order([later.piece("", 1), folder.piece("", 0)], False, "skip", skipped)
    assert [(s.path, s.line) for s in skipped] == [(None, 2), (None, 3)]
