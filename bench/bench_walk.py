"""Nanoseconds per check of is_valid and validate on typical schemas.

Run with the package importable, for example `.venv/bin/python bench/bench_walk.py`
after `make build`. Every figure is the best of several repeats.
"""

import dataclasses
import time
from types import SimpleNamespace
from typing import Annotated, Literal, Optional

from bench_schemas import Row
from kestrune import Validator, recursive

REPEATS = 7


@dataclasses.dataclass
class PointClass:
    x: int
    y: int
    label: str


@dataclasses.dataclass
class RowClass:
    name: str
    count: int
    ratio: float
    active: bool
    note: Optional[str]
    scores: list[int]
    origin: PointClass
    tags: list[str]
    weight: float
    rank: int


ROW_LITERAL = {
    "name": str,
    "count": int,
    "ratio": float,
    "active": bool,
    "note": Optional[str],
    "scores": list[int],
    "origin": {"x": int, "y": int, "label": str},
    "tags": list[str],
    "weight": float,
    "rank": int,
}


def row(i):
    return {
        "name": f"row {i}",
        "count": i,
        "ratio": i / 3,
        "active": i % 2 == 0,
        "note": None if i % 3 else "note",
        "scores": [1, 2, 3],
        "origin": {"x": i, "y": -i, "label": "o"},
        "tags": ["a", "b"],
        "weight": 1.5,
        "rank": 7,
    }


def row_object(i):
    data = row(i)
    data["origin"] = PointClass(**data["origin"])
    return RowClass(**data)


def nested_list(depth):
    value = []
    for _ in range(depth):
        value = [value]
    return value


def time_per_call(call, value, loops):
    best = float("inf")
    for _ in range(REPEATS):
        start = time.perf_counter()
        for _ in range(loops):
            call(value)
        best = min(best, time.perf_counter() - start)
    return best / loops * 1e9


def main():
    cases = [
        ("list[int] of 1,000 ints", Validator(list[int]), list(range(1000)), 2000),
        ("union of 5 kinds (last member)", Validator(int | str | bytes | None | float), 1.5, 200_000),
        ("10-field record, dict literal", Validator(ROW_LITERAL), row(1), 50_000),
        ("10-field record, TypedDict", Validator(Row), row(1), 50_000),
        ("10-field record, dataclass", Validator(RowClass), row_object(1), 50_000),
        ("list of 1,000 records", Validator(list[Row]), [row(i) for i in range(1000)], 50),
        ("recursive list, 50 deep", recursive(lambda self: list[self]), nested_list(50), 20_000),
        ("list of 1,000 pattern strings", Validator(list[Annotated[str, SimpleNamespace(pattern=r"[a-z]+-\d+")]]),
         [f"item-{i}" for i in range(1000)], 200),
        ("Literal of 100 strings", Validator(Literal[tuple(f"name{i}" for i in range(100))]), "name99", 200_000),
        ("Annotated[int, ge, lt]", Validator(Annotated[int, SimpleNamespace(ge=0, lt=100)]), 42, 200_000),
    ]
    print(f"{'case':34} {'is_valid ns':>14} {'validate ns':>14}")
    for name, validator, value, loops in cases:
        assert validator.is_valid(value), name
        answer = time_per_call(validator.is_valid, value, loops)
        checked = time_per_call(validator.validate, value, loops)
        print(f"{name:34} {answer:14.0f} {checked:14.0f}")


if __name__ == "__main__":
    main()
