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
  echo "== Debian packages: updating the package lists"
  $sudo apt-get update -qq
  echo "== Debian packages: installing ${missing[*]}"
  with_progress "$REPO/build/logs/debian-packages.log" \
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}"
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

# progress_lines: from the output of apt-get, pip and the build, only the lines
# that tell how far it is, shortened: the Debian packages set up, the Python
# packages pip downloads and installs, pip's stages around building a package,
# scikit-build-core's steps and Ninja's "[n/m]" lines. Everything else (pip's
# resolver, the compiler's commands and messages) stays in the log.
progress_lines() {
  sed -u -n -E \
    -e 's/^Setting up ([^ ]+).*/   set up \1/p' \
    -e 's/^ *Downloading ([^ ]+).*/   downloading \1/p' \
    -e 's/^ *Installing collected packages: (.*)/   installing \1/p' \
    -e 's/^ *(Installing build dependencies|Building wheel for [^ ]+).*: started$/   \1/p' \
    -e 's/^ *\*\*\* (Configuring CMake|Building project|Installing project|Making wheel).*/   \1/p' \
    -e 's#^ *(\[[0-9]+/[0-9]+\]) Building CXX object (.*/)?CMakeFiles/[^/]+\.dir/(.*)\.o$#   \1 \2\3#p' \
    -e 's#^ *(\[[0-9]+/[0-9]+\]) Linking CXX [a-z ]+ (.*)$#   \1 linking \2#p'
}

# with_progress LOG COMMAND...: runs the command with all its output in LOG
# and its progress on the screen; if it fails, the end of the log follows.
with_progress() {
  local log="$1"
  shift
  mkdir -p "$(dirname "$log")"
  if ! { "$@" 2>&1 | tee "$log" | progress_lines; }; then
    echo "failed: $* (the end of $log follows)" >&2
    tail -n 40 "$log" >&2
    return 1
  fi
}

# make_venv INTERPRETER DIRECTORY PACKAGE...: creates the environment if
# needed, installs the packages, then builds and installs magnikit into it,
# saying what it does at each stage (logs in build/logs/).
make_venv() {
  local interpreter="$1" directory="$2"
  shift 2
  local name logs
  name="$(basename "$directory")"
  logs="$REPO/build/logs"
  if [ ! -x "$directory/bin/python" ]; then
    echo "-- $directory: creating the environment ($interpreter)"
    "$interpreter" -m venv "$directory"
  fi
  echo "-- $directory: pip and the packages${1:+: $*}"
  "$directory/bin/python" -m pip install -q --upgrade pip
  if [ $# -gt 0 ]; then
    with_progress "$logs/packages-$name.log" "$directory/bin/python" -m pip install "$@"
  fi
  echo "-- $directory: building and installing magnikit"
  with_progress "$logs/magnikit-$name.log" \
    "$directory/bin/python" -m pip install -v "$REPO" -Cbuild-dir="$REPO/build/wheel-$name"
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
