// The complex dense block kernels of the sparse solver on supernode-like shapes (m rows of a
// panel, n = k = its width), against the real double-precision kernels on the same shapes
// and against the BLAS templates (the complex path before the split form):
//   gemm_nt/<kind>/m/k   C -= A*B^H (or B^T), C m x k, A m x k, B k x k
//   trsm/<kind>/m/k      B := B*inv(L^H), B m x k
//   herk/<kind>/500/k    lower triangle of C -= A*A^H, A k x k
//   step/<kind>/m/k      one supernode of a Cholesky factorization: the k x k diagonal block,
//                        the solve of the m - k rows below it and the update of the next
//                        k columns (rank-k update of their top, product below)
// kind: real (double), zd (complex<double>), zd_tblas (the templates), zf (complex<float>),
// zf_tblas.  Small shapes (m up to 64, k up to 32) show where the split form starts to pay
// (vs_tblas below 1); the kernels keep the templates below that size, so for these rows
// to measure the split form the switch in sparse_solver/dense/complex_products.cpp has to be
// set to zero.  The counter "ratio" of a complex row is its time over 4x the real time of the
// same shape, in processor time, the least of seven runs of each taken in turn (measured at
// the end of the row), "vs_tblas" its time over the templates'.
//
// Every row takes a second or more (the counters time both sides again); the whole set runs
// for over 15 minutes, so pick rows, e.g.
//   ZTR_NUM_THREADS=1 ./bench_complex_blocks --benchmark_min_time=0.01s
//       --benchmark_filter='^(gemm_nt|trsm|step)/zd/(500|2000|4000)/'
#include <benchmark/benchmark.h>

#include <ctime>
#include <complex>
#include <algorithm>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "blas/templates/tblas.h"
#include "sparse_solver/dense/dense_blocks.h"

