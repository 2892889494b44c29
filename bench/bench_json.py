"""MB/s of reading JSON documents: kestrune's load, validate_json and is_valid_json
against the standard json module and, when installed (bench/requirements.txt),
orjson and msgspec. `make bench` installs them and runs this script.

The documents are generated here: about 1 MB each.
"""

import json
import random
import time

from bench_schemas import Row
from kestrune import Validator

try:
    import orjson
except ImportError:
    orjson = None
try:
    import msgspec
except ImportError:
    msgspec = None

REPEATS = 25


def records_document():
    rows = []
    i = 0
    while len(json.dumps(rows)) < 1_000_000:
        rows.extend(
            {
                "name": f"row {i + k}",
                "count": i + k,
                "ratio": (i + k) / 7,
                "active": k % 2 == 0,
                "note": None if k % 3 else "a note",
                "scores": [1, 2, 3, i % 100],
                "origin": {"x": k, "y": -k, "label": "origin"},
                "tags": ["alpha", "beta"],
                "weight": 1.25,
                "rank": k,
            }
            for k in range(100)
        )
        i += 100
    return json.dumps(rows).encode(), list[Row]


def numbers_document():
    generator = random.Random(7)
    numbers = []
    while len(numbers) < 80_000:
        numbers.append(generator.randint(-(10**9), 10**9))
        numbers.append(generator.random() * 1000)
    return json.dumps(numbers).encode(), list[int | float]


def strings_document():
    generator = random.Random(7)
    pieces = ['quote " backslash \\ tab \t', "line\nfeed", "caf\u00e9 \u65e5\u672c", "plain text " * 4]
    strings = [" ".join(generator.choice(pieces) for _ in range(8)) for _ in range(4000)]
    return json.dumps(strings).encode(), list[str]


SHORT_STRING_LETTERS = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 _-"
SHORT_STRING_PIECES = ["ab", "cd ", "\u00e9", "\u65e5", "\n", '"', "\\", "xyz", "\t", "q"]


def short_strings_documents(kind, count=4):
    """`count` documents of 12,000 distinct strings of 10 to 50 characters each:
    "ascii" (no escapes), "escaped" (escapes, non-ASCII written as \\u escapes) or
    "utf-8" (the same texts with non-ASCII written as itself). Read in turn, they
    hold more strings than the string cache, so each read meets new ones, as a
    service reading documents it has not seen does."""
    documents = []
    for seed in range(count):
        generator = random.Random(100 + seed)
        strings = []
        for _ in range(12000):
            length = generator.randint(10, 50)
            if kind == "ascii":
                strings.append("".join(generator.choice(SHORT_STRING_LETTERS) for _ in range(length)))
                continue
            text = ""
            while len(text) < length:
                text += generator.choice(SHORT_STRING_PIECES)
            strings.append(text)
        documents.append(json.dumps(strings, ensure_ascii=kind != "utf-8").encode())
    return documents, list[str]


def best_seconds(readers, document):
    """The best time of each reader over REPEATS rounds; every round runs each
    reader once, so drift on a shared machine (and the collector's pauses) falls
    on all of them alike."""
    best = dict.fromkeys(readers, float("inf"))
    for _ in range(REPEATS):
        for name, call in readers.items():
            start = time.perf_counter()
            call(document)
            best[name] = min(best[name], time.perf_counter() - start)
    return best


def main():
    for label, (document, schema) in [
        ("records", records_document()),
        ("numbers", numbers_document()),
        ("strings with escapes", strings_document()),
    ]:
        validator = Validator(schema)
        assert validator.is_valid_json(document), label
        readers = {
            "kestrune load": validator.load,
            "kestrune validate_json": validator.validate_json,
            "kestrune is_valid_json": validator.is_valid_json,
            "json.loads": json.loads,
        }
        if orjson is not None:
            readers["orjson.loads"] = orjson.loads
        if msgspec is not None:
            readers["msgspec decode"] = msgspec.json.decode
            typed = msgspec.json.Decoder(schema)
            readers["msgspec decode, typed"] = typed.decode
        size = len(document) / 1e6
        print(f"{label}: {size:.2f} MB")
        times = best_seconds(readers, document)
        for name, seconds in times.items():
            ratios = f"  load/orjson {times['kestrune load'] / times['orjson.loads']:.2f}x" if (
                name == "kestrune load" and "orjson.loads" in times
            ) else ""
            print(f"  {name:26} {size / seconds:8.1f} MB/s{ratios}")


if __name__ == "__main__":
    main()
