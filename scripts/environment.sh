# Shared set-up for the demo and the tests: Debian packages, and one virtual
# environment per interpreter with magnikit built and installed into it.
# Sourced by scripts/demo and scripts/test.

REPO="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

# Installs the Debian packages that are missing (as root, or through sudo).
need_debian_packages() {
  local missing=()
  for package in "$@"; do
    dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  echo "Installing Debian packages: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
}

cpython() { command -v python3.11 || command -v python3; }

# The CPython interpreters that pyenv provides and magnikit supports (3.9 and
# newer), one path a line, oldest first; none where pyenv is missing.
pyenv_pythons() {
  local python
  for python in "${PYENV_ROOT:-$HOME/.pyenv}"/versions/*/bin/python3; do
    [ -x "$python" ] || continue
    if "$python" -c 'import sys; sys.exit(sys.implementation.name != "cpython" or sys.version_info < (3, 9))' \
      2>/dev/null; then
      echo "$python"
    fi
  done | sort -V
}

# make_venv INTERPRETER DIRECTORY PACKAGE...: creates the environment if
# needed, installs the packages, then builds and installs magnikit into it.
make_venv() {
  local interpreter="$1" directory="$2"
  shift 2
  if [ ! -x "$directory/bin/python" ]; then
    "$interpreter" -m venv "$directory"
  fi
  "$directory/bin/python" -m pip install -q --upgrade pip
  if [ $# -gt 0 ]; then
    "$directory/bin/python" -m pip install -q "$@"
  fi
  "$directory/bin/python" -m pip install -q "$REPO" -Cbuild-dir="$REPO/build/wheel-$(basename "$directory")"
}

# module_test_packages PYTHON: what the module's test suites (all but
# tests/internals) need on that interpreter, one package a line (read them
# with mapfile). NumPy and the type checkers are tested on CPython; the tests
# that need them skip elsewhere.
module_test_packages() {
  printf '%s\n' pytest hypothesis mpmath
  if "$1" -c 'import sys; sys.exit(sys.implementation.name != "cpython")'; then
    printf '%s\n' numpy mypy 'pyright[nodejs]'
  fi
}

# tool_venv PACKAGE...: .venv/tools, the environment of the release tools
# (build, auditwheel, ziglang), with these packages installed.
tool_venv() {
  if [ ! -x "$REPO/.venv/tools/bin/python" ]; then
    "$(cpython)" -m venv "$REPO/.venv/tools"
  fi
  "$REPO/.venv/tools/bin/python" -m pip install -q --upgrade pip
  "$REPO/.venv/tools/bin/python" -m pip install -q "$@"
}
