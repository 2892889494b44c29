"""kestrune against its peers where they are closest: the failure path, mappings,
object attributes, JSON reading and the first set decision of a process.

Every case times kestrune and its peer in the same process, in turns (each round
runs every contender once, so drift on a shared machine falls on all alike), with
the collector off while timing. The best and the median of the rounds are printed,
and the ratios peer / kestrune of both (above 1: kestrune is ahead). The peers,
pydantic, msgspec and orjson, come from bench/requirements.txt: `make bench`
installs them and runs this script.

Two rows are derived from differences of timed calls (best minus best, median
minus median), as printed beside them:
- items visited after the first failure: (validate of a list[int] of 1,000 whose
  item 0 is wrong - validate of the same list cut to that one item) / 999, against
  is_valid of a valid list[int] of 1,000, per element;
- fixed cost of a failing validate: validate of the one-item list above - is_valid
  of the same list.
The first is_subtype_of is timed in fresh interpreters (subprocesses): the first
call's time minus the median of the next ones.
"""

import dataclasses
import gc
import statistics
import subprocess
import sys
import time

import msgspec
import orjson
import pydantic

from bench_json import numbers_document, records_document, short_strings_documents, strings_document
from bench_schemas import Row
from bench_walk import RowClass, row, row_object
from kestrune import ValidationError, Validator, anything

ROUNDS = 41
DOCUMENT_ROUNDS = 25
FRESH_PROCESSES = 9


@dataclasses.dataclass
class Timing:
    best: float
    median: float

    @classmethod
    def of(cls, samples):
        return cls(min(samples), statistics.median(samples))

    def __sub__(self, other):
        return Timing(self.best - other.best, self.median - other.median)

    def scaled(self, factor):
        return Timing(self.best * factor, self.median * factor)


def take_turns(contenders, loops, rounds=ROUNDS):
    """Seconds per call of each contender (a function of no arguments), one
    sample per round."""
    samples = {name: [] for name in contenders}
    for _ in range(rounds):
        for name, call in contenders.items():
            gc.disable()
            start = time.perf_counter()
            for _ in range(loops):
                call()
            elapsed = time.perf_counter() - start
            gc.enable()
            samples[name].append(elapsed / loops)
        gc.collect()
    return samples


def timed(contenders, loops, rounds=ROUNDS):
    return {name: Timing.of(times) for name, times in take_turns(contenders, loops, rounds).items()}


def raising(call, value, error):
    """A call that is expected to raise `error`, as a function of no arguments."""

    def run():
        try:
            call(value)
        except error:
            return
        raise AssertionError("expected a failure")

    return run


def count_errors(call, value, error):
    try:
        call(value)
    except error as failure:
        return len(failure.errors() if callable(failure.errors) else failure.errors)
    return 0


def row_with_three_errors():
    value = row(1)
    value["count"] = "7"
    value["origin"] = {"x": 1, "y": None, "label": "o"}
    value["tags"] = ["a", 2]
    return value


