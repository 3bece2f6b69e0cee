"""What the Python boundary costs, and where the integrated forms spend
their time.

    python benchmarks/boundary.py [--separations N] [--repeats R]

Builds the bare C++ kernel benchmark with CMake (in build/benchmarks) and
times each function through Python and through the kernel alone on the same
separations (spread over the lens inside, on and outside the source rim).
Then it sets the integrated forms against (model evaluations x the cost of one
evaluation). All figures come from one run; compare ratios, not absolute
times, across machines.
"""

import argparse
import pathlib
import subprocess
import sys
import timeit

import magnikit

ROOT = pathlib.Path(__file__).resolve().parent.parent
BUILD = ROOT / "build" / "benchmarks"
NODES = 385  # integrand evaluations of one seven-level tanh-sinh integral in practice


def python_calls():
    return {
        "witt_mao_magnification": lambda l: magnikit.witt_mao_magnification(l, 1.0, 0.1),
        "integrated_witt_mao_magnification":
            lambda l: magnikit.integrated_witt_mao_magnification(l, 1.0, 0.1),
        "integrated_heyrovsky_magnification":
            lambda l: magnikit.integrated_heyrovsky_magnification(l, 1.0, 0.1),
    }


def build_kernel():
    subprocess.run(
        ["cmake", "-S", str(ROOT), "-B", str(BUILD), "-G", "Ninja",
         "-DMAGNIKIT_BUILD_BENCHMARKS=ON", f"-DPython_EXECUTABLE={sys.executable}"],
        check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", str(BUILD), "--target", "kernel_benchmark"],
                   check=True, stdout=subprocess.DEVNULL)
    return BUILD / "benchmarks" / "kernel_benchmark"


def separations(n):
    return [3.0 * i / n for i in range(n)]


def ring_by_ring_evaluations(l):
    """Ring evaluations of the ring-by-ring form of the linear law at l:
    levels 0-4 (97 nodes) on each side of the ring through the lens, or on
    the whole radius for a lens less than one source radius outside the
    rim; levels 0-3 (49) for a lens farther out."""
    if 0.0 < l < 1.0:
        return 2 * 97
    gap = l - 1.0 if l >= 1.0 else -l  # from the lens to the source radius [0, 1]
    return 97 if gap < 1.0 else 49


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--separations", type=int, default=100_000,
                        help="for the uniform disc; the integrated forms take 1/100 of it")
    parser.add_argument("--repeats", type=int, default=7)
    options = parser.parse_args()
    kernel_path = build_kernel()

    def kernel(name, n):
        return float(subprocess.run(
            [str(kernel_path), name, str(n), str(options.repeats)],
            check=True, capture_output=True, text=True).stdout)

    print(f"{'function':<36} {'python ns/sep':>14} {'kernel ns/sep':>14} {'boundary':>9}")
    for name, call in python_calls().items():
        n = options.separations if name == "witt_mao_magnification" else options.separations // 100
        l = separations(n)
        python_ns = min(timeit.repeat(lambda: call(l), number=1, repeat=options.repeats)) / n * 1e9
        kernel_ns = kernel(name, n)
        print(f"{name:<36} {python_ns:14.1f} {kernel_ns:14.1f} "
              f"{(python_ns - kernel_ns) / python_ns:9.1%}")

    # Integrals per separation from discs: two when the lens is inside the
    # source (the interval is split at the ring through the lens), one
    # otherwise, each of all seven levels.
    n = options.separations // 100
    integrals = sum(2 if 0.0 < x < 1.0 else 1 for x in separations(n)) / n
    ring_evaluations = sum(ring_by_ring_evaluations(x) for x in separations(n)) / n
    ring_ns = kernel("heyrovsky_magnification", options.separations)
    disc_ns = kernel("uniform_disc_element", options.separations)
    print()
    print(f"{'integrated form':<36} {'evals/sep':>10} {'one eval ns':>12} "
          f"{'evals x one':>12} {'measured':>10} {'ratio':>6}")
    for name, evaluations, one in [
        ("integrated_heyrovsky_magnification", ring_evaluations, ring_ns),
        ("integrated_witt_mao_magnification", 3 * NODES * integrals, disc_ns),
    ]:
        measured = kernel(name, n)
        product = evaluations * one
        print(f"{name:<36} {evaluations:10.0f} {one:12.1f} {product:12.0f} "
              f"{measured:10.0f} {measured / product:6.2f}")


if __name__ == "__main__":
    main()
