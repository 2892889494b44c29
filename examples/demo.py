"""A tour of kestrune: schemas written as Python annotations, compiled into validators."""

import dataclasses
import enum
import typing
from types import SimpleNamespace
from typing import Annotated

from kestrune import ValidationError, Validator, anything, intersection, nothing, recursive


class Color(enum.Enum):
    RED = 1
    GREEN = 2


UserId = typing.NewType("UserId", int)


class Movie(typing.TypedDict, total=False):
    title: typing.Required[str]
    year: int


@dataclasses.dataclass
class Point:
    x: float
    y: float


def section(title):
    print(f"\n== {title}")


def attempt(label, check):
    """Runs one check and prints its result, or the error it raises."""
    print(f"{label}:")
    try:
        result = check()
    except ValidationError as error:
        print("  ValidationError: " + str(error).replace("\n", "\n    "))
    else:
        print(f"  -> {result!r}")


Order = Validator(
    {
        "id": int,
        "customer": {"name": str, "email?": Annotated[str, SimpleNamespace(pattern=r"[^@ ]+@[^@ ]+")]},
        "lines": list[{"sku": str, "quantity": Annotated[int, SimpleNamespace(ge=1)]}],
        "color": Color,
    }
)

section("A schema is an annotation; a Validator compiles it once")
print(f"Order = Validator({Order!r})")

section("A value that is a member")
good = {"id": 7, "customer": {"name": "Ada"}, "lines": [{"sku": "TEA", "quantity": 2}], "color": Color.RED}
attempt("Order.validate(good)", lambda: Order.validate(good))
attempt("Order.is_valid(good)", lambda: Order.is_valid(good))
attempt("Order.ensure(good) is good", lambda: Order.ensure(good) is good)

section("A value with several independent errors: each is reported, with its path")
bad = {
    "id": "7",
    "customer": {"name": "Ada", "phone": "555"},
    "lines": [{"sku": "TEA", "quantity": 0}, {"quantity": 1}],
    "color": "red",
}
attempt("Order.validate(bad)", lambda: Order.validate(bad))
try:
    Order.validate(bad)
except ValidationError as error:
    print(f"  first failure: code={error.code!r} path={error.path!r}")
    print(f"  every failure: {[(details['code'], details['path']) for details in error.errors]}")

section("fail_fast stops at the first failure")
attempt("Order.validate(bad, fail_fast=True)", lambda: Order.validate(bad, fail_fast=True))
attempt("Order.is_valid(bad)", lambda: Order.is_valid(bad))

section("Constraints from Annotated metadata, and a pattern (which matches the whole text)")
attempt("quantity 0 (ge=1)", lambda: Order.validate({**good, "lines": [{"sku": "TEA", "quantity": 0}]}))
attempt(
    'email "ada at home" (a pattern)',
    lambda: Order.validate({**good, "customer": {"name": "Ada", "email": "ada at home"}}),
)

section("JSON: read and checked in one call; malformed documents give their position")
document = '{"id": 8, "customer": {"name": "Lin"}, "lines": [], "color": "red"}'
attempt("Validator(dict[str, object]).load(document)", lambda: Validator(dict[str, object]).load(document))
attempt("Order.load(document)  (an enum member never comes from JSON)", lambda: Order.load(document))
Lines = Validator(list[{"sku": str, "quantity": int}])
attempt("Lines.load('[{\"sku\": \"TEA\", \"quantity\": 2}]')", lambda: Lines.load('[{"sku": "TEA", "quantity": 2}]'))
attempt("Lines.load('[{\"sku\": \"TEA\",\\n  \"quantity\": 2,}]')", lambda: Lines.load('[{"sku": "TEA",\n  "quantity": 2,}]'))
attempt("Validator(float).load('1')  (1 is not a float)", lambda: Validator(float).load("1"))

section("A recursive schema")
Tree = recursive(lambda tree: {"value": int, "children": list[tree]})
print(f"Tree = {Tree!r}")
attempt("a two-level tree", lambda: Tree.validate({"value": 1, "children": [{"value": 2, "children": []}]}))
attempt("a deeper leaf that is wrong", lambda: Tree.validate({"value": 1, "children": [{"value": "2", "children": []}]}))

section("Questions about the sets themselves (True is proven; False is not proven)")
attempt("Validator(list[bool]).is_subtype_of(list[int])", lambda: Validator(list[bool]).is_subtype_of(list[int]))
attempt("Validator(list[int]).is_subtype_of(list[bool])", lambda: Validator(list[int]).is_subtype_of(list[bool]))
attempt("intersection(int, str).is_empty()", lambda: intersection(int, str).is_empty())
attempt("Validator(int | bool).is_equivalent(int)", lambda: Validator(int | bool).is_equivalent(int))


def show(label, schema):
    try:
        print(f"  {label:<28} -> {Validator(schema)!r}")
    except (NotImplementedError, TypeError, ValueError) as error:
        print(f"  {label:<28} !! {type(error).__name__}: {error}")


section("Compiled schemas, shown by their repr")
show("None", None)
show("typing.Any", typing.Any)
show("object", object)
show("Color.RED (a member)", Color.RED)
show("UserId (a NewType of int)", UserId)
show('"int" (a str is a literal)', "int")
print(f"  {'anything / nothing':<28} -> {anything!r} / {nothing!r}")
show("tuple[int, str, ...]", tuple[int, str, ...])
show("[int, str] (fixed list)", [int, str])
show("Optional[int]", typing.Optional[int])
show("Literal['a', 'b']", typing.Literal["a", "b"])
show("Movie (a TypedDict)", Movie)
show("Point (a dataclass)", Point)

section("Schemas that are refused, with the reason")
show("typing.Optional (bare)", typing.Optional)
show("typing.TypeVar('T')", typing.TypeVar("T"))
show("(int, str)", (int, str))
show("{int}", {int})
