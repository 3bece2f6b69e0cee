"""Reference magnifications kept as text tables in tests/data.

Each table is made by scripts/generate_reference.py: one case a line,
whitespace-separated decimal fields (inputs first, the magnification last),
lines starting with '#' are comments.  Pure Python, so it serves any
interpreter the tests run on.
"""

import os

DATA_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "data")


def load_reference(name):
    """Rows of table `name` ('uniform_disc', 'ring', 'limb_darkened', with or
    without '.txt') as a list of tuples of floats."""
    if not name.endswith(".txt"):
        name += ".txt"
    rows = []
    width = None
    with open(os.path.join(DATA_DIR, name)) as table:
        for number, line in enumerate(table, 1):
            line = line.strip()
            if not line or line.startswith("#"):
                continue
            row = tuple(float(field) for field in line.split())
            if width is None:
                width = len(row)
            elif len(row) != width:
                raise ValueError("%s:%d: %d fields, expected %d"
                                 % (name, number, len(row), width))
            rows.append(row)
    if not rows:
        raise ValueError("%s: no cases" % name)
    return rows
