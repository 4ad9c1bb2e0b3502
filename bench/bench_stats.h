// Statistics the benchmarks report over their rounds.
#pragma once

#include <algorithm>
#include <vector>

// The middle value of the rounds (the upper one of the two middle values for an even count).
inline double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}
