// A decoded block-size query, shared by ilaenv and its per-routine tables.
#pragma once

namespace ztr {

struct TuningQuery {
  int ispec;
  char precision;  // S, D, C or Z
  char c2[3];      // matrix type, upper case, NUL-terminated ("GE", "PO", "SY", "OR", "LA")
  char c3[4];      // operation, upper case, blank-padded ("TRF", "QRF", "EV ")
  char opt;        // first character of OPTS, upper case (blank when OPTS is empty)
  int n1, n2, n3, n4;
  int cpu_type;
};

// Upper-cases `len` characters of `s` into `out` (blank-padded to `width`).
void tuning_decode_name(const char* s, int len, char* out, int width);

// The per-routine tables: ISPEC 1, 2, 3, 12, 17 and 18 (ilaenv_tables.cpp).
int tuning_table(const TuningQuery& q);

// The parameter function of the QR-iteration routines, ISPEC 13 to 16.
int tuning_qr_iteration(const TuningQuery& q);

// The tuning functions of the inverse and of DSYGST share their rule for small orders: below
// kTuningSmallOrder one block of kTuningSmallBlock is best whatever the thread count.
inline constexpr int kTuningSmallOrder = 1000;
inline constexpr int kTuningSmallBlock = 64;

// Whether a routine name's precision letter (S, D, C or Z) is one the tables know; a name
// that is not a LAPACK routine gets unblocked code.
inline bool tuning_known_precision(char p) { return p == 'S' || p == 'D' || p == 'C' || p == 'Z'; }

}  // namespace ztr
