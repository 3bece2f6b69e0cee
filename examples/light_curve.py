"""Light curve of a microlensing event in which the lens crosses the source.

A source of radius rho = 0.05 Einstein radii passes the lens at an impact
parameter u0 = 0.02 < rho, so for about two days the lens lies inside the
disc. The script computes the magnification of a point source, of a uniform
disc, of a limb-darkened disc (linear law I = 1 - 0.6 (1 - mu), both
integrated forms), of the same law sampled at a few dozen radii (flux map) and
of a quadratic law in two bands at once, writes light_curve.png with a
residual panel against the point source, and prints a short table and the
time taken.
"""

import math
import time

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

import magnikit  # noqa: E402

RHO = 0.05  # source radius, Einstein radii
U0 = 0.02  # impact parameter, Einstein radii
T_E = 20.0  # Einstein crossing time, days
LIMB_DARKENING = 0.6  # linear coefficient u in I = 1 - u (1 - mu)
# Quadratic law I = 1 - a (1 - mu) - b (1 - mu)^2 of a solar-type star in
# two bands, (a, b) per band.
QUADRATIC_BANDS = {"V": (0.48, 0.24), "I": (0.30, 0.28)}
OUTPUT = "light_curve.png"


def point_source(u):
    return (u * u + 2.0) / (u * math.sqrt(u * u + 4.0))


def sampled_profile(samples=40):
    """The limb-darkening law at radii crowded towards the limb."""
    radii = [math.sin(0.5 * math.pi * i / (samples - 1)) for i in range(samples)]
    brightness = [1.0 - LIMB_DARKENING * (1.0 - math.sqrt(1.0 - x * x)) for x in radii]
    return radii, brightness


def light_curves(times):
    separations = [math.hypot(U0, t / T_E) for t in times]  # Einstein radii
    l = [u / RHO for u in separations]  # source radii, as magnikit takes them
    radii, brightness = sampled_profile()
    curves = {"point source": [point_source(u) for u in separations]}
    timings = {}
    models = {
        "uniform disc": lambda: magnikit.witt_mao_magnification(l, 1.0, RHO),
        "limb-darkened, ring by ring": lambda: magnikit.integrated_heyrovsky_magnification(
            l, 1.0, RHO),
        "limb-darkened, from discs": lambda: magnikit.integrated_witt_mao_magnification(
            l, 1.0, RHO),
        f"flux map, {len(radii)} samples": lambda: magnikit.integrated_flux_map_heyrovsky_magnification(
            l, 1.0, RHO, radii, brightness),
    }
    for name, model in models.items():
        start = time.perf_counter()
        curves[name] = model()
        timings[name] = time.perf_counter() - start
    # Both bands in one call: the rows share every ring evaluation.
    start = time.perf_counter()
    bands = magnikit.limb_darkened_magnification(
        l, 1.0, RHO, "quadratic", list(QUADRATIC_BANDS.values()))
    timings[f"quadratic law, {' and '.join(QUADRATIC_BANDS)} bands"] = time.perf_counter() - start
    for band, values in zip(QUADRATIC_BANDS, bands):
        curves[f"quadratic law, {band} band"] = values
    return curves, timings


def plot(times, curves):
    figure, (top, bottom) = plt.subplots(
        2, 1, sharex=True, figsize=(8, 7), gridspec_kw={"height_ratios": [2.2, 1]})
    styles = {
        "point source": dict(color="0.55", linestyle="--", linewidth=1.2),
        "uniform disc": dict(color="tab:blue", linewidth=1.8),
        "limb-darkened, ring by ring": dict(color="tab:red", linewidth=1.8),
        "limb-darkened, from discs": dict(color="black", linestyle=":", linewidth=1.6),
        "quadratic law, V band": dict(color="tab:purple", linewidth=1.2, linestyle="-."),
        "quadratic law, I band": dict(color="tab:orange", linewidth=1.2, linestyle="-."),
    }
    flux_map_style = dict(color="tab:green", linestyle="none", marker="o", markersize=3,
                          markevery=12)
    point = curves["point source"]
    for name, values in curves.items():
        style = styles.get(name, flux_map_style)
        top.plot(times, values, label=name, **style)
        if name != "point source":
            residual = [100.0 * (a / p - 1.0) for a, p in zip(values, point)]
            bottom.plot(times, residual, **style)
    limb = RHO * T_E * math.sqrt(1.0 - (U0 / RHO) ** 2)
    for axis in (top, bottom):
        for edge in (-limb, limb):
            axis.axvline(edge, color="0.85", linewidth=0.8, zorder=0)
    top.set_ylabel("magnification")
    top.set_ylim(0, max(point) * 1.12)
    top.set_title(
        f"Lens crossing the source: $\\rho$ = {RHO}, $u_0$ = {U0}, $t_E$ = {T_E:g} d",
        fontsize=12)
    top.legend(frameon=False, fontsize=9, loc="upper right")
    top.text(limb, 2.0, " lens on\n the limb", fontsize=8, color="0.5")
    bottom.axhline(0.0, color="0.55", linestyle="--", linewidth=1.0)
    bottom.set_ylabel("vs point source (%)")
    bottom.set_xlabel("time from closest approach (days)")
    low = min(100.0 * (a / p - 1.0) for a, p in zip(curves["uniform disc"], point))
    bottom.set_ylim(low * 1.4, -low * 1.9)
    figure.tight_layout()
    figure.savefig(OUTPUT, dpi=150)


def nearest(times, t):
    return min(range(len(times)), key=lambda i: abs(times[i] - t))


def main():
    times = [-2.0 + 4.0 * i / 800 for i in range(801)]
    curves, timings = light_curves(times)
    plot(times, curves)
    print(f"rho = {RHO}, u0 = {U0}, tE = {T_E:g} d; {len(times)} epochs\n")
    shown = [0.0, 0.5, 0.9, 1.2, 2.0]
    header = f"{'model':<30}" + "".join(f"{'t=' + format(t, 'g') + ' d':>10}" for t in shown)
    print(header)
    print("-" * len(header))
    for name, values in curves.items():
        row = "".join(f"{values[nearest(times, t)]:10.3f}" for t in shown)
        print(f"{name:<30}{row}")
    print()
    for name, seconds in timings.items():
        per_epoch = seconds / len(times) * 1e6
        print(f"{name:<30} {seconds * 1e3:8.1f} ms  ({per_epoch:.1f} us per epoch)")
    print(f"\nwrote {OUTPUT}")


if __name__ == "__main__":
    main()
