import pytest

from kestrune import Validator


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda: Validator(), "Validator.__new__() missing 1 required positional argument: 'schema'"),
        (lambda: Validator(int, str), "Validator.__new__() takes 1 positional arguments but 2 were given"),
        (lambda: Validator(int, str, foo=1), "Validator.__new__() takes 1 positional arguments but 2 were given"),
        (lambda: Validator(int, schema=str), "Validator.__new__() got multiple values for argument 'schema'"),
        (lambda: Validator(int, foo=1), "Validator.__new__() got an unexpected keyword argument 'foo'"),
        (lambda: Validator(**{"\udc80": 1}), "Validator.__new__() got an unexpected keyword argument '\udc80'"),
    ],
)
def test_constructor_binding_errors(call, message):
    with pytest.raises(TypeError) as info:
        call()
    assert str(info.value) == message


def test_constructor_accepts_schema_by_keyword():
    assert repr(Validator(schema=int)) == "int"