namespace {

using ztr::RealOf;

template <typename T>
std::vector<T> random_block(std::size_t n, unsigned seed) {
  std::mt19937 g(seed);
  std::uniform_real_distribution<double> u(-1, 1);
  std::vector<T> v(n);
  for (T& x : v) {
    if constexpr (ztr::kIsComplex<T>)
      x = T(static_cast<RealOf<T>>(u(g)), static_cast<RealOf<T>>(u(g)));
    else
      x = static_cast<T>(u(g));
  }
  return v;
}

// A Hermitian positive definite k x k block (dominant real diagonal) in the top of a len x k
// panel.
template <typename T>
std::vector<T> panel(int len, int k, unsigned seed) {
  auto a = random_block<T>(static_cast<std::size_t>(len) * k, seed);
  for (int j = 0; j < k; ++j) {
    a[j + static_cast<std::size_t>(j) * len] = T(2.0 * k);
    for (int i = 0; i < j; ++i)
      a[i + static_cast<std::size_t>(j) * len] =
          ztr::conj_value(a[j + static_cast<std::size_t>(i) * len]);
  }
  return a;
}

enum class Op { kGemmNt, kTrsm, kHerk, kStep };

// One call of `op` on shape (m, k) for T, through the block kernels or (tblas) the templates.
template <typename T>
std::function<void()> make_call(Op op, int m, int k, bool tblas_path, char trans) {
  auto a = std::make_shared<std::vector<T>>(panel<T>(m, k, 1));
  auto b = std::make_shared<std::vector<T>>(random_block<T>(static_cast<std::size_t>(k) * k, 2));
  auto c = std::make_shared<std::vector<T>>(random_block<T>(static_cast<std::size_t>(m) * k, 3));
  auto w = std::make_shared<std::vector<T>>(*a);
  const T minus(-1), one(1);
  switch (op) {
    case Op::kGemmNt:
      return [=] {
        if (tblas_path)
          ztr::tblas::gemm<T>('N', trans, m, k, k, minus, a->data(), m, b->data(), k, one,
                              c->data(), m);
        else
          ztr::block_gemm_nt<T>(trans, m, k, k, minus, a->data(), m, b->data(), k, one, c->data(),
                                m);
      };
    case Op::kTrsm:
      return [=] {
        // The same right-hand sides every time: the solve is linear, nothing grows.
        if (tblas_path)
          ztr::tblas::trsm<T>('R', 'L', trans, 'N', m, k, one, a->data(), m, c->data(), m);
        else
          ztr::block_trsm<T>('R', 'L', trans, 'N', m, k, a->data(), m, c->data(), m);
      };
    case Op::kHerk:
      return [=] {
        if (tblas_path) {
          if constexpr (ztr::kIsComplex<T>)
            ztr::tblas::herk<T>('L', 'N', k, k, -1, a->data(), m, 1, c->data(), m);
        } else {
          ztr::block_syrk_lower<T>(k, k, minus, a->data(), m, one, c->data(), m);
        }
      };
    case Op::kStep:
    default:
      return [=] {
        std::copy(a->begin(), a->end(), w->begin());
        T* p = w->data();
        ztr::block_cholesky<T>(k, p, m);
        ztr::block_trsm<T>('R', 'L', trans, 'N', m - k, k, p, m, p + k, m);
        const int rows = m - k, cols = std::min(k, rows);
        if (cols <= 0) return;
        ztr::block_syrk_lower<T>(cols, k, minus, p + k, m, one, c->data(), m);
        ztr::block_gemm_nt<T>(trans, rows - cols, cols, k, minus, p + k + cols, m, p + k, m, one,
                              c->data() + cols, m);
      };
  }
}

// Processor time of the process (the machine is shared: wall time counts the other loads).
double cpu_seconds() {
  timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// Calls of f that take about 0.03 s.
int reps_for(const std::function<void()>& f) {
  f();
  for (int reps = 1;; reps *= 2) {
    const double t0 = cpu_seconds();
    for (int r = 0; r < reps; ++r) f();
    if (cpu_seconds() - t0 > 0.03) return reps;
  }
}

// Time of f over time of g, each the least of seven timings taken in turn (so that a change
// of the machine's load hits both).
double time_ratio(const std::function<void()>& f, const std::function<void()>& g) {
  const int rf = reps_for(f), rg = reps_for(g);
  double tf = 1e300, tg = 1e300;
  for (int trial = 0; trial < 7; ++trial) {
    double t0 = cpu_seconds();
    for (int r = 0; r < rf; ++r) f();
    tf = std::min(tf, (cpu_seconds() - t0) / rf);
    t0 = cpu_seconds();
    for (int r = 0; r < rg; ++r) g();
    tg = std::min(tg, (cpu_seconds() - t0) / rg);
  }
  return tf / tg;
}

const char* name_of(Op op) {
  return op == Op::kGemmNt ? "gemm_nt"
         : op == Op::kTrsm ? "trsm"
         : op == Op::kHerk ? "herk"
                           : "step";
}

template <typename T>
void register_complex(Op op, const char* kind, bool tblas_path, int m, int k) {
  const std::string name =
      std::string(name_of(op)) + "/" + kind + "/" + std::to_string(m) + "/" + std::to_string(k);
  benchmark::RegisterBenchmark(name.c_str(), [=](benchmark::State& state) {
    auto f = make_call<T>(op, m, k, tblas_path, 'C');
    for (auto _ : state) f();
    state.counters["ratio"] = time_ratio(f, make_call<double>(op, m, k, false, 'T')) / 4;
    if (!tblas_path && op != Op::kStep)
      state.counters["vs_tblas"] = time_ratio(f, make_call<T>(op, m, k, true, 'C'));
  })->Unit(benchmark::kMicrosecond);
}

void register_all() {
  const std::vector<std::pair<int, int>> shapes = {
      {500, 32},  {500, 64},  {500, 128},  {1000, 32}, {1000, 64}, {1000, 128},
      {2000, 32}, {2000, 64}, {2000, 128}, {4000, 32}, {4000, 64}, {4000, 128}};
  // Small products, around the size below which the templates are kept.
  for (const auto& [m, k] : std::vector<std::pair<int, int>>{
           {8, 8}, {16, 8}, {32, 8}, {64, 8}, {16, 16}, {32, 16}, {64, 16}, {24, 24}, {32, 32}}) {
    register_complex<std::complex<double>>(Op::kGemmNt, "zd", false, m, k);
    register_complex<std::complex<float>>(Op::kGemmNt, "zf", false, m, k);
    register_complex<std::complex<double>>(Op::kTrsm, "zd", false, m, k);
  }
  for (Op op : {Op::kGemmNt, Op::kTrsm, Op::kHerk, Op::kStep})
    for (const auto& [m, k] : shapes) {
      if (op == Op::kHerk && m != 500) continue;  // only k matters
      const std::string real =
          std::string(name_of(op)) + "/real/" + std::to_string(m) + "/" + std::to_string(k);
      benchmark::RegisterBenchmark(real.c_str(), [=](benchmark::State& state) {
        auto f = make_call<double>(op, m, k, false, 'T');
        for (auto _ : state) f();
      })->Unit(benchmark::kMicrosecond);
      register_complex<std::complex<double>>(op, "zd", false, m, k);
      if (op != Op::kStep) register_complex<std::complex<double>>(op, "zd_tblas", true, m, k);
      register_complex<std::complex<float>>(op, "zf", false, m, k);
      if (op != Op::kStep && m <= 1000)
        register_complex<std::complex<float>>(op, "zf_tblas", true, m, k);
    }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  register_all();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
