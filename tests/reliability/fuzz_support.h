// What the fuzz targets share: their input read byte by byte, the report of a broken
// promise, and the library's messages kept off the fuzzer's output.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace ztr::test {

// The input, zeros once it is used up.
struct Bytes {
  const std::uint8_t *p, *end;
  int next() { return p < end ? *p++ : 0; }
  // A small dimension from -2 to 17.
  int dim() { return next() % 20 - 2; }
  // Multiples of 1/4 from -32 to 31.75, with NaN and both infinities among them.
  double value() {
    const int b = next();
    if (b == 0x7f) return std::nan("");
    if (b == 0x80) return INFINITY;
    if (b == 0x81) return -INFINITY;
    return static_cast<std::int8_t>(b) / 4.0;
  }
};

[[noreturn]] inline void fuzz_fail(const char* what) {
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  std::abort();
}

// The library's messages go to standard output; the fuzzer reports on standard error.
inline void silence_standard_output() {
  const int null = open("/dev/null", O_WRONLY);
  if (null >= 0) dup2(null, STDOUT_FILENO);
}

}  // namespace ztr::test

// The two entry points of a target that hands each input to run(Bytes&), with the library's
// messages silenced, the statements given after `run` done once, and the library's own threads
// limited to one.
#define ZTR_FUZZ_ENTRY_POINTS(run, ...)                                               \
  extern "C" int LLVMFuzzerInitialize(int*, char***) {                                \
    ztr::test::silence_standard_output();                                             \
    __VA_ARGS__;                                                                      \
    ZTR_Set_Num_Threads(1);                                                           \
    return 0;                                                                         \
  }                                                                                   \
  extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) { \
    ztr::test::Bytes in{data, data + size};                                           \
    run(in);                                                                          \
    return 0;                                                                         \
  }
