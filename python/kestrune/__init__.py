"""Schemas written as Python annotations, compiled into immutable validators."""

from kestrune._kestrune import (
    ValidationError,
    Validator,
    anything,
    complement,
    intersection,
    nothing,
    recursive,
    union,
)

# Written out so that type checkers see the names; tests hold it equal to the
# native module's own list.
__all__ = ["ValidationError", "Validator", "union", "intersection", "complement", "recursive", "anything", "nothing"]
