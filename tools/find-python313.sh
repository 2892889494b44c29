#!/usr/bin/env bash
# Prints the path of a CPython 3.13 interpreter that has its headers and can make
# a venv (ensurepip): Debian's python3.13 or pyenv's 3.13.x. When none fits and
# Debian's archive has python3.13 (Debian 13), its packages are installed first;
# when still none fits, says what to install.
set -u
here=$(cd "$(dirname "$0")" && pwd)
pyenv_root="${PYENV_ROOT:-$HOME/.pyenv}"

# Exits non-zero with the reason on stderr when the interpreter does not fit.
check='import os, sys, sysconfig
if sys.implementation.name != "cpython" or sys.version_info[:2] != (3, 13):
    sys.exit(f"it is {sys.implementation.name} {sys.version.split()[0]}, not CPython 3.13")
if not os.path.exists(os.path.join(sysconfig.get_paths()["include"], "Python.h")):
    sys.exit("it has no headers (Python.h)")
try:
    import ensurepip
    ensurepip.version()
except Exception:
    sys.exit("it cannot make a venv (no ensurepip)")'

candidates() {
    echo /usr/bin/python3.13 /usr/local/bin/python3.13
    ls -d "$pyenv_root"/versions/3.13.*/bin/python3.13 2>/dev/null | sort -rV
    command -v python3.13 2>/dev/null
}

rejected=()
find_usable() {
    local python reason
    rejected=()
    for python in $(candidates); do
        [ -x "$python" ] || continue
        if reason=$("$python" -c "$check" 2>&1 >/dev/null); then
            echo "$python"
            return 0
        fi
        rejected+=("$python: ${reason##*$'\n'}")
    done
    return 1
}

find_usable && exit 0
if command -v apt-get >/dev/null && "$here/ensure-apt-packages.sh" python3.13 python3.13-dev python3.13-venv; then
    find_usable && exit 0
fi

{
    echo "no usable CPython 3.13: it must have its headers (Python.h) and ensurepip."
    echo "Looked at /usr/bin/python3.13, /usr/local/bin/python3.13, $pyenv_root/versions/3.13.*/bin/python3.13"
    echo "and python3.13 on PATH."
    for line in "${rejected[@]}"; do echo "  rejected $line"; done
    echo "On Debian 13, install Debian's packages (as root):"
    echo "    apt-get install python3.13 python3.13-dev python3.13-venv"
    echo "On Debian 12, which has no python3.13 package, install a 3.13.x with pyenv:"
    echo "    apt-get install build-essential libssl-dev zlib1g-dev libbz2-dev libreadline-dev \\"
    echo "        libsqlite3-dev libffi-dev liblzma-dev    # what pyenv's build of CPython needs"
    echo "    pyenv install 3.13                           # into \$PYENV_ROOT/versions (~/.pyenv by default)"
} >&2
exit 1
