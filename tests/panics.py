"""The panic exception type, found the way a caller meets it: the module
does not export it, so provoke one (unequal profile lengths) and take its
type."""

import magnikit


def panic_type():
    try:
        magnikit.discrete_flux_map_heyrovsky_magnification([1.0], 1.0, 0.1, [0.5], [])
    except BaseException as error:  # noqa: BLE001
        return type(error)
    raise AssertionError("no panic")
