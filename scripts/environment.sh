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
  local tag
  tag="$("$directory/bin/python" -c 'import sys; print(sys.implementation.cache_tag)')"
  "$directory/bin/python" -m pip install -q "$REPO" -Cbuild-dir="$REPO/build/wheel-$tag"
}
