"""The exceptions of the package.

Every failure the library reports becomes an exception that carries the library's own code:
``SolverError.error`` is the sparse solver's ``error`` value (and ``error_num`` its detail
code when the solver printed one), ``LapackError.info`` a dense routine's return value.
``text`` is what the library printed about the failure, byte for byte, or, where the call ran
silently, the solver's category line for the code.
"""

import re

import numpy as np

# The category of each solver code, as the solver's own error lines name it.
SOLVER_CATEGORIES = {
    -1: "sequence_ido,parameters",
    -2: "insufficient_memory",
    -3: "reordering_phase",
    -4: "numerical_factorization",
    -5: "internal_error,unclass.",
    -6: "prereordering_mtype11,13",
    -7: "internal_error,unclass.",
    -8: "32-bit overflow problem.",
    -9: "not enough mem. for OOC",
    -10: "open OOC tmp files",
    -11: "read/write OOC data file",
    -12: "incorrect input matrix",
}
# The detail code the solver gives a matrix type it does not handle.
ERROR_NUM_MTYPE = 15
# Detail codes of a failed factorization: a zero or negative pivot; no memory.
ERROR_NUM_PIVOT = -1
ERROR_NUM_FACTOR_MEMORY = -2
# The first lines the error reporter can print.
_REPORTER_STARTS = ("*** ", "KORVINE Internationalization error")
_ERROR_NUM = re.compile(r"error_num=\s*(-?\d+)")


class ZtrError(Exception):
    """Base class of every error the package raises on the library's behalf."""


class LibraryNotFoundError(ZtrError, OSError):
    """libztr.so could not be found or opened."""


class SolverError(ZtrError):
    """The sparse solver returned a negative ``error``."""

    def __init__(self, error, text="", phase=None, mtype=None):
        self.error = int(error)
        self.text = text.strip()
        self.phase = phase
        self.mtype = mtype
        m = _ERROR_NUM.search(self.text)
        self.error_num = int(m.group(1)) if m else None
        category = SOLVER_CATEGORIES.get(self.error, "unknown")
        head = f"KORVINE error {self.error} ({category})"
        if self.error_num is not None:
            head += f", error_num {self.error_num}"
        if phase is not None:
            head += f", phase {phase}"
        super().__init__(head + (":\n" + self.text if self.text else ""))


class SolverInputError(SolverError, ValueError):
    """The solver refused its input (codes -1 and -12)."""


class SolverMemoryError(SolverError, MemoryError):
    """The solver ran out of memory (code -2)."""


class FactorizationError(SolverError, np.linalg.LinAlgError):
    """The numerical factorization or the refinement failed (code -4), the structure of an
    unsymmetric matrix is singular (-6), or a diagonal matrix has a zero on its diagonal
    (-7)."""


class NotPositiveDefiniteError(FactorizationError):
    """A zero or negative pivot in a Cholesky factorization (types 2 and 4)."""


class NotSupportedError(SolverError, NotImplementedError):
    """The solver of this library does not handle the request: a matrix type it refuses as
    out of bounds (detail code 15).  The package checks the type first, so this is raised only
    when the library is older than the package."""


def error_lines(output):
    """The solver's explanation of a failure within everything a call printed: the error
    reporter comes last, from its first line on."""
    lines = output.splitlines()
    for i, line in enumerate(lines):
        if line.startswith(_REPORTER_STARTS):
            return "\n".join(lines[i:])
    return ""


def solver_error(error, output, phase, mtype):
    """The exception for a failed solver call, from what the call printed."""
    text = error_lines(output)
    cls = {
        -1: SolverInputError,
        -12: SolverInputError,
        -2: SolverMemoryError,
        -4: FactorizationError,
        -6: FactorizationError,
        -7: FactorizationError,
    }.get(error, SolverError)
    e = cls(error, text, phase, mtype)
    if error == -4 and e.error_num == ERROR_NUM_PIVOT and mtype in (2, 4):
        e = NotPositiveDefiniteError(error, text, phase, mtype)
    elif error == -4 and e.error_num == ERROR_NUM_FACTOR_MEMORY:
        e = SolverMemoryError(error, text, phase, mtype)
    elif error == -1 and e.error_num == ERROR_NUM_MTYPE:
        e = NotSupportedError(error, text, phase, mtype)
    return e


class AccuracyWarning(RuntimeWarning):
    """A solution with a large residual: the factorization perturbed pivots of a
    (numerically) singular matrix, so the result may be meaningless."""


class LapackError(ZtrError):
    """A dense routine returned a non-zero code."""

    def __init__(self, routine, info, what):
        self.routine = routine
        self.info = int(info)
        self.text = what
        super().__init__(f"{routine} returned {self.info}: {what}")


class LapackArgumentError(LapackError, ValueError):
    """A dense routine refused an argument (negative code)."""


class LapackMemoryError(LapackError, MemoryError):
    """A dense routine could not allocate its workspace (-1010, -1011)."""


class LinAlgError(LapackError, np.linalg.LinAlgError):
    """A dense computation failed on its data: a singular matrix, a matrix that is not
    positive definite, an eigensolver that did not converge (positive code)."""
