// Every export once, on inputs generated from a seed, for the tests that compare calls made
// under different circumstances (from several threads at once, inside the caller's parallel
// regions, in a forked child) with lone calls, bit for bit.
//
// The sizes are chosen so that with two threads every export takes its threaded path: the
// multiply its large parallel route, the LU its task scheduler, the inverse its blocked
// path, the dot product and the CSR product their split loops.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace ztr::test {

// Sizes at which every export takes its threaded path on two threads.
inline constexpr int kGemm = 160;  // above the small route's limit of 100 in every dimension
inline constexpr int kDot = 6000;  // above the serial limit of 2500
inline constexpr int kCsrRows = 500;

// The lower triangle of a symmetric pattern with a few entries per row, zero-based CSR.
void lower_pattern(std::uint64_t seed, std::vector<int>* ia, std::vector<int>* ja);

// Every output of every export (matrices, pivots and return codes as doubles), by name.
using ExportResults = std::vector<std::pair<const char*, std::vector<double>>>;

ExportResults run_exports(std::uint64_t seed);

// ||A*X - I||_1 / (||A||_1 * ||X||_1 * n * eps) for n x n matrices, element (i, j) of A at
// a[i*ars + j*acs] and of X at x[i*xrs + j*xcs]; below 30 for a sound inverse.
double inverse_residual(int n, const double* a, std::size_t ars, std::size_t acs, const double* x,
                        std::size_t xrs, std::size_t xcs);

// Empty when a and b agree bit for bit, otherwise the name of the first output that differs.
std::string bit_difference(const ExportResults& a, const ExportResults& b);

}  // namespace ztr::test
