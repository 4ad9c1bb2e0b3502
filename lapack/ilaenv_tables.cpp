// The per-routine tables behind ilaenv: block size (ISPEC 1), minimum block size (2),
// crossover (3), panel split (12), and the LU scheduler's chunk (17) and tail width (18).
//
// The rows the factorizations' path choices and schedulers were designed around are fixed
// values; where a table has rows that nothing fixes (other thread counts or processor
// classes) the values are marked "chosen" and follow the shape of their neighbours.
// The tables are stated for double precision and used for all four precisions.
#include <cmath>
#include <cstdint>
#include <cstring>

#include "lapack/ilaenv_query.h"

namespace ztr {
namespace {

// First value whose bound the size does not exceed; the last value when all are exceeded.
// bounds[i] pairs with values[i]; values has one more entry than bounds.
template <int N>
int banded(int size, const int (&bounds)[N], const int (&values)[N + 1]) {
  for (int i = 0; i < N; ++i)
    if (size <= bounds[i]) return values[i];
  return values[N];
}

bool is(const TuningQuery& q, const char* c2, const char* c3) {
  return std::strcmp(q.c2, c2) == 0 && std::strncmp(q.c3, c3, 3) == 0;
}

// ---------------------------------------------------------------- LU (xGETRF)

// Serial recursive path ("S"): the largest power of two below n, capped; 1 for tiny panels.
int getrf_serial_nb(int n) {
  if (n <= 8) return 1;
  if (n <= 32) return 8;
  if (n <= 128) return 32;
  constexpr int kMax = 32768;
  int nb = 128;
  while (nb < kMax && 2 * nb < n) nb *= 2;
  return nb;
}

// Look-ahead path ("P").
int getrf_lookahead_nb(int n) { return banded(n, {8, 32, 128}, {1, 8, 32, 128}); }

// Thread-count groups of the LU tables: 1, 2-4, 5-8, 9-12, 13-16, 17-24, more.
int lu_thread_group(int t) {
  if (t <= 1) return 0;
  if (t <= 4) return 1;
  if (t <= 8) return 2;
  if (t <= 12) return 3;
  if (t <= 16) return 4;
  if (t <= 24) return 5;
  return 6;
}

// Dynamically scheduled path (" " with the thread count in N3).
int getrf_dynamic_nb(int cpu_type, int threads, int n) {
  const int g = lu_thread_group(threads);
  if (g == 0) return banded(n, {1000}, {64, 128});  // chosen
  if (cpu_type >= 7) {
    if (n < 1000) return 64;
    if (n < 1500) return 112;
    return n <= 4000 ? 144 : 192;
  }
  switch (g) {
    case 1: return banded(n, {900, 3100}, {24, 64, 200});
    case 2: return banded(n, {700, 1700, 2400, 2800, 10000}, {16, 24, 80, 128, 200, 400});
    case 3: return banded(n, {700, 2000, 4000, 10000}, {16, 32, 96, 160, 320});    // chosen
    case 4: return banded(n, {1000, 2500, 5000, 12000}, {16, 48, 96, 192, 384});   // chosen
    case 5: return banded(n, {1200, 3000, 6000, 14000}, {16, 48, 128, 240, 448});  // chosen
    default: return banded(n, {1500, 4000, 8000, 16000}, {16, 64, 128, 256, 480}); // chosen
  }
}

// Chunk: consecutive blocks one thread scans as its own range.
int getrf_chunk(int cpu_type, int threads, int n) {
  const int g = lu_thread_group(threads);
  if (g == 0) return 1;
  if (cpu_type >= 7) return n < 1500 ? 2 : 1;  // chosen
  if (g == 1) return banded(n, {900, 3100, 3600}, {4, 3, 2, 3});
  if (g == 2) return banded(n, {1700}, {2, 1});  // chosen
  return 1;                                      // chosen
}

// Tail width: trailing blocks handed out one level at a time; kAllTail puts every block in
// the tail zone.
constexpr int kAllTail = 1000000;
int getrf_tail(int cpu_type, int threads, int n) {
  const int g = lu_thread_group(threads);
  if (g == 0) return 0;
  if (g == 2) {
    if (n < 1701) return 0;
    if (n < 2801) return 4;
    return n <= 10000 ? 8 : 16;
  }
  if (g == 1 || cpu_type >= 7) return banded(n, {900, 3100}, {kAllTail, threads, 8});  // chosen
  return banded(n, {2000, 5000}, {0, 8, 16});                                         // chosen
}

int getrf(const TuningQuery& q) {
  const int n = q.n2;
  switch (q.ispec) {
    case 1:
      if (q.opt == 'S') return getrf_serial_nb(n);
      if (q.opt == 'P') return getrf_lookahead_nb(n);
      return getrf_dynamic_nb(q.cpu_type, q.n3, n);
    case 3: return (q.n3 == 8 && n > 2800) ? 4000 : 64;
    case 17: return getrf_chunk(q.cpu_type, q.n3, n);
    case 18: return getrf_tail(q.cpu_type, q.n3, n);
    default: return -1;  // 2 and 12 are answered for the whole TRF family
  }
}

// ---------------------------------------------------------------- QR (xGEQRF, xLAQRF, ...)

int round_nearest(double x) { return static_cast<int>(std::lround(x)); }

// Block size with the thread count t >= 1: grows with n and shrinks with t; short wide
// matrices get their own rule, since their panels are short.
int geqrf_threaded_nb(int m, int n, int t) {
  const double x = t <= 16 ? (0.076 / t + 0.012) * n + (32 / t + 8) : 0.006649 * n + 3.7;
  const int nbx = n <= 150 ? 8 : round_nearest(x);
  int nb = (10LL * m < n && m <= 250) ? round_nearest(0.0018 * n + 32) : (m / 4 < nbx ? m / 4 : nbx);
  nb = nb / 8 * 8;
  if (nb < 8) nb = 8;
  const int mn = m < n ? m : n;
  if (nb > mn) nb = mn;
  return nb > 160 ? 160 : nb;
}

int geqrf(const TuningQuery& q) {
  const int m = q.n1, n = q.n2;
  switch (q.ispec) {
    case 1:
      if (q.opt == 'B') return 2;
      if (q.n3 >= 1) return geqrf_threaded_nb(m, n, q.n3);
      if (q.opt == 'P') return banded(n, {200, 400, 550, 800, 1350}, {8, 16, 32, 48, 64, 96});
      return banded(n, {300, 350, 800, 1150, 3400}, {16, 24, 48, 64, 96, 128});
    case 3:
      if (q.n3 >= 1) return m + n < 200 ? m + n : 0;
      if (q.opt == '2') return banded(m, {200, 400, 800, 2000}, {128, 80, 56, 48, 40});
      return (n < 9 || (m <= 4000 && static_cast<std::int64_t>(m) * n <= 12500)) ? 128 : 8;
    case 12:
      if (q.opt == 'P') return banded(n, {400, 550, 800, 1350, 1900}, {24, 32, 48, 64, 96, 128});
      return 16;
    default: return -1;
  }
}

int orgqr(const TuningQuery& q) {
  const int m = q.n1, n = q.n2;
  switch (q.ispec) {
    case 1: {
      if (m <= 64 || n <= 64) return 16;
      const std::int64_t mn = static_cast<std::int64_t>(m) * n;
      return mn < 256000 ? 32 : (mn < 1500000 ? 64 : 128);
    }
    case 3: return 32;
    default: return -1;
  }
}

// ---------------------------------------------------------------- Cholesky (xPOTRF)

int potrf(const TuningQuery& q) {
  const int n = q.n1;
  switch (q.ispec) {
    case 1:
      // The tiled path's chunk query passes -3 in N3.
      if (q.n3 == -3) return (q.cpu_type > 4 || q.n2 < 9) ? n : 384;
      if (q.n2 < 2)
        return banded(n, {128, 450, 700, 900, 1050, 1400, 1800, 2000, 3000},
                      {128, 24, 32, 56, 96, 128, 192, 256, 384, 512});
      return banded(n, {199, 399, 749, 1299, 1849, 2999, 6999, 15999},
                    {24, 32, 40, 48, 56, 64, 80, 96, 224});
    case 3: return 128;
    default: return -1;
  }
}

// ---------------------------------------------------------------- symmetric eigenproblem

int sytrd(const TuningQuery& q) {
  const int n = q.n1;
  const bool threaded = q.n2 >= 2;
  switch (q.ispec) {
    case 1:
      if (threaded) return n < 1700 ? 12 : 16;
      if (q.opt == 'U') return n < 1550 ? 24 : 32;
      return n < 1100 ? 24 : 32;
    case 3:
      if (n < 0) return 32;
      return threaded ? 500 : 200;
    default: return -1;
  }
}

// Crossover of DSYEV to the two-stage reduction.  With eigenvectors the one-stage reduction
// is always used; without, the crossover grows like the square root of the thread count.
int syev(const TuningQuery& q) {
  if (q.ispec != 3) return -1;
  constexpr int kNever = 1000000;
  if (q.opt != 'N') return kNever;
  const int t = q.n2;
  if (t <= 1) return 1100;
  constexpr double kShare = static_cast<double>(0.6f);  // the constant is single precision
  return round_nearest(std::sqrt(4000000.0 * t) * kShare - 500.0);
}

// Band half-width of the two-stage reduction (chosen).
int syrdb(const TuningQuery& q) {
  if (q.ispec != 1) return -1;
  const int n = q.n1, t = q.n2;
  if (t <= 1) return n < 4000 ? 32 : 64;
  return n < 4000 ? 64 : 96;
}

// ---------------------------------------------------------------- auxiliaries

int laqrf(const TuningQuery& q) {
  if (q.ispec == 1) return q.n1 <= 350 ? q.n2 : 16;
  return -1;
}

int larft(const TuningQuery& q) {
  if (q.ispec == 1) return (q.n2 <= 64 || q.n1 >= 15000) ? 16 : 32;
  return -1;
}

// The other orthogonal-matrix routines (generate or apply Q of QR, QL, LQ, tridiagonal
// reduction): chosen, the classic fixed values, except that applying Q of QR or QL takes
// blocks of 64, so that its products run on the multiply with an inner dimension of 64.
constexpr int kApplyBlock = 64;
int orthogonal(const TuningQuery& q) {
  const bool apply = q.c3[0] == 'M' && (std::strcmp(q.c3 + 1, "QR") == 0 ||
                                        std::strcmp(q.c3 + 1, "QL") == 0);
  switch (q.ispec) {
    case 1: return apply ? kApplyBlock : 32;
    case 3: return 128;
    default: return -1;
  }
}

}  // namespace

int tuning_table(const TuningQuery& q) {
  int r = -1;
  if (is(q, "GE", "TRF")) r = getrf(q);
  else if (is(q, "GE", "QRF")) r = geqrf(q);
  else if (is(q, "OR", "GQR") || is(q, "UN", "GQR")) r = orgqr(q);
  else if (is(q, "PO", "TRF")) r = potrf(q);
  else if (is(q, "SY", "TRD") || is(q, "HE", "TRD")) r = sytrd(q);
  else if (is(q, "SY", "EV ") || is(q, "HE", "EV ")) r = syev(q);
  else if (is(q, "SY", "RDB") || is(q, "HE", "RDB")) r = syrdb(q);
  else if (is(q, "LA", "QRF")) r = laqrf(q);
  else if (is(q, "LA", "RFT")) r = larft(q);
  else if (std::strcmp(q.c2, "OR") == 0 || std::strcmp(q.c2, "UN") == 0) r = orthogonal(q);
  if (r != -1) return r;

  // What no routine table answers.
  switch (q.ispec) {
    case 1: return 1;   // unblocked
    case 2: return 2;   // every blocked routine accepts blocks of two columns
    case 3: return 0;   // no crossover: blocked code to the end
    case 12: {
      // Panel split: 16 for the TRF family, and for QRF unless the "P" row applied above.
      return 16;
    }
    case 17: return 1;
    case 18: return 0;
    default: return -1;
  }
}

// The parameter function of the QR iteration (ISPEC 13 to 16), for the nonsymmetric
// eigenvalue routines; N2 and N3 are ilo and ihi.  Chosen: the number of simultaneous
// shifts grows with the active block nh = ihi - ilo + 1 roughly like nh / log2(nh), and
// the deflation window is one and a half times that for large blocks.
int tuning_qr_iteration(const TuningQuery& q) {
  const int nh = q.n3 - q.n2 + 1;
  int ns = 2;
  if (nh >= 30) ns = 4;
  if (nh >= 60) ns = 10;
  if (nh >= 150) {
    const int l = static_cast<int>(std::log2(static_cast<double>(nh)));
    ns = nh / (l > 1 ? l : 1);
    if (ns < 10) ns = 10;
  }
  if (nh >= 590) ns = 64;
  if (nh >= 3000) ns = 128;
  if (nh >= 6000) ns = 256;
  ns -= ns % 2;
  if (ns < 2) ns = 2;
  switch (q.ispec) {
    case 13: return nh <= 500 ? ns : 3 * ns / 2;  // deflation window
    case 14: return 14;                           // percentage that forces a sweep
    case 15: return ns;                           // shifts
    default: return ns >= 14 ? 2 : 0;             // 16: how the reflections are accumulated
  }
}

}  // namespace ztr
