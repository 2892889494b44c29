"""Readers of the Unicode Character Database files, shared by the table generators."""

import pathlib


def general_categories(ucd: pathlib.Path) -> dict:
    """The general category of every assigned code point, from UnicodeData.txt."""
    category = {}
    first = None
    for line in (ucd / "UnicodeData.txt").read_text().splitlines():
        fields = line.split(";")
        cp, name, cat = int(fields[0], 16), fields[1], fields[2]
        if name.endswith(", First>"):
            first = cp
            continue
        for c in range(first if name.endswith(", Last>") else cp, cp + 1):
            category[c] = cat
    return category


def fields(ucd: pathlib.Path, path: str):
    """The fields of each data line of a file in the UCD's "a ; b ; c # comment" form."""
    for line in (ucd / path).read_text().splitlines():
        line = line.split("#")[0].strip()
        if line:
            yield [field.strip() for field in line.split(";")]


def code_points(span: str) -> range:
    lo, _, hi = span.partition("..")
    return range(int(lo, 16), int(hi or lo, 16) + 1)


def property_code_points(ucd: pathlib.Path, path: str, name: str) -> set:
    """The code points that have the binary property `name` in `path`."""
    found = set()
    for entry in fields(ucd, path):
        if entry[1] == name:
            found.update(code_points(entry[0]))
    return found


def version(ucd: pathlib.Path) -> str:
    return (ucd / "DerivedCoreProperties.txt").read_text().splitlines()[0].lstrip("# ").strip()
