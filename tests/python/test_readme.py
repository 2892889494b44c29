"""The README's examples run, and print exactly what the README shows.

Convention: every ```python block is followed at once by a ```text block that
holds its whole output.
"""

import contextlib
import io
import pathlib
import re
import sys
import types

import pytest

README = pathlib.Path(__file__).resolve().parents[2] / "README.md"
FENCE = re.compile(r"^```(\w*)\n(.*?)^```$", re.MULTILINE | re.DOTALL)


def readme_examples():
    text = README.read_text(encoding="utf-8")
    fences = list(FENCE.finditer(text))
    examples = []
    for at, fence in enumerate(fences):
        if fence.group(1) != "python":
            continue
        line = text.count("\n", 0, fence.start()) + 1
        following = fences[at + 1] if at + 1 < len(fences) else None
        shown = None
        if following and following.group(1) == "text" and not text[fence.end() : following.start()].strip():
            shown = following.group(2)
        examples.append(pytest.param(fence.group(2), shown, id=f"README.md:{line}"))
    return examples


def run_as_script(code):
    module = types.ModuleType("readme_example")
    module.__file__ = str(README)
    sys.modules[module.__name__] = module
    out = io.StringIO()
    try:
        with contextlib.redirect_stdout(out):
            exec(compile(code, str(README), "exec"), module.__dict__)
    finally:
        del sys.modules[module.__name__]
    return out.getvalue()


@pytest.mark.parametrize(("code", "shown"), readme_examples())
def test_example_prints_what_the_readme_shows(code, shown):
    assert shown is not None, "a python example must be followed at once by a text block of its output"
    assert run_as_script(code) == shown
