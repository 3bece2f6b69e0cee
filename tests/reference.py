"""Reference magnifications kept as text tables in tests/data.

Each table is made by scripts/generate_reference.py: one case a line,
whitespace-separated decimal fields (inputs first, the magnification last),
lines starting with '#' are comments.  Pure Python, so it serves any
interpreter the tests run on.
"""

import math
import os

DATA_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "data")


def sampled_limb_darkening(intervals, spacing):
    """The linear law 1 - 0.6 (1 - sqrt(1 - x^2)) sampled at radii from 0 to 1
    in `intervals` equal steps of x ('even') or of the angle asin(x) ('sine'),
    which crowds the samples towards the limb: (radii, brightness).

    The angle is formed as (pi/2) (i/intervals), so that a grid with a
    multiple of the intervals holds the same radii, to the last bit."""
    if spacing == "sine":
        radii = [math.sin(math.pi / 2 * (i / intervals)) for i in range(intervals + 1)]
    elif spacing == "even":
        radii = [i / intervals for i in range(intervals + 1)]
    else:
        raise ValueError("spacing is 'sine' or 'even', not %r" % (spacing,))
    return radii, [1 - 0.6 * (1 - math.sqrt(1 - x * x)) for x in radii]


def reference_profile(spacing, intervals):
    """The sampled profile of a row of the flux-map table: (radii, brightness).

    'sine' and 'even': the linear law, sampled_limb_darkening(intervals,
    spacing).  'stepped': the law sampled even in angle on a grid of
    `intervals` intervals, from its fourth radius to its fourth from the last
    (so that it starts above 0 and ends below 1), its middle radius given
    twice and the brightness beyond it halved.  'narrow' (one interval): a
    band of brightness 1 from 0.4 to 0.45 source radii.  'kinked' (two
    intervals): brightness 1 from 0.3, rising there at once to 2 and falling
    linearly to 1 at 0.8, nothing beyond."""
    intervals = int(intervals)
    if spacing in ("sine", "even"):
        return sampled_limb_darkening(intervals, spacing)
    if spacing == "stepped":
        radii, brightness = sampled_limb_darkening(intervals, "sine")
        middle = intervals // 2
        inner = slice(4, middle + 1)
        outer = slice(middle, intervals - 3)
        return (radii[inner] + radii[outer],
                brightness[inner] + [0.5 * b for b in brightness[outer]])
    if spacing == "narrow" and intervals == 1:
        return [0.4, 0.45], [1.0, 1.0]
    if spacing == "kinked" and intervals == 2:
        return [0.3, 0.3, 0.8], [1.0, 2.0, 1.0]
    raise ValueError("no flux-map profile %r with %d intervals" % (spacing, intervals))


def _field(text):
    try:
        return float(text)
    except ValueError:
        return text


def load_reference(name):
    """Rows of table `name` ('uniform_disc', 'ring', 'limb_darkened',
    'flux_map', with or without '.txt') as a list of tuples of floats (a field
    that is no number stays a string)."""
    if not name.endswith(".txt"):
        name += ".txt"
    rows = []
    width = None
    with open(os.path.join(DATA_DIR, name)) as table:
        for number, line in enumerate(table, 1):
            line = line.strip()
            if not line or line.startswith("#"):
                continue
            row = tuple(_field(field) for field in line.split())
            if width is None:
                width = len(row)
            elif len(row) != width:
                raise ValueError("%s:%d: %d fields, expected %d"
                                 % (name, number, len(row), width))
            rows.append(row)
    if not rows:
        raise ValueError("%s: no cases" % name)
    return rows
