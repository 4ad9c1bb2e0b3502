"""ztr: the ZTR numerical library (libztr.so) for numpy and scipy users.

Sparse direct solves (``spsolve``, ``factorized``, ``Solver``), dense factorizations and
eigensolvers (``lu_factor``, ``inv``, ``qr``, ``cholesky_pivoted``, ``eigh``) and the
library's thread control, through ctypes; the library is found by ``ZTR_LIBRARY``, next to the
package, or on the loader path (see ``ztr._library``).
"""

from ._errors import (AccuracyWarning, FactorizationError, LapackArgumentError, LapackError,
                      LapackMemoryError, LibraryNotFoundError, LinAlgError,
                      NotPositiveDefiniteError, NotSupportedError, SolverError, SolverInputError,
                      SolverMemoryError, ZtrError)
from ._library import library_path
from .dense import LinAlgWarning, cholesky_pivoted, eigh, inv, lu_factor, qr
from .solver import Inertia, Solver, factorized, spsolve
from .threads import get_max_threads, set_dynamic, set_num_threads

__version__ = "0.1.0"

__all__ = [
    "spsolve", "factorized", "Solver", "Inertia", "lu_factor", "inv", "qr", "cholesky_pivoted",
    "eigh", "set_num_threads", "get_max_threads", "set_dynamic", "library_path", "ZtrError",
    "LibraryNotFoundError", "SolverError", "SolverInputError", "SolverMemoryError",
    "FactorizationError", "NotPositiveDefiniteError", "NotSupportedError", "LapackError",
    "LapackArgumentError", "LapackMemoryError", "LinAlgError", "LinAlgWarning",
    "AccuracyWarning"
]
