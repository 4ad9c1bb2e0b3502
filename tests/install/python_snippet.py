# Run against an installed tree: solve a small system and report where the library came from.
import numpy as np
import scipy.sparse as sp

import ztr

A = sp.csr_matrix(np.array([[4.0, 1.0, 0.0], [1.0, 3.0, 1.0], [0.0, 1.0, 2.0]]))
x = ztr.spsolve(A, np.array([1.0, 2.0, 3.0]))
assert np.allclose(A @ x, [1.0, 2.0, 3.0]), x
w = ztr.eigh(A.toarray(), eigvals_only=True)
assert np.allclose(w, np.linalg.eigvalsh(A.toarray())), w
print("python snippet ok:", ztr.__file__, ztr.library_path())
