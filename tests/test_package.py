"""What the installed package says about itself: its version, its licence
and its module documentation."""

import pydoc
from importlib import metadata

import pytest

import magnikit


def installed_distribution():
    try:
        return metadata.distribution("magnikit")
    except metadata.PackageNotFoundError:
        pytest.skip("magnikit is not installed as a package here (a bare CMake build)")


def test_version_is_the_package_version_and_not_exported():
    assert magnikit.__version__ == installed_distribution().version
    assert "__version__" not in magnikit.__all__
    assert [name for name in dir(magnikit) if not name.startswith("_")] == sorted(magnikit.__all__)


def test_licence_travels_with_the_package():
    distribution = installed_distribution()
    assert distribution.metadata["License-Expression"] == "BSD-3-Clause"
    [licence] = distribution.metadata.get_all("License-File")
    assert "Redistribution and use in source and binary forms" in distribution.read_text(
        f"licenses/{licence}")


def test_help_names_what_the_module_computes_and_points_at_the_readme():
    synopsis, description = pydoc.splitdoc(magnikit.__doc__)
    assert synopsis.startswith("Magnification of a finite source star by a single point-mass")
    assert synopsis.endswith(".") and synopsis.count(". ") == 0
    assert "README" in description


@pytest.mark.parametrize("setting, accepted", [
    ("MAGNIKIT_LANES", "it accepts scalar, baseline (or sse2, neon) and avx2"),
    ("MAGNIKIT_GENERAL_CONVERSION", "it accepts 1 (read every sequence by iteration) and 0"),
])
def test_a_setting_not_understood_is_warned_of_at_import(setting, accepted):
    import os
    import subprocess
    import sys

    environment = dict(os.environ, **{setting: "fastest"})
    script = ("import warnings\n"
              "with warnings.catch_warnings(record=True) as caught:\n"
              "    warnings.simplefilter('always')\n"
              "    import magnikit\n"
              "print([(w.category.__name__, str(w.message)) for w in caught])\n")
    run = subprocess.run([sys.executable, "-c", script], env=environment, capture_output=True,
                         text=True, timeout=60)
    assert run.returncode == 0, run.stderr
    assert run.stdout.strip() == repr([(
        "RuntimeWarning", f"{setting}=fastest is not understood and is ignored; {accepted}")])
