"""Several Python threads calling the module at once get exactly the results
of the same calls made one after another, including calls that are suspended
half-way through their argument conversion while other threads run the
module, and calls that re-enter the module from a conversion."""

import array
import struct
import sys
import threading
import time

import pytest

import magnikit
from panics import panic_type

THREADS = 4
ROUNDS = 15


class Yielding:
    """A float that lets other threads run while the module converts it."""

    def __init__(self, value):
        self.value = value

    def __float__(self):
        time.sleep(0)
        return self.value


class YieldingSequence:
    """A sequence that lets other threads run between its items."""

    def __init__(self, items):
        self.items = items

    def __len__(self):
        return len(self.items)

    def __getitem__(self, index):
        return self.items[index]

    def __iter__(self):
        for item in self.items:
            time.sleep(0)
            yield item


class Reentering:
    """A float whose conversion calls the module, then returns its value."""

    def __init__(self, value):
        self.value = value

    def __float__(self):
        magnikit.heyrovsky_magnification(0.5, 0.3, 1.0, 0.1)
        magnikit.witt_mao_magnification([0.5], 1.0, 0.1)
        magnikit.limb_darkened_magnification([0.5], 1.0, 0.1, "linear", [0.6])
        return self.value


class ReenteringSequence(YieldingSequence):
    def __iter__(self):
        for item in self.items:
            magnikit.discrete_flux_map_heyrovsky_magnification([0.5], 1.0, 0.1, [0.5], [1.0])
            yield item


L = [0.0, 0.3, 0.9999, 1.0, 1.7, 4.0]
BL = [0.0, 0.25, 0.5, 0.75, 1.0]
BF = [1.0, 0.9, 0.75, 0.5, 0.2]
BANDS = [[0.4, 0.2], [0.1, 0.3]]

# (name, arguments): successes, computation errors and panics, with plain and
# with suspending arguments.
CALLS = [
    ("witt_mao_magnification", (L, 1.0, 0.1)),
    ("witt_mao_magnification", (YieldingSequence(L), Yielding(1.0), 0.1)),
    ("witt_mao_magnification", ([0.5, -1.0], 1.0, 0.1)),
    ("integrated_witt_mao_magnification", ([0.5, 2.0], 1.0, 0.1)),
    ("integrated_witt_mao_magnification", ([Yielding(0.5), 2.0], 1.0, Yielding(0.1))),
    ("integrated_flux_map_witt_mao_magnification", ([0.5, 1.5], 1.0, 0.2, BL, BF)),
    ("integrated_flux_map_witt_mao_magnification", ([0.5, 1.5], 1.0, 0.2, YieldingSequence(BL), BF[:-1])),
    ("heyrovsky_magnification", (0.5, 0.3, 1.0, 0.1)),
    ("heyrovsky_magnification", (Yielding(0.5), 0.3, Yielding(1.0), 0.1)),
    ("heyrovsky_magnification", (-0.5, 0.3, 1.0, 0.1)),
    ("integrated_heyrovsky_magnification", ([0.0, 1.0], 1.0, 0.1)),
    ("integrated_heyrovsky_magnification", (YieldingSequence([0.0, 1.0]), 1.0, 0.1)),
    ("integrated_flux_map_heyrovsky_magnification", ([0.5, 1.0], 1.0, 0.1, BL, BF)),
    ("integrated_flux_map_heyrovsky_magnification",
     ([0.5, 1.0], Yielding(1.0), 0.1, BL, YieldingSequence(BF))),
    ("discrete_flux_map_heyrovsky_magnification", (L, 1.0, 0.1, BL, BF)),
    ("discrete_flux_map_heyrovsky_magnification", (L, 1.0, 0.1, YieldingSequence(BL), BF)),
    ("discrete_flux_map_heyrovsky_magnification", ([-1.0], 1.0, 0.1, BL, BF)),
    ("discrete_flux_map_heyrovsky_magnification", (L, 1.0, 0.1, BL, BF[:2])),
    # The fast conversions: a tuple, an array.array, a list long enough to
    # be copied on PyPy, and the same results as the plain list above.
    ("witt_mao_magnification", (tuple(L), 1.0, 0.1)),
    ("witt_mao_magnification", (array.array("d", L), 1.0, 0.1)),
    ("witt_mao_magnification", (L * 4, 1.0, 0.1)),
    ("discrete_flux_map_heyrovsky_magnification", (tuple(L), 1.0, 0.1, array.array("d", BL), tuple(BF))),
    # A limb-darkening law in two bands: plain, suspending, read fast, refused.
    ("limb_darkened_magnification", (L, 1.0, 0.1, "quadratic", BANDS)),
    ("limb_darkened_magnification",
     (YieldingSequence(L), 1.0, Yielding(0.1), "quadratic", YieldingSequence([[Yielding(0.4), 0.2], BANDS[1]]))),
    ("limb_darkened_magnification", (tuple(L), 1.0, 0.1, "quadratic", [array.array("d", BANDS[0]), tuple(BANDS[1])])),
    ("limb_darkened_magnification", (L, 1.0, 0.1, "quadratic", [BANDS[0], [0.4, 1.9]])),
]
FAST_SAME_AS = {18: 0, 19: 0, 21: 14, 24: 22}
# The same calls with re-entering arguments, whose results must be those of
# the plain calls.
REENTERING = [
    ("witt_mao_magnification", (ReenteringSequence(L), Reentering(1.0), 0.1), 0),
    ("heyrovsky_magnification", (Reentering(0.5), 0.3, 1.0, Reentering(0.1)), 7),
    ("integrated_flux_map_heyrovsky_magnification",
     ([0.5, 1.0], 1.0, Reentering(0.1), ReenteringSequence(BL), BF), 12),
    ("limb_darkened_magnification", (L, Reentering(1.0), 0.1, "quadratic", ReenteringSequence(BANDS)), 22),
]


