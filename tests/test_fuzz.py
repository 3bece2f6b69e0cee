"""Hostile calls. Whatever a caller passes, every function either returns a
result of the right shape, bit for bit the result of the same call made with
plain floats and lists, or raises exactly the exception the argument calls
for: a binding TypeError with its fixed text, a conversion TypeError wrapped
with the parameter name, the caller's own exception unchanged, or the panic
exception. Nothing crashes, and no argument after the first failing one is
ever looked at.

Each generated argument carries what it must become as a float and as a
sequence of floats, so the expected outcome of a call is known without asking
the module."""

import array
import os
import struct
import sys
import warnings

import pytest
from hypothesis import HealthCheck, event, given, settings
from hypothesis import strategies as st
from hypothesis.control import currently_in_test_context

import magnikit

try:
    import numpy as np
except ImportError:  # an interpreter without NumPy
    np = None

from general_conversion import general_module, same_error
from memory.checkers import under_memory_checker
from memory.leaks import PARAMETERS

EXAMPLES = int(os.environ.get("MAGNIKIT_FUZZ_EXAMPLES", "150"))
FUZZ = settings(max_examples=EXAMPLES, deadline=None,
                suppress_health_check=[HealthCheck.too_slow, HealthCheck.data_too_large])


def is_vector(name, parameter):
    """heyrovsky_magnification takes one separation, a float; elsewhere l,
    and the profile bl, bf, are sequences of floats, and so are the
    coefficients of a limb-darkening law (or rows of them)."""
    return parameter in ("bl", "bf", "coefficients") or (
        parameter == "l" and name != "heyrovsky_magnification")


def expected_of(name, parameter, argument):
    """What an argument must become as this parameter, or the error it raises."""
    if parameter == "law":
        return argument.as_text
    if parameter == "coefficients":
        return argument.as_coefficients
    return argument.as_floats if is_vector(name, parameter) else argument.as_float


# The limb-darkening laws and the number of coefficients each takes.
LAWS = {"uniform": 0, "linear": 1, "quadratic": 2, "square-root": 2, "logarithmic": 2,
        "power-2": 2, "nonlinear": 4}


# The interpreter's float conversion consults __index__ on CPython only.
INDEX_CONVERTS = sys.implementation.name == "cpython"


# Outcomes: what an argument becomes, or the error its conversion raises.
def value(x):
    return ("value", x)


def wrapped(text=None, cause=None):
    """TypeError "argument 'p': {text}"; text None: the interpreter's own."""
    return ("wrapped", text, cause)


def raised(error):
    """This very exception instance, unchanged."""
    return ("raised", error)


def raises(kind):
    """An exception of exactly this type made by the interpreter, unchanged."""
    return ("raises", kind)


def mismatch(obj):
    return wrapped(f"'{type(obj).__qualname__}' object cannot be converted to 'Sequence'")


class Argument:
    """as_coefficients: what the object is as a limb-darkening law's
    coefficients, one row of floats unless given (rows); as_text: what it
    is as the law's name."""

    def __init__(self, obj, as_float, as_floats=None, as_coefficients=None, as_text=None):
        self.obj = obj
        self.as_float = as_float
        self.as_floats = mismatch(obj) if as_floats is None else as_floats
        self.as_coefficients = self.as_floats if as_coefficients is None else as_coefficients
        self.as_text = text_outcome(obj) if as_text is None else as_text


def text_outcome(obj):
    if not isinstance(obj, str):
        return wrapped(f"'{type(obj).__qualname__}' object cannot be converted to 'PyString'")
    try:
        obj.encode("utf-8")
    except UnicodeEncodeError:
        return raises(UnicodeEncodeError)
    return value(obj)


def is_sequence(obj):
    """Whether the C API takes obj for a sequence (a str aside): whether the
    first item of a law's coefficients starts rows."""
    if isinstance(obj, (str, dict)) or (np is not None and isinstance(obj, np.generic)):
        return False
    return hasattr(type(obj), "__getitem__")


def from_elements(elements, stop=None):
    """The outcome of iterating elements (then raising stop, if given)."""
    values = []
    for element in elements:
        if element.as_float[0] != "value":
            return element.as_float
        values.append(element.as_float[1])
    return stop if stop is not None else ("values", values)


