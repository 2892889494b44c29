import os
import re
import subprocess
import sys

import pytest

pytestmark = pytest.mark.skipif(
    "libasan" in os.environ.get("LD_PRELOAD", ""), reason="the sanitizer reserves more address space than any cap"
)

# Run in a child process: with the address space capped a little above the
# process's size, each document is read by each entry point until memory runs out.
# A fresh thread for every call in one mode (a thread's first C++ exception is
# where the process used to end), the main thread in the other. Each outcome is
# printed; afterwards, with the cap lifted, every document must read as before.
SWEEP = r"""
import gc, json, resource, sys, threading
from kestrune import ValidationError, Validator

N = 400_000
# Written out item by item, so that building them leaves little freed memory for the
# calls to use instead of running out.
items = {
    "records": ('{"a%d": %d, "b": [%d, 2.5]}' % (i % 7, i, i) for i in range(N)),
    "strings": (json.dumps("s%d caf\u00e9 \u65e5\n\"%s" % (i, "x" * (i % 40))) for i in range(N)),
    "big ints": (str(10**20 + i) for i in range(N)),
    "keys": ('"key number %d": [%d]' % (i, i) for i in range(N)),
    "nested": ('[[[[[[[%d, [%d, "ab"]]]]]]]]' % (i, i) for i in range(N // 4)),
}
documents = {name: ("{%s}" if name == "keys" else "[%s]") % ", ".join(parts) for name, parts in items.items()}
del items
validators = {name: Validator(dict[str, list[int]] if name == "keys" else list[object]) for name in documents}
new_thread = sys.argv[1] == "thread"


def address_space():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[0]) * resource.getpagesize()


def outcome(call, document):
    try:
        return "answered False" if call(document) is False else "returned"
    except MemoryError:
        return "MemoryError"
    except ValidationError as error:
        return "%s %s" % (error.code, error.value)
    except BaseException as error:
        return "%s %s" % (type(error).__name__, error)


for headroom in (8, 16, 32, 64):
    for name, document in documents.items():
        for method in ("load", "validate_json", "is_valid_json"):
            call = getattr(validators[name], method)
            results, capped = [], threading.Event()
            run = lambda: capped.wait() and results.append(outcome(call, document))
            # Started before the cap: its stack is mapped, the call not yet made.
            worker = threading.Thread(target=run) if new_thread else None
            if worker:
                worker.start()
            gc.collect()
            resource.setrlimit(resource.RLIMIT_AS, (address_space() + headroom * 2**20, resource.RLIM_INFINITY))
            capped.set()
            try:
                worker.join() if worker else run()
            finally:
                resource.setrlimit(resource.RLIMIT_AS, (resource.RLIM_INFINITY, resource.RLIM_INFINITY))
            print("%s|%s|%s" % (name, method, results[0]), flush=True)

for name, document in documents.items():
    assert validators[name].load(document) == json.loads(document), name
    assert validators[name].is_valid_json(document), name
print("read as before")
"""

INTERNAL_ERROR = re.compile(r'json_invalid Internal error: "MemoryError: " at line 1 column \d+')


@pytest.mark.parametrize("mode", ["thread", "main"])
def test_running_out_of_memory_raises_and_leaves_reads_correct(mode):
    child = subprocess.run([sys.executable, "-c", SWEEP, mode], capture_output=True, text=True, timeout=600)
    assert child.returncode == 0, child.stderr[-2000:]
    *lines, last = child.stdout.splitlines()
    assert last == "read as before"
    exhausted = set()
    for line in lines:
        name, method, result = line.split("|")
        if method == "is_valid_json":
            assert result in ("returned", "MemoryError"), line
        else:
            assert result in ("returned", "MemoryError") or INTERNAL_ERROR.fullmatch(result), line
        if result != "returned":
            exhausted.add(name)
    # Every shape ran out somewhere, or the sweep tested nothing.
    assert exhausted == {"records", "strings", "big ints", "keys", "nested"}
