"""Fit a microlensing light curve in which the lens crosses the source.

Simulates the photometry of a single-lens event with a finite, limb-darkened
source that the lens passes over (u0 < rho): survey epochs every half day for
four months and follow-up every 20 minutes for three days around the peak,
with photon noise. Then fits, with scipy.optimize.least_squares and starting
from what the light curve shows at a glance:

    t0   the time of closest approach (days)
    u0   the impact parameter (Einstein radii)
    tE   the Einstein time (days)
    rho  the source radius (Einstein radii)
    fs   the source flux, and fb the blended flux of other stars
    u    the linear limb-darkening coefficient, I = 1 - u (1 - mu)

and prints each with its 1-sigma uncertainty (from the Jacobian at the best
fit) beside the truth. Run as a script, it also writes fit_light_curve.png:
the data, the model and the residuals.

The model is magnikit.limb_darkened_magnification with the linear law and
the fitted u: exact to about 1e-12 wherever the lens is, and smooth in every
parameter, so the fit's uncertainties are the photometry's alone.
"""

import time
from dataclasses import dataclass

import numpy as np
from scipy.optimize import least_squares

import magnikit

# The simulated event. Times are in days (HJD - 2450000), fluxes in units of
# the source's flux at a reference magnitude.
TRUTH = {
    "t0": 8125.40,  # closest approach, days
    "u0": 0.015,  # impact parameter, Einstein radii
    "tE": 18.0,  # Einstein time, days
    "rho": 0.04,  # source radius, Einstein radii
    "fs": 1.0,  # source flux
    "fb": 0.3,  # blend flux: light from other stars in the same seeing disc
    "u": 0.6,  # linear limb-darkening coefficient
}
FITTED = ["t0", "u0", "tE", "rho", "fs", "fb", "u"]
UNITS = {"t0": "d", "tE": "d"}
NOISE = 0.01  # flux error NOISE * sqrt(F): 0.9 % at the baseline, 0.14 % at the peak
SEED = 20240917
OUTPUT = "fit_light_curve.png"


@dataclass
class Photometry:
    t: np.ndarray
    flux: np.ndarray
    sigma: np.ndarray


@dataclass
class Fit:
    values: dict  # name -> best-fit value
    errors: dict  # name -> 1-sigma uncertainty
    chi2: float
    dof: int
    evaluations: int  # light curves computed
    seconds: float


def magnification(t, t0, u0, tE, rho, u):
    """The limb-darkened source's magnification at times t, with the linear
    law's coefficient u."""
    separation = np.hypot(u0, (t - t0) / tE)  # Einstein radii
    l = separation / rho  # source radii, as magnikit takes them
    return np.asarray(magnikit.limb_darkened_magnification(l, 1.0, rho, "linear", [u]))


def model_flux(t, parameters):
    p = dict(zip(FITTED, parameters))
    return p["fs"] * magnification(t, p["t0"], p["u0"], p["tE"], p["rho"], p["u"]) + p["fb"]


def observation_times(rng):
    """Survey epochs every half day over 120 days, with some jitter, and
    follow-up every 20 minutes for 3 days around the peak."""
    t0 = TRUTH["t0"]
    survey = t0 - 60.0 + 0.5 * np.arange(240) + rng.uniform(-0.1, 0.1, 240)
    follow_up = t0 - 1.5 + np.arange(216) / 72.0
    return np.sort(np.concatenate([survey, follow_up]))


def simulate(seed=SEED):
    rng = np.random.default_rng(seed)
    t = observation_times(rng)
    truth = [TRUTH[name] for name in FITTED]
    exact = model_flux(t, truth)
    sigma = NOISE * np.sqrt(exact)
    return Photometry(t, exact + sigma * rng.standard_normal(t.size), sigma)


