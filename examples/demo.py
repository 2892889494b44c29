"""What kestrune does: schemas written as Python annotations, compiled into validators."""

import dataclasses
import enum
import typing

from kestrune import Validator, anything, nothing


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


def show(label, schema):
    try:
        print(f"  {label:<28} -> {Validator(schema)!r}")
    except (NotImplementedError, TypeError, ValueError) as error:
        print(f"  {label:<28} !! {type(error).__name__}: {error}")


print("Compiled schemas, shown by their repr:")
show("int", int)
show("None", None)
show("typing.Any", typing.Any)
show("object", object)
show("Color (an enum class)", Color)
show("Color.RED (a member)", Color.RED)
show("UserId (a NewType of int)", UserId)
show('"int" (a str is a literal)', "int")
show("42", 42)
print(f"  {'anything / nothing':<28} -> {anything!r} / {nothing!r}")
show("list[int]", list[int])
show("dict[str, float]", dict[str, float])
show("tuple[int, str, ...]", tuple[int, str, ...])
show("[int, str] (fixed list)", [int, str])
show("Optional[int]", typing.Optional[int])
show("Literal['a', 'b']", typing.Literal["a", "b"])
show("{'name': str, 'note?': str}", {"name": str, "note?": str})
show("Movie (a TypedDict)", Movie)
show("Point (a dataclass)", Point)

print("\nSchemas that are refused, with the reason:")
show("typing.Optional (bare)", typing.Optional)
show("typing.TypeVar('T')", typing.TypeVar("T"))
show("(int, str)", (int, str))
show("{int}", {int})
