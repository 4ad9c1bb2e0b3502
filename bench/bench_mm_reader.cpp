// Speed of ztr-solve's Matrix Market reader on a generated coordinate file (50 MB by
// default), beside the plain iostream loop a first reader would use, in the same run: both
// read the same file from the page cache, so the ratio is what the parse costs.
//   bench_mm_reader [megabytes]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

#include "tools/ztr-solve/matrix_market.h"

namespace {

constexpr int kRepeats = 3;  // best of: the machine is shared
constexpr int kOrder = 1000000;

double seconds(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// A general real file of about `bytes` bytes with random entries and full-precision values.
long long generate(const std::string& path, long long bytes) {
  std::mt19937_64 gen(42);
  std::uniform_int_distribution<int> idx(1, kOrder);
  std::uniform_real_distribution<double> val(-1, 1);
  std::string body;
  body.reserve(static_cast<std::size_t>(bytes) + 100);
  long long count = 0;
  char line[96];
  while (static_cast<long long>(body.size()) < bytes) {
    const int n = std::snprintf(line, sizeof line, "%d %d %.17g\n", idx(gen), idx(gen), val(gen));
    body.append(line, static_cast<std::size_t>(n));
    ++count;
  }
  std::FILE* f = std::fopen(path.c_str(), "wb");
  std::fprintf(f, "%%%%MatrixMarket matrix coordinate real general\n%d %d %lld\n", kOrder, kOrder,
               count);
  std::fwrite(body.data(), 1, body.size(), f);
  std::fclose(f);
  return count;
}

// The baseline: formatted extraction entry by entry.
bool iostream_read(const std::string& path, std::vector<int>& r, std::vector<int>& c,
                   std::vector<double>& v) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  long long m, n, nnz;
  in >> m >> n >> nnz;
  r.resize(nnz), c.resize(nnz), v.resize(nnz);
  for (long long k = 0; k < nnz; ++k)
    if (!(in >> r[k] >> c[k] >> v[k])) return false;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const long long megabytes = argc > 1 ? std::atoll(argv[1]) : 50;
  const std::string path = "/tmp/ztr_bench_mm_" + std::to_string(::getpid()) + ".mtx";
  const long long entries = generate(path, megabytes << 20);
  std::ifstream probe(path, std::ios::binary | std::ios::ate);
  const double mb = static_cast<double>(probe.tellg()) / (1 << 20);

  double best_ztr = 1e30, best_ios = 1e30;
  for (int rep = 0; rep < kRepeats; ++rep) {
    ztr::mm::Coordinate m;
    std::string error;
    auto t0 = std::chrono::steady_clock::now();
    if (!ztr::mm::read_coordinate(path, m, error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      std::remove(path.c_str());
      return 1;
    }
    best_ztr = std::min(best_ztr, seconds(t0));
    std::vector<int> r, c;
    std::vector<double> v;
    t0 = std::chrono::steady_clock::now();
    if (!iostream_read(path, r, c, v)) {
      std::remove(path.c_str());
      return 1;
    }
    best_ios = std::min(best_ios, seconds(t0));
  }
  std::remove(path.c_str());
  std::printf("file: %.1f MB, %lld entries (best of %d)\n", mb, entries, kRepeats);
  std::printf("ztr-solve reader  %7.3f s  %7.1f MB/s  %6.2f M entries/s\n", best_ztr, mb / best_ztr,
              entries / best_ztr * 1e-6);
  std::printf("iostream loop     %7.3f s  %7.1f MB/s  %6.2f M entries/s\n", best_ios, mb / best_ios,
              entries / best_ios * 1e-6);
  std::printf("ratio (iostream time / reader time): %.2f\n", best_ios / best_ztr);
  return 0;
}
