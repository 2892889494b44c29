import json
import os
import threading

import pytest

from kestrune import Validator, anything

pytestmark = pytest.mark.skipif(
    "libasan" in os.environ.get("LD_PRELOAD", ""), reason="the sanitizer's allocator holds on to freed memory"
)

MiB = 2**20
# What a thread keeps for its next document: the tree of is_valid_json and the
# pending values of load.
KEPT_PER_THREAD = 16 * MiB + 8 * MiB


def resident_bytes():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def records(count):
    return json.dumps([{"a%d" % (i % 7): i, "b": [i, 2.5]} for i in range(count)])


def test_threads_give_back_what_large_documents_took():
    # Each thread checks a 43 MB document (a tree of about 150 MiB, a stack of 32
    # MiB pending values) and loads a 14 MB one, then lives on. Beyond what it keeps,
    # that storage must be back with the system, not resident in freed blocks of the
    # thread's allocator arena.
    checked, loaded = records(1_500_000), records(500_000)
    v = Validator(list[object])
    threads = 4
    done, measured = threading.Barrier(threads + 1), threading.Event()
    answers = []

    def read_and_stay_alive():
        answers.append(anything.is_valid_json(checked))
        answers.append(len(v.load(loaded)))
        done.wait()
        measured.wait()

    before = resident_bytes()
    workers = [threading.Thread(target=read_and_stay_alive) for _ in range(threads)]
    for worker in workers:
        worker.start()
    done.wait()
    grown = resident_bytes() - before
    measured.set()
    for worker in workers:
        worker.join()
    assert sorted(answers, key=str) == [500_000] * threads + [True] * threads
    assert grown < threads * KEPT_PER_THREAD + 48 * MiB


def test_threads_that_end_give_back_what_they_kept():
    checked, loaded = records(600_000), records(300_000)
    v = Validator(list[object])

    def read():
        assert anything.is_valid_json(checked)
        assert len(v.load(loaded)) == 300_000

    before = resident_bytes()
    for _ in range(8):
        worker = threading.Thread(target=read)
        worker.start()
        worker.join()
    # Each keeps about 12 MiB while it lives; kept past their ends, about 90 MiB
    # would remain.
    assert resident_bytes() - before < KEPT_PER_THREAD + 32 * MiB
