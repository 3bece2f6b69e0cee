"""What the Python boundary costs, and where the integrated forms spend
their time.

    python benchmarks/boundary.py [--separations N] [--repeats R] [--rounds R]
                                  [--before PATH | --before-ref REF] [--after PATH]
                                  [--inputs-only] [--write]

Builds the bare C++ kernel benchmark with CMake (in build/benchmarks-<interpreter>),
then:

1. Inputs, before and after: witt_mao_magnification (rho = 0.1) on N
   separations near the source rim (l from 0.5 to 1.5 source radii) and in
   the far field (l from 6 to 100), given as a list, a tuple, a NumPy array
   (where NumPy is installed) and an array.array of doubles. "before" is the
   module of the landed tree (git REF, main by default, built once into
   build/landed-<interpreter>, or the shared object --before PATH); "after"
   is the installed magnikit (or --after PATH). Both are loaded into this
   one process and called alternately, each call timed by the CPU time of
   the calling thread, best of R rounds; the input is made anew, untimed,
   before every call, as a caller makes a new one for each call. The kernel
   is timed on the same separations, and the boundary is the difference.
   "general conversion" is a copy of the new module loaded with
   MAGNIKIT_GENERAL_CONVERSION=1, which reads every sequence by iteration
   and makes every result item by item: the same build with and without
   the fast paths. "reading" is the same call with rstar = "x": the module
   reads l, then fails on rstar, so the time per separation is that of
   reading l alone, by iteration (general) and as the new module reads it
   (fast). --write puts this table into benchmarks/RESULTS.md, in the
   section of this interpreter.
2. Each function through Python and through the kernel alone on the same
   separations (spread over the lens inside, on and outside the source rim).
3. The integrated forms against (model evaluations x the cost of one
   evaluation).

All figures come from one run; compare ratios, not absolute times, across
machines.
"""

import argparse
import array
import datetime
import math
import os
import pathlib
import platform
import subprocess
import sys
import time
import timeit

from builds import build_revision, configure_and_build, load_module

HERE = pathlib.Path(__file__).resolve().parent
ROOT = HERE.parent
BUILD = ROOT / "build" / f"benchmarks-{sys.implementation.cache_tag}"
RESULTS = HERE / "RESULTS.md"
RHO = 0.1
REGIONS = {"near the rim": (0.5, 1.5), "far field": (6.0, 100.0)}

try:
    import numpy
except ImportError:
    numpy = None


def build_kernel():
    configure_and_build(ROOT, BUILD, "kernel_benchmark", "-DMAGNIKIT_BUILD_BENCHMARKS=ON")
    return BUILD / "benchmarks" / "kernel_benchmark"




def spread(n, first, last):
    """n separations from first towards last, as the kernel benchmark spreads them."""
    return [first + (last - first) * i / n for i in range(n)]


def input_kinds():
    kinds = {"list": list, "tuple": tuple}
    if numpy is not None:
        kinds["NumPy array"] = numpy.array
    kinds["array.array('d')"] = lambda l: array.array("d", l)
    return kinds


def best_alternating(calls, make, rounds):
    """Best CPU time of each call, called in turn on a new input each time."""
    best = [math.inf] * len(calls)
    for _ in range(rounds):
        for i, call in enumerate(calls):
            argument = make()
            started = time.thread_time()
            try:
                call(argument)
            except TypeError:
                pass
            best[i] = min(best[i], time.thread_time() - started)
    return best


def inputs_table(before, after, general, kernel, n, rounds):
    rows = []
    for region, (first, last) in REGIONS.items():
        l = spread(n, first, last)
        kernel_ns = kernel("witt_mao_magnification", n, first, last)
        for kind, make_kind in input_kinds().items():
            results = [module.witt_mao_magnification(make_kind(l), 1.0, RHO)
                       for module in (before, after, general)]
            if results[1:] != results[:-1]:
                sys.exit(f"the builds disagree on the {kind}")
            times = best_alternating(
                [lambda x: before.witt_mao_magnification(x, 1.0, RHO),
                 lambda x: after.witt_mao_magnification(x, 1.0, RHO),
                 lambda x: general.witt_mao_magnification(x, 1.0, RHO),
                 lambda x: after.witt_mao_magnification(x, 1.0, "x"),
                 lambda x: general.witt_mao_magnification(x, 1.0, "x")],
                lambda: make_kind(l), rounds)
            rows.append((kind, region, kernel_ns, *(t / n * 1e9 for t in times)))
    return rows


def format_inputs_table(rows):
    lines = ["| input | separations | kernel | before | after | boundary before | boundary after "
             "| cut | after, general conversion | reading l: general / fast |",
             "|---|---|---:|---:|---:|---:|---:|---:|---:|---:|"]
    for kind, region, kernel_ns, before_ns, after_ns, general_ns, reading_ns, general_reading_ns in rows:
        boundary_before, boundary_after = before_ns - kernel_ns, after_ns - kernel_ns
        cut = f"{boundary_before / boundary_after:.1f}×" if boundary_after > 0 else "—"
        lines.append(f"| {kind} | {region} | {kernel_ns:.1f} | {before_ns:.1f} | {after_ns:.1f} "
                     f"| {boundary_before:.1f} | {boundary_after:.1f} | {cut} | {general_ns:.1f} "
                     f"| {general_reading_ns:.1f} / {reading_ns:.1f} |")
    return "\n".join(lines)


def load_average():
    try:
        return os.getloadavg()[0]
    except OSError:
        return math.nan


