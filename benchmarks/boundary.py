"""What the Python boundary costs: a model called from Python against the same
computation in the bare C++ kernel.

    python benchmarks/boundary.py [--separations N] [--repeats R]

Builds the kernel benchmark with CMake (in build/benchmarks), times both on
the same separations (spread over the lens inside, on and outside the source
rim), and prints the time per separation of each and the boundary's share.
"""

import argparse
import pathlib
import subprocess
import sys
import timeit

import magnikit

ROOT = pathlib.Path(__file__).resolve().parent.parent
BUILD = ROOT / "build" / "benchmarks"
MODELS = {
    "witt_mao_magnification": lambda l: magnikit.witt_mao_magnification(l, 1.0, 0.1),
}


def build_kernel():
    subprocess.run(
        ["cmake", "-S", str(ROOT), "-B", str(BUILD), "-G", "Ninja",
         "-DMAGNIKIT_BUILD_BENCHMARKS=ON", f"-DPython_EXECUTABLE={sys.executable}"],
        check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", str(BUILD), "--target", "kernel_benchmark"],
                   check=True, stdout=subprocess.DEVNULL)
    return BUILD / "benchmarks" / "kernel_benchmark"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--separations", type=int, default=100_000)
    parser.add_argument("--repeats", type=int, default=7)
    options = parser.parse_args()
    kernel = build_kernel()
    n = options.separations
    l = [3.0 * i / n for i in range(n)]
    print(f"{'model':<28} {'python ns/sep':>14} {'kernel ns/sep':>14} {'boundary':>9}")
    for name, call in MODELS.items():
        python_ns = min(timeit.repeat(lambda: call(l), number=1, repeat=options.repeats)) / n * 1e9
        kernel_ns = float(subprocess.run(
            [str(kernel), name, str(n), str(options.repeats)],
            check=True, capture_output=True, text=True).stdout)
        share = (python_ns - kernel_ns) / python_ns
        print(f"{name:<28} {python_ns:14.1f} {kernel_ns:14.1f} {share:9.1%}")


if __name__ == "__main__":
    main()
