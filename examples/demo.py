"""What kestrune does: schemas written as Python annotations, compiled into validators."""

import enum
import typing

from kestrune import Validator, anything, nothing


class Color(enum.Enum):
    RED = 1
    GREEN = 2


UserId = typing.NewType("UserId", int)


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

print("\nSchemas that are refused, with the reason:")
show("typing.Optional (bare)", typing.Optional)
show("typing.TypeVar('T')", typing.TypeVar("T"))
show("(int, str)", (int, str))
show("{int}", {int})
