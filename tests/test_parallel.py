"""The functions travel to worker processes by reference."""

import functools
import pickle
from concurrent.futures import ProcessPoolExecutor

import pytest

import magnikit
from panics import panic_type


@pytest.mark.parametrize("name", magnikit.__all__)
def test_functions_pickle_by_reference(name):
    function = getattr(magnikit, name)
    assert pickle.loads(pickle.dumps(function)) is function


def test_process_pool_gives_the_serial_results():
    ring_form = functools.partial(magnikit.integrated_heyrovsky_magnification, re=1.0)
    jobs = [([0.0, 0.5, 1.0, 3.0], rstar) for rstar in (0.01, 0.1, 1.0)]
    serial = [ring_form(l, rstar=rstar) for l, rstar in jobs]
    with ProcessPoolExecutor(max_workers=2) as pool:
        pooled = list(pool.map(magnikit.integrated_heyrovsky_magnification,
                               [l for l, _ in jobs], [1.0] * 3, [r for _, r in jobs]))
        uniform = list(pool.map(magnikit.witt_mao_magnification, [[0.5, 2.0]], [1.0], [0.1]))
    assert pooled == serial
    assert uniform == [magnikit.witt_mao_magnification([0.5, 2.0], 1.0, 0.1)]


def test_panic_pickles_with_its_type_and_text():
    import pyo3_runtime

    assert pyo3_runtime.PanicException is panic_type()
    error = panic_type()("assertion `left == right` failed\n  left: 1\n right: 0")
    copy = pickle.loads(pickle.dumps(error))
    assert type(copy) is panic_type() and str(copy) == str(error)


def test_panic_in_a_worker_reaches_the_parent():
    flux_map = magnikit.integrated_flux_map_heyrovsky_magnification
    with ProcessPoolExecutor(max_workers=1) as pool:
        failing = pool.submit(flux_map, [0.5], 1.0, 0.1, [0.5, 1.0], [1.0])
        with pytest.raises(panic_type()) as info:
            failing.result()
        # The pool survives a panic in one of its jobs.
        assert pool.submit(flux_map, [0.5], 1.0, 0.1, [1.0], [1.0]).result() == flux_map(
            [0.5], 1.0, 0.1, [1.0], [1.0])
    assert str(info.value) == "assertion `left == right` failed\n  left: 2\n right: 1"
