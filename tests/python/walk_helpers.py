import pytest

from kestrune import ValidationError


def failure(validator, value, **options):
    """The ValidationError that validate raises for `value`."""
    with pytest.raises(ValidationError) as info:
        validator.validate(value, **options)
    return info.value


def records(validator, value, **options):
    """(code, path, expected, value) of every record, in order."""
    return [(e["code"], e["path"], e["expected"], e["value"]) for e in failure(validator, value, **options).errors]
