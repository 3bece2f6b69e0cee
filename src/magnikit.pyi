"""Magnification of a finite source star by a single point-mass gravitational lens.

Microlensing of uniformly bright and limb-darkened discs, thin rings and
brightness profiles sampled by the caller.

Units: ``re`` (the Einstein radius) and ``rstar`` (the source radius) share
one length unit of your choice; only rho = rstar / re, the source radius in
Einstein radii, matters. The separations ``l`` of the lens from the source
centre, the ring radius ``r`` and the profile radii ``bl`` are in source
radii: a lens u Einstein radii from the source centre is at l = u / rho.

Every parameter may be passed by position or by keyword. A float parameter
takes anything with ``__float__``; a sequence parameter any sequence of such
numbers except ``str`` (list, tuple, range, NumPy array, array.array,
memoryview, pandas Series). Functions taking ``l`` return a new list with one
magnification per separation, in order. Ctrl-C stops a long call within
milliseconds, with no partial result.

Sizes that describe no lens and source (``re`` or ``rstar`` negative or NaN,
``rstar = 0``, ``re = inf``) make every result NaN, whatever the
separations. With no Einstein radius to speak of (``re = 0`` or
``rstar = inf``) nothing is magnified: 1.0, and +inf for a ring through the
lens, as at every size.

Units, conventions, errors, accuracy and examples are in the README, which is
also the package's description:
importlib.metadata.metadata("magnikit")["Description"].
"""

from typing import Any, Iterator, Protocol, SupportsFloat, SupportsIndex, Union, overload

_Float = Union[SupportsFloat, SupportsIndex]

class _FloatSequence(Protocol):
    """Any sequence of numbers except ``str``: list, tuple, range, bytes,
    NumPy array, array.array, memoryview, pandas Series or Index. It is read
    by iteration, so the items are what iteration yields; a mapping, a set
    or an iterator is refused."""

    # What an item looks like is told by iteration alone: indexing returns
    # other things too (a pandas Series declares no result, a NumPy array
    # returns arrays). Taking a slice is what every sequence does and a
    # mapping with typed keys does not.
    def __getitem__(self, index: slice, /) -> Any: ...
    def __iter__(self) -> Iterator[_Float]: ...

class _RowSequence(Protocol):
    """A sequence of float sequences, one row per band: a list of lists or
    tuples, a 2-D NumPy array."""

    def __getitem__(self, index: slice, /) -> Any: ...
    def __iter__(self) -> Iterator[_FloatSequence]: ...

__all__ = [
    "witt_mao_magnification",
    "integrated_witt_mao_magnification",
    "integrated_flux_map_witt_mao_magnification",
    "heyrovsky_magnification",
    "integrated_heyrovsky_magnification",
    "integrated_flux_map_heyrovsky_magnification",
    "discrete_flux_map_heyrovsky_magnification",
    "limb_darkened_magnification",
    "ProfileLengthError",
]

__version__: str

def witt_mao_magnification(l: _FloatSequence, re: _Float, rstar: _Float) -> list[float]:
    """Magnification of a uniformly bright disc at each separation of the lens.

    The closed form in complete elliptic integrals (Witt & Mao 1994), with its
    own closed form for the lens on the rim; from l = 6 on, the far-field
    series of the point-lens magnification.

    Parameters
    ----------
    l : sequence of float
        Separations of the lens from the source centre, in source radii
        (l = u / rho for a lens u Einstein radii away).
    re : float
        Einstein radius.
    rstar : float
        Source radius, in the unit of ``re``; rho = rstar / re.

    Returns
    -------
    list of float
        The magnification at each separation, in order.

    Raises
    ------
    TypeError
        An argument is missing, unknown or not a number; the message names
        the parameter.
    RuntimeError
        An elliptic integral fails, as for a negative, NaN or infinite
        separation; no partial result is returned.

    Accuracy: within 3e-13 relative of the exact magnification, 5e-16 from
    l = 6 on.
    """

