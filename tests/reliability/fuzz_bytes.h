// The fuzz targets' input, read byte by byte (zeros once it is used up).
#pragma once

#include <cmath>
#include <cstdint>

namespace ztr::test {

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

}  // namespace ztr::test
