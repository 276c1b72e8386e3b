"""plomet on Dask: the shape of a bag of JSON Lines, folded partition by
partition on the workers and merged by an ordered tree reduction.

Needs dask (with its bag) on the client and the workers, and plomet on the
workers too."""
from plomet._pieces import PieceFolder, SkippedRecord, check_errors, concatenate, merge_in_order

__all__ = ["infer", "SkippedRecord"]


def infer(bag, *, examples=True, errors="raise", skipped=None, split_every=None):
    """The plomet.Shape of a Dask bag whose items are lines of JSON Lines
    (str or bytes, one line each; a final "\\n" only ends it, as
    dask.bag.read_text leaves it), folded as `plomet --lines` folds the same
    lines: partitions in order, items in order within each.

    errors="raise": a line that does not read raises
    ValueError("line N: message") for the first such line, N counting the
    bag's items from 1. errors="skip": such lines are left out; the first
    1000 are appended to the list skipped, when one is given, as
    SkippedRecord(None, N, message). split_every is the reduction tree's
    fan-in (Dask's default when None)."""
    check_errors(errors)
    whole = bag.reduction(_fold_partition(examples), _concatenate, split_every=split_every).compute()
    return merge_in_order([whole], examples, errors, skipped)


def _fold_partition(examples):
    def fold(lines):
        folder = PieceFolder(examples)
        folder.add_lines(lines if isinstance(lines, list) else list(lines))
        return folder.piece("", 0)
    return fold


def _concatenate(pieces):
    return concatenate(list(pieces))
