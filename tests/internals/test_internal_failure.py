"""A broken invariant inside the boundary guard: the panic exception with the
failure's text, a failure report naming the source relative to the checkout,
and an interpreter that keeps running."""

import os
import re

import _magnikit_internals as internals
import pytest


def test_an_internal_failure_is_the_panic_exception_with_a_report(capfd):
    # The test-only module carries its own copy of the boundary, and so of
    # the panic type.
    with pytest.raises(BaseException) as info:
        internals.fail_internally("broken invariant")
    kind = type(info.value)
    assert (kind.__module__, kind.__name__) == ("pyo3_runtime", "PanicException")
    assert str(info.value) == "broken invariant"
    report = re.search(r"internal failure in thread '[^']*' at (.+):\d+:\d+:\nbroken invariant\n",
                       capfd.readouterr().err)
    assert report, "no failure report"
    # Built in any folder, the module carries no absolute path of it.
    path = report.group(1)
    assert re.match(r"tests[/\\]internals[/\\]", path) and not os.path.isabs(path), path
