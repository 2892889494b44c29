"""Seconds and peak memory growth to compile hostile patterns and check one text.

Each pattern runs in a process of its own, so that its peak resident memory is its
own: `Validator(...)` compiles the pattern once to validate it, and the first
`is_valid` compiles it again for the validator's tables. Run with the package
importable, for example `.venv/bin/python bench/bench_patterns.py` after `make build`.
"""

import resource
import subprocess
import sys
import time
from types import SimpleNamespace
from typing import Annotated

PATTERNS = {
    r"\W x 40000": r"\W" * 40000,
    r"\w x 60000": r"\w" * 60000,
    r"(?:\w|... x 30000)": "(?:" + "|".join([r"\w"] * 30000) + ")",
    r"[\W\w] x 20000": r"[\W\w]" * 20000,
    r"\p{Alphabetic} x 8000": r"\p{Alphabetic}" * 8000,
    r"\w x 1700": r"\w" * 1700,
    r"[\p{Greek}\p{Latin}\p{Han}\w] x 700": r"[\p{Greek}\p{Latin}\p{Han}\w]" * 700,
    r"(?:a{1000}b{300}) x 900": r"(?:a{1000}b{300})" * 900,
}


def measure(name):
    from kestrune import Validator

    pattern = PATTERNS[name]
    before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
    start = time.perf_counter()
    try:
        Validator(Annotated[str, SimpleNamespace(pattern=pattern)]).is_valid("a")
        outcome = "compiled"
    except ValueError:
        outcome = "refused"
    seconds = time.perf_counter() - start
    growth = (resource.getrusage(resource.RUSAGE_SELF).ru_maxrss - before) / 1024
    print(f"{name:40} {len(pattern) / 1024:6.1f} KB {seconds:6.2f} s {growth:7.1f} MiB {outcome}")


if __name__ == "__main__":
    if len(sys.argv) > 1:
        measure(sys.argv[1])
    else:
        for name in PATTERNS:
            subprocess.run([sys.executable, __file__, name], check=True)