def as_coefficients(elements, stop=None):
    """The outcome of iterating elements as a law's coefficients: rows, each
    read as a sequence of floats, when the first is a sequence, else floats."""
    if not (elements and is_sequence(elements[0].obj)):
        return from_elements(elements, stop)
    rows = []
    for element in elements:
        if element.as_floats[0] != "values":
            return element.as_floats
        rows.append(element.as_floats[1])
    return stop if stop is not None else ("rows", rows)


def container_argument(container, elements):
    """A list or tuple (or GetItemOnly) of the elements' objects."""
    return Argument(container([e.obj for e in elements]), wrapped(), from_elements(elements),
                    as_coefficients(elements))


def error_outcome(error):
    if type(error) is TypeError:
        return wrapped(str(error), error.__cause__)
    return raised(error)


# Hostile objects. Each records whether the module has touched it.
class Hostile:
    touched = False


class FloatRaising(Hostile):
    def __init__(self, error):
        self.error = error

    def __float__(self):
        self.touched = True
        raise self.error


class FloatReturning(Hostile):
    def __init__(self, result):
        self.result = result

    def __float__(self):
        self.touched = True
        return self.result


class FloatReentering(Hostile):
    """Calls the module from inside its own conversion, successfully and not."""

    def __init__(self, result):
        self.result = result

    def __float__(self):
        self.touched = True
        reenter()
        return self.result


class IndexOnly(Hostile):
    def __init__(self, result):
        self.result = result

    def __index__(self):
        self.touched = True
        return self.result


class Sequence(Hostile):
    """A sequence whose __len__ may lie or fail and whose iteration may fail
    at the start or part-way, or call the module."""

    def __init__(self, items, length, iteration, error):
        self.items, self.length, self.iteration, self.error = items, length, iteration, error

    def __len__(self):
        self.touched = True
        if isinstance(self.length, BaseException):
            raise self.length
        if self.length is REENTER:
            reenter()
            return len(self.items)
        return self.length

    def __getitem__(self, index):
        return self.items[index]

    def __iter__(self):
        self.touched = True
        if self.iteration == "raise":
            raise self.error
        if self.iteration == "non-iterator":
            return 7
        return self.generate()

    def generate(self):
        for item in self.items:
            if self.iteration == "reenter":
                reenter()
            yield item
        if self.iteration == "raise-after":
            raise self.error


REENTER = object()


class GetItemOnly(Hostile):
    """A sequence with no length, iterated through __getitem__."""

    def __init__(self, items):
        self.items = items

    def __getitem__(self, index):
        self.touched = True
        return self.items[index]


def reenter():
    magnikit.witt_mao_magnification([0.5, 2.0], 1.0, 0.1)
    magnikit.limb_darkened_magnification([0.5], 1.0, 0.1, "linear", [[0.6]])
    try:
        magnikit.heyrovsky_magnification("x", 1.0, 1.0, 0.1)
    except TypeError:
        pass


class Interrupt(BaseException):
    """Like KeyboardInterrupt: not an Exception."""


class TypeErrorKind(TypeError):
    pass


# Strategies.
floats = st.one_of(st.floats(-3.0, 3.0), st.floats())
messages = st.text(max_size=8)


def exceptions():
    """Exceptions a caller's conversion method may raise."""
    plain = st.one_of(
        st.builds(TypeError, messages),
        st.builds(ValueError, messages),
        st.builds(ZeroDivisionError, messages),
        st.builds(Interrupt, messages),
        st.builds(TypeErrorKind, messages),
        st.builds(OverflowError, messages),
    )

    def with_cause(pair):
        error, cause = pair
        error.__cause__ = cause
        return error

    caused = st.tuples(st.builds(TypeError, messages), st.builds(KeyError, messages)).map(with_cause)
    return st.one_of(plain, caused)


