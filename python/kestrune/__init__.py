"""Schemas written as Python annotations, compiled into immutable validators."""

from kestrune import _kestrune
from kestrune._kestrune import *  # noqa: F403

__all__ = list(_kestrune.__all__)
