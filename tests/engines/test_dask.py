"""plomet.dask on a distributed.LocalCluster of two worker processes, on the
JSON Lines files of conftest: the result equals the command's on the same
files in path order."""
import pytest

from jsonl_cases import PIECE_BYTES, renders

dask_bag = pytest.importorskip("dask.bag")
distributed = pytest.importorskip("distributed")
import plomet  # noqa: E402
import plomet.dask  # noqa: E402


@pytest.fixture(scope="module")
def client():
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=None) as cluster, distributed.Client(cluster) as connected:
        yield connected


def bag_line_numbers(paths):
    """FILE:LINE of each line of the files, by its number in the bag."""
    numbers = []
    for path in paths:
        with open(path, encoding="utf-8", newline="") as f:
            numbers += [f"{path}:{line}" for line, _ in enumerate(f, 1)]
    return numbers


@pytest.mark.parametrize("items", ["str", "bytes"])
def test_a_bag_equals_the_command(client, jsonl_files, command_results, items):
    bag = dask_bag.read_text(jsonl_files, blocksize=PIECE_BYTES)
    if items == "bytes":
        bag = bag.map(str.encode)
    assert bag.npartitions > 10
    # Partitions of bad lines only, and empty ones (the empty file).
    sizes = bag.map_partitions(lambda lines: [len(list(lines))]).compute()
    assert 0 in sizes
    skipped = []
    shape = plomet.dask.infer(bag, errors="skip", skipped=skipped, split_every=3)
    assert renders(shape) == {key: command_results[key] for key in ("outline", "plain", "schema")}
    numbers = bag_line_numbers(jsonl_files)
    assert [f"{numbers[s.line - 1]}: {s.message}" for s in skipped] == command_results["messages"][:1000]
    assert {s.path for s in skipped} == {None}


def test_a_bad_line_fails_with_the_first_message_in_order(client, jsonl_files, command_results):
    bag = dask_bag.read_text(jsonl_files, blocksize=PIECE_BYTES)
    with pytest.raises(ValueError) as failure:
        plomet.dask.infer(bag)
    line = int(str(failure.value).split(":")[0].removeprefix("line "))
    assert f"{bag_line_numbers(jsonl_files)[line - 1]}: {str(failure.value).split(': ', 1)[1]}" == \
        command_results["messages"][0]


def test_the_reduction_keeps_the_order(client):
    """Each partition's first line decides nothing but the first's; a merge
    out of order would let a later partition's array decide the kind."""
    lines = ['{"a": 1}'] + ["[1]"] * 30
    bag = dask_bag.from_sequence(lines, npartitions=8)
    expected = plomet.Shape()
    expected.add_lines(lines)
    for split_every in (2, 3, None):
        shape = plomet.dask.infer(bag, split_every=split_every)
        assert shape.outline() == expected.outline() and shape.documents == 31