def scalar_arguments():
    """Arguments that are no sequence: numbers and objects that convert, or fail to."""
    strategies = [
        floats.map(lambda x: Argument(x, value(x))),
        st.integers(-(2**62), 2**62).map(lambda i: Argument(i, value(float(i)))),
        st.integers(2**1024, 2**1100).map(lambda i: Argument(-i if i % 2 else i, raises(OverflowError))),
        st.booleans().map(lambda b: Argument(b, value(float(b)))),
        st.none().map(lambda n: Argument(n, wrapped())),
        st.dictionaries(st.integers(), st.integers(), max_size=2).map(lambda d: Argument(d, wrapped())),
        st.sets(st.integers(), max_size=2).map(lambda s: Argument(s, wrapped())),
        st.lists(floats, max_size=2).map(lambda xs: Argument((x for x in xs), wrapped())),
        exceptions().map(lambda e: Argument(FloatRaising(e), error_outcome(e))),
        st.one_of(messages, st.none(), st.integers(-5, 5)).map(
            lambda r: Argument(FloatReturning(r), wrapped())),
        floats.map(lambda x: Argument(FloatReturning(FloatKind(x)), value(x))),
        floats.map(lambda x: Argument(FloatReentering(x), value(x))),
        st.integers(-(2**1100), 2**1100).map(index_argument),
        messages.map(lambda s: Argument(IndexOnly(s), wrapped())),
    ]
    if np is not None:
        strategies += [
            floats.map(lambda x: Argument(np.float64(x), value(x))),
            st.floats(width=32).map(lambda x: Argument(np.float32(x), numpy_float(np.float32(x)))),
            st.integers(-(2**62), 2**62).map(lambda i: Argument(np.int64(i), value(float(i)))),
        ]
    return st.one_of(strategies)


class FloatKind(float):
    pass


def index_argument(i):
    if not INDEX_CONVERTS:
        return Argument(IndexOnly(i), wrapped())
    try:
        return Argument(IndexOnly(i), value(float(i)))
    except OverflowError:
        return Argument(IndexOnly(i), raises(OverflowError))


def numbers():
    """Mostly plain floats, the common case, so calls reach the models."""
    return st.one_of(floats.map(lambda x: Argument(x, value(x))), scalar_arguments())


@st.composite
def sequences(draw, items=None):
    """Sequences of numbers, or of the given items (rows of coefficients)."""
    elements = draw(st.lists(numbers() if items is None else items, max_size=3))
    kind = draw(st.sampled_from(["list", "tuple", "sequence", "getitem"]))
    if kind in ("list", "tuple"):
        return container_argument(list if kind == "list" else tuple, elements)
    if kind == "getitem":
        return container_argument(GetItemOnly, elements)
    true_length = len(elements)
    length = draw(st.one_of(
        st.just(true_length),
        st.integers(0, true_length + 1000),  # lies in either direction
        st.integers(-(2**40), -1),  # __len__ fails with ValueError: length unknown
        exceptions(),  # __len__ raises: length unknown
        st.sampled_from(["3", 2.5, None]),  # __len__ fails with TypeError: length unknown
        st.just(REENTER),
        st.just(2**62),  # no allocation can hold it
    ))
    iteration = draw(st.sampled_from(ITERATIONS))
    return hostile_sequence(elements, length, iteration, draw(exceptions()))


ITERATIONS = ["plain", "reenter", "raise", "raise-after", "non-iterator"]


def hostile_sequence(elements, length, iteration, error):
    obj = Sequence([e.obj for e in elements], length, iteration, error)

    def read(items_read):
        if iteration == "raise":
            return error_outcome(error)
        if iteration == "non-iterator":
            return wrapped()  # the interpreter's "iter() returned non-iterator"
        return items_read(elements, error_outcome(error) if iteration == "raise-after" else None)

    outcome = ("raises", MemoryError) if length == 2**62 else read(from_elements)
    # Rows are told by the first item, never by the length.
    rows = elements and is_sequence(elements[0].obj)
    return Argument(obj, wrapped(), outcome, read(as_coefficients) if rows else outcome)


