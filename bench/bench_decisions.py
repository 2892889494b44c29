"""Microseconds per decision of is_subtype_of and is_equivalent.

Run with the package importable, for example `.venv/bin/python bench/bench_decisions.py`
after `make build`. Every figure is the best of several repeats.
"""

import time

from bench_schemas import Row
from kestrune import Validator, recursive

REPEATS = 7




def json_like():
    return recursive(lambda self: None | bool | int | float | str | list[self] | dict[str, self])


def time_per_call(call, loops):
    best = float("inf")
    for _ in range(REPEATS):
        start = time.perf_counter()
        for _ in range(loops):
            call()
        best = min(best, time.perf_counter() - start)
    return best / loops * 1e6


def main():
    record = Validator(Row)
    opened = record.open()
    value, twin = json_like(), json_like()
    cases = [
        ("record <= its opened form", lambda: record.is_subtype_of(opened), 2000),
        ("record == its opened form", lambda: record.is_equivalent(opened), 2000),
        ("JSON-like <= itself", lambda: value.is_subtype_of(twin), 2000),
        ("JSON-like == itself", lambda: value.is_equivalent(twin), 2000),
    ]
    print(f"{'case':30} {'us per decision':>16}")
    for name, call, loops in cases:
        print(f"{name:30} {time_per_call(call, loops):16.1f}")


if __name__ == "__main__":
    main()
