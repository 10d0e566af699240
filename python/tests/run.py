"""Runs the package's tests with pytest; exits 77 (skipped) naming the
Debian packages to install when the tests cannot run here."""

import importlib.util
import sys

NEEDED = {"numpy": "python3-numpy", "pandas": "python3-pandas", "pytest": "python3-pytest"}

missing = [package for module, package in NEEDED.items() if importlib.util.find_spec(module) is None]
if missing:
    print(f"skipped: the Python package's tests need the Debian packages {' '.join(missing)}")
    sys.exit(77)

import pytest  # noqa: E402

sys.exit(pytest.main(["-p", "no:cacheprovider", *sys.argv[1:]]))
