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