def other_sequences():
    strategies = [
        st.binary(max_size=3).map(lambda b: Argument(b, wrapped(), ("values", [float(x) for x in b]))),
        st.integers(-3, 3).map(
            lambda n: Argument(range(n), wrapped(), ("values", [float(x) for x in range(n)]))),
        messages.map(lambda s: Argument(s, wrapped(), wrapped("Can't extract `str` to `Vec`"))),
        # Read through their buffers, but for the text array.
        st.lists(floats, max_size=3).map(lambda xs: array_argument(array.array("d", xs))),
        st.lists(st.floats(width=32), max_size=3).map(lambda xs: array_argument(array.array("f", xs))),
        st.lists(st.integers(0, 2**64 - 1), max_size=3).map(lambda xs: array_argument(array.array("Q", xs))),
        st.lists(st.integers(-128, 127), max_size=3).map(lambda xs: array_argument(array.array("b", xs))),
        st.text(min_size=1, max_size=3).map(lambda s: Argument(array.array("u", s), wrapped(), wrapped())),
    ]
    if np is not None:
        strategies += [
            st.lists(floats, max_size=3).map(lambda xs: numpy_argument(np.array(xs))),
            st.lists(st.integers(-100, 100), max_size=3).map(
                lambda xs: numpy_argument(np.array(xs, dtype=np.int64))),
            st.lists(st.integers(0, 2**64 - 1), max_size=3).map(
                lambda xs: numpy_argument(np.array(xs, dtype=np.uint64))),
            st.lists(st.floats(width=32), max_size=3).map(
                lambda xs: numpy_argument(np.array(xs, dtype=np.float32)[::-1])),
            st.lists(st.booleans(), max_size=3).map(lambda xs: numpy_argument(np.array(xs, dtype=bool))),
            st.lists(floats, min_size=1, max_size=4).map(
                lambda xs: numpy_argument(np.array(xs).reshape(len(xs), 1))),
            floats.map(lambda x: numpy_argument(np.array(x))),
        ]
    return st.one_of(strategies)


def array_argument(numbers):
    return Argument(numbers, wrapped(), ("values", [float(x) for x in numbers]))


def numpy_float(x):
    """What the array conversion makes of an array or NumPy scalar."""
    try:
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")
            return value(float(x))
    except TypeError:
        return wrapped()


def numpy_argument(array):
    if array.ndim == 0:
        return Argument(array, numpy_float(array), wrapped())
    elements = [Argument(row, numpy_float(row)) for row in array]
    # As coefficients, a two-dimensional array of floats is rows.
    rows = ("rows", array.tolist()) if array.ndim == 2 else None
    return Argument(array, numpy_float(array), from_elements(elements), rows)


# Hypothesis favours the ends of an integer range, so a rare branch is taken
# on a band in the middle.
def sometimes(percent, rare, common):
    """rare in about percent of the draws, common otherwise."""
    return st.integers(0, 99).flatmap(lambda k: rare if 40 <= k < 40 + percent else common)


def one_in(draw, n):
    return draw(st.integers(0, n - 1)) == n // 2


def float_lists(min_size=0, max_size=3, values=floats):
    """Mostly short lists; now and then one long enough that PyPy copies it
    through an array, and a tuple."""
    if max_size == 3 and min_size == 0:
        max_size = st.integers(0, 99).map(lambda k: 20 if k < 10 else 3)
    else:
        max_size = st.just(max_size)
    return st.tuples(max_size, st.sampled_from([list, list, list, tuple])).flatmap(
        lambda shape: st.lists(values.map(lambda x: Argument(x, value(x))), min_size=min_size,
                               max_size=shape[0]).map(lambda es: container_argument(shape[1], es)))


def arguments_for(vector):
    """Mostly arguments that convert, so that calls reach the models."""
    if vector:
        return sometimes(30, st.one_of(sequences(), other_sequences(), scalar_arguments()), float_lists())
    return sometimes(30, st.one_of(scalar_arguments(), sequences(), other_sequences()),
                     floats.map(lambda x: Argument(x, value(x))))


def any_argument():
    return st.one_of(scalar_arguments(), sequences(), other_sequences())


class LawName(str):
    """A law's name whose methods all fail: the module reads the text itself."""

    def __str__(self):
        raise AssertionError("__str__")

    def __eq__(self, other):
        raise AssertionError("__eq__")

    def __hash__(self):
        raise AssertionError("__hash__")

    def encode(self, *args, **kwargs):
        raise AssertionError("encode")


def text_argument(text):
    return Argument(text, wrapped(), wrapped("Can't extract `str` to `Vec`"))


def laws():
    """Mostly a law's name; now and then an unknown name, one that cannot be
    encoded as UTF-8, a str subclass, or no str at all."""
    names = st.sampled_from(sorted(LAWS))
    return sometimes(30, st.one_of(
        st.text(st.characters(exclude_categories=()), max_size=8).map(text_argument),
        names.map(lambda n: Argument(LawName(n), wrapped(), as_text=value(n))),
        any_argument(),
    ), names.map(text_argument))


# Mostly coefficients that keep a law's brightness positive over the disc.
coefficient_values = sometimes(20, floats, st.floats(0.0, 0.2))


