"""How calls bind and convert their arguments, and how failures surface."""

import ctypes
import math
import platform

import pytest

import magnikit

wm = magnikit.witt_mao_magnification
NAME = "witt_mao_magnification()"


def message_of(call):
    with pytest.raises(BaseException) as info:
        call()
    return type(info.value), str(info.value)


@pytest.mark.skipif(platform.python_implementation() != "CPython", reason="ctypes.pythonapi")
def test_a_second_initialisation_returns_the_cached_module():
    init = ctypes.PyDLL(magnikit.__file__).PyInit_magnikit
    init.restype = ctypes.py_object
    assert init() is magnikit
    assert magnikit.__all__.count("witt_mao_magnification") == 1


def test_module_registers_its_functions_in_order():
    assert magnikit.__all__[0] == "witt_mao_magnification"
    for name in magnikit.__all__:
        function = getattr(magnikit, name)
        assert function.__module__ == "magnikit"
        assert function.__name__ == name


@pytest.mark.parametrize(
    "args, kwargs, text",
    [
        ((), {}, f"{NAME} missing 3 required positional arguments: 'l', 're', and 'rstar'"),
        (([1.0],), {}, f"{NAME} missing 2 required positional arguments: 're' and 'rstar'"),
        (([1.0], 1.0), {}, f"{NAME} missing 1 required positional argument: 'rstar'"),
        (([1.0],), {"rstar": 0.1}, f"{NAME} missing 1 required positional argument: 're'"),
        (([1.0], 1.0, 0.1, 2.0), {}, f"{NAME} takes 3 positional arguments but 4 were given"),
        (([1.0], 1.0, 0.1), {"l": [2.0]}, f"{NAME} got multiple values for argument 'l'"),
        (([1.0],), {"re": 1.0, "rstar": 0.1, "x": 1}, f"{NAME} got an unexpected keyword argument 'x'"),
        # A keyword name that is not valid UTF-8 matches nothing and is shown
        # with each invalid byte replaced.
        (([1.0],), {"\ud800": 1}, f"{NAME} got an unexpected keyword argument '\ufffd\ufffd\ufffd'"),
        (("abc", 1.0, 0.1), {}, "argument 'l': Can't extract `str` to `Vec`"),
        ((1, 1.0, 0.1), {}, "argument 'l': 'int' object cannot be converted to 'Sequence'"),
        (({1.0: 2}, 1.0, 0.1), {}, "argument 'l': 'dict' object cannot be converted to 'Sequence'"),
        (((x for x in [1.0]), 1.0, 0.1), {}, "argument 'l': 'generator' object cannot be converted to 'Sequence'"),
        (([1.0], "1", 0.1), {}, "argument 're': must be real number, not str"),
    ],
)
def test_binding_and_conversion_errors(args, kwargs, text):
    kind, message = message_of(lambda: wm(*args, **kwargs))
    assert kind is TypeError
    assert message == text


def test_non_number_element_is_wrapped_with_the_parameter_name():
    kind, message = message_of(lambda: wm([1.0, "a"], 1.0, 0.1))
    assert kind is TypeError and message.startswith("argument 'l': ")


@pytest.mark.parametrize(
    "kwargs",
    [
        {"l": [1.0, 2.0], "re": 1.0, "rstar": 0.1},
        {"rstar": 0.1, "l": [1.0, 2.0], "re": 1.0},
        {"re": 1.0, "rstar": 0.1, "l": [1.0, 2.0]},
    ],
)
def test_keywords_bind_like_positions_in_any_order(kwargs):
    assert wm(**kwargs) == wm([1.0, 2.0], 1.0, 0.1)
    assert wm([1.0, 2.0], rstar=0.1, re=1.0) == wm([1.0, 2.0], 1.0, 0.1)


@pytest.mark.parametrize(
    "sequence, as_floats",
    [
        ((0.5, 1, True), [0.5, 1.0, 1.0]),
        (bytes([1, 2]), [1.0, 2.0]),
        (range(3), [0.0, 1.0, 2.0]),
        ([], []),
        ([2, False], [2.0, 0.0]),
    ],
)
def test_sequences_of_numbers_are_accepted(sequence, as_floats):
    result = wm(sequence, 1.0, 0.1)
    assert type(result) is list
    assert result == wm(as_floats, 1.0, 0.1)
    assert all(type(x) is float for x in result)


