"""Deterministic generators of the benchmark's documents.

Every generator is a pure function of its arguments (and the seed): the same
call writes the same bytes on every machine and Python version, so timings of
different runs describe the same input.
"""
import json
import os
import random

# Part of every cached file name: bump it when a generator's output changes.
GENERATOR_VERSION = 1
DEFAULT_SEED = 20260

_ASCII_WORDS = (
    "order shipment invoice customer account balance pending delivered cancelled "
    "warehouse priority express standard review rating product catalogue season "
    "the a of and to in for with on at by from quick brown fox jumps over lazy dog "
    "alpha beta gamma delta network latency request response cache index query "
    "value field record stream buffer window frame packet signal header payload"
).split()
_NON_ASCII_WORDS = (
    "café naïve façade déjà vu Zürich Straße Ærøskøbing São Paulo Kraków Łódź "
    "Ελλάδα καλημέρα Москва привет 東京 日本語 北京 서울 한국어 मुंबई नमस्ते "
    "القاهرة مرحبا ירושלים שלום ☕ 🚀 🎉 👍🏽 ✓ € £ ¥ — … «guillemets» „Anführung“"
).split()
_CITIES = ["Lyon", "Zürich", "Kraków", "São Paulo", "東京", "Москва", "Austin", "Cairo", "Oslo"]
_LOCALES = ["en-US", "fr-FR", "de-CH", "pl-PL", "pt-BR", "ja-JP", "ru-RU", "ar-EG", "nb-NO"]
_STATUSES = ["pending", "paid", "shipped", "delivered", "returned", "cancelled"]
_TAGS = ["gift", "fragile", "bulk", "express", "eco", "vip", "b2b", "sample", "promo", "repeat"]


def _sentence(rng, words):
    # Mostly ASCII with non-ASCII words sprinkled in, plus the occasional
    # character that JSON must escape.
    parts = []
    for _ in range(words):
        roll = rng.random()
        if roll < 0.18:
            parts.append(rng.choice(_NON_ASCII_WORDS))
        elif roll < 0.20:
            parts.append(rng.choice(['"quoted"', "back\\slash", "tab\there", "line\nbreak"]))
        else:
            parts.append(rng.choice(_ASCII_WORDS))
    return " ".join(parts)


def _record(rng, index):
    """One realistic record: nested objects, optional keys, arrays of scalars,
    short and long strings with non-ASCII text, integers and floats."""
    user = {
        "id": rng.randrange(1, 10**9),
        "name": _sentence(rng, 2).title(),
        "email": f"user{rng.randrange(10**6)}@example.org",
        "locale": rng.choice(_LOCALES),
        "verified": rng.random() < 0.7,
        "score": round(rng.uniform(0, 5), 3),
    }
    if rng.random() < 0.4:
        user["bio"] = _sentence(rng, rng.randrange(20, 120))
    if rng.random() < 0.3:
        user["avatar_url"] = f"https://img.example.org/{rng.getrandbits(64):016x}.png"
    record = {
        "id": index,
        "uuid": f"{rng.getrandbits(128):032x}",
        "created_at": "2024-%02d-%02dT%02d:%02d:%02dZ" % (
            rng.randrange(1, 13), rng.randrange(1, 29), rng.randrange(24),
            rng.randrange(60), rng.randrange(60)),
        "status": rng.choice(_STATUSES),
        "user": user,
        "tags": rng.sample(_TAGS, rng.randrange(0, 6)),
        "readings": [round(rng.gauss(20, 8), 2) for _ in range(rng.randrange(0, 12))],
        "counts": [rng.randrange(-1000, 10**6) for _ in range(rng.randrange(0, 8))],
        "items": [],
        "text": _sentence(rng, rng.randrange(10, 400)),
    }
    for _ in range(rng.randrange(0, 6)):
        item = {
            "sku": f"SKU-{rng.randrange(10**8):08d}",
            "qty": rng.randrange(1, 20),
            "price": round(rng.uniform(0.5, 999), 2),
        }
        if rng.random() < 0.25:
            item["discount"] = round(rng.uniform(0, 0.5), 2)
        if rng.random() < 0.15:
            item["note"] = _sentence(rng, rng.randrange(3, 15))
        record["items"].append(item)
    if rng.random() < 0.5:
        record["location"] = {
            "lat": round(rng.uniform(-90, 90), 6),
            "lon": round(rng.uniform(-180, 180), 6),
            "city": rng.choice(_CITIES),
        }
    if rng.random() < 0.3:
        record["parent_id"] = rng.choice([None, rng.randrange(index + 1)])
    if rng.random() < 0.1:
        record["metadata"] = {"source": rng.choice(["web", "app", "api"]),
                              "retries": rng.randrange(5), "debug": None}
    return record


