"""NumPy arrays and scalars work wherever sequences and floats do; results
are always lists of Python floats."""

import pytest

np = pytest.importorskip("numpy")

import magnikit  # noqa: E402

L = [0.0, 0.5, 1.0, 2.5]


@pytest.mark.parametrize(
    "l",
    [np.array(L), np.array(L, dtype=np.float32), np.array([0, 1, 2]), np.array(L)[::-1][::-1]],
)
def test_arrays_as_separations(l):
    result = magnikit.witt_mao_magnification(l, 1.0, 0.1)
    assert type(result) is list and all(type(x) is float for x in result)
    assert result == magnikit.witt_mao_magnification([float(x) for x in l], 1.0, 0.1)


@pytest.mark.parametrize("scalar", [np.float64(0.1), np.float32(0.25), np.int64(2), np.bool_(True)])
def test_scalars_as_floats(scalar):
    assert magnikit.heyrovsky_magnification(0.5, 0.3, scalar, 0.1) == (
        magnikit.heyrovsky_magnification(0.5, 0.3, float(scalar), 0.1)
    )


def test_flux_map_takes_arrays():
    radii = np.linspace(0.0, 1.0, 11)
    brightness = 1.0 - 0.6 * (1.0 - np.sqrt(1.0 - radii**2))
    from_arrays = magnikit.integrated_flux_map_heyrovsky_magnification(
        np.array(L), 1.0, 0.1, radii, brightness)
    assert from_arrays == magnikit.integrated_flux_map_heyrovsky_magnification(
        L, 1.0, 0.1, radii.tolist(), brightness.tolist())


@pytest.mark.parametrize("l", [np.zeros((2, 2)), np.float64(1.0) + np.zeros(())])
def test_arrays_that_are_not_flat_sequences_are_refused(l):
    with pytest.raises(TypeError, match="^argument 'l': "):
        magnikit.witt_mao_magnification(l, 1.0, 0.1)


BANDS = np.array([[0.4, 0.2], [0.1, 0.3]])


@pytest.mark.parametrize(
    "coefficients",
    [BANDS[0], BANDS[0].astype(np.float32), BANDS, np.asfortranarray(BANDS), BANDS[:, ::-1],
     [np.float64(0.4), np.int64(0)], [np.array(0.4), np.array(0.2)], list(BANDS)],
)
def test_arrays_and_scalars_as_coefficients(coefficients):
    result = magnikit.limb_darkened_magnification(L, 1.0, 0.1, "quadratic", coefficients)
    as_lists = np.asarray(coefficients, dtype=float).tolist()
    assert result == magnikit.limb_darkened_magnification(L, 1.0, 0.1, "quadratic", as_lists)
    rows = result if type(result[0]) is list else [result]
    assert all(type(x) is float for row in rows for x in row)
