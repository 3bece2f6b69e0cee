"""Other builds of magnikit for the benchmarks to compare against: a git
revision or this tree with other options, built for this interpreter and
loaded into this process beside the installed magnikit."""

import importlib.machinery
import importlib.util
import os
import pathlib
import shutil
import subprocess
import sys
import tempfile

ROOT = pathlib.Path(__file__).resolve().parent.parent


def tool(name):
    """cmake or ninja: this environment's, the CPython test environment's, or
    the one on the PATH."""
    for folder in (pathlib.Path(sys.executable).parent, ROOT / ".venv" / "cpython" / "bin"):
        found = shutil.which(name, path=str(folder))
        if found:
            return found
    found = shutil.which(name)
    if found is None:
        sys.exit(f"need {name} to build the modules to compare")
    return found


def configure_and_build(source, build, target, *options):
    subprocess.run([tool("cmake"), "-S", str(source), "-B", str(build), "-G", "Ninja",
                    f"-DCMAKE_MAKE_PROGRAM={tool('ninja')}", f"-DPython_EXECUTABLE={sys.executable}",
                    *options], check=True, stdout=subprocess.DEVNULL)
    subprocess.run([tool("cmake"), "--build", str(build), "--target", target],
                   check=True, stdout=subprocess.DEVNULL)


def module_path(build):
    return next(pathlib.Path(build).glob("magnikit*.so"))


def build_revision(ref, folder):
    """The module of git REF, built in build/FOLDER (again only when REF has
    moved to another commit); (path, commit)."""
    commit = subprocess.run(["git", "-C", str(ROOT), "rev-parse", ref], check=True,
                            capture_output=True, text=True).stdout.strip()
    scratch = ROOT / "build" / folder
    source, build = scratch / "source", scratch / "build"
    stamp = scratch / "commit"
    if not stamp.exists() or stamp.read_text() != commit:
        shutil.rmtree(scratch, ignore_errors=True)
        source.mkdir(parents=True)
        archive = subprocess.run(["git", "-C", str(ROOT), "archive", commit], check=True,
                                 capture_output=True).stdout
        subprocess.run(["tar", "-x", "-C", str(source)], input=archive, check=True)
        stamp.write_text(commit)
    configure_and_build(source, build, "magnikit")
    return module_path(build), commit


def build_this_tree(folder, *options):
    """The module of this tree built with the CMake options in build/FOLDER."""
    build = ROOT / "build" / folder
    configure_and_build(ROOT, build, "magnikit", *options)
    return module_path(build)


def load_module(path, general=False):
    """The module in the shared object at path, leaving sys.modules as it
    was; general: a copy of it that reads every sequence by iteration and
    makes every result item by item (MAGNIKIT_GENERAL_CONVERSION=1)."""
    if general:
        copy = pathlib.Path(tempfile.mkdtemp(prefix="magnikit-general-")) / pathlib.Path(path).name
        shutil.copyfile(path, copy)
        path = copy
        os.environ["MAGNIKIT_GENERAL_CONVERSION"] = "1"
    saved = sys.modules.get("magnikit")
    try:
        loader = importlib.machinery.ExtensionFileLoader("magnikit", str(path))
        location = importlib.util.spec_from_file_location("magnikit", str(path), loader=loader)
        module = importlib.util.module_from_spec(location)
        loader.exec_module(module)
    finally:
        os.environ.pop("MAGNIKIT_GENERAL_CONVERSION", None)
        if saved is None:
            sys.modules.pop("magnikit", None)
        else:
            sys.modules["magnikit"] = saved
    return module
