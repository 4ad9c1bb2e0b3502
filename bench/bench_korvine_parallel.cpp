// The sparse solver's factorization and solve on two threads against one, side by side: the
// 7-point 3-D grid (type 2), the convection-diffusion grid (type 11), a KKT matrix (type -2)
// and the largest stored test matrix, in the default, two-level and reproducible modes.  Each
// handle is analysed once for its thread count (the count is fixed at analysis); then the
// factorizations (phase 22) and the solves of 1 and 10 right-hand sides (phase 33) of the two
// counts alternate, round by round, so that a change of the machine's load falls on both.
// Prints the best wall and processor times and the ratio one thread / two threads (the
// speed-up; above 1 is faster on two).
//
//   bench_korvine_parallel [rounds] [grid edge] [convection edge] [testdata-dir] [default]
//
// With a fifth argument "default" only the default mode runs (for runs under load).
//
// Dynamic adjustment is off, so that two threads are really used.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "bench/bench_stats.h"
#include "bench/matrix_market.h"
#include "include/ztr.h"
#include "tests/sparse_solver/korvine_support.h"

namespace {

using namespace ztr::test;


struct Best {
  double wall = 1e30, cpu = 1e30;
  void take(double w, double c) {
    wall = std::min(wall, w);
    cpu = std::min(cpu, c);
  }
};

// One handle analysed for `threads`, factored and solved again and again.
struct Case {
  Korvine k;
  Input<double> in;
  std::vector<double> b, x;
  int threads;
  Case(const Sparse& s, int mtype, int t, std::initializer_list<std::pair<int, int>> settings)
      : k(mtype, settings), in(solver_input(s, mtype != 11 && mtype != 1, 1)), threads(t) {
    b.assign(static_cast<std::size_t>(s.n) * 10, 1.0);
    x.assign(b.size(), 0.0);
    ZTR_Set_Num_Threads(threads);
    if (k.call(11, in, b.data(), x.data()) != 0) std::printf("analysis failed: %d\n", k.error);
  }
  void timed(int phase, int nrhs, Best* best) {
    ZTR_Set_Num_Threads(threads);
    const double w0 = now(), c0 = cpu_now();
    const int e = k.call(phase, in, b.data(), x.data(), nrhs);
    best->take(now() - w0, cpu_now() - c0);
    if (e != 0) std::printf("phase %d failed: %d\n", phase, e);
  }
};

void compare(const char* name, const Sparse& s, int mtype, int rounds,
             std::initializer_list<std::pair<int, int>> settings, const char* mode) {
  Case one(s, mtype, 1, settings), two(s, mtype, 2, settings);
  Best f1, f2, s1a, s2a, s1b, s2b;
  for (int r = 0; r < rounds; ++r) {
    one.timed(22, 1, &f1);
    two.timed(22, 1, &f2);
    one.timed(33, 1, &s1a);
    two.timed(33, 1, &s2a);
    one.timed(33, 10, &s1b);
    two.timed(33, 10, &s2b);
  }
  std::printf(
      "%-14s %-12s n=%7d  factor 1t %7.3f s (cpu %7.3f)  2t %7.3f s (cpu %7.3f)  "
      "speed-up %5.2f | solve 1 rhs %5.2f | 10 rhs %5.2f (1t %.3f s)\n",
      name, mode, s.n, f1.wall, f1.cpu, f2.wall, f2.cpu, f1.wall / f2.wall, s1a.wall / s2a.wall,
      s1b.wall / s2b.wall, s1b.wall);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 3;
  const int edge = argc > 2 ? std::atoi(argv[2]) : 50;
  const int conv = argc > 3 ? std::atoi(argv[3]) : 40;
  const std::string data = argc > 4 ? argv[4] : "../shared/testdata";
  ZTR_Set_Dynamic(0);
  struct Mode {
    const char* name;
    std::initializer_list<std::pair<int, int>> settings;
  };
  const Mode all_modes[] = {{"default", {}}, {"two-level", {{23, 1}}}, {"reproducible", {{33, 2}}}};
  const bool only_default = argc > 5 && std::string(argv[5]) == "default";
  const std::vector<Mode> modes(all_modes, all_modes + (only_default ? 1 : 3));
  const Sparse grid = grid_operator(edge, edge, edge, 6.0);
  for (const Mode& m : modes) compare("grid 7-point", grid, 2, rounds, m.settings, m.name);
  const Sparse cd = grid_operator(conv, conv, conv, 6.0, 0.4);
  for (const Mode& m : modes) compare("convection", cd, 11, rounds, m.settings, m.name);
  const Sparse kkt = saddle_point(250, 15000, 1);
  compare("KKT", kkt, -2, rounds, {}, "default");
  Sparse stored;
  if (bench::read_matrix_market(data + "/bcsstk16.mtx", &stored, nullptr))
    compare("bcsstk16", stored, 2, rounds, {}, "default");
  return 0;
}
