"""Many light curves at once, on every core, and on a cluster with Dask.

magnikit's functions are module-level functions that pickle by reference, so
they travel to worker processes like any Python function. This script fits no
data; it evaluates a grid of limb-darkened light curves (one per source
radius and impact parameter), first with concurrent.futures on the local
cores, then, when Dask is installed, with dask.distributed on a local
cluster (the same code runs against a remote scheduler).
"""

import math
import time
from concurrent.futures import ProcessPoolExecutor

import magnikit

EPOCHS = [-1.0 + 2.0 * i / 199 for i in range(200)]  # days from closest approach
T_E = 20.0  # days


def light_curve(event):
    """Limb-darkened magnification at each epoch for (rho, u0)."""
    rho, u0 = event
    l = [math.hypot(u0, t / T_E) / rho for t in EPOCHS]
    return magnikit.integrated_heyrovsky_magnification(l, 1.0, rho)


def events():
    return [(rho, u0) for rho in (0.01, 0.02, 0.05, 0.1) for u0 in (0.0, 0.01, 0.03, 0.1, 0.3)]


def with_process_pool(grid):
    with ProcessPoolExecutor() as pool:
        return list(pool.map(light_curve, grid))


def with_dask(grid):
    try:
        from dask.distributed import Client, LocalCluster
    except ImportError:
        return None
    with LocalCluster(processes=True, n_workers=2, threads_per_worker=1) as cluster:
        with Client(cluster) as client:
            return client.gather(client.map(light_curve, grid))


def main():
    grid = events()
    start = time.perf_counter()
    serial = [light_curve(event) for event in grid]
    print(f"{len(grid)} light curves of {len(EPOCHS)} epochs")
    print(f"serial:       {time.perf_counter() - start:6.2f} s")

    start = time.perf_counter()
    pooled = with_process_pool(grid)
    print(f"process pool: {time.perf_counter() - start:6.2f} s")
    assert pooled == serial

    start = time.perf_counter()
    distributed = with_dask(grid)
    if distributed is None:
        print("dask:         not installed (pip install 'dask[distributed]')")
    else:
        print(f"dask:         {time.perf_counter() - start:6.2f} s")
        assert distributed == serial
    peaks = {event: max(curve) for event, curve in zip(grid, serial)}
    print("peak magnification, rho = 0.05:",
          ", ".join(f"u0={u0}: {peaks[(0.05, u0)]:.2f}" for u0 in (0.0, 0.01, 0.03, 0.1, 0.3)))


if __name__ == "__main__":
    main()
