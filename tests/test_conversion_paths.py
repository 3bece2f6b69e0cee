"""The fast conversions against the general one. Exact lists and tuples are
read by index, exact NumPy arrays and array.array objects through their
buffers, long lists on PyPy through an array of doubles, and long result
lists on PyPy are made from one; the general conversion iterates every
sequence and makes every result item by item (a second copy of the module,
tests/general_conversion.py). On the same arguments both must give the same
results bit for bit, the same errors, the same calls of the caller's code in
the same order, and leave a list that those calls change in the same state.

Every argument is built afresh for each copy from a plain description, so
that a list emptied by its own item's __float__ is whole again for the
other copy."""

import array
import contextlib
import os
import struct
import sys
import warnings

import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

import magnikit
from general_conversion import general_module, same_error

try:
    import numpy as np
except ImportError:
    np = None

PYPY = sys.implementation.name == "pypy"
# PyPy copies a list of numbers through an array from this length on.
COPIED = 8
EXAMPLES = int(os.environ.get("MAGNIKIT_FUZZ_EXAMPLES", "150"))
FUZZ = settings(max_examples=3 * EXAMPLES, deadline=None,
                suppress_health_check=[HealthCheck.too_slow, HealthCheck.data_too_large])


@pytest.fixture(scope="module")
def general():
    return general_module()


# What the caller's code does, written to the log of the build being called.

class Interrupt(BaseException):
    pass


class TypeErrorKind(TypeError):
    pass


def error(kind, text):
    if kind == "caused":
        made = TypeError(text)
        made.__cause__ = KeyError(text)
        return made
    return {"type": TypeError, "value": ValueError, "sub": TypeErrorKind,
            "interrupt": Interrupt}[kind](text)


class FloatSubclass(float):
    pass


class Built:
    """The objects of one call: the log of the caller's code that ran, and
    the lists that items may change, by number."""

    def __init__(self):
        self.log = []
        self.lists = []


def mutate(target, action, built):
    if not isinstance(target, list):
        return
    if action == "clear":
        target.clear()
    elif action == "append":
        target.append(0.25)
    elif action == "extend":
        target.extend([0.5] * 10)
    elif action == "replace":
        target[:] = [1.5] * 12
    elif action == "pop":
        if target:
            target.pop()
    elif action == "insert":
        target.insert(0, 2.5)
    elif action == "shrink":
        del target[1:]
    elif action == "append item":
        target.append(Item(("returns", 7.0), built, None, "appended"))


class Item:
    """A number whose __float__ is the caller's code: it returns something,
    raises, changes the list it is in (the first time only: an item that
    inserts before itself meets itself again), or calls the module."""

    def __init__(self, recipe, built, home, label):
        self.recipe, self.built, self.home, self.label = recipe, built, home, label
        self.mutated = False

    def __float__(self):
        kind, argument, result = self.recipe + (None,) * (3 - len(self.recipe))
        self.built.log.append(("__float__", self.label))
        if kind == "raises":
            raise error(*argument)
        if kind == "mutates":
            if not self.mutated:
                self.mutated = True
                mutate(self.built.lists[self.home] if self.home is not None else None, argument, self.built)
            return result
        if kind == "reenters":
            magnikit.witt_mao_magnification([0.5, 2.0], 1.0, 0.1)
        return argument

    if not PYPY:
        # Refcounting frees an item as soon as nothing holds it: the order
        # of release, which only CPython makes observable at once, is part
        # of what must match.
        def __del__(self):
            self.built.log.append(("__del__", self.label))


def build_item(recipe, built, home, label):
    kind = recipe[0]
    if kind in CONTAINERS:  # a row of a law's coefficients
        return build(recipe, built)
    if kind == "float":
        return recipe[1]
    if kind == "int":
        return recipe[1]
    if kind == "bool":
        return recipe[1]
    if kind == "float subclass":
        return FloatSubclass(recipe[1])
    if kind == "numpy scalar":
        return getattr(np, recipe[1])(recipe[2])
    if kind == "text":
        return recipe[1]
    if kind == "none":
        return None
    return Item(recipe[1:], built, home, label)