def integrated_witt_mao_magnification(
    l: _FloatSequence, re: _Float, rstar: _Float
) -> list[float]:
    """Magnification of a limb-darkened disc, built from uniform discs.

    The brightness follows the linear law I = 1 - 0.6 (1 - mu), with
    mu = sqrt(1 - x^2) at radius x (in source radii). The magnified flux is
    the integral over the source radius of the brightness times the
    derivative of the magnified flux F(x) of a uniform disc of growing
    radius x, integrated by parts: F(1) I(1) - int F(x) I'(x) dx, one uniform
    disc per node, divided by the source's total flux. From l = 6 on, the
    far-field series with the law's brightness moments.
    ``integrated_heyrovsky_magnification`` computes the same magnification,
    and the two agree to 2e-13.

    Parameters
    ----------
    l : sequence of float
        Separations of the lens from the source centre, in source radii
        (l = u / rho for a lens u Einstein radii away).
    re : float
        Einstein radius.
    rstar : float
        Source radius, in the unit of ``re``; rho = rstar / re.

    Returns
    -------
    list of float
        The magnification at each separation, in order.

    Raises
    ------
    TypeError
        An argument is missing, unknown or not a number; the message names
        the parameter.
    RuntimeError
        The uniform disc at the full radius fails, as for a negative, NaN or
        infinite separation; no partial result is returned.

    Accuracy: within 4e-14 relative of the exact magnification wherever the
    lens is, 5e-16 from l = 6 on.
    """

def integrated_flux_map_witt_mao_magnification(
    l: _FloatSequence, re: _Float, rstar: _Float, bl: _FloatSequence, bf: _FloatSequence
) -> list[float]:
    """Magnification of a sampled brightness profile, built from uniform discs.

    As ``integrated_witt_mao_magnification``, with the brightness profile
    sampled by the caller: ``bf[j]`` at radius ``bl[j]``, interpolated
    linearly between the samples and zero outside them. The result is divided
    by the profile's own total flux, so the scale of ``bf`` does not matter.
    Integrated by parts piece by piece between the samples (the Stieltjes
    form: each piece's slope times the flux of the discs over it, and each
    step of the profile times the flux of the disc it bounds), so its kinks
    and steps cost nothing; some 5 uniform discs per sloping interval and
    separation (a few dozen next to the lens).
    ``integrated_flux_map_heyrovsky_magnification`` computes the same
    magnification, and the two agree to 2e-13 (3e-13 for a narrow band).

    Parameters
    ----------
    l : sequence of float
        Separations of the lens from the source centre, in source radii
        (l = u / rho for a lens u Einstein radii away).
    re : float
        Einstein radius.
    rstar : float
        Source radius, in the unit of ``re``; rho = rstar / re.
    bl : sequence of float
        Radii of the samples, in source radii: finite and ascending (a
        radius may repeat, for a step in brightness).
    bf : sequence of float
        Surface brightness at each radius of ``bl``, in any unit.

    Returns
    -------
    list of float
        The magnification at each separation, in order; every element is NaN
        if a brightness is not finite or the profile has no flux over the
        source.

    Raises
    ------
    TypeError
        An argument is missing, unknown or not a number; the message names
        the parameter.
    ProfileLengthError
        ``bl`` and ``bf`` differ in length (a ValueError).
    ValueError
        ``bl`` does not ascend or holds a radius that is not finite.
    RuntimeError
        The uniform disc at the full radius fails, as for a negative, NaN or
        infinite separation; no partial result is returned.

    Accuracy: within 2e-13 relative of the exact integral of the
    interpolated profile (4e-14 for smooth profiles), 5e-16 from l = 6 on; a
    bright band narrower than 1 % of its radius loses more, as the difference
    of two discs (1.4e-12 for one 0.17 % wide): integrate it ring by ring.
    """

