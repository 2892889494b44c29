"""The test-only variant of the native module: built from the same sources beside
the tests (never installed), it adds `_walk_test_hook(reuse)`, which switches reuse
of finished walks on the calling thread and answers the expansions walked since its
last call. The make targets build it and name its directory in KESTRUNE_WALK_PROBE."""

import glob
import importlib.machinery
import importlib.util
import os

import pytest


def load_walk_probe():
    """The variant, loaded beside the installed module under a name of its own; the
    calling test module is skipped when no variant was built."""
    directory = os.environ.get("KESTRUNE_WALK_PROBE")
    if not directory:
        pytest.skip("KESTRUNE_WALK_PROBE names no build of the walk probe (make test-python sets it)",
                    allow_module_level=True)
    (path,) = glob.glob(os.path.join(directory, "_kestrune*.so"))
    loader = importlib.machinery.ExtensionFileLoader("kestrune_walk_probe._kestrune", path)
    spec = importlib.util.spec_from_file_location(loader.name, path, loader=loader)
    module = importlib.util.module_from_spec(spec)
    loader.exec_module(module)
    return module