def coefficients(count):
    """Mostly one row of count coefficients, or rows of them in a list, a
    tuple or a 2-D NumPy array; now and then rows of other lengths, hostile
    rows and containers of rows, and any argument at all."""
    def in_lists_or_tuples(elements):
        return st.tuples(st.sampled_from([list, tuple]), elements).map(lambda c: container_argument(*c))

    row = in_lists_or_tuples(st.lists(coefficient_values.map(lambda x: Argument(x, value(x))),
                                      min_size=count, max_size=count))
    rows = in_lists_or_tuples(st.lists(row, min_size=1, max_size=3))
    common = [row, rows, rows]
    if np is not None:
        common.append(st.lists(st.lists(coefficient_values, min_size=count, max_size=count),
                               min_size=1, max_size=3).map(
            lambda values: numpy_argument(np.array(values, dtype=float).reshape(len(values), count))))
    return sometimes(30, st.one_of(
        float_lists(0, 5, coefficient_values),
        sequences(st.one_of(row, float_lists(0, 5, coefficient_values), arguments_for(True))),
        any_argument(),
    ), st.one_of(common))


keyword_names = st.text(st.characters(exclude_categories=()), min_size=1, max_size=4)


@st.composite
def calls(draw, name):
    """(positional, keywords): a random mix of positions and keywords, with
    parameters missing, given twice, extra or unknown now and then."""
    params = PARAMETERS[name]
    arguments = {}
    for p in params:
        if p == "law":
            arguments[p] = draw(laws())
        elif p == "coefficients":
            # Mostly as many as the law takes.
            law = arguments["law"].as_text
            count = LAWS[law[1]] if law[0] == "value" and law[1] in LAWS else draw(st.integers(0, 4))
            arguments[p] = draw(coefficients(count))
        else:
            arguments[p] = draw(arguments_for(is_vector(name, p)))
    profile = arguments.get("bl")
    if profile is not None and profile.as_floats[0] == "values" and not one_in(draw, 5):
        # Mostly a profile of equal lengths: unequal ones are a broken invariant.
        size = len(profile.as_floats[1])
        arguments["bf"] = draw(float_lists(size, size))
    n = draw(st.integers(0, len(params)))
    positional = [arguments[p] for p in params[:n]]
    keywords = {}
    for p in params[n:]:
        if not one_in(draw, 30):  # now and then missing
            keywords[p] = arguments[p]
    if n == len(params) and one_in(draw, 20):
        positional += draw(st.lists(any_argument(), min_size=1, max_size=2))
    if n > 0 and one_in(draw, 20):
        keywords[draw(st.sampled_from(params[:n]))] = draw(any_argument())
    if one_in(draw, 20):
        unknown = draw(keyword_names.filter(lambda k: k not in params))
        keywords[unknown] = draw(any_argument())
    order = draw(st.permutations(list(keywords)))
    return positional, {k: keywords[k] for k in order}


def shown(name):
    """A keyword name as the module shows it: invalid UTF-8 replaced."""
    return name.encode("utf-8", "surrogatepass").decode("utf-8", "replace")


def binding_error(name, positional, keywords):
    """The TypeError text of a call that cannot be bound, or None."""
    params = PARAMETERS[name]
    count, given_count = len(params), len(positional)
    if given_count > count:
        verb = "was" if given_count == 1 else "were"
        return f"{name}() takes {count} positional arguments but {given_count} {verb} given"
    filled = set(params[:given_count])
    for keyword in keywords:
        if keyword not in params:
            return f"{name}() got an unexpected keyword argument '{shown(keyword)}'"
        if keyword in filled:
            return f"{name}() got multiple values for argument '{keyword}'"
        filled.add(keyword)
    missing = [p for p in params if p not in filled]
    if not missing:
        return None
    quoted = [f"'{p}'" for p in missing]
    if len(quoted) <= 2:
        listed = " and ".join(quoted)
    else:
        listed = ", ".join(quoted[:-1]) + ", and " + quoted[-1]
    word = "argument" if len(missing) == 1 else "arguments"
    return f"{name}() missing {len(missing)} required positional {word}: {listed}"


def bits(result):
    if isinstance(result, float):
        return struct.pack("<d", result)
    return [bits(x) for x in result]


def outcome_of(call):
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")  # __float__ returning a float subclass
        try:
            return "result", call()
        except BaseException as error:  # noqa: BLE001 - the panic type derives from BaseException
            return "error", error


