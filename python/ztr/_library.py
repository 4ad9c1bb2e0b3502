"""Finding and opening libztr.so, and the C prototypes of its exports.

The library is looked for, in this order:

1. the file named by the environment variable ``ZTR_LIBRARY`` (an error if it cannot be
   opened: a wrong path must not silently pick up another copy);
2. next to the package: in the package's own folder, and in the library folder of an
   installed tree (``<libdir>/python3/dist-packages/ztr`` or
   ``<libdir>/python3.X/site-packages/ztr`` beside ``<libdir>/libztr.so``);
3. on the dynamic loader's search path (``LD_LIBRARY_PATH``, the system folders).

It is opened at the first call that needs it, so that ``import ztr`` works on a machine
without the library and the error names every place that was tried.
"""

import ctypes
import os
import threading
from pathlib import Path

from ._errors import LibraryNotFoundError

ENV_VARIABLE = "ZTR_LIBRARY"
# The soname first: it is what a linked program would load.
FILE_NAMES = ("libztr.so.0", "libztr.so")
# From <libdir>/python3*/{dist,site}-packages/ztr up to <libdir>.
INSTALLED_TREE_DEPTH = 3

_lock = threading.Lock()
_library = None


def _candidates():
    here = Path(__file__).resolve().parent
    folders = [here]
    if len(here.parents) >= INSTALLED_TREE_DEPTH:
        folders.append(here.parents[INSTALLED_TREE_DEPTH - 1])
    for folder in folders:
        for name in FILE_NAMES:
            path = folder / name
            if path.is_file():
                yield str(path)


def _open():
    explicit = os.environ.get(ENV_VARIABLE)
    if explicit:
        try:
            return ctypes.CDLL(explicit)
        except OSError as e:
            raise LibraryNotFoundError(f"{ENV_VARIABLE}={explicit} cannot be loaded: {e}") from e
    tried = []
    for path in _candidates():
        try:
            return ctypes.CDLL(path)
        except OSError as e:
            tried.append(f"{path}: {e}")
    for name in FILE_NAMES:
        try:
            return ctypes.CDLL(name)
        except OSError as e:
            tried.append(f"{name}: {e}")
    raise LibraryNotFoundError(
        "libztr.so not found; set ZTR_LIBRARY to its path, install it next to the package or "
        "on the loader path. Tried: " + "; ".join(tried))


_p = ctypes.c_void_p
_i = ctypes.c_int
_d = ctypes.c_double
_c = ctypes.c_char

# Every export the package calls, with its C prototype.  Arrays and by-address scalars are
# passed as plain addresses (c_void_p), which keeps the per-call cost low.
_PROTOTYPES = {
    "KORVINE": (None, [_p] * 16),
    "ZTR_Set_Num_Threads": (None, [_i]),
    "ZTR_Get_Max_Threads": (_i, []),
    "ZTR_Set_Dynamic": (None, [_i]),
    "LAPACKE_dgetrf": (_i, [_i, _i, _i, _p, _i, _p]),
    "LAPACKE_dgetri": (_i, [_i, _i, _p, _i, _p]),
    "LAPACKE_dgeqrf": (_i, [_i, _i, _i, _p, _i, _p]),
    "LAPACKE_dorgqr": (_i, [_i, _i, _i, _i, _p, _i, _p]),
    "LAPACKE_dpstrf": (_i, [_i, _c, _i, _p, _i, _p, _p, _d]),
    "LAPACKE_dsyevd": (_i, [_i, _c, _c, _i, _p, _i, _p]),
    "LAPACKE_dsyevr":
    (_i, [_i, _c, _c, _c, _i, _p, _i, _d, _d, _i, _i, _d, _p, _p, _p, _i, _p]),
    "LAPACKE_dsygv": (_i, [_i, _i, _c, _c, _i, _p, _i, _p, _i, _p]),
    "LAPACKE_dsygvd": (_i, [_i, _i, _c, _c, _i, _p, _i, _p, _i, _p]),
}


def library():
    """The opened library with its prototypes set (opened once per process)."""
    global _library
    if _library is None:
        with _lock:
            if _library is None:
                lib = _open()
                for name, (restype, argtypes) in _PROTOTYPES.items():
                    try:
                        f = getattr(lib, name)
                    except AttributeError as e:
                        raise LibraryNotFoundError(
                            f"{lib._name} does not export {name}: not a ZTR library") from e
                    f.restype = restype
                    f.argtypes = argtypes
                _library = lib
    return _library


def library_path():
    """The file the package opened."""
    return library()._name