def first_guess(data):
    """What the light curve shows at a glance: the time of the peak, the
    baseline, the peak's height (about 2 / rho for a lens crossing the
    source) and the time the flux takes to fall to 1.34 times the baseline
    (u = 1, about tE from the peak). The fluxes are taken as unblended."""
    peak = int(np.argmax(data.flux))
    t0 = data.t[peak]
    baseline = np.median(np.sort(data.flux)[: data.flux.size // 4])
    rho = 2.0 / (data.flux[peak] / baseline)
    above = data.t[data.flux > 1.34 * baseline]
    tE = 0.5 * (above.max() - above.min())
    guess = {"t0": t0, "u0": 0.5 * rho, "tE": tE, "rho": rho, "fs": baseline, "fb": 0.0,
             "u": 0.5}
    return [guess[name] for name in FITTED]


def fit(data):
    """The least-squares fit with 1-sigma uncertainties from (J^T J)^-1,
    J the Jacobian of the residuals in units of their errors."""
    bounds = {"t0": (-np.inf, np.inf), "u0": (0.0, np.inf), "tE": (0.0, np.inf),
              "rho": (1e-4, 1.0), "fs": (0.0, np.inf), "fb": (-np.inf, np.inf),
              "u": (0.0, 1.0)}
    lower, upper = zip(*(bounds[name] for name in FITTED))
    evaluations = 0

    def residuals(parameters):
        nonlocal evaluations
        evaluations += 1
        return (data.flux - model_flux(data.t, parameters)) / data.sigma

    start = time.process_time()
    result = least_squares(residuals, first_guess(data), bounds=(lower, upper),
                           x_scale="jac", xtol=1e-12, ftol=1e-12)
    seconds = time.process_time() - start
    covariance = np.linalg.inv(result.jac.T @ result.jac)
    errors = np.sqrt(np.diag(covariance))
    return Fit(values=dict(zip(FITTED, result.x)), errors=dict(zip(FITTED, errors)),
               chi2=float(2.0 * result.cost), dof=data.t.size - len(FITTED),
               evaluations=evaluations, seconds=seconds)


def report(fit):
    print(f"{'parameter':<12}{'truth':>12}{'fitted':>14}{'sigma':>11}{'off / sigma':>13}")
    for name in FITTED:
        value, error, truth = fit.values[name], fit.errors[name], TRUTH[name]
        label = f"{name} ({UNITS[name]})" if name in UNITS else name
        print(f"{label:<12}{truth:12.5f}{value:14.5f}{error:11.5f}{(value - truth) / error:+13.2f}")
    print(f"\nchi^2 = {fit.chi2:.1f} for {fit.dof} degrees of freedom; "
          f"{fit.evaluations} light curves in {fit.seconds:.1f} s of CPU time")


def plot(data, fit):
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    parameters = [fit.values[name] for name in FITTED]
    t0, tE = fit.values["t0"], fit.values["tE"]
    dense = np.linspace(data.t.min(), data.t.max(), 4000)
    crossing = np.linspace(t0 - 1.5, t0 + 1.5, 1500)
    figure, (whole, zoom, residual) = plt.subplots(
        3, 1, figsize=(8, 9), gridspec_kw={"height_ratios": [2, 2, 1]})
    for axis, times, window in ((whole, dense, (data.t.min(), data.t.max())),
                                (zoom, crossing, (t0 - 1.5, t0 + 1.5))):
        shown = (data.t >= window[0]) & (data.t <= window[1])
        axis.errorbar(data.t[shown] - t0, data.flux[shown], data.sigma[shown], fmt="o",
                      markersize=2.5, color="0.35", elinewidth=0.6, label="simulated data")
        axis.plot(times - t0, model_flux(times, parameters), color="tab:red", linewidth=1.4,
                  label="best fit")
        axis.set_ylabel("flux (source = 1)")
    whole.set_title(f"Lens crossing a limb-darkened source: fitted tE = {tE:.2f} d, "
                    f"rho = {fit.values['rho']:.4f}, u0 = {fit.values['u0']:.4f}", fontsize=11)
    whole.legend(frameon=False, loc="upper right")
    zoom.set_xlim(-1.5, 1.5)
    rho, u0 = fit.values["rho"], fit.values["u0"]
    limb = tE * np.sqrt(rho * rho - u0 * u0)  # days from t0 to the lens on the limb
    for edge in (-limb, limb):
        zoom.axvline(edge, color="0.8", linewidth=0.8, zorder=0)
    zoom.text(limb, zoom.get_ylim()[0], " lens on\n the limb", fontsize=8, color="0.5",
              va="bottom")
    normalised = (data.flux - model_flux(data.t, parameters)) / data.sigma
    residual.plot(data.t - t0, normalised, "o", markersize=2, color="0.35")
    residual.axhline(0.0, color="tab:red", linewidth=1.0)
    residual.set_ylabel("residual / sigma")
    residual.set_xlabel(f"time from t0 = {t0:.3f} (days)")
    figure.tight_layout()
    figure.savefig(OUTPUT, dpi=130)


def main():
    data = simulate()
    print(f"{data.t.size} epochs; the lens crosses the source (u0 = {TRUTH['u0']} < "
          f"rho = {TRUTH['rho']}); fitting {', '.join(FITTED)}\n")
    result = fit(data)
    report(result)
    plot(data, result)
    print(f"wrote {OUTPUT}")


if __name__ == "__main__":
    main()