def heyrovsky_magnification(l: _Float, r: _Float, re: _Float, rstar: _Float) -> float:
    """Magnification of a thin ring concentric with the source, for one lens.

    The point-lens magnification averaged around the ring, in complete
    elliptic integrals (Heyrovsky 2003); from l = 6 on, for rings of radius
    up to l / 6, the far-field series.

    Parameters
    ----------
    l : float
        Separation of the lens from the source centre, in source radii.
    r : float
        Radius of the ring, in source radii.
    re : float
        Einstein radius.
    rstar : float
        Source radius, in the unit of ``re``; rho = rstar / re.

    Returns
    -------
    float
        The magnification of the ring; +inf for a ring through the lens
        (r = l); NaN for a negative ``l`` or ``r`` beside a zero one, or
        both negative.

    Raises
    ------
    TypeError
        An argument is missing, unknown or not a number; the message names
        the parameter.
    RuntimeError
        ``l`` and ``r`` of opposite signs, NaN or infinite, refused with
        the elliptic integrals' error.

    Accuracy: within 1.5e-13 relative away from the ring through the lens,
    5e-16 near it, 6e-16 in the far field.
    """

def integrated_heyrovsky_magnification(
    l: _FloatSequence, re: _Float, rstar: _Float
) -> list[float]:
    """Magnification of a limb-darkened disc, integrated ring by ring.

    The brightness follows the linear law I = 1 - 0.6 (1 - mu), with
    mu = sqrt(1 - x^2) at radius x (in source radii). The thin rings are
    summed over the source radius by Gauss rules on cells graded towards the
    ring through the lens and the limb; from l = 6 on, the far-field series
    with the law's brightness moments.

    Parameters
    ----------
    l : sequence of float
        Separations of the lens from the source centre, in source radii
        (l = u / rho for a lens u Einstein radii away).
    re : float
        Einstein radius.
    rstar : float
        Source radius, in the unit of ``re``; rho = rstar / re.

    Returns
    -------
    list of float
        The magnification at each separation, in order: NaN for a NaN or
        negative separation, 1.0 for l = +inf and beyond 1e154.

    Raises
    ------
    TypeError
        An argument is missing, unknown or not a number; the message names
        the parameter. No computation raises: a ring that cannot be
        evaluated drops out of the quadrature.

    Accuracy: within 1e-14 relative of the exact magnification wherever the
    lens is, 5e-16 from l = 6 on.
    """

def integrated_flux_map_heyrovsky_magnification(
    l: _FloatSequence, re: _Float, rstar: _Float, bl: _FloatSequence, bf: _FloatSequence
) -> list[float]:
    """Magnification of a sampled brightness profile, integrated ring by ring.

    As ``integrated_heyrovsky_magnification``, with the brightness profile
    sampled by the caller: ``bf[j]`` at radius ``bl[j]``, interpolated
    linearly between the samples and zero outside them. The result is divided
    by the profile's own total flux, so the scale of ``bf`` does not matter.
    Each interval between two samples is integrated on its own, some 5 ring
    evaluations per interval and separation (a few dozen next to the lens):
    sample densely near the limb, for example at bl = sin(theta) for theta
    even in angle.

    Parameters
    ----------
    l : sequence of float
        Separations of the lens from the source centre, in source radii
        (l = u / rho for a lens u Einstein radii away).
    re : float
        Einstein radius.
    rstar : float
        Source radius, in the unit of ``re``; rho = rstar / re.
    bl : sequence of float
        Radii of the samples, in source radii: finite and ascending (a
        radius may repeat, for a step in brightness).
    bf : sequence of float
        Surface brightness at each radius of ``bl``, in any unit.

    Returns
    -------
    list of float
        The magnification at each separation, in order: NaN for a NaN or
        negative separation, and every element NaN if a brightness is not
        finite or the profile has no flux over the source.

    Raises
    ------
    TypeError
        An argument is missing, unknown or not a number; the message names
        the parameter.
    ProfileLengthError
        ``bl`` and ``bf`` differ in length (a ValueError).
    ValueError
        ``bl`` does not ascend or holds a radius that is not finite.

    Accuracy: within 1e-13 relative of the exact magnification of the
    interpolated profile, 5e-16 from l = 6 on.
    """

