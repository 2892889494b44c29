#!/usr/bin/env bash
# Prints the path of a CPython 3.13 interpreter with its headers: Debian's
# python3.13 or pyenv's 3.13.x, installing Debian's when the archive has it.
set -u

is_usable() {
    "$1" -c 'import sys, sysconfig, os
assert sys.version_info[:2] == (3, 13) and sys.implementation.name == "cpython"
assert os.path.exists(os.path.join(sysconfig.get_paths()["include"], "Python.h"))' >/dev/null 2>&1
}

candidates() {
    echo /usr/bin/python3.13 /usr/local/bin/python3.13
    local root="${PYENV_ROOT:-$HOME/.pyenv}"
    ls -d "$root"/versions/3.13.*/bin/python3.13 2>/dev/null | sort -rV
    command -v python3.13 2>/dev/null
}

for python in $(candidates); do
    if [ -x "$python" ] && is_usable "$python"; then echo "$python"; exit 0; fi
done

if apt-cache show python3.13-dev >/dev/null 2>&1 || { apt-get update -qq >/dev/null 2>&1 && apt-cache show python3.13-dev >/dev/null 2>&1; }; then
    apt-get install -y -qq python3.13 python3.13-dev python3.13-venv >&2 && is_usable /usr/bin/python3.13 &&
        { echo /usr/bin/python3.13; exit 0; }
fi
echo "no CPython 3.13 with headers found (tried Debian's python3.13 and pyenv's 3.13.x)" >&2
exit 1