class Floaty:
    def __init__(self, value=None, error=None):
        self.value, self.error = value, error

    def __float__(self):
        if self.error is not None:
            raise self.error
        return self.value


class SubTypeError(TypeError):
    pass


def test_float_protocol_and_its_errors():
    assert wm([1.0], Floaty(1.0), 0.1) == wm([1.0], 1.0, 0.1)
    # -1.0 is a value, not the failure signal, when nothing is pending: a
    # negative Einstein radius makes the result NaN, and raises nothing.
    assert math.isnan(wm([2.0], Floaty(-1.0), 0.1)[0])

    kind, message = message_of(lambda: wm([1.0], Floaty(error=TypeError("bad")), 0.1))
    assert (kind, message) == (TypeError, "argument 're': bad")

    # Subclasses of TypeError and other types pass through unchanged.
    error = SubTypeError("sub")
    with pytest.raises(SubTypeError) as info:
        wm([1.0], Floaty(error=error), 0.1)
    assert info.value is error
    with pytest.raises(ValueError, match="^no$"):
        wm([Floaty(error=ValueError("no"))], 1.0, 0.1)
    with pytest.raises(OverflowError) as info:
        wm([1.0], 10**400, 0.1)
    assert not str(info.value).startswith("argument")


def test_wrapped_error_keeps_the_cause_not_the_original():
    cause = KeyError("root")
    original = TypeError("bad")
    original.__cause__ = cause
    with pytest.raises(TypeError) as info:
        wm([1.0], 1.0, Floaty(error=original))
    assert str(info.value) == "argument 'rstar': bad"
    assert info.value.__cause__ is cause
    assert info.value is not original


def test_conversion_stops_at_the_first_failing_parameter():
    seen = []

    class Tracing(Floaty):
        def __float__(self):
            seen.append(self.value)
            return super().__float__()

    with pytest.raises(TypeError, match="^argument 're'"):
        wm([Tracing(1.0)], Floaty(error=TypeError("x")), Tracing(3.0))
    assert seen == [1.0]


class LyingSequence:
    """A sequence whose length does not match what it yields."""

    def __init__(self, items, length):
        self.items, self.length = items, length

    def __len__(self):
        if isinstance(self.length, BaseException):
            raise self.length
        return self.length

    def __getitem__(self, index):
        return self.items[index]


@pytest.mark.parametrize("length", [0, 1, 100, RuntimeError("no length")])
def test_length_only_sizes_the_reservation(length):
    items = [0.5, 2.0, 3.0]
    assert wm(LyingSequence(items, length), 1.0, 0.1) == wm(items, 1.0, 0.1)


def test_error_raised_while_iterating_propagates():
    class Failing(LyingSequence):
        def __getitem__(self, index):
            if index == 1:
                raise ZeroDivisionError("iteration")
            return super().__getitem__(index)

    with pytest.raises(ZeroDivisionError, match="iteration"):
        wm(Failing([1.0, 2.0], 2), 1.0, 0.1)


def test_computation_error_raises_runtime_error_and_no_partial_result():
    with pytest.raises(RuntimeError) as info:
        wm([0.5, -2.0], 1.0, 0.1)
    assert str(info.value) == "elliprj: Fail to converge"
    assert info.value.args == ("elliprj: Fail to converge",)


def test_reentrant_call_from_float_conversion():
    rim = wm([1.0], 1.0, 0.1)[0]

    class Reentrant:
        def __float__(self):
            return wm([1.0], 1.0, 0.1)[0] / rim  # 1.0, computed by a nested call

    assert wm([2.0], Reentrant(), 0.1) == wm([2.0], 1.0, 0.1)


def test_each_call_returns_a_new_list():
    first = wm([1.0, 2.0], 1.0, 0.1)
    second = wm([1.0, 2.0], 1.0, 0.1)
    assert first == second and first is not second
    assert all(math.isfinite(x) for x in first)