CONTAINERS = ("list", "tuple", "C-object list", "array", "ndarray")


def build(recipe, built):
    kind = recipe[0]
    if kind == "str":
        return recipe[1]
    if kind in ("list", "tuple", "C-object list"):
        home = len(built.lists)
        items = []
        built.lists.append(items)
        items.extend(build_item(r, built, home, f"{home}.{i}") for i, r in enumerate(recipe[1]))
        if kind == "tuple":
            built.lists[home] = None
            return tuple(items)
        if kind == "C-object list":
            # NumPy reads a list through the C API, which on PyPy turns its
            # storage into C objects; it has done so when it finds no array
            # in rows of coefficients among the items.
            with contextlib.suppress(ValueError):
                np.asarray(items, dtype=object)
        return items
    if kind == "array":
        _, typecode, values = recipe
        return array.array(typecode, values)
    _, dtype, layout, values = recipe
    return numpy_array(dtype, layout, values)


def numpy_array(dtype, layout, values):
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        base = np.array(values, dtype=dtype)
    if layout == "contiguous":
        return base
    if layout == "reversed":
        return base[::-1]
    if layout == "every other":
        return np.repeat(base, 2)[::2]
    if layout == "broadcast":
        return np.broadcast_to(base[:1], (len(values),)) if len(values) else base
    if layout == "unaligned":
        raw = np.zeros(base.nbytes + 1, dtype=np.uint8)
        shifted = raw[1:].view(base.dtype) if base.dtype.itemsize > 1 and base.size else base
        shifted[...] = base
        return shifted
    if layout == "read-only":
        base.flags.writeable = False
        return base
    if layout == "column":
        return base.reshape(-1, 1)
    if layout == "scalar":
        return base[:1].reshape(()) if len(values) else np.zeros((), dtype=base.dtype)
    if layout == "masked":
        return np.ma.masked_array(base)
    if layout == "subclass":
        return base.view(ArraySubclass)
    # Rows of two, as a law's coefficients may come.
    pairs = base[:len(values) // 2 * 2]
    if layout == "rows":
        return pairs.reshape(-1, 2)
    if layout == "rows, Fortran order":
        return np.asfortranarray(pairs.reshape(-1, 2))
    if layout == "rows, transposed":
        return pairs.reshape(2, -1).T
    raise AssertionError(layout)


if np is not None:
    class ArraySubclass(np.ndarray):
        pass


def describe(value):
    """A list's state after the call, comparable across the two builds."""
    if isinstance(value, float):
        return struct.pack("<d", value)
    if isinstance(value, Item):
        return value.label
    if isinstance(value, (list, tuple)):  # a row
        return [describe(x) for x in value]
    return repr(value)


FUNCTIONS = {
    "witt_mao_magnification": lambda module, l: module.witt_mao_magnification(l, 1.0, 0.1),
    "limb_darkened_magnification": lambda module, law, coefficients:
        module.limb_darkened_magnification([0.0, 0.5, 1.0, 2.5], 1.0, 0.1, law, coefficients),
    "discrete_flux_map_heyrovsky_magnification":
        lambda module, l, bl, bf: module.discrete_flux_map_heyrovsky_magnification(l, 1.0, 0.1, bl, bf),
}


def run(module, name, recipes):
    built = Built()
    arguments = [build(recipe, built) for recipe in recipes]
    try:
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")
            result = FUNCTIONS[name](module, *arguments)
        got = ("result", packed(result), type(result))
    except BaseException as raised:  # noqa: BLE001 - the panic type derives from BaseException
        got = ("error", raised)
    log = list(built.log)
    states = [None if items is None else [describe(x) for x in items] for items in built.lists]
    return got, log, states


def packed(result):
    return struct.pack("<d", result) if isinstance(result, float) else [packed(x) for x in result]


def check_same(name, recipes, general):
    fast_got, fast_log, fast_states = run(magnikit, name, recipes)
    general_got, general_log, general_states = run(general, name, recipes)
    assert fast_got[0] == general_got[0], (fast_got, general_got)
    if fast_got[0] == "result":
        assert fast_got[2] is list and fast_got == general_got
    else:
        assert same_error(fast_got[1], general_got[1]), (fast_got[1], general_got[1])
    assert fast_log == general_log
    assert fast_states == general_states


# Descriptions of arguments.

def bits_to_float(bits):
    return struct.unpack("<d", struct.pack("<Q", bits))[0]


special_floats = st.sampled_from([0.0, -0.0, 1.0, -1.0, float("inf"), float("-inf"), 5e-324, 1e308])
nan_payloads = st.integers(1, 2**52 - 1).map(lambda m: bits_to_float(0x7FF0000000000000 | m))
floats = st.one_of(st.floats(0.0, 10.0), st.floats(), special_floats, nan_payloads)
machine_ints = st.one_of(st.integers(-(2**63), 2**63 - 1),
                         st.integers(-3, 3).map(lambda k: 2**53 + k), st.integers(0, 6).map(lambda k: 2**63 - 1 - k))
exceptions = st.tuples(st.sampled_from(["type", "value", "sub", "interrupt", "caused"]), st.text(max_size=4))
actions = st.sampled_from(["clear", "append", "extend", "replace", "pop", "insert", "shrink", "append item"])


def item_recipes():
    plain = st.one_of(
        floats.map(lambda x: ("float", x)),
        machine_ints.map(lambda i: ("int", i)),
        st.integers(2**64, 2**70).map(lambda i: ("int", i)),
        st.booleans().map(lambda b: ("bool", b)),
        floats.map(lambda x: ("float subclass", x)),
        st.text(max_size=2).map(lambda s: ("text", s)),
        st.just(("none",)),
    )
    hostile = st.one_of(
        st.one_of(floats, st.text(max_size=2), st.none(), st.integers(-3, 3),
                  floats.map(FloatSubclass)).map(lambda r: ("caller", "returns", r)),
        exceptions.map(lambda e: ("caller", "raises", e)),
        st.tuples(actions, floats).map(lambda a: ("caller", "mutates", a[0], a[1])),
        floats.map(lambda x: ("caller", "reenters", x)),
    )
    choices = [plain, hostile]
    if np is not None:
        choices.append(st.one_of(
            floats.map(lambda x: ("numpy scalar", "float64", x)),
            st.floats(width=32).map(lambda x: ("numpy scalar", "float32", x)),
            machine_ints.map(lambda i: ("numpy scalar", "int64", i)),
        ))
    return st.one_of(choices)


def list_kinds():
    kinds = ["list", "tuple"]
    if PYPY and np is not None:
        kinds.append("C-object list")
    return st.sampled_from(kinds)


def sequences_of_items(values=floats, longest=3 * COPIED):
    """Mostly numbers, the common case: long enough now and then for PyPy
    to copy them, with the caller's code among them now and then."""
    numbers = st.one_of(values.map(lambda x: ("float", x)), machine_ints.map(lambda i: ("int", i)))
    mostly_numbers = st.one_of(numbers, numbers, numbers, item_recipes())
    return st.tuples(list_kinds(), st.one_of(
        st.lists(numbers, max_size=longest),
        st.lists(mostly_numbers, max_size=longest),
        st.lists(item_recipes(), max_size=4),
    ))


def array_values(code, values=floats):
    if code == "u":
        return st.characters()
    if code in "fd":
        return values if code == "d" else st.floats(width=32)
    bits = 8 * array.array(code).itemsize
    if code.isupper():
        return st.integers(0, 2**bits - 1)
    return st.integers(-(2 ** (bits - 1)), 2 ** (bits - 1) - 1)


TYPECODES = "bBhHiIlLqQfdu"


def arrays(values=floats):
    return st.sampled_from(TYPECODES).flatmap(
        lambda code: st.lists(array_values(code, values), max_size=2 * COPIED).map(
            lambda values: ("array", code, values if code != "u" else "".join(values))))


DTYPES = {
    "float64": floats, "float32": st.floats(width=32), "float16": st.floats(width=16),
    "int8": st.integers(-(2**7), 2**7 - 1), "uint8": st.integers(0, 2**8 - 1),
    "int16": st.integers(-(2**15), 2**15 - 1), "uint16": st.integers(0, 2**16 - 1),
    "int32": st.integers(-(2**31), 2**31 - 1), "uint32": st.integers(0, 2**32 - 1),
    "int64": machine_ints, "uint64": st.integers(0, 2**64 - 1),
    "bool": st.booleans(), "complex128": floats, ">f8": floats, "<f8": floats,
    # No buffer at all: NumPy refuses to lend one.
    "datetime64[s]": st.integers(-(2**40), 2**40),
}
LAYOUTS = ["contiguous", "reversed", "every other", "broadcast", "unaligned", "read-only",
           "column", "scalar", "masked", "subclass"]


def numpy_arrays(values=floats, layouts=LAYOUTS):
    def elements(dtype):
        return values if DTYPES[dtype] is floats else DTYPES[dtype]

    return st.tuples(st.sampled_from(sorted(DTYPES)), st.sampled_from(layouts)).flatmap(
        lambda pair: st.lists(elements(pair[0]), max_size=2 * COPIED).map(
            lambda values: ("ndarray", pair[0], pair[1], values)))


def separations(values=floats, layouts=LAYOUTS):
    kinds = [sequences_of_items(values), arrays(values)]
    if np is not None:
        kinds.append(numpy_arrays(values, layouts))
    return st.one_of(kinds)


# Coefficients that keep most laws bright over the whole disc, so that most
# calls compute; a refusal quotes every coefficient as read, to the last bit.
coefficient_floats = st.one_of(st.floats(0.0, 0.2), floats)
ROWS = ["rows", "rows, Fortran order", "rows, transposed"]


def coefficient_recipes():
    """One row of coefficients through every reading, or rows of them: a
    list or tuple of rows (and now and then of numbers) or a 2-D NumPy array."""
    # Mostly as many as a law takes (two in three draws; flatmap keeps the
    # strategy's description short).
    row = st.integers(0, 2).flatmap(
        lambda k: sequences_of_items(coefficient_floats, 2) if k else separations(coefficient_floats))
    rows = st.tuples(list_kinds(), st.lists(st.integers(0, 2).flatmap(lambda k: row if k else item_recipes()),
                                            min_size=1, max_size=3))
    kinds = [row, rows]
    if np is not None:
        kinds.append(numpy_arrays(coefficient_floats, ROWS))
    return st.one_of(kinds)


# A law for each number of coefficients; three and more than four are refused.
LAW_TAKING = {0: "uniform", 1: "linear", 2: "quadratic", 4: "nonlinear"}


def law_for(recipe):
    """The law that takes as many coefficients as the recipe's first row
    holds, or the recipe itself when it holds numbers."""
    def count(recipe):
        kind, *rest = recipe
        if kind == "ndarray":
            layout, values = rest[1:]
            return 2 if layout in ROWS else 1 if layout == "column" else len(values)
        return len(rest[-1])

    items = recipe[1] if recipe[0] in ("list", "tuple", "C-object list") else ()
    first_row = items and items[0][0] in CONTAINERS
    return LAW_TAKING.get(count(items[0] if first_row else recipe), "power-2")


@FUZZ
@given(l=separations())
def test_one_sequence_reads_alike(general, l):
    check_same("witt_mao_magnification", [l], general)


@FUZZ
@given(l=separations(), bl=separations(), bf=separations())
def test_three_sequences_read_alike_in_order(general, l, bl, bf):
    check_same("discrete_flux_map_heyrovsky_magnification", [l, bl, bf], general)


@FUZZ
@given(coefficients=coefficient_recipes())
def test_coefficients_read_alike_flat_and_in_rows(general, coefficients):
    check_same("limb_darkened_magnification", [("str", law_for(coefficients)), coefficients], general)


# Cases a random search may miss.

@pytest.mark.parametrize("action", ["clear", "extend", "replace", "shrink", "insert", "append item"])
@pytest.mark.parametrize("kind", ["list", "C-object list"])
def test_a_list_changed_by_its_own_item_reads_alike(general, kind, action):
    if kind == "C-object list" and not (PYPY and np is not None):
        pytest.skip("only PyPy with NumPy keeps a list's items as C objects")
    items = [("float", 0.5)] * COPIED + [("caller", "mutates", action, 3.0)] + [("float", 2.0)] * COPIED
    check_same("witt_mao_magnification", [(kind, items)], general)


# Integers become the nearest double, ties to even, whichever way they come.
TIES = [2**53 + 1, 2**53 + 3, 2**63 - 1, 2**63 - 2**9, 2**62 + 2**9, 2**62 + 3 * 2**9]
UNSIGNED_TIES = [2**64 - 1, 2**63 + 2**10, 2**63 + 3 * 2**10, 2**63 + 1]


@pytest.mark.parametrize("make", [
    pytest.param(lambda values, signed: list(values), id="list"),
    pytest.param(lambda values, signed: tuple(values), id="tuple"),
    pytest.param(lambda values, signed: array.array("q" if signed else "Q", values), id="array"),
    pytest.param(lambda values, signed: np.array(values, dtype=np.int64 if signed else np.uint64),
                 id="numpy", marks=pytest.mark.skipif(np is None, reason="NumPy")),
])
@pytest.mark.parametrize("values, signed", [(TIES * 2, True), (UNSIGNED_TIES * 3, False)])
def test_integers_round_to_nearest_even(general, make, values, signed):
    as_floats = [float(i) for i in values]
    expected = magnikit.witt_mao_magnification(as_floats, 1.0, 0.1)
    for module in (magnikit, general):
        assert module.witt_mao_magnification(make(values, signed), 1.0, 0.1) == expected


@pytest.mark.skipif(not PYPY, reason="PyPy's list storage")
@pytest.mark.parametrize("items, storage", [
    ([0.5] * COPIED, "FloatListStrategy"),
    (list(range(COPIED)), "IntegerListStrategy"),
    ([1, 2.5] * COPIED, "IntOrFloatListStrategy"),
])
def test_pypy_lists_keep_their_storage_and_results_are_native(items, storage):
    from __pypy__ import strategy

    assert strategy(items) == storage
    result = magnikit.witt_mao_magnification(items, 1.0, 0.1)
    # Reading through the C API would have turned the caller's list into C
    # objects for good.
    assert strategy(items) == storage
    assert strategy(result) == "FloatListStrategy"
    # So would telling rows from floats by the first item of coefficients.
    short, rows = items[:2], [items[:2], items[:2]]
    magnikit.limb_darkened_magnification([0.5], 1.0, 0.1, "power-2", short)
    magnikit.limb_darkened_magnification([0.5], 1.0, 0.1, "power-2", rows)
    assert (strategy(short), strategy(rows)) == (storage, "ObjectListStrategy")


@pytest.mark.skipif(not (PYPY and np is not None), reason="PyPy with NumPy")
def test_pypy_lists_of_c_objects_are_read_by_index(general):
    from __pypy__ import strategy

    items = [0.5, 1, True, 2.5] * COPIED
    np.asarray(items, dtype=object)
    # What the "C-object list" arguments above rely on.
    assert strategy(items) == "CPyListStrategy"
    assert magnikit.witt_mao_magnification(items, 1.0, 0.1) == general.witt_mao_magnification(items, 1.0, 0.1)
