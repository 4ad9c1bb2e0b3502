"""CTest's entry to the Python package's tests: skips (exit status 77, with the reason) when
the interpreter lacks numpy, scipy or pytest, otherwise runs pytest on this folder."""

import importlib.util
import sys
from pathlib import Path

SKIP = 77

missing = [m for m in ("numpy", "scipy", "pytest") if importlib.util.find_spec(m) is None]
if missing:
    print(f"skipped: {sys.executable} lacks {', '.join(missing)} (./dev deps installs them)")
    sys.exit(SKIP)

import pytest  # noqa: E402

sys.exit(pytest.main([str(Path(__file__).resolve().parent), "-q", "-p", "no:cacheprovider"] +
                     sys.argv[1:]))
