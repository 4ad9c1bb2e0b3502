// The sparse direct solver on one thread and on two, side by side: every real matrix of
// ../shared/testdata with the type its README gives, analysis, factorization and solve
// (phase 13) timed in wall and processor time, the two thread counts alternating run by run
// so that a change in the machine's load falls on both.  Prints the best of the runs, the
// ratios two threads / one thread of the best times, the median of the ratios of each
// alternating pair (wall time), and the ratio of the best processor times; a wall ratio above
// 1 is a problem that got slower.
//
//   bench_korvine_threads [rounds] [testdata-dir] [grid sizes...]
//
// Dynamic adjustment is switched off, as ZTR_DYNAMIC=FALSE would, so that two threads are
// really asked for.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "bench/bench_stats.h"
#include "bench/matrix_market.h"
#include "include/ztr.h"
#include "sparse_solver/interface/handle.h"
#include "tests/sparse_solver/korvine_support.h"

namespace {

using namespace ztr::test;


struct Run {
  double wall = 1e30, cpu = 1e30;
  double mflop = 0;  // the factorization's operation count
  int error = 0;
};

Run solve_once(const Sparse& s, int mtype, int threads) {
  ZTR_Set_Num_Threads(threads);
  Input<double> in = solver_input(s, mtype % 2 == 0, 1);
  std::vector<double> b(s.n, 1.0), x(s.n);
  Korvine k(mtype);
  const double w0 = now(), c0 = cpu_now();
  Run r;
  r.error = k.call(13, in, b.data(), x.data());
  if (const ztr::ControlRecord* c = ztr::handle_control(reinterpret_cast<void**>(k.pt)))
    r.mflop = c->sn.flops * 1e-6;
  k.release();
  r.wall = now() - w0;
  r.cpu = cpu_now() - c0;
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  const std::string dir = argc > 2 ? argv[2] : "../shared/testdata";
  std::vector<int> grids;
  for (int i = 3; i < argc; ++i) grids.push_back(std::atoi(argv[i]));
  ZTR_Set_Dynamic(0);
  const std::pair<const char*, int> files[] = {
      {"bcsstk13.mtx", 2},  {"bcsstk16.mtx", 2},
      {"LFAT5.mtx", 2},     {"tumorAntiAngiogenesis_2.mtx", -2},
      {"zenios.mtx", -2},   {"cryg2500.mtx", 11},
      {"watt_2.mtx", 11},   {"olm1000.mtx", 11},
      {"impcol_a.mtx", 11}, {"rajat01.mtx", 11},
      {"gent113.mtx", 11}};
  std::printf("%-28s %6s %4s %9s %10s %10s %10s %10s %7s %7s %7s\n", "matrix", "n", "type", "Mflop",
              "wall 1T", "wall 2T", "cpu 1T", "cpu 2T", "wall", "median", "cpu");
  auto compare = [&](const char* name, const Sparse& s, int mtype) {
    Run one, two;
    int err = 0;
    std::vector<double> pair_ratios;  // wall 2T / wall 1T of each alternating pair
    for (int r = 0; r < rounds; ++r) {
      double wall[2] = {0, 0};
      for (int threads : {1, 2}) {
        const Run t = solve_once(s, mtype, threads);
        Run& best = threads == 1 ? one : two;
        best.wall = std::min(best.wall, t.wall);
        best.cpu = std::min(best.cpu, t.cpu);
        best.mflop = t.mflop;
        wall[threads - 1] = t.wall;
        err = err != 0 ? err : t.error;
      }
      pair_ratios.push_back(wall[1] / wall[0]);
    }
    std::sort(pair_ratios.begin(), pair_ratios.end());
    std::printf("%-28s %6d %4d %9.1f %10.5f %10.5f %10.5f %10.5f %7.2f %7.2f %7.2f%s\n", name, s.n,
                mtype, one.mflop, one.wall, two.wall, one.cpu, two.cpu, two.wall / one.wall,
                pair_ratios[pair_ratios.size() / 2], two.cpu / one.cpu,
                err != 0 ? "  (error)" : "");
  };
  for (auto [file, mtype] : files) {
    Sparse s;
    if (!bench::read_matrix_market(dir + "/" + file, &s)) {
      std::printf("%-28s not found\n", file);
      continue;
    }
    compare(file, s, mtype);
  }
  // Generated 3-D grids around the size where two threads begin to pay.
  for (int g : grids) {
    for (int mtype : {2, 11}) {
      const std::string name = "grid " + std::to_string(g) + "^3";
      compare(name.c_str(), grid_operator(g, g, g, 6.0, mtype == 11 ? 0.4 : 0.0), mtype);
    }
  }
  return 0;
}