def write_results(section_text):
    name = sys.implementation.name
    begin, end = f"<!-- boundary.py {name} -->", f"<!-- /boundary.py {name} -->"
    text = RESULTS.read_text()
    block = f"{begin}\n{section_text}\n{end}"
    if begin in text:
        head, rest = text.split(begin, 1)
        text = head + block + rest.split(end, 1)[1]
    else:
        text = text.rstrip("\n") + "\n\n" + block + "\n"
    RESULTS.write_text(text)


def near_field_nodes(l, rho):
    """Radii at which the integrals of the linear law over the source radius
    evaluate their model for the lens at l (the graded cells of
    models/radius_nodes.hpp, read from the test-only module), or None where
    that module is not on PYTHONPATH."""
    try:
        import _magnikit_internals
    except ImportError:
        return None
    return len(_magnikit_internals.law_nodes(l, 1.0 / rho)[0])


def python_calls():
    return {
        "witt_mao_magnification": lambda l: magnikit.witt_mao_magnification(l, 1.0, 0.1),
        "integrated_witt_mao_magnification":
            lambda l: magnikit.integrated_witt_mao_magnification(l, 1.0, 0.1),
        "integrated_heyrovsky_magnification":
            lambda l: magnikit.integrated_heyrovsky_magnification(l, 1.0, 0.1),
    }


def main():
    global magnikit
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--separations", type=int, default=100_000,
                        help="for the uniform disc; the integrated forms take 1/100 of it")
    parser.add_argument("--repeats", type=int, default=7, help="for the function tables")
    parser.add_argument("--rounds", type=int, default=15, help="for the input table")
    parser.add_argument("--before", help="shared object of the landed module")
    parser.add_argument("--before-ref", default="main", help="git revision of the landed module")
    parser.add_argument("--after", help="shared object of the new module (default: installed)")
    parser.add_argument("--inputs-only", action="store_true", help="only the input table")
    parser.add_argument("--write", action="store_true", help="put the input table into RESULTS.md")
    options = parser.parse_args()
    kernel_path = build_kernel()

    def kernel(name, n, *region):
        return float(subprocess.run(
            [str(kernel_path), name, str(n), str(options.repeats), *map(repr, region)],
            check=True, capture_output=True, text=True).stdout)

    if options.after:
        magnikit = load_module(options.after)
    else:
        import magnikit
    before_path, commit = ((options.before, "given") if options.before
                           else build_revision(options.before_ref, f"landed-{sys.implementation.cache_tag}"))
    before = load_module(before_path)
    general = load_module(magnikit.__file__, general=True)

    load_at_start = load_average()
    rows = inputs_table(before, magnikit, general, kernel, options.separations, options.rounds)
    implementation = f"{platform.python_implementation()} {platform.python_version()}"
    header = (
        f"### {implementation}\n\n"
        f"`python benchmarks/boundary.py`, {datetime.datetime.now(datetime.timezone.utc):%Y-%m-%d %H:%M} UTC: "
        f"`witt_mao_magnification(l, 1.0, {RHO})` on {options.separations:,} separations; "
        f"before: the landed tree ({commit[:12]}), after: this tree; CPU time of the calling "
        f"thread per separation, best of {options.rounds} calls alternating between the builds, "
        f"each on a new input; load average {load_at_start:.2f} at start, "
        f"{load_average():.2f} at end"
        + (f"; NumPy {numpy.__version__}" if numpy is not None else "; no NumPy") + ".\n")
    table = format_inputs_table(rows)
    print(header)
    print(table)
    if options.write:
        write_results(header + "\n" + table)
    if options.inputs_only:
        return

    print()
    print(f"{'function':<36} {'python ns/sep':>14} {'kernel ns/sep':>14} {'boundary':>9}")
    for name, call in python_calls().items():
        n = options.separations if name == "witt_mao_magnification" else options.separations // 100
        l = spread(n, 0.0, 3.0)
        python_ns = min(timeit.repeat(lambda: call(l), number=1, repeat=options.repeats)) / n * 1e9
        kernel_ns = kernel(name, n)
        print(f"{name:<36} {python_ns:14.1f} {kernel_ns:14.1f} "
              f"{(python_ns - kernel_ns) / python_ns:9.1%}")

    n = options.separations // 100
    nodes = [near_field_nodes(x, 0.1) for x in spread(n, 0.0, 3.0)]
    if None in nodes:
        print("\n(no evaluation counts: build with -DMAGNIKIT_BUILD_INTERNALS=ON and put "
              "the test-only module on PYTHONPATH)")
        return
    ring_evaluations = sum(nodes) / n
    disc_evaluations = ring_evaluations + 1  # and the disc of the whole source
    ring_ns = kernel("heyrovsky_magnification", options.separations)
    disc_ns = kernel("uniform_disc_element", options.separations)
    print()
    print(f"{'integrated form':<36} {'evals/sep':>10} {'one eval ns':>12} "
          f"{'evals x one':>12} {'measured':>10} {'ratio':>6}")
    for name, evaluations, one in [
        ("integrated_heyrovsky_magnification", ring_evaluations, ring_ns),
        ("integrated_witt_mao_magnification", disc_evaluations, disc_ns),
    ]:
        measured = kernel(name, n)
        product = evaluations * one
        print(f"{name:<36} {evaluations:10.0f} {one:12.1f} {product:12.0f} "
              f"{measured:10.0f} {measured / product:6.2f}")


if __name__ == "__main__":
    main()
