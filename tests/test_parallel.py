"""The functions travel to worker processes by reference."""

import functools
import pickle
from concurrent.futures import ProcessPoolExecutor

import pytest

import magnikit


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