def realistic_chunks(target_bytes, seed=DEFAULT_SEED):
    """Yields the UTF-8 pieces of one document of about target_bytes: an object
    with a small header and an array of records, one record per line. Every
    tenth record is written with \\u escapes instead of raw non-ASCII text. A
    smaller target gives a prefix of a larger one's records."""
    rng = random.Random(seed)
    head = ('{"meta": {"generator": "plomet-bench", "version": %d, "seed": %d},\n'
            ' "records": [\n' % (GENERATOR_VERSION, seed)).encode()
    tail = b"\n]}\n"
    yield head
    written = len(head) + len(tail)
    index = 0
    while written < target_bytes:
        record = json.dumps(_record(rng, index), ensure_ascii=index % 10 == 9).encode()
        piece = record if index == 0 else b",\n" + record
        yield piece
        written += len(piece)
        index += 1
    yield tail


def records_lines_chunks(target_bytes, seed=DEFAULT_SEED):
    """Yields JSON Lines of about target_bytes: the records of
    realistic_chunks, one document per line."""
    rng = random.Random(seed)
    written = 0
    index = 0
    while written < target_bytes:
        line = json.dumps(_record(rng, index), ensure_ascii=index % 10 == 9).encode() + b"\n"
        yield line
        written += len(line)
        index += 1


def _scramble(i):
    # A bijection on 32-bit integers (odd multiplier), so values are distinct
    # but not sorted.
    return (i * 2654435761) & 0xFFFFFFFF


def _array_chunks(count, item_text):
    """Yields a JSON array of item_text(0) .. item_text(count - 1), written
    without spaces, in pieces of 100,000 items."""
    yield b"["
    step = 100_000
    for start in range(0, count, step):
        stop = min(count, start + step)
        body = ",".join(item_text(i) for i in range(start, stop))
        yield (body if start == 0 else "," + body).encode()
    yield b"]"


def distinct_integers_chunks(count):
    return _array_chunks(count, lambda i: str(_scramble(i)))


def distinct_strings_chunks(count):
    return _array_chunks(count, lambda i: f'"item-{_scramble(i):08x}-é"')


def sequential_integers_chunks(count):
    """[0,1,2,...,count-1]."""
    return _array_chunks(count, str)


def distinct_floats_chunks(count):
    """count distinct floats with three decimals, such as 12.345: the integer
    part is the item's index, so no two are equal, and no fraction is zero, so
    every one is a float."""
    return _array_chunks(count, lambda i: f"{i}.{(i * 7919) % 999 + 1:03d}")


def short_strings_chunks(count):
    """count distinct ASCII strings of eight hexadecimal digits."""
    return _array_chunks(count, lambda i: f'"{_scramble(i):08x}"')


def tiny_objects_chunks(count):
    """count copies of {"a":1}."""
    return _array_chunks(count, lambda i: '{"a":1}')


def wide_objects_chunks(objects, keys, distinct_across_objects):
    """An array of `objects` objects of `keys` keys each. With
    distinct_across_objects the keys of every object are new to the document,
    so the merged item shape holds objects * keys keys; otherwise every object
    has the same keys and the merged shape holds `keys` keys."""
    yield b"["
    for o in range(objects):
        prefix = f"k{o}_" if distinct_across_objects else "field_"
        body = ",".join(f'"{prefix}{k}":{(o * keys + k) % 997}' for k in range(keys))
        yield (("{" if o == 0 else ",{") + body + "}").encode()
    yield b"]"


def deep_nesting_chunks(depth, items):
    """depth nested containers, the innermost an array of `items` distinct
    integers: depth - 1 objects with the key "k", then the array."""
    yield b'{"k":' * (depth - 1)
    yield from distinct_integers_chunks(items)
    yield b"}" * (depth - 1)


def write_cached(directory, name, chunks):
    """Writes the chunks to directory/name unless that file exists, and returns
    its path. The file appears only once complete."""
    path = os.path.join(directory, name)
    if os.path.exists(path):
        return path
    os.makedirs(directory, exist_ok=True)
    partial = path + ".partial"
    with open(partial, "wb") as out:
        for chunk in chunks:
            out.write(chunk)
    os.replace(partial, path)
    return path


def truncated_text(text, fraction):
    """The first `fraction` of text's UTF-8 bytes, cut back to a character
    boundary."""
    data = text.encode("utf-8")
    cut = int(len(data) * fraction)
    while cut > 0 and (data[cut] & 0xC0) == 0x80:
        cut -= 1
    return data[:cut].decode("utf-8")
