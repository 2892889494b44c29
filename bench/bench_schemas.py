"""The 10-field record the benchmarks share: a nested 3-field record among str,
int, float, bool, Optional[str] and list fields."""

from typing import Optional, TypedDict


class Point(TypedDict):
    x: int
    y: int
    label: str


class Row(TypedDict):
    name: str
    count: int
    ratio: float
    active: bool
    note: Optional[str]
    scores: list[int]
    origin: Point
    tags: list[str]
    weight: float
    rank: int
