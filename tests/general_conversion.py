"""A second copy of the module that reads every sequence by iteration and
makes every result list item by item: magnikit's shared object copied under
another name and loaded with MAGNIKIT_GENERAL_CONVERSION=1 set while it
initialises. Its results and errors are what the fast paths of the module
must reproduce."""

import importlib.machinery
import importlib.util
import os
import shutil
import sys
import tempfile

import magnikit

_loaded = []


def general_module():
    """The copy, loaded once per process."""
    if not _loaded:
        folder = tempfile.mkdtemp(prefix="magnikit-general-")
        # The same path would give the module already loaded.
        path = os.path.join(folder, os.path.basename(magnikit.__file__))
        shutil.copyfile(magnikit.__file__, path)
        loader = importlib.machinery.ExtensionFileLoader("magnikit", path)
        location = importlib.util.spec_from_file_location("magnikit", path, loader=loader)
        saved = os.environ.get("MAGNIKIT_GENERAL_CONVERSION")
        os.environ["MAGNIKIT_GENERAL_CONVERSION"] = "1"
        try:
            # The module initialises as it is created, and the interpreter
            # files it in sys.modules as magnikit, where pickle finds the
            # functions: the module proper goes back there.
            module = importlib.util.module_from_spec(location)
            loader.exec_module(module)
        finally:
            sys.modules["magnikit"] = magnikit
            if saved is None:
                del os.environ["MAGNIKIT_GENERAL_CONVERSION"]
            else:
                os.environ["MAGNIKIT_GENERAL_CONVERSION"] = saved
        _loaded.append(module)
    return _loaded[0]


def same_error(fast, general):
    """The two copies raised the same error: the same type (each copy has a
    panic type and a profile length error of its own, alike in name), the
    same text, the same cause."""
    kinds = type(fast), type(general)
    if kinds[0] is not kinds[1]:
        names = {f"{kind.__module__}.{kind.__qualname__}" for kind in kinds}
        if names not in ({"pyo3_runtime.PanicException"}, {"magnikit.ProfileLengthError"}):
            return False
    causes = fast.__cause__, general.__cause__
    same_cause = causes[0] is causes[1] or (
        type(causes[0]) is type(causes[1]) and str(causes[0]) == str(causes[1]))
    return str(fast) == str(general) and same_cause
