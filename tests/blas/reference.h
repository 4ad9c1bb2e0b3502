// The BLAS tests' reference loops and tolerances live in the shared test support.
#pragma once

#include "tests/support/test_support.h"
