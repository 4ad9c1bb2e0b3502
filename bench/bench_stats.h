// Clocks and statistics the benchmarks report over their rounds.
#pragma once

#include <time.h>

#include <algorithm>
#include <chrono>
#include <vector>

// Wall-clock seconds.
inline double now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}
// Processor time of the process: on a machine shared with other jobs the wall-clock rates
// swing with the load, the processor-time ones much less.
inline double cpu_now() {
  timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// The middle value of the rounds (the upper one of the two middle values for an even count).
inline double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}