def outcome(name, args):
    """The result as its bits, or the error as its type and text."""
    try:
        result = getattr(magnikit, name)(*args)
    except BaseException as error:  # noqa: BLE001 - the panic type derives from BaseException
        return type(error), str(error)
    return packed(result)


def packed(result):
    """A float as its bits; a list (of lists) of floats as lists of bits."""
    if isinstance(result, float):
        return struct.pack("<d", result)
    return [packed(x) for x in result]


def run_in_threads(work, count=THREADS):
    """Runs work(index) on count threads started together; returns their values."""
    barrier = threading.Barrier(count)
    values = [None] * count
    failures = []

    def body(index):
        try:
            barrier.wait()
            values[index] = work(index)
        except BaseException as error:  # noqa: BLE001 - reported below
            failures.append(error)

    threads = [threading.Thread(target=body, args=(i,)) for i in range(count)]
    interval = sys.getswitchinterval()
    sys.setswitchinterval(1e-5)
    try:
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
    finally:
        sys.setswitchinterval(interval)
    assert failures == []
    return values


@pytest.fixture(scope="module")
def serial():
    return [outcome(name, args) for name, args in CALLS]


def test_concurrent_calls_give_the_serial_results_bit_for_bit(serial):
    # Suspending arguments convert to the same values as plain ones.
    assert all(serial[i] == serial[i + 1] for i in (0, 3, 7, 10, 12, 14, 22))
    assert all(serial[i] == serial[plain] for i, plain in FAST_SAME_AS.items())
    assert serial[20] == serial[0] * 4

    def work(index):
        # Each thread walks the calls from its own starting point.
        order = list(range(index, len(CALLS))) + list(range(index))
        return [[(i, outcome(*CALLS[i])) for i in order] for _ in range(ROUNDS)]

    for rounds in run_in_threads(work):
        for outcomes in rounds:
            for i, got in outcomes:
                assert got == serial[i], CALLS[i][0]


@pytest.mark.parametrize("name, args, plain", REENTERING)
def test_a_call_that_reenters_the_module_gives_the_plain_result(serial, name, args, plain):
    assert outcome(name, args) == serial[plain]


def test_reentering_calls_in_threads_give_the_plain_results(serial):
    def work(index):
        return [outcome(name, args) for name, args, _ in REENTERING for _ in range(ROUNDS)]

    expected = [serial[plain] for _, _, plain in REENTERING for _ in range(ROUNDS)]
    assert run_in_threads(work) == [expected] * THREADS


def test_profile_length_errors_in_threads_share_one_type():
    def work(index):
        kinds = []
        for _ in range(ROUNDS):
            try:
                magnikit.discrete_flux_map_heyrovsky_magnification([1.0], 1.0, 0.1, [0.5], [])
            except ValueError as error:
                kinds.append(type(error))
        return kinds

    kinds = run_in_threads(work)
    assert all(kind is magnikit.ProfileLengthError for per_thread in kinds for kind in per_thread)
    assert issubclass(magnikit.ProfileLengthError, panic_type())
