// The random numbers of one ordering subproblem.  Each bisection owns its stream, and the
// streams of the two halves are derived from their parent's seed alone, so the ordering does
// not depend on which thread runs which subgraph or in what order: the same graph gives the
// same permutation whatever the thread count.
#pragma once

#include <cstdint>

namespace ztr {

// The seed of every nested-dissection ordering.
inline constexpr std::uint64_t kOrderingSeed = 4321;

class RandomStream {
 public:
  explicit RandomStream(std::uint64_t seed) : state_(seed) {}
  // The next 64 bits (splitmix64: small state, full period, well mixed).
  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  // Uniform in 0 .. bound - 1 (bound > 0); the modulo bias is irrelevant here.
  int below(int bound) { return static_cast<int>(next() % static_cast<std::uint64_t>(bound)); }
  // Seed of child `side` (0 or 1) of the subproblem seeded with `seed`.
  static std::uint64_t child_seed(std::uint64_t seed, int side) {
    RandomStream r(seed * 2 + static_cast<std::uint64_t>(side) + 1);
    return r.next();
  }

 private:
  std::uint64_t state_;
};

}  // namespace ztr
