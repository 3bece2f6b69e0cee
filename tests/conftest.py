import pytest

from reference import load_reference


@pytest.fixture(scope="session")
def reference():
    """load_reference(name) -> list of tuples of floats from tests/data."""
    return load_reference
