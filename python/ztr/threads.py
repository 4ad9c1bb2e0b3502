"""The library's thread control (process-wide; it overrides the ZTR_NUM_THREADS,
ZTR_DOMAIN_NUM_THREADS and ZTR_DYNAMIC environment variables)."""

from ._library import library


def set_num_threads(n):
    """Use n threads (n >= 1) in every later library call."""
    if isinstance(n, bool) or int(n) != n or n < 1:
        raise ValueError(f"the thread count must be an integer of at least 1, not {n!r}")
    library().ZTR_Set_Num_Threads(int(n))


def get_max_threads():
    """The number of threads the library would use for a call made now from this thread."""
    return int(library().ZTR_Get_Max_Threads())


def set_dynamic(flag):
    """True: fit the thread count to the machine (at most one thread per physical core, one
    inside a parallel region); False: use the requested count as it is."""
    library().ZTR_Set_Dynamic(1 if flag else 0)
