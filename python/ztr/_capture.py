"""Capturing what the library prints.

The library writes its messages (the solver's report, its error explanations) to the
process's standard output, file descriptor 1, and flushes after each one.  The package runs
the calls whose text it wants with descriptor 1 pointed at a temporary file and hands the text
to the caller instead (``Solver.report()``, the exceptions).  One capture runs at a time:
anything else the process writes to descriptor 1 meanwhile lands in the same text.
"""

import ctypes
import os
import sys
import tempfile
import threading

_lock = threading.Lock()
_libc = ctypes.CDLL(None)
_libc.fflush.argtypes = [ctypes.c_void_p]
_libc.fflush.restype = ctypes.c_int


def _flush():
    try:
        if sys.stdout is not None:
            sys.stdout.flush()
    except (OSError, ValueError):
        pass
    _libc.fflush(None)


def _scratch_file():
    """A file in memory where the system has them (the solver flushes after every line, so
    the file's speed counts), else a temporary file."""
    if hasattr(os, "memfd_create"):
        try:
            return os.fdopen(os.memfd_create("ztr-output", os.MFD_CLOEXEC), "w+b")
        except OSError:
            pass
    return tempfile.TemporaryFile()


class Captured:
    """The text written to standard output during a ``capture()`` block."""

    text = ""


class capture:
    """Context manager: descriptor 1 goes to a scratch file for the block's duration.  Where
    that cannot be arranged (no descriptor 1, no file), the block runs uncaptured and its
    text is empty: the call itself matters more than its report."""

    def __enter__(self):
        _lock.acquire()
        self.result = Captured()
        self._file = self._saved = None
        try:
            _flush()
            self._file = _scratch_file()
            self._saved = os.dup(1)
            os.dup2(self._file.fileno(), 1)
        except OSError:
            self._restore()
        except BaseException:
            self._restore()
            _lock.release()
            raise
        return self.result

    def _restore(self):
        if self._saved is not None:
            os.dup2(self._saved, 1)
            os.close(self._saved)
            self._saved = None
        if self._file is not None:
            self._file.close()
            self._file = None

    def __exit__(self, *exc):
        try:
            if self._saved is not None:
                _flush()
                os.dup2(self._saved, 1)
                os.close(self._saved)
                self._saved = None
                self._file.seek(0)
                self.result.text = self._file.read().decode("utf-8", "replace")
            self._restore()
        finally:
            _lock.release()
        return False