def check_result(name, result):
    if name == "heyrovsky_magnification":
        assert type(result) is float
    elif name == "limb_darkened_magnification" and result and type(result[0]) is list:
        assert all(type(row) is list and all(type(x) is float for x in row) for row in result)
    else:
        assert type(result) is list and all(type(x) is float for x in result)


def touched(arguments):
    return [a.obj for a in arguments if isinstance(a.obj, Hostile) and a.obj.touched]


def noted(text):
    """An event of the search, when a search runs."""
    if currently_in_test_context():
        event(text)


def check_call(name, positional, keywords):
    function = getattr(magnikit, name)
    params = PARAMETERS[name]
    kind, got = outcome_of(lambda: function(*[a.obj for a in positional],
                                            **{k: a.obj for k, a in keywords.items()}))
    text = binding_error(name, positional, keywords)
    if text is not None:
        noted("binding error")
        assert kind == "error" and type(got) is TypeError and str(got) == text
        assert touched(positional + list(keywords.values())) == []
        return

    bound = dict(zip(params, positional), **keywords)
    plain = []
    for i, p in enumerate(params):
        outcome = expected_of(name, p, bound[p])
        if outcome[0] not in ("value", "values", "rows"):
            noted(f"conversion error: {outcome[0]}")
            check_conversion_error(p, outcome, kind, got)
            assert touched([bound[q] for q in params[i + 1:]]) == []
            return
        plain.append(outcome[1])

    expected_kind, expected = outcome_of(lambda: function(*plain))
    noted("result" if expected_kind == "result" else f"model error: {type(expected).__name__}")
    assert kind == expected_kind, (got, expected)
    if kind == "result":
        check_result(name, got)
        assert bits(got) == bits(expected)
    else:
        assert type(got) is type(expected) and str(got) == str(expected)


def check_conversion_error(parameter, outcome, kind, got):
    assert kind == "error", got
    tag = outcome[0]
    if tag == "wrapped":
        _, text, cause = outcome
        assert type(got) is TypeError, repr(got)
        prefix = f"argument '{parameter}': "
        assert str(got).startswith(prefix), str(got)
        if text is None:  # the interpreter's own text
            assert len(str(got)) > len(prefix)
        else:
            assert str(got) == prefix + text
            assert got.__cause__ is cause
    elif tag == "raised":
        assert got is outcome[1]
    elif tag == "raises":
        assert type(got) is outcome[1]
    else:
        assert type(got).__name__ == "PanicException" and str(got) == outcome[1]


@pytest.mark.parametrize("name", list(PARAMETERS))
@FUZZ
@given(data=st.data())
def test_hostile_calls(name, data):
    positional, keywords = data.draw(calls(name))
    check_call(name, positional, keywords)


@pytest.fixture(scope="module")
def general():
    return general_module()


@pytest.mark.parametrize("name", list(PARAMETERS))
@FUZZ
@given(data=st.data())
def test_hostile_calls_give_what_the_general_conversion_gives(general, name, data):
    """The same hostile call through the fast paths and through iteration
    (tests/general_conversion.py) ends alike: the same result bit for bit,
    or the same error with the same cause."""
    positional, keywords = data.draw(calls(name))
    outcomes = [outcome_of(lambda: getattr(module, name)(*[a.obj for a in positional],
                                                            **{k: a.obj for k, a in keywords.items()}))
                for module in (magnikit, general)]
    (kind, got), (general_kind, expected) = outcomes
    assert kind == general_kind, (got, expected)
    if kind == "result":
        check_result(name, got)
        assert bits(got) == bits(expected)
    else:
        assert same_error(got, expected), (got, expected)


def test_every_function_is_fuzzed():
    functions = [name for name in magnikit.__all__ if not isinstance(getattr(magnikit, name), type)]
    assert sorted(PARAMETERS) == sorted(functions)


# The failures that a random search should not wander into on its own.

@pytest.mark.skipif(under_memory_checker(),
                    reason="the memory checker aborts instead of failing the allocation")
@pytest.mark.parametrize("name", [n for n in PARAMETERS if n != "heyrovsky_magnification"])
def test_a_length_no_memory_can_hold_raises_memory_error(name):
    params = PARAMETERS[name]
    plain = [[0.5] if is_vector(name, p) else "linear" if p == "law" else 1.0 for p in params]
    args = [Sequence([0.5], 10**15, "plain", None) if is_vector(name, p) else a for p, a in zip(params, plain)]
    with pytest.raises(MemoryError):
        getattr(magnikit, name)(*args)
    assert getattr(magnikit, name)(*plain) is not None


