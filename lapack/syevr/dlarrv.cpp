#include <algorithm>
#include <cmath>
#include <cstddef>

#include "lapack/dlamch.h"
#include "lapack/syevr/mrrr.h"

namespace ztr {
namespace {

constexpr int kMaxRqIterations = 10;  // Rayleigh-quotient steps before bisection takes over
constexpr double kRqTolUlps = 2.0;    // a correction below this many ulps of lambda is done
constexpr double kResidUlps = 4.0;    // residual target: 4 log(n) eps * gap
// Nodes deeper than this in the representation tree mean the clusters do not separate.
constexpr int kMaxDepth = 64;

}  // namespace

void dlarrv(const int* n, const double* /*vl*/, const double* /*vu*/, double* d, double* l,
            const double* pivmin, const int* isplit, const int* m, const int* dol, const int* dou,
            const double* minrgp, const double* rtol1, const double* rtol2, double* w, double* werr,
            double* wgap, const int* iblock, const int* indexw, const double* gers, double* z,
            const int* ldz, int* isuppz, double* work, int* iwork, int* info) {
  *info = 0;
  const int nn = *n, mm = *m, ld = *ldz;
  if (nn <= 0 || mm <= 0) return;
  const double eps = dlamch("P");
  auto col = [&](int j) { return z + static_cast<std::ptrdiff_t>(j) * ld; };
  double* rd = work;                // the representation being processed: D
  double* rl = work + nn;           // L
  double* rld = work + 2 * nn;      // L D
  double* rlld = work + 3 * nn;     // L^2 D
  double* scratch = work + 4 * nn;  // 4n for dlar1v, 8n for dlarrf
  int* level = iwork;               // clusters (first, last) of the current level
  int* next = iwork + 2 * nn;       // and of the next one
  int* iscratch = iwork + 4 * nn;

  int wbegin = 0;
  for (int blk = 1; wbegin < mm; ++blk) {
    if (iblock[wbegin] != blk) continue;
    int wend = wbegin;
    while (wend < mm && iblock[wend] == blk) ++wend;
    const int first = blk == 1 ? 0 : isplit[blk - 2], last = isplit[blk - 1] - 1;
    const int in = last - first + 1;
    const bool wanted = wend - 1 >= *dol - 1 && wbegin <= *dou - 1;
    for (int j = wbegin; j < wend && wanted; ++j) std::fill(col(j), col(j) + nn, 0.0);
    if (in == 1) {
      for (int j = wbegin; j < wend; ++j) {
        col(j)[first] = 1.0;
        isuppz[2 * j] = isuppz[2 * j + 1] = first + 1;
      }
      wbegin = wend;
      continue;
    }
    double gl = gers[2 * first], gu = gers[2 * first + 1];
    for (int i = first; i <= last; ++i) {
      gl = std::min(gl, gers[2 * i]);
      gu = std::max(gu, gers[2 * i + 1]);
    }
    const double spdiam = gu - gl;
    const double sigma0 = l[last];
    // Gaps outside the wanted eigenvalues of the block: to the neighbouring eigenvalue of
    // the root representation, or the whole spread at an end of the spectrum.
    for (int i = 0; i + 1 < in; ++i) {
      rlld[i] = l[first + i] * l[first + i] * d[first + i];
    }
    double lgap0 = spdiam;
    if (indexw[wbegin] > 1) {
      const int idx = indexw[wbegin] - 1;
      double wn = w[wbegin], en = std::max(werr[wbegin], eps * std::fabs(wn)), g = spdiam;
      const int off = idx - 1;  // position 0 of the one-element arrays
      int iinfo = 0;
      dlarrb(&in, d + first, rlld, &idx, &idx, rtol1, rtol2, &off, &wn, &g, &en, scratch, iscratch,
             pivmin, &spdiam, &in, &iinfo);
      lgap0 = std::max(0.0, (w[wbegin] - werr[wbegin]) - (wn + en));
    }
    if (indexw[wend - 1] < in) {
      const int idx = indexw[wend - 1] + 1;
      double wn = w[wend - 1], en = std::max(werr[wend - 1], eps * std::fabs(wn)), g = spdiam;
      const int off = idx - 1;
      int iinfo = 0;
      dlarrb(&in, d + first, rlld, &idx, &idx, rtol1, rtol2, &off, &wn, &g, &en, scratch, iscratch,
             pivmin, &spdiam, &in, &iinfo);
      wgap[wend - 1] = std::max(0.0, (wn - en) - (w[wend - 1] + werr[wend - 1]));
    } else {
      wgap[wend - 1] = spdiam;
    }
    const double tol = kResidUlps * std::log(static_cast<double>(in)) * eps;
    const double rqtol = kRqTolUlps * eps;

    // The representation tree, level by level.  A cluster's representation lives in the
    // columns of its first two eigenvectors until the cluster is processed.
    int nlevel = 1;
    level[0] = wbegin;
    level[1] = wend - 1;
    bool root = true;
    for (int depth = 0; nlevel > 0; ++depth) {
      if (depth > kMaxDepth) {
        *info = 5;
        return;
      }
      int nnext = 0;
      for (int c = 0; c < nlevel; ++c) {
        const int f = level[2 * c], lst = level[2 * c + 1];
        double sigma;
        if (root) {
          std::copy(d + first, d + first + in, rd);
          std::copy(l + first, l + first + in - 1, rl);
          sigma = sigma0;
        } else {
          std::copy(col(f) + first, col(f) + first + in, rd);
          std::copy(col(f + 1) + first, col(f + 1) + first + in - 1, rl);
          sigma = col(f + 1)[last];
        }
        for (int i = 0; i + 1 < in; ++i) {
          rld[i] = rl[i] * rd[i];
          rlld[i] = rld[i] * rl[i];
        }
        const int oldfst = indexw[f], oldlst = indexw[lst];
        if (!root) {
          // Eigenvalues relative to the new representation, to the accuracy needed to
          // tell singletons from clusters.
          const int offset = indexw[f] - f - 1;
          int iinfo = 0;
          dlarrb(&in, rd, rlld, &oldfst, &oldlst, rtol1, rtol2, &offset, w, wgap, werr, scratch,
                 iscratch, pivmin, &spdiam, &in, &iinfo);
          if (iinfo != 0) {
            *info = 1;
            return;
          }
        }
        // Children: a new child starts after every relative gap of at least minrgp.
        int cs = f;
        for (int i = f; i <= lst; ++i) {
          if (i < lst && wgap[i] < *minrgp * std::fabs(w[i])) continue;
          const int ce = i;
          const double lgap = cs == wbegin ? lgap0 : wgap[cs - 1];
          if (cs < ce) {
            double tau = 0;
            const int cs1 = cs + 1, ce1 = ce + 1;
            int iinfo = 0;
            dlarrf(&in, rd, rl, rld, &cs1, &ce1, w, wgap, werr, &spdiam, &lgap, &wgap[ce], pivmin,
                   &tau, col(cs) + first, col(cs + 1) + first, scratch, &iinfo);
            if (iinfo != 0) {
              *info = 2;
              return;
            }
            col(cs + 1)[last] = sigma + tau;
            for (int k = cs; k <= ce; ++k) w[k] -= tau;
            next[2 * nnext] = cs;
            next[2 * nnext + 1] = ce;
            ++nnext;
          } else if (cs + 1 >= *dol && cs + 1 <= *dou) {
            // A singleton: Rayleigh-quotient iteration on the twisted factorizations,
            // bisection to full accuracy when the correction leaves the bracket.
            double lambda = w[cs];
            const double left = lambda - werr[cs], right = lambda + werr[cs];
            const double gap = std::min(lgap, wgap[cs]);
            const double gaptol = gap * eps;
            // dlar1v writes every row of the block, zeros outside the support, over whatever
            // representation the column held; the rows outside the block were cleared above.
            double* zc = col(cs) + first;
            bool usedbs = false;
            int supp[2] = {1, in};
            int r = 0;  // the twist, kept from the first iteration on
            for (int it = 0;; ++it) {
              double ztz, mingma, nrminv, resid, rqcorr;
              int negcnt = 0;
              const int b1 = 1, wantnc = 0;
              dlar1v(&in, &b1, &in, &lambda, rd, rl, rld, rlld, pivmin, &gaptol, zc, &wantnc,
                     &negcnt, &ztz, &mingma, &r, supp, &nrminv, &resid, &rqcorr, scratch);
              const bool done =
                  usedbs || resid <= tol * gap || std::fabs(rqcorr) <= rqtol * std::fabs(lambda);
              if (!done && it < kMaxRqIterations && lambda + rqcorr >= left &&
                  lambda + rqcorr <= right) {
                lambda += rqcorr;
                continue;
              }
              if (!done) {
                // Bisection to full accuracy, then one last vector.
                const int idx = indexw[cs];
                const int off = idx - cs - 1;
                const double zero = 0.0, full = 2 * eps;
                int iinfo = 0;
                w[cs] = lambda;
                dlarrb(&in, rd, rlld, &idx, &idx, &zero, &full, &off, w, wgap, werr, scratch,
                       iscratch, pivmin, &spdiam, &r, &iinfo);
                lambda = w[cs];
                usedbs = true;
                r = 0;
                continue;
              }
              for (int k = supp[0] - 1; k < supp[1]; ++k) zc[k] *= nrminv;
              break;
            }
            isuppz[2 * cs] = first + supp[0];
            isuppz[2 * cs + 1] = first + supp[1];
            w[cs] = lambda + sigma;
          }
          cs = i + 1;
        }
      }
      std::copy(next, next + 2 * nnext, level);
      nlevel = nnext;
      root = false;
    }
    wbegin = wend;
  }
}

}  // namespace ztr