def discrete_flux_map_heyrovsky_magnification(
    l: _FloatSequence, re: _Float, rstar: _Float, bl: _FloatSequence, bf: _FloatSequence
) -> list[float]:
    """Sum of thin rings' magnifications weighted by a sampled brightness.

    At each separation of the lens, the sum over the samples of ``bf[j]``
    times the magnification of the thin ring of radius ``bl[j]``, without
    normalisation: divide by the sum of the weights for a magnification. The
    rings may come in any order.

    Parameters
    ----------
    l : sequence of float
        Separations of the lens from the source centre, in source radii
        (l = u / rho for a lens u Einstein radii away).
    re : float
        Einstein radius.
    rstar : float
        Source radius, in the unit of ``re``; rho = rstar / re.
    bl : sequence of float
        Radii of the rings, in source radii, finite.
    bf : sequence of float
        Weight of each ring.

    Returns
    -------
    list of float
        The weighted sum at each separation, in order: +inf when a ring
        passes through the lens, and every element NaN if a weight is not
        finite.

    Raises
    ------
    TypeError
        An argument is missing, unknown or not a number; the message names
        the parameter.
    ProfileLengthError
        ``bl`` and ``bf`` differ in length (a ValueError).
    ValueError
        A radius is not finite.
    RuntimeError
        A ring fails, as for a negative or NaN separation; no partial result
        is returned.

    Accuracy: each ring as ``heyrovsky_magnification``.
    """

@overload
def limb_darkened_magnification(
    l: _FloatSequence, re: _Float, rstar: _Float, law: str, coefficients: _FloatSequence
) -> list[float]:
    """Magnification of a disc darkened towards its limb by a law you name.

    With mu = sqrt(1 - x^2) at radius x (in source radii), the laws and
    their coefficients:

    - ``"uniform"``: 1 (no coefficients)
    - ``"linear"``: 1 - u (1 - mu); [u]
    - ``"quadratic"``: 1 - a (1 - mu) - b (1 - mu)^2; [a, b]
    - ``"square-root"``: 1 - c (1 - mu) - d (1 - sqrt(mu)); [c, d]
    - ``"logarithmic"``: 1 - c (1 - mu) - d mu ln(mu); [c, d]
    - ``"power-2"``: 1 - c (1 - mu^alpha), alpha > 0; [c, alpha]
    - ``"nonlinear"``: 1 - sum_k a_k (1 - mu^(k/2)), k = 1..4; [a1, a2, a3, a4]

    each normalised by its own total flux. The thin rings are summed over
    the source radius as in ``integrated_heyrovsky_magnification``, once for
    every band: the bands share every ring evaluation. From l = 6 on, the
    far-field series with each band's brightness moments.

    Parameters
    ----------
    l : sequence of float
        Separations of the lens from the source centre, in source radii
        (l = u / rho for a lens u Einstein radii away).
    re : float
        Einstein radius.
    rstar : float
        Source radius, in the unit of ``re``; rho = rstar / re.
    law : str
        The law's name, one of those above.
    coefficients : sequence of float, or sequence of such rows
        One band's coefficients, or one row of coefficients per band (a list
        of lists or tuples, a 2-D NumPy array).

    Returns
    -------
    list of float, or list of lists of float
        For one band, the magnification at each separation, in order; for
        rows, one such list per row. NaN for a NaN or negative separation,
        1.0 for l = +inf and beyond 1e154.

    Raises
    ------
    TypeError
        An argument is missing, unknown or not a number (``law`` not a str);
        the message names the parameter.
    ValueError
        An unknown law, the wrong number of coefficients, a coefficient that
        is not finite, alpha <= 0, or a law that is negative somewhere on
        the disc; the message names the parameter.

    Accuracy: within 2e-14 relative of the exact magnification for every
    law, wherever the lens is; each row gives the bits it gives alone.
    """

@overload
def limb_darkened_magnification(
    l: _FloatSequence, re: _Float, rstar: _Float, law: str, coefficients: _RowSequence
) -> list[list[float]]: ...

class ProfileLengthError(ValueError):
    """A sampled brightness profile whose radii and brightnesses differ in length.

    Raised by the flux-map functions when ``bl`` and ``bf`` differ in length.
    A ValueError, so that ``except Exception`` and worker pools catch it; also
    a pyo3_runtime.PanicException, which magnikit raised for it before.
    """
