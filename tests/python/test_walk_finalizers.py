"""A finalizer is code of the caller's too: it runs where the walk drops the last
reference to a value, and later visits see what it changed, as they see what a
predicate changed (a walk remembered before it must not answer after it)."""

import dataclasses
from typing import Annotated

import pytest

from kestrune import ValidationError, recursive, union

FREED = {}


class Finalized(dict):
    def __del__(self):
        FREED["d"]["b"] = "now a str"


def drop_holder(value):
    """Drops the holder's own reference to the value being walked."""
    FREED["drop"]()
    return True


DROPPING = Annotated[object, drop_holder]


def list_item(p):
    def value(d):
        held = [Finalized(k=0, d=d)]
        return held, held.clear

    return list[{"k": DROPPING, "d": p}], value


def dict_value(d):
    held = {"h": Finalized(k=0, d=d)}
    return held, lambda: held.update(h=None)


def record_field(p):
    return {"h": {"k": DROPPING, "d": p}}, dict_value


def key_rule_value(p):
    return dict[str, {"k": DROPPING, "d": p}], dict_value


def attribute(p):
    declared = dataclasses.make_dataclass("Declared", [("h", {"d": p})])

    class Fresh(declared):
        @property
        def h(self):
            return Finalized(d=FREED["d"])

    return declared, lambda d: (object.__new__(Fresh), lambda: None)


@pytest.mark.parametrize("holder", [list_item, record_field, key_rule_value, attribute], ids=lambda h: h.__name__)
def test_a_finalizer_run_by_a_release_is_seen_by_later_walks(holder):
    # The holder's value walks `d` and finds it a member; dropping that value then
    # frees it, and its finalizer makes `d` a non-member before "y" walks it.
    made = {}

    def body(p):
        schema, made["value"] = holder(p)
        return union({"x": schema, "y": p}, {"b": int})

    v = recursive(body)

    def fresh_value():
        d = {"b": 1}
        held, FREED["drop"] = made["value"](d)
        FREED["d"] = d
        return {"x": held, "y": d}

    assert v.is_valid(fresh_value()) is False
    with pytest.raises(ValidationError):
        v.validate(fresh_value())
    assert FREED["d"]["b"] == "now a str"