def list_with_wrong_items(wrong):
    value = list(range(1000))
    for i in range(0, 1000, 1000 // wrong):
        value[i] = str(i)
    return value


def python_dict_check(value):
    return type(value) is dict and all(type(k) is str and type(v) is float for k, v in value.items())


def report(case, unit, scale, ours, peers, target):
    """One block of output: kestrune's figure, then each peer's with the ratios."""
    print(case)
    print(f"  {'kestrune':34} best {ours.best * scale:10.3f}  median {ours.median * scale:10.3f} {unit}")
    for name, theirs in peers.items():
        print(
            f"  {name:34} best {theirs.best * scale:10.3f}  median {theirs.median * scale:10.3f} {unit}"
            f"   ratio {theirs.best / ours.best:5.2f}x / {theirs.median / ours.median:5.2f}x"
        )
    print(f"  target: {target}")


def failing_record():
    validator = Validator(Row)
    adapter = pydantic.TypeAdapter(Row)
    value = row_with_three_errors()
    assert count_errors(validator.validate, value, ValidationError) == 3
    assert count_errors(lambda v: adapter.validate_python(v, strict=True), value, pydantic.ValidationError) == 3
    times = timed(
        {
            "kestrune": raising(validator.validate, value, ValidationError),
            "pydantic": raising(lambda v: adapter.validate_python(v, strict=True), value, pydantic.ValidationError),
        },
        loops=2000,
    )
    report("validate, 10-field record with 3 errors", "us", 1e6, times["kestrune"],
           {"pydantic validate_python, strict": times["pydantic"]}, "ratio at least 1.5x")


def failing_lists():
    validator = Validator(list[int])
    adapter = pydantic.TypeAdapter(list[int])
    for wrong in (1, 10):
        value = list_with_wrong_items(wrong)
        assert count_errors(validator.validate, value, ValidationError) == wrong
        times = timed(
            {
                "kestrune": raising(validator.validate, value, ValidationError),
                "pydantic": raising(lambda v: adapter.validate_python(v, strict=True), value,
                                    pydantic.ValidationError),
            },
            loops=300,
        )
        report(f"validate, list[int] of 1,000 with {wrong} wrong", "us", 1e6, times["kestrune"],
               {"pydantic validate_python, strict": times["pydantic"]}, "ratio at least 1.5x")


def collecting_walk():
    validator = Validator(list[int])
    valid = list(range(1000))
    failing = ["0"] + valid[1:]
    one = failing[:1]
    samples = take_turns(
        {
            "answering": lambda: validator.is_valid(valid),
            "collecting": raising(validator.validate, failing, ValidationError),
            "one item": raising(validator.validate, one, ValidationError),
            "one item, answering": lambda: validator.is_valid(one),
        },
        loops=500,
    )
    # Differences of the bests and of the medians: a best of per-round differences
    # would pick the round where the subtracted call was slowest.
    times = {name: Timing.of(values) for name, values in samples.items()}
    answering = times["answering"].scaled(1 / 1000)
    collecting = (times["collecting"] - times["one item"]).scaled(1 / 999)
    print("items visited after the first failure while collecting (list[int] of 1,000, item 0 wrong)")
    print(f"  {'collecting, per item':34} best {collecting.best * 1e9:10.3f}  median {collecting.median * 1e9:10.3f} ns"
          f"   {collecting.best / answering.best:5.2f}x / {collecting.median / answering.median:5.2f}x"
          " the answering walk")
    print(f"  {'answering, per item':34} best {answering.best * 1e9:10.3f}  median {answering.median * 1e9:10.3f} ns")
    print("  target: at most 2x the answering walk")
    fixed = times["one item"] - times["one item, answering"]
    print("fixed cost of a failing validate with one error (validate - is_valid of a one-item list)")
    print(f"  {'kestrune':34} best {fixed.best * 1e6:10.3f}  median {fixed.median * 1e6:10.3f} us")
    print("  target: under 1 us")


def float_mapping():
    validator = Validator(dict[str, float])
    value = {f"key {i}": i / 7 for i in range(1000)}
    assert validator.is_valid(value) and python_dict_check(value)
    times = timed(
        {
            "kestrune": lambda: validator.is_valid(value),
            "python": lambda: python_dict_check(value),
            "msgspec": lambda: msgspec.convert(value, dict[str, float]),
        },
        loops=200,
    )
    report("is_valid, dict[str, float] of 1,000 entries (per entry)", "ns", 1e9 / 1000, times["kestrune"],
           {"pure-Python loop of type tests": times["python"], "msgspec convert": times["msgspec"]},
           "at most 3 ns per entry")


def dataclass_record():
    validator = Validator(RowClass)
    dict_validator = Validator(Row)
    value, as_dict = row_object(1), row(1)
    assert validator.is_valid(value) and dict_validator.is_valid(as_dict)
    times = timed(
        {
            "kestrune": lambda: validator.is_valid(value),
            "dict": lambda: dict_validator.is_valid(as_dict),
            "msgspec": lambda: msgspec.convert(value, RowClass, from_attributes=True),
        },
        loops=5000,
    )
    report("is_valid, dataclass of the 10-field record", "ns", 1e9, times["kestrune"],
           {"kestrune, the record as a dict": times["dict"],
            "msgspec convert, from_attributes": times["msgspec"]},
           "ratio at least 0.5x to the dict record; at least 3x to msgspec")


def documents():
    for label, (document, schema) in [
        ("records", records_document()),
        ("numbers", numbers_document()),
        ("strings with escapes", strings_document()),
    ]:
        validator = Validator(schema)
        assert validator.load(document) == orjson.loads(document)
        times = timed(
            {"kestrune": lambda: validator.load(document), "orjson": lambda: orjson.loads(document)},
            loops=1, rounds=DOCUMENT_ROUNDS,
        )
        report(f"load, {label} document ({len(document) / 1e6:.2f} MB)", "ms", 1e3, times["kestrune"],
               {"orjson.loads": times["orjson"]}, "ratio at least 0.91x (load at most 1.1x orjson.loads)")
    for kind, label in [("ascii", "plain ASCII"), ("escaped", "escaped (non-ASCII as \\u escapes)"),
                        ("utf-8", "non-ASCII UTF-8 with escapes")]:
        documents, schema = short_strings_documents(kind)
        validator = Validator(schema)
        for document in documents:
            assert validator.load(document) == orjson.loads(document)

        def read_all(reader, documents=documents):
            for document in documents:
                reader(document)

        times = timed({"kestrune": lambda: read_all(validator.load), "orjson": lambda: read_all(orjson.loads)},
                      loops=1, rounds=DOCUMENT_ROUNDS)
        report(f"load, 12,000 short strings, {label}, 4 documents in turn (per document)", "ms",
               1e3 / len(documents), times["kestrune"], {"orjson.loads": times["orjson"]},
               "ratio at least 0.87x (load at most 1.15x orjson.loads)")
    document, schema = records_document()
    checks = {"Row": Validator(schema), "anything": anything}
    for name, validator in checks.items():
        assert validator.is_valid_json(document)
    times = timed(
        {
            "Row": lambda: checks["Row"].is_valid_json(document),
            "anything": lambda: checks["anything"].is_valid_json(document),
            "orjson": lambda: orjson.loads(document),
        },
        loops=1, rounds=DOCUMENT_ROUNDS,
    )
    gigabytes = len(document) / 1e9
    for name, target in (("Row", "0.8"), ("anything", "1")):
        ours = times[name]
        print("is_valid_json, records document, list[Row]" if name == "Row" else
              "is_valid_json, records document, anything")
        print(f"  {'kestrune':34} best {gigabytes / ours.best:10.3f}  median {gigabytes / ours.median:10.3f} GB/s")
        theirs = times["orjson"]
        print(f"  {'orjson.loads (parse alone)':34} best {gigabytes / theirs.best:10.3f}  median "
              f"{gigabytes / theirs.median:10.3f} GB/s   ratio {theirs.best / ours.best:5.2f}x / "
              f"{theirs.median / ours.median:5.2f}x")
        print(f"  target: at least {target} GB/s")


FRESH_PROCESS = """
import statistics, time
from kestrune import Validator
narrow, wide = Validator(int), Validator(int | str)
start = time.perf_counter()
narrow.is_subtype_of(wide)
first = time.perf_counter() - start
later = []
for _ in range(51):
    start = time.perf_counter()
    narrow.is_subtype_of(wide)
    later.append(time.perf_counter() - start)
print(first, statistics.median(later))
"""


def first_decision():
    excess, later = [], []
    for _ in range(FRESH_PROCESSES):
        output = subprocess.run([sys.executable, "-c", FRESH_PROCESS], check=True, capture_output=True, text=True).stdout
        first, rest = map(float, output.split())
        excess.append(first - rest)
        later.append(rest)
    print(f"first is_subtype_of in a fresh process (int <= int | str, {FRESH_PROCESSES} processes)")
    print(f"  {'first call - later calls':34} best {min(excess) * 1e6:10.3f}  median "
          f"{statistics.median(excess) * 1e6:10.3f} us")
    print(f"  {'later calls':34} best {min(later) * 1e6:10.3f}  median {statistics.median(later) * 1e6:10.3f} us")
    print("  target: under 20 us")


def main():
    print(f"pydantic {pydantic.VERSION}, msgspec {msgspec.__version__}, orjson {orjson.__version__}; "
          f"ratios are peer / kestrune, best / median of the rounds")
    failing_record()
    failing_lists()
    collecting_walk()
    float_mapping()
    dataclass_record()
    documents()
    first_decision()


if __name__ == "__main__":
    main()
