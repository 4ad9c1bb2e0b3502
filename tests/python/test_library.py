"""Finding the library (ZTR_LIBRARY, next to the package, an installed tree, the loader
path), the thread control, and the library's output kept off the caller's standard output;
each in a fresh interpreter, since the library is opened and its settings read once per
process."""

import os
import shutil
from pathlib import Path

import pytest
from conftest import REPO, run_child

SOLVE = ("import numpy as np, scipy.sparse as sp, ztr; "
         "A = sp.csr_matrix(np.array([[4.0, 1.0], [1.0, 3.0]])); "
         "x = ztr.spsolve(A, np.array([1.0, 2.0])); "
         "print(ztr.library_path()); print(np.allclose(A @ x, [1.0, 2.0]))")


@pytest.fixture(scope="module")
def built_library(ztr):
    return Path(os.path.realpath(ztr.library_path()))


def no_library_env():
    return {"ZTR_LIBRARY": "", "LD_LIBRARY_PATH": ""}


def test_named_by_the_environment(built_library):
    r = run_child(SOLVE, {"ZTR_LIBRARY": str(built_library)})
    assert r.returncode == 0, r.stderr
    assert r.stdout.split() == [str(built_library), "True"]


def test_a_wrong_name_is_an_error_not_a_fallback(built_library, tmp_path):
    r = run_child("import ztr\ntry:\n ztr.get_max_threads()\nexcept ztr.LibraryNotFoundError as e:"
                  "\n print('refused', e)",
                  {"ZTR_LIBRARY": str(tmp_path / "nothing.so"),
                   "LD_LIBRARY_PATH": str(built_library.parent)})
    assert r.returncode == 0, r.stderr
    assert r.stdout.startswith("refused ZTR_LIBRARY=") and "nothing.so" in r.stdout
    # A library that is not this one.
    r = run_child("import ztr\ntry:\n ztr.get_max_threads()\nexcept ztr.LibraryNotFoundError as e:"
                  "\n print('refused', e)", {"ZTR_LIBRARY": "libm.so.6"})
    assert "does not export KORVINE" in r.stdout, r.stdout + r.stderr


def test_on_the_loader_path(built_library):
    env = no_library_env()
    env["LD_LIBRARY_PATH"] = str(built_library.parent)
    r = run_child(SOLVE, env)
    assert r.returncode == 0, r.stderr
    assert r.stdout.split() == ["libztr.so.0", "True"]


def test_missing_everywhere_names_the_places_tried(ztr):
    r = run_child("import ztr\ntry:\n ztr.inv([[1.0]])\nexcept ztr.LibraryNotFoundError "
                  "as e:\n print('missing', e)", no_library_env())
    assert r.returncode == 0, r.stderr
    assert r.stdout.startswith("missing libztr.so not found") and "ZTR_LIBRARY" in r.stdout


@pytest.mark.parametrize("layout", ["beside", "installed"])
def test_next_to_the_package(built_library, tmp_path, layout):
    if layout == "beside":
        pkg = tmp_path / "ztr"
        lib = pkg / "libztr.so.0"
    else:
        pkg = tmp_path / "lib" / "python3" / "dist-packages" / "ztr"
        lib = tmp_path / "lib" / "libztr.so.0"
    shutil.copytree(REPO / "python" / "ztr", pkg, ignore=shutil.ignore_patterns("__pycache__"))
    shutil.copy(built_library, lib)
    env = no_library_env()
    env["PYTHONPATH"] = str(pkg.parent)
    code = f"import sys; sys.path.insert(0, {str(pkg.parent)!r}); " + SOLVE
    r = run_child(code, env)
    assert r.returncode == 0, r.stderr
    assert r.stdout.split() == [str(lib), "True"]


def test_thread_control(ztr):
    code = ("import ztr\n"
            "print(ztr.get_max_threads())\n"
            "ztr.set_dynamic(False); ztr.set_num_threads(5); print(ztr.get_max_threads())\n"
            "for bad in (0, -1, 1.5, True):\n"
            "    try:\n"
            "        ztr.set_num_threads(bad)\n"
            "    except ValueError:\n"
            "        print('refused')\n"
            "print(ztr.get_max_threads())\n"
            "ztr.set_dynamic(True); print(ztr.get_max_threads() <= 5)\n")
    r = run_child(code, {"ZTR_NUM_THREADS": "3", "ZTR_DYNAMIC": "FALSE"})
    assert r.returncode == 0, r.stderr
    assert r.stdout.split() == ["3", "5", "refused", "refused", "refused", "refused", "5", "True"]


def test_library_output_stays_off_the_callers_stdout(ztr):
    code = ("import numpy as np, scipy.sparse as sp, ztr\n"
            "print('before', flush=True)\n"
            "A = sp.csr_matrix(np.array([[4.0, 1.0], [1.0, 3.0]]))\n"
            "s = ztr.Solver(A)\n"
            "print('between')\n"
            "try:\n"
            "    ztr.Solver(sp.csr_matrix(np.array([[1.0, 2.0], [2.0, 1.0]])), mtype=2)\n"
            "except ztr.NotPositiveDefiniteError as e:\n"
            "    print('error', e.error)\n"
            "print('report' if 'KORVINE' in s.report() else 'no report')\n")
    r = run_child(code)
    assert r.returncode == 0, r.stderr
    assert r.stdout.split("\n") == ["before", "between", "error -4", "report", ""]


def test_without_a_file_for_the_report_the_solver_still_works(ztr):
    # No descriptor can be opened: the report cannot be captured, the solve must still run.
    code = ("import os, resource, numpy as np, scipy.sparse as sp, ztr\n"
            "A = sp.csr_matrix(np.array([[4.0, 1.0], [1.0, 3.0]]))\n"
            "ztr.get_max_threads()\n"
            "top = max(int(f) for f in os.listdir('/proc/self/fd'))\n"
            "resource.setrlimit(resource.RLIMIT_NOFILE, (top + 1, top + 1))\n"
            "with ztr.Solver(A) as s:\n"
            "    x = s.solve(np.array([1.0, 2.0]))\n"
            "    assert np.allclose(A @ x, [1.0, 2.0]) and s.report() == ''\n"
            "import sys; sys.stderr.write('fine')\n")
    r = run_child(code)
    assert r.returncode == 0 and r.stderr == "fine", r.stderr
