"""The functions travel to worker processes by reference, and so do the
errors a caller's input can cause there: a worker pool's parent gets them at
once, as the same exception, and the pool goes on."""

import functools
import multiprocessing
import pickle
from concurrent.futures import ProcessPoolExecutor

import pytest

import magnikit

# Seconds a job may take before the parent counts it as lost (a worker that
# dies on an exception its job loop does not catch leaves the parent waiting
# for ever).
PATIENCE = 60


class ClaimedLength:
    """A sequence that claims more items than any memory holds."""

    def __len__(self):
        return 2**62

    def __getitem__(self, index):
        raise IndexError(index)


# (function, arguments, the exception the parent must get)
FAILING_JOBS = [
    (magnikit.integrated_flux_map_heyrovsky_magnification,
     ([0.5], 1.0, 0.1, [0.5, 1.0], [1.0]), magnikit.ProfileLengthError),
    (magnikit.integrated_flux_map_witt_mao_magnification,
     ([0.5], 1.0, 0.1, [1.0, 0.5], [1.0, 1.0]), ValueError),
    (magnikit.witt_mao_magnification, (ClaimedLength(), 1.0, 0.1), MemoryError),
    (magnikit.limb_darkened_magnification, ([0.5], 1.0, 0.1, "linear", [[0.6], [0.6, 0.1]]), ValueError),
]
GOOD_JOB = (magnikit.integrated_heyrovsky_magnification, ([0.5, 2.0], 1.0, 0.1))


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
    assert pooled == serial


@pytest.mark.parametrize("start", ["fork", "spawn"])
def test_errors_in_a_multiprocessing_pool_reach_the_parent(start):
    if start not in multiprocessing.get_all_start_methods():
        pytest.skip(f"no {start} here")
    with multiprocessing.get_context(start).Pool(1) as pool:
        for function, arguments, kind in FAILING_JOBS:
            with pytest.raises(kind):
                pool.starmap_async(function, [arguments]).get(timeout=PATIENCE)
        function, arguments = GOOD_JOB
        assert pool.starmap_async(function, [arguments]).get(timeout=PATIENCE) == [
            function(*arguments)]


def test_errors_in_a_process_pool_executor_reach_the_parent():
    with ProcessPoolExecutor(max_workers=1) as pool:
        for function, arguments, kind in FAILING_JOBS:
            with pytest.raises(kind) as info:
                pool.submit(function, *arguments).result(timeout=PATIENCE)
            assert type(info.value) is kind
        function, arguments = GOOD_JOB
        assert pool.submit(function, *arguments).result(timeout=PATIENCE) == function(*arguments)


def test_errors_in_a_dask_cluster_reach_the_client():
    distributed = pytest.importorskip("distributed")
    with distributed.LocalCluster(n_workers=1, threads_per_worker=1, processes=True,
                                  dashboard_address=None) as cluster, \
            distributed.Client(cluster) as client:
        for function, arguments, kind in FAILING_JOBS:
            with pytest.raises(kind):
                client.submit(function, *arguments, pure=False).result(timeout=PATIENCE)
        function, arguments = GOOD_JOB
        assert client.submit(function, *arguments).result(timeout=PATIENCE) == function(*arguments)
