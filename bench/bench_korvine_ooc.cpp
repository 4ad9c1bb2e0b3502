// The sparse direct solver out of core against in core, side by side: the 7-point 50^3 grid
// (type 2) and the convection-diffusion 40^3 grid (type 11), factorization (phase 22) and
// solve of one right-hand side (phase 33), the two modes alternating run by run so that the
// machine's load falls on both.  Out of core, max_core_size is a quarter of the in-core factor
// size and the files go to the system's temporary directory; the megabytes written and read
// and the I/O share come from the out-of-core record (the statistics block's figures).
//
//   bench_korvine_ooc [rounds] [grid sizes for type 2 and 11 ...]   (default 3, 50 40)
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "include/ztr.h"
#include "sparse_solver/interface/handle.h"
#include "tests/sparse_solver/korvine_support.h"

namespace {

using namespace ztr::test;

double now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

struct Run {
  double factor = 1e30, solve = 1e30;
  double written = 0, read_factor = 0, read_solve = 0;  // megabytes
  double io_factor = 0, io_solve = 0;                   // seconds of I/O
  long long factor_bytes = 0;
  int error = 0;
};

Run once(const Sparse& s, int mtype, int core_mb) {
  Input<double> in = solver_input(s, mtype % 2 == 0, 1);
  std::vector<double> b(s.n, 1.0), x(s.n);
  Korvine k(mtype, {{59, core_mb > 0 ? 2 : 0}});
  if (core_mb > 0) setenv("ZTR_KORVINE_OOC_MAX_CORE_SIZE", std::to_string(core_mb).c_str(), 1);
  Run r;
  r.error = k.call(11, in, b.data(), x.data());
  double t0 = now();
  if (r.error == 0) r.error = k.call(22, in, b.data(), x.data());
  r.factor = now() - t0;
  t0 = now();
  if (r.error == 0) r.error = k.call(33, in, b.data(), x.data());
  r.solve = now() - t0;
  if (const ztr::ControlRecord* c = ztr::handle_control(reinterpret_cast<void**>(k.pt))) {
    r.factor_bytes = (c->sn.nnz_l + c->sn.nnz_u) * static_cast<long long>(sizeof(double));
    r.written = c->ooc.written_factor * 1e-6;
    r.read_factor = c->ooc.read_factor * 1e-6;
    r.read_solve = c->ooc.read_solve * 1e-6;
    r.io_factor = c->ooc.write_time_factor + c->ooc.read_time_factor;
    r.io_solve = c->ooc.read_time_solve;
  }
  k.release();
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  std::vector<int> sizes;
  for (int i = 2; i < argc; ++i) sizes.push_back(std::atoi(argv[i]));
  if (sizes.empty()) sizes = {50, 40};
  const char* tmp = std::getenv("TMPDIR");
  const std::string base = std::string(tmp != nullptr ? tmp : "/tmp") + "/ztr_bench_ooc_" +
                           std::to_string(static_cast<long>(getpid()));
  setenv("ZTR_KORVINE_OOC_PATH", base.c_str(), 1);
  setenv("ZTR_KORVINE_OOC_KEEP_FILE", "1", 1);
  std::printf("files: %s.*, %d rounds, in core and out of core alternating\n\n", base.c_str(),
              rounds);
  std::printf("%-22s %4s %9s %9s %7s %9s %9s %7s %8s %8s %8s %6s %6s\n", "matrix", "type",
              "fact in", "fact ooc", "ratio", "solve in", "solve ooc", "ratio", "MB wr", "MB rd f",
              "MB rd s", "io% f", "io% s");
  for (std::size_t i = 0; i < sizes.size(); ++i) {
    const int mtype = i == 0 ? 2 : 11;
    const int g = sizes[i];
    const Sparse s = grid_operator(g, g, g, 6.0, mtype == 11 ? 0.4 : 0.0);
    Run in_best, ooc_best, probe = once(s, mtype, 0);
    const int core_mb = std::max(1, static_cast<int>(probe.factor_bytes / 4 / 1048576));
    for (int r = 0; r < rounds; ++r) {
      const Run a = once(s, mtype, 0), o = once(s, mtype, core_mb);
      if (a.error != 0 || o.error != 0)
        std::printf("  errors: in core %d, out of core %d\n", a.error, o.error);
      in_best.factor = std::min(in_best.factor, a.factor);
      in_best.solve = std::min(in_best.solve, a.solve);
      if (o.factor < ooc_best.factor) {
        const double keep_solve = std::min(ooc_best.solve, o.solve);
        ooc_best = o;
        ooc_best.solve = keep_solve;
      } else {
        ooc_best.solve = std::min(ooc_best.solve, o.solve);
      }
    }
    const std::string name =
        "grid " + std::to_string(g) + "^3 (" + std::to_string(core_mb) + " MB)";
    std::printf(
        "%-22s %4d %9.3f %9.3f %6.2fx %9.3f %9.3f %6.2fx %8.1f %8.1f %8.1f %5.0f%% %5.0f%%\n",
        name.c_str(), mtype, in_best.factor, ooc_best.factor, ooc_best.factor / in_best.factor,
        in_best.solve, ooc_best.solve, ooc_best.solve / in_best.solve, ooc_best.written,
        ooc_best.read_factor, ooc_best.read_solve, 100 * ooc_best.io_factor / ooc_best.factor,
        100 * ooc_best.io_solve / ooc_best.solve);
  }
  return 0;
}
