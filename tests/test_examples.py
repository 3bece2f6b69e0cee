"""The examples run as they stand and do what they say."""

import importlib.util
import pathlib

import pytest

EXAMPLES = pathlib.Path(__file__).resolve().parents[1] / "examples"


def load_example(name):
    found = importlib.util.spec_from_file_location(name, EXAMPLES / f"{name}.py")
    module = importlib.util.module_from_spec(found)
    found.loader.exec_module(module)
    return module


def test_light_curve_fit_recovers_the_simulated_event():
    """Every fitted parameter within 3 sigma of the truth (fixed seed), with
    uncertainties that are neither vanishing nor useless, and a chi^2 that
    says the noise model and the magnifications are right."""
    pytest.importorskip("numpy")
    pytest.importorskip("scipy")
    example = load_example("fit_light_curve")
    fit = example.fit(example.simulate(example.SEED))
    for name in example.FITTED:
        truth, value, error = example.TRUTH[name], fit.values[name], fit.errors[name]
        assert 1e-9 * abs(truth) < error < 0.05 * abs(truth), (name, error)
        assert abs(value - truth) < 3.0 * error, (name, value, error)
    assert abs(fit.chi2 / fit.dof - 1.0) < 5.0 * (2.0 / fit.dof) ** 0.5
