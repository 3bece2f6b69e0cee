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
