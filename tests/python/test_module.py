import copy
import weakref

import pytest

import kestrune
from kestrune import _kestrune
from kestrune._kestrune import ValidationError, Validator, anything, nothing


def test_all_lists_the_module_surface_in_order():
    names = ["ValidationError", "Validator", "union", "intersection", "complement", "recursive", "anything", "nothing"]
    present = [name for name in names if hasattr(_kestrune, name)]
    assert _kestrune.__all__ == present
    assert kestrune.__all__ == _kestrune.__all__
    for name in _kestrune.__all__:
        assert getattr(kestrune, name) is getattr(_kestrune, name)



def test_the_namespace_holds_the_surface_and_the_interpreters_names_only():
    added = {name for name in vars(_kestrune) if not (name.startswith("__") and name.endswith("__"))}
    assert added == set(_kestrune.__all__)

def test_anything_and_nothing_are_validators():
    assert type(anything) is Validator and type(nothing) is Validator
    assert repr(anything) == "anything" and repr(nothing) == "nothing"


def test_validation_error_type():
    assert ValidationError.__module__ == "_kestrune"
    assert ValidationError.__name__ == ValidationError.__qualname__ == "ValidationError"
    assert ValidationError.__doc__ == "Raised when a value is not a member of a schema's set."
    assert ValidationError.__bases__ == (Exception,)


def test_validator_type_identity():
    assert Validator.__module__ == "kestrune._kestrune"
    assert Validator.__name__ == Validator.__qualname__ == "Validator"
    assert Validator.__text_signature__ == "(schema)"
    assert "immutable" in Validator.__doc__


def test_validator_cannot_be_subclassed():
    with pytest.raises(TypeError):
        type("Sub", (Validator,), {})


def test_instances_are_closed_but_the_class_is_not():
    v = Validator(int)
    with pytest.raises(AttributeError):
        v.anything = 1
    assert not hasattr(v, "__dict__")
    with pytest.raises(TypeError):
        weakref.ref(v)
    Validator.some_class_attribute = 1
    try:
        assert Validator.some_class_attribute == 1
    finally:
        del Validator.some_class_attribute


def test_module_docstring_explains_free_threading():
    assert "kestrune._kestrune" in _kestrune.__doc__
    assert "free-threading" in _kestrune.__doc__


def test_many_validators_are_freed():
    # Each instance owns its pool references; dropping them must release those.
    marker = object()
    import sys

    before = sys.getrefcount(marker)
    validators = [Validator(marker) for _ in range(1000)]
    assert sys.getrefcount(marker) == before + 1000
    del validators
    assert sys.getrefcount(marker) == before