@pytest.mark.parametrize("iteration", ITERATIONS)
@pytest.mark.parametrize("length", [2, 0, 2**62, ValueError("no length")],
                         ids=["true length", "length 0", "length 2**62", "length raises"])
def test_rows_in_a_hostile_sequence_are_what_iteration_yields(length, iteration):
    # Told from floats by the first item, whatever the length claims.
    rows = [container_argument(kind, [Argument(x, value(x)) for x in row])
            for kind, row in [(list, [0.4, 0.2]), (tuple, [0.1, 0.3])]]
    coefficients = hostile_sequence(rows, length, iteration, KeyError("stop"))
    separations = container_argument(list, [Argument(x, value(x)) for x in (0.5, 2.0)])
    check_call("limb_darkened_magnification", [separations, Argument(1.0, value(1.0)), Argument(0.1, value(0.1)),
                                               text_argument("quadratic"), coefficients], {})


RUNNING_OUT = """
import array, resource, sys
import magnikit

separations = array.array("d", [2.0]) * 4_000_000
with open("/proc/self/status") as status:
    size = next(int(line.split()[1]) * 1024 for line in status if line.startswith("VmSize"))
for headroom in range(20, 420, 40):
    limit = size + headroom * 2**20
    resource.setrlimit(resource.RLIMIT_AS, (limit, resource.RLIM_INFINITY))
    try:
        print(len(magnikit.witt_mao_magnification(separations, 1.0, 0.1)))
    except MemoryError:
        print("MemoryError")
"""


@pytest.mark.skipif(under_memory_checker() or not sys.platform.startswith("linux"),
                    reason="needs the kernel to refuse memory beyond a limit")
def test_memory_running_out_raises_memory_error_wherever_it_runs_out():
    # Four million separations under a limit raised step by step: memory runs
    # out reading them, computing, or making the result list, and at some
    # limit it does not.
    import subprocess

    run = subprocess.run([sys.executable, "-c", RUNNING_OUT], capture_output=True, text=True,
                         timeout=300)
    assert run.returncode == 0, run.stderr
    outcomes = run.stdout.split()
    assert set(outcomes) == {"MemoryError", "4000000"}, run.stdout + run.stderr
    assert "Python API call failed" not in run.stderr


class UnprintableName(str):
    def __str__(self):
        raise ValueError("no text")


def test_an_unprintable_keyword_name_is_named_by_its_type():
    unraisable = []
    hook, sys.unraisablehook = sys.unraisablehook, unraisable.append
    try:
        with pytest.raises(TypeError) as info:
            magnikit.witt_mao_magnification([1.0], 1.0, **{UnprintableName("x"): 0.1})
    finally:
        sys.unraisablehook = hook
    assert str(info.value) == (
        "witt_mao_magnification() got an unexpected keyword argument '<unprintable UnprintableName object>'")
    if sys.implementation.name == "cpython":
        assert type(unraisable[0].exc_value) is ValueError


class Recursive:
    def __float__(self):
        return magnikit.heyrovsky_magnification(self, 1.0, 1.0, 0.1)


# PyPy's compatibility layer cannot fetch an exception at its recursion limit
# ("PyErr_Fetch was not supposed to fail") and ends the process; any extension
# module that fetches errors is affected there.
@pytest.mark.skipif(sys.implementation.name != "cpython", reason="fatal in PyPy's C API layer")
def test_unbounded_reentry_ends_in_recursion_error():
    with pytest.raises(RecursionError):
        magnikit.heyrovsky_magnification(Recursive(), 1.0, 1.0, 0.1)
    assert magnikit.heyrovsky_magnification(0.5, 0.3, 1.0, 0.1) > 0


def test_a_list_changed_while_it_is_read_is_read_safely():
    separations = [0.5, 2.0]

    class Replacing:
        def __float__(self):
            separations[:] = [0.25] * 50
            return 1.0

    separations.insert(1, Replacing())
    result = magnikit.witt_mao_magnification(separations, 1.0, 0.1)
    assert len(result) == 50
    assert result[0] == magnikit.witt_mao_magnification([0.5], 1.0, 0.1)[0]
