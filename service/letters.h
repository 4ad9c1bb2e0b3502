// Option letters ('N', 'T', 'U', 'L', ...) are accepted in either case, as in every BLAS and
// LAPACK interface.  For code compiled for the baseline; kernel translation units keep their
// own copy inside their instruction-set namespace.
#pragma once

namespace ztr {

// True when c is the upper-case letter `upper` or its lower-case form.
constexpr bool same_letter(char c, char upper) {
  return c == upper || c == static_cast<char>(upper + ('a' - 'A'));
}

}  // namespace ztr
