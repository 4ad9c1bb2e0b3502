#include "sparse_solver/factor/numeric_factor.h"

#include <omp.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cmath>
#include <new>
#include <limits>
#include <cstring>
#include <type_traits>

#include "lapack/getrf/getrf.h"
#include "service/error.h"
#include "service/messages.h"
#include "service/platform.h"
#include "sparse_solver/common/solver_messages.h"
#include "sparse_solver/common/subtree_plan.h"
#include "sparse_solver/common/wave_barrier.h"
#include "sparse_solver/common/value_types.h"
#include "sparse_solver/dense/dense_blocks.h"
#include "sparse_solver/factor/update_crew.h"

namespace ztr {
namespace {

// ln(10): the perturbation constant is 10^-|iparm[9]| computed through exp.
constexpr double kLn10 = 2.302585092994046;
// Threshold of the perturbed block LU when it is handed 0.
constexpr double kDefaultLuThreshold = 1.0e-13;
constexpr char kProgressText[] = "Korvine: factorization phase";
constexpr int kProgressTextLength = 28;
constexpr int kPercentDone = 100;
// Below this many columns of a Cholesky update, one product of the whole block (upper
// triangle of its top included) costs less than a rank-k update and a product.
constexpr int kLowerOnlyMin = 32;

// Progress reporting: the hook of the library and the printed percentage lines.
class Progress {
 public:
  Progress(double total, bool print) : total_(total), print_(print) {
    if (print_) msg_print(kSmProgressHeading, 0);
  }
  // After the supernodes of `sum` L entries in all are done; false when the hook asks to stop.
  bool at(double sum) {
    int pct = static_cast<int>((sum - 1) / total_ * 100);
    if (pct >= kPercentDone) pct = kPercentDone - 1;
    return report(pct);
  }
  bool finish() { return report(kPercentDone); }

 private:
  bool report(int pct) {
    const int thread = 0;
    const int answer = progress_call(&thread, &pct, kProgressText, kProgressTextLength);
    if (pct <= last_) return true;
    last_ = pct;
    if (print_) {
      msg_print(kSmProgressPercent, 1, pct);
      if (pct == kPercentDone) msg_print(kMsgBlankLine, 0);
    }
    return answer == 0;
  }
  double total_;
  int last_ = -1;
  bool print_;
};

// Widest descendant whose updates bypass the multiply (see Kernel::narrow_update).
constexpr int kNarrowMax = 4;
// On a team the rows below a diagonal block are solved in chunks of this many rows.
constexpr int kSolveChunk = 128;

// The packed-panel update path exists for double precision; for the other value types every
// update takes the multiply's path.
template <typename T>
inline constexpr bool kPackedUpdates = std::is_same_v<T, double>;

template <typename T>
struct Kernel {
  using R = RealOf<T>;
  const Supernodes& sn;
  FactorShape shape;
  char tr;  // the transpose relating the factor's triangles ('C' for the Hermitian kinds)
  FactorBlocks<T> blocks;
  bool has_u;  // the factor has a U part (full-pattern kinds)
  T* dval;     // indefinite kinds: D diagonal (n) then sub-diagonal (n); null otherwise
  int* piv;
  R threshold;
  R* scale;  // indefinite kinds: per position, the equilibrating scale of the pivot test
  // Work.
  int* map;   // n: position of a row in the current supernode's structure
  int* head;  // link lists
  int* next;
  int* next_row;     // per supernode: index in its structure of the next unused row
  int* rel;          // longest: a descendant's rows as positions in the current supernode
  T* work;           // longest x largest
  T* scaled;         // largest x largest: rows of a descendant times D
  UpdateCrew* crew;  // the packed-panel updates, where they run (kPackedUpdates only)
  // Without packed updates: the team that shares the large products by row blocks, and
  // whether they are split so even on one thread (reproducible results split the same way
  // on any number of threads).
  BlockTeam* team = nullptr;
  bool split = false;
  // A unit of the plan (see SubtreePlan) being factored, or -1: a descendant whose next
  // target lies outside the unit is handed over after the wave instead of being linked.
  int unit = -1;
  const int* unit_of = nullptr;
  int* handed = nullptr;       // per supernode: the next of its unit's hand-over list
  int* handed_head = nullptr;  // per unit
  int* handed_tail = nullptr;
  int partner = -1;  // the supernode whose updates ride along with the current one's
  int perturbed = 0, positive = 0, negative = 0;

  int len(int s) const { return sn.len(s); }
  int width(int s) const { return sn.width(s); }
  const int* rows(int s) const { return sn.rows(s); }

  // Subtracts the work block W (m x cols, leading dimension m, as the multiply left it) from
  // supernode s's block `dst`: work row i goes to row rel[i], work column jj to column
  // rel[jj] (the first cols rows of d that fall into s are s's own columns).  Rows above
  // row0 are skipped, and with `lower` those above the diagonal of s's block too (the
  // symmetric kernels never read them).
  void scatter_sub(int s, T* dst, int m, int cols, int row0, bool lower) {
    const long ls = len(s);
    for (int jj = 0; jj < cols; ++jj) {
      T* col = dst + rel[jj] * ls;
      const T* w = work + static_cast<long>(jj) * m;
      for (int i = lower ? std::max(row0, jj) : row0; i < m; ++i) col[rel[i]] -= w[i];
    }
  }

  // C := alpha*A*A(0:c, :)' + beta*C on the entries on and below C's diagonal, C m x c, A
  // m x kd: the Cholesky update of a supernode, whose first c rows are its own columns (the
  // part above their diagonal is never read).  The c x c top as a rank-k update of its lower
  // triangle and the rows below as one product: the same packing as one product of the
  // whole block, without the upper triangle's multiplies.
  void lower_product(int m, int c, int kd, T alpha, const T* a, int lda, T beta, T* cc, int ldc) {
    block_syrk_lower<T>(c, kd, alpha, a, lda, beta, cc, ldc);
    block_gemm_nt<T>(tr, m - c, c, kd, alpha, a + c, lda, a, lda, beta, cc + c, ldc);
  }

  // The update on the packed panels (see UpdateProduct::run); false where it does not run.
  bool run_packed(int m, int n, int kd, const T* a, int lda, const T* b, int ldb, T* d, int ldd,
                  const int* rmap, const int* cmap, bool lower) {
    if constexpr (kPackedUpdates<T>) {
      if (crew == nullptr) return false;
      crew->run({m, n, kd, a, lda, b, ldb, d, ldd, rmap, cmap, lower, -1, nullptr, 0, 0});
      return true;
    }
    return false;
  }

  // A descendant of KD <= kNarrowMax columns: each target column's update is a combination of
  // KD columns, subtracted straight through the map without a product or a packed copy.
  // Target column drow[jj] of s (first column f, ls with leading dimension lss) takes rows
  // rel[i] of the combination.
  template <int KD>
  void narrow_update(T* ls, long lss, int f, const int* drow, int m, int c, const T* a, int lda,
                     const T* right, int ldr) {
    for (int jj = 0; jj < c; ++jj) {
      T* col = ls + static_cast<long>(drow[jj] - f) * lss;
      T g[KD];
      for (int q = 0; q < KD; ++q)
        g[q] = conj_if(shape.conjugate, right[jj + static_cast<long>(q) * ldr]);
      for (int i = !has_u ? jj : 0; i < m; ++i) {
        T v = a[i] * g[0];
        for (int q = 1; q < KD; ++q) v += a[i + static_cast<long>(q) * lda] * g[q];
        col[rel[i]] -= v;
      }
    }
  }

  // The update of supernode s by descendant d.
  void update(int s, int d) {
    const int l_end = sn.first[s + 1];
    const int ld = len(d), kd = width(d), p = next_row[d];
    const int* drow = rows(d) + p;
    int c = 0;
    while (p + c < ld && drow[c] < l_end) ++c;
    const int m = ld - p;
    if (partner >= 0) {
      int c2 = 0;
      const int l_end2 = sn.first[partner + 1];
      while (p + c + c2 < ld && drow[c + c2] < l_end2) ++c2;
      if (c2 > 0 && update_pair(s, d, c, c2)) return;
    }
    const T* ld_p = blocks.lower(d) + p;
    T* ls = blocks.lower(s);
    const int lss = len(s);
    bool direct = m == lss;
    int r0 = 0;  // with `direct`, the row and column of s where the product lands
    if (!direct) {
      for (int i = 0; i < m; ++i) rel[i] = map[drow[i]];
      // Rows of d that land on consecutive rows of s let the symmetric kernels multiply
      // straight into place.
      if (!has_u && rel[m - 1] - rel[0] == m - 1) {
        direct = true;
        r0 = rel[0];
      }
    }
    const T* right = ld_p;  // the factor whose rows p..p+c-1 multiply from the right
    if (has_u) {
      right = blocks.upper(d) + p;
    } else if (dval != nullptr) {
      // L*D: the c rows times D of d (1x1 and 2x2 blocks; D's entry above a 2x2 block's
      // sub-diagonal is its conjugate for L*D*L^H).
      const int fd = sn.first[d];
      for (int t = 0; t < kd; ++t) {
        const T* lt = ld_p + static_cast<long>(t) * ld;
        T* st = scaled + static_cast<long>(t) * c;
        const T dt = dval[fd + t], et = dval[sn.n + fd + t];
        const T eprev = t > 0 ? conj_if(shape.conjugate, dval[sn.n + fd + t - 1]) : T(0);
        for (int i = 0; i < c; ++i) {
          T v = lt[i] * dt;
          if (et != T(0)) v += lt[i + ld] * et;
          if (eprev != T(0)) v += lt[i - ld] * eprev;
          st[i] = v;
        }
      }
      right = scaled;
    }
    const int ldr = (!has_u && dval != nullptr) ? c : ld;
    if (direct) {
      T* dst = ls + r0 + static_cast<long>(r0) * lss;
      if (!run_packed(m, c, kd, ld_p, ld, right, ldr, dst, lss, nullptr, nullptr, !has_u) &&
          !run_split(tr, m, c, kd, ld_p, ld, right, ldr, dst, lss, nullptr, s, 0, !has_u)) {
        if (right == ld_p && c >= kLowerOnlyMin)
          lower_product(m, c, kd, T(-1), ld_p, ld, T(1), dst, lss);
        else
          block_gemm_nt<T>(tr, m, c, kd, T(-1), ld_p, ld, right, ldr, T(1), dst, lss);
      }
    } else if (kd <= kNarrowMax && dval == nullptr) {
      using Narrow =
          void (Kernel::*)(T*, long, int, const int*, int, int, const T*, int, const T*, int);
      static constexpr Narrow kNarrow[kNarrowMax] = {
          &Kernel::narrow_update<1>, &Kernel::narrow_update<2>, &Kernel::narrow_update<3>,
          &Kernel::narrow_update<4>};
      (this->*kNarrow[kd - 1])(ls, lss, sn.first[s], drow, m, c, ld_p, ld, right, ldr);
    } else if (!run_packed(m, c, kd, ld_p, ld, right, ldr, ls, lss, rel, rel, !has_u) &&
               !run_split(tr, m, c, kd, ld_p, ld, right, ldr, work, m, ls, s, 0, !has_u)) {
      if (right == ld_p && c >= kLowerOnlyMin)
        lower_product(m, c, kd, T(1), ld_p, ld, T(0), work, m);
      else
        block_gemm_nt<T>(tr, m, c, kd, T(1), ld_p, ld, right, ldr, T(0), work, m);
      scatter_sub(s, ls, m, c, 0, !has_u);
    }
    if (has_u && m > c) {
      // U part of s: rows below s's columns of U(d)' times the c rows of L(d).
      const T* ud = blocks.upper(d) + p;
      T* us = blocks.upper(s);
      if (direct) {
        if (!run_packed(m - c, c, kd, ud + c, ld, ld_p, ld, us + c, lss, nullptr, nullptr, false) &&
            !run_split('T', m - c, c, kd, ud + c, ld, ld_p, ld, us + c, lss, nullptr, s, 0, false))
          block_gemm_nt<T>('T', m - c, c, kd, T(-1), ud + c, ld, ld_p, ld, T(1), us + c, lss);
      } else if (!run_packed(m - c, c, kd, ud + c, ld, ld_p, ld, us, lss, rel + c, rel, false) &&
                 !run_split('T', m, c, kd, ud, ld, ld_p, ld, work, m, us, s, c, false)) {
        block_gemm_nt<T>('T', m, c, kd, T(1), ud, ld, ld_p, ld, T(0), work, m);
        // Rows of the work block inside s's columns belong to L; only those below go to U.
        scatter_sub(s, us, m, c, c, false);
      }
    }
    move_on(d, p + c);
  }

  // Descendant d has used its rows before `row`: it waits next for the supernode that owns
  // that row, if any.
  void move_on(int d, int row) {
    next_row[d] = row;
    if (row < len(d)) {
      const int t = sn.owner[rows(d)[row]];
      if (unit >= 0 && unit_of[t] != unit) {
        handed[d] = -1;
        if (handed_head[unit] < 0)
          handed_head[unit] = d;
        else
          handed[handed_tail[unit]] = d;
        handed_tail[unit] = d;
        return;
      }
      link(d, t);
    }
  }
  void link(int d, int t) {
    next[d] = head[t];
    head[t] = d;
  }

  // The row blocks of a split product (see `split`).
  static constexpr int kSplitRows = 128;
  struct Split {
    Kernel* k;
    char trans;
    int m, c, kd;
    const T* a;
    int lda;
    const T* b;
    int ldb;
    T* dst;  // the product's place: s's block (direct) or the work block (ld m)
    int ldd;
    T* target;  // with scatter: s's block, which the work rows are subtracted from
    int s, row0;
    bool lower;
  };
  static void split_block(const void* context, int, int blk) {
    const Split& p = *static_cast<const Split*>(context);
    const int r0 = blk * kSplitRows, r1 = std::min(p.m, r0 + kSplitRows);
    if (p.target == nullptr) {
      block_gemm_nt<T>(p.trans, r1 - r0, p.c, p.kd, T(-1), p.a + r0, p.lda, p.b, p.ldb, T(1),
                       p.dst + r0, p.ldd);
      return;
    }
    block_gemm_nt<T>(p.trans, r1 - r0, p.c, p.kd, T(1), p.a + r0, p.lda, p.b, p.ldb, T(0),
                     p.dst + r0, p.m);
    const long ls = p.k->len(p.s);
    const int* rel = p.k->rel;
    for (int jj = 0; jj < p.c; ++jj) {
      T* col = p.target + rel[jj] * ls;
      const T* w = p.dst + static_cast<long>(jj) * p.m;
      for (int i = std::max(r0, p.lower ? std::max(p.row0, jj) : p.row0); i < r1; ++i)
        col[rel[i]] -= w[i];
    }
  }
  // The blocks of a step, on the team when there is one, else in order.
  void for_blocks(int count, BlockTeam::Body body, const void* context) {
    if (crew != nullptr) {
      crew->for_blocks(count, body, context);
    } else if (team != nullptr) {
      team->run(count, body, context);
    } else {
      for (int b = 0; b < count; ++b) body(context, 0, b);
    }
  }
  bool splits(double work) const {
    return crew == nullptr && (split || team != nullptr) && work >= kSharedWorkMin;
  }
  // The update as row blocks of the multiply (see `split`); false where it is not split.
  // Without `target` the product is subtracted in place at dst; with it, it goes to the work
  // block and is subtracted from target through rel, rows above row0 skipped.
  bool run_split(char trans, int m, int c, int kd, const T* a, int lda, const T* b, int ldb, T* dst,
                 int ldd, T* target, int s, int row0, bool lower) {
    if (!splits(static_cast<double>(m) * c * kd)) return false;
    const Split p{this, trans, m, c, kd, a, lda, b, ldb, dst, ldd, target, s, row0, lower};
    for_blocks((m + kSplitRows - 1) / kSplitRows, &Kernel::split_block, &p);
    return true;
  }

  // The Cholesky update of s and of its partner (the next supernode of its chain, whose rows
  // are s's rows below its columns) by d in one product: d's c rows in s's columns and its c2
  // rows in the partner's columns multiply all of d's rows from p on, and d moves on past
  // both.  Positions in the partner are positions in s less s's width.  Only the packed path
  // has a product for two targets: false (nothing done) where there is none.
  bool update_pair(int s, int d, int c, int c2) {
    if constexpr (!kPackedUpdates<T>) {
      return false;
    } else {
      if (crew == nullptr) return false;
      const int ld = len(d), kd = width(d), p = next_row[d];
      const int* drow = rows(d) + p;
      const int m = ld - p, lss = len(s), k1 = width(s);
      const T* ld_p = blocks.lower(d) + p;
      T* ls = blocks.lower(s);
      T* ls2 = blocks.lower(partner);
      const int len2 = len(partner);
      for (int i = 0; i < m; ++i) rel[i] = map[drow[i]];
      if (rel[m - 1] - rel[0] == m - 1) {
        // Consecutive rows: in place in both, from d's first row in s and in the partner.
        const int r0 = rel[0], off = r0 + c - k1;
        crew->run({m, c + c2, kd, ld_p, ld, ld_p, ld, ls + r0 + static_cast<long>(r0) * lss, lss,
                   nullptr, nullptr, true, c, ls2 + off + static_cast<long>(off) * len2, len2, 0});
      } else {
        crew->run({m, c + c2, kd, ld_p, ld, ld_p, ld, ls, lss, rel, rel, true, c, ls2, len2, k1});
      }
      move_on(d, p + c + c2);
      return true;
    }
  }

  // Factors the diagonal block of s and computes its off-diagonal rows; the one-based
  // failing column of the block, or 0.
  int factor_block(int s) {
    const int k = width(s), lss = len(s), fs = sn.first[s];
    T* ls = blocks.lower(s);
    int* ip = piv + fs;
    int info = 0;
    switch (shape.kind) {
      case FactorKind::kCholesky:
        info = block_cholesky<T>(k, ls, lss);
        break;
      case FactorKind::kLdlt:
      case FactorKind::kLdlh:
        info = block_ldlt<T>(k, lss, ls, lss, ip, dval + fs, dval + sn.n + fs, threshold,
                             scale + fs, shape.conjugate, &perturbed, &positive, &negative);
        break;
      case FactorKind::kPivotedLu:
        if constexpr (std::is_same_v<T, double>)
          ztr_lapack_dgetrf(k, k, ls, lss, ip, &info);
        else
          info = block_lu<T>(k, ls, lss, ip, R(0), &perturbed);
        break;
      case FactorKind::kPerturbedLu:
        info = block_lu<T>(k, ls, lss, ip, threshold, &perturbed);
        break;
    }
    if (info == 0) info = first_non_finite_pivot(s);
    if (info != 0 || lss == k) return info;
    // The rows below the diagonal block are independent of each other: on a team, each
    // member solves whole chunks of them.
    const int rows = lss - k;
    const double solve_work = static_cast<double>(rows) * k * k;
    // Reproducible results chunk on any number of threads.
    const bool chunked = split             ? solve_work >= kSharedWorkMin
                         : crew != nullptr ? crew->shares(solve_work)
                                           : splits(solve_work);
    if (!chunked) {
      solve_below(s, 0, rows);
      return 0;
    }
    const struct Chunks {
      Kernel* kernel;
      int s, rows;
    } chunks{this, s, rows};
    for_blocks((rows + kSolveChunk - 1) / kSolveChunk,
               [](const void* context, int, int b) {
                 const Chunks& c = *static_cast<const Chunks*>(context);
                 c.kernel->solve_below(c.s, b * kSolveChunk,
                                       std::min(c.rows, (b + 1) * kSolveChunk));
               },
               &chunks);
    return 0;
  }

  // The one-based column of block s whose pivot is not finite (an overflow in the
  // factorization, which would otherwise pass into the solution unnoticed), or 0.
  int first_non_finite_pivot(int s) const {
    const int k = width(s), lss = len(s), fs = sn.first[s];
    const T* ls = blocks.lower(s);
    for (int j = 0; j < k; ++j) {
      const T p =
          dval != nullptr ? dval[fs + j] + dval[sn.n + fs + j] : ls[j + static_cast<long>(j) * lss];
      if (!is_finite_value(p)) return j + 1;
    }
    return 0;
  }

  // Rows [r0, r1) below the factored diagonal block of s (counted from the block's end):
  // L21 := A21 * inv(L11)' (Cholesky), then * inv(D) (LDL'), or for the LU types
  // L21 := A21 * inv(U11) and the rows of U12' interchanged as the block's pivots say and
  // solved with the unit lower triangle.
  void solve_below(int s, int r0, int r1) {
    const int k = width(s), lss = len(s), fs = sn.first[s], rows = r1 - r0;
    T* ls = blocks.lower(s);
    T* below = ls + k + r0;
    if (shape.kind == FactorKind::kCholesky) {
      block_trsm<T>('R', 'L', tr, 'N', rows, k, ls, lss, below, lss);
      return;
    }
    if (kind_is_indefinite(shape.kind)) {
      block_trsm<T>('R', 'L', tr, 'U', rows, k, ls, lss, below, lss);
      solve_d_right(below, rows, lss, dval + fs, dval + sn.n + fs, k, shape.conjugate);
      return;
    }
    const int* ip = piv + fs;
    T* us = blocks.upper(s);
    block_trsm<T>('R', 'U', 'N', 'N', rows, k, ls, lss, below, lss);
    for (int i = 0; i < k - 1; ++i) {
      const int r = ip[i] - 1;
      if (r != i)
        for (int row = k + r0; row < k + r1; ++row)
          std::swap(us[row + static_cast<long>(i) * lss], us[row + static_cast<long>(r) * lss]);
    }
    block_trsm<T>('R', 'L', 'T', 'U', rows, k, ls, lss, us + k + r0, lss);
  }

  // B := B * inv(D) for the rows below an indefinite block.
  static void solve_d_right(T* b, int m, int ldb, const T* dd, const T* ee, int k, bool conj) {
    for (int j = 0; j < k;) {
      T* c1 = b + static_cast<long>(j) * ldb;
      if (ee[j] == T(0)) {
        const T inv = T(1) / dd[j];
        for (int i = 0; i < m; ++i) c1[i] *= inv;
        ++j;
        continue;
      }
      T* c2 = c1 + ldb;
      const PivotBlock2<T> pivot(dd[j], ee[j], dd[j + 1], conj);
      for (int i = 0; i < m; ++i) pivot.solve_row(c1[i], c2[i], &c1[i], &c2[i]);
      j += 2;
    }
  }
};

// The kernels of the threads other than the leader for the plan's units: each with its own
// row map, work blocks and (for packed updates) panels, sized for the units' supernodes.
template <typename T>
class MemberKernels {
 public:
  MemberKernels() = default;
  MemberKernels(const MemberKernels&) = delete;
  MemberKernels& operator=(const MemberKernels&) = delete;
  ~MemberKernels() { release(); }

  // Kernels for up to threads - 1 members, copies of `leader` on their own buffers; the
  // number of threads that can run (1 + the members whose buffers were had).
  // With `same_panels` every member's panels are the leader's size (reproducible results:
  // the same blocking everywhere); otherwise sized for the units.
  int prepare(WorkMemory* mem, const Kernel<T>& leader, const SubtreePlan& plan, int threads,
              bool packed, bool same_panels) {
    release();
    packed_ = true;
    const int want = threads - 1;
    if (want <= 0) return 1;
    raw_.allocate(mem, sizeof(Member) * static_cast<std::size_t>(want), "korvine members");
    if (raw_.get() == nullptr) return 1;
    members_ = reinterpret_cast<Member*>(raw_.get());
    const std::size_t wsize = static_cast<std::size_t>(plan.max_len) * plan.max_width;
    for (int t = 0; t < want; ++t) {
      Member* m = new (members_ + t) Member{leader, {}, {}, {}, {}, {}};
      ++count_;
      Kernel<T>& k = m->kernel;
      if (!m->map.allocate(mem, static_cast<std::size_t>(leader.sn.n), "korvine map") ||
          !m->rel.allocate(mem, static_cast<std::size_t>(plan.max_len), "korvine map") ||
          !m->work.allocate(mem, wsize, "korvine work", true) ||
          !m->scaled.allocate(mem, wsize, "korvine work")) {
        m->~Member();
        --count_;
        break;
      }
      k.map = m->map.get();
      k.rel = m->rel.get();
      k.work = m->work.get();
      k.scaled = m->scaled.get();
      const Supernodes& sn = leader.sn;
      const int width = same_panels ? sn.largest : plan.max_width;
      const int rows = same_panels ? sn.longest : plan.max_len;
      k.crew = packed && m->crew.prepare(mem, 1, 2 * width, width, rows) ? &m->crew : nullptr;
      if (packed && k.crew == nullptr) packed_ = false;
      k.team = nullptr;
      k.perturbed = k.positive = k.negative = 0;
    }
    return 1 + count_;
  }
  Kernel<T>& kernel(int t) { return members_[t].kernel; }
  // Whether every member that can run has its panels.
  bool all_packed() const { return packed_; }
  void drop_crews() {
    for (int t = 0; t < count_; ++t) members_[t].kernel.crew = nullptr;
  }
  // The members' pivot counts, added to the leader's.
  void add_counts(Kernel<T>* leader) const {
    for (int t = 0; t < count_; ++t) {
      leader->perturbed += members_[t].kernel.perturbed;
      leader->positive += members_[t].kernel.positive;
      leader->negative += members_[t].kernel.negative;
    }
  }
  // The bytes prepare counts for `threads` threads.
  static long long counted_bytes(const Supernodes& sn, const SubtreePlan& plan, int threads,
                                 bool packed, bool same_panels) {
    if (threads <= 1 || plan.empty()) return 0;
    const long long wsize = static_cast<long long>(plan.max_len) * plan.max_width;
    long long one =
        (static_cast<long long>(sn.n) + plan.max_len) * static_cast<long long>(sizeof(int)) +
        2 * std::max(wsize, 1LL) * static_cast<long long>(sizeof(T));
    if (packed)
      one += same_panels ? UpdateCrew::counted_bytes(1, 2 * sn.largest, sn.longest)
                         : UpdateCrew::counted_bytes(1, 2 * plan.max_width, plan.max_len);
    return (threads - 1) * (one + static_cast<long long>(sizeof(Member)));
  }

 private:
  struct Member {
    Kernel<T> kernel;
    WorkArray<int> map, rel;
    WorkArray<T> work, scaled;
    UpdateCrew crew;
  };
  void release() {
    for (int t = 0; t < count_; ++t) members_[t].~Member();
    count_ = 0;
    members_ = nullptr;
    raw_.release();
  }
  WorkArray<unsigned char> raw_;
  Member* members_ = nullptr;
  int count_ = 0;
  bool packed_ = true;
};

// Passes of the symmetric equilibration below: each halves the logarithm of every row's
// distance from a largest entry of 1, so this many leave the rows within a few percent.
constexpr int kEquilibrationPasses = 8;

// The symmetric equilibration of the matrix as factored (its stored upper triangle standing
// for both) by Ruiz's iteration: scale[p] for position p such that every row of S*A*S has
// its largest magnitude close to 1 (1 for an empty row).  A single pass (1/sqrt of the row
// maximum) is not enough: a row whose largest entry couples it to a row of much larger
// scale would keep a diagonal far below 1 that is a sound pivot nonetheless.  `rowmax`
// holds n values of work.
template <typename T>
void equilibrate(const Supernodes& sn, const MatrixPattern& m, const T* a, RealOf<T>* scale,
                 RealOf<T>* rowmax) {
  using R = RealOf<T>;
  const int n = sn.n;
  const double* entry = sn.entry_scale.get();
  std::fill(scale, scale + n, R(1));
  for (int pass = 0; pass < kEquilibrationPasses; ++pass) {
    std::fill(rowmax, rowmax + n, R(0));
    for (int i = 0; i < n; ++i)
      for (int e = m.ia[i] - m.base; e < m.ia[i + 1] - m.base; ++e) {
        const int j = m.ja[e] - m.base;
        if (sn.scatter[e] == 0 || j < 0 || j >= n) continue;
        const int pi = sn.iperm[i], pj = sn.iperm[j];
        const R v = abs_value(entry != nullptr ? scaled_value(a[e], entry[e]) : a[e]) * scale[pi] *
                    scale[pj];
        rowmax[pi] = std::max(rowmax[pi], v);
        rowmax[pj] = std::max(rowmax[pj], v);
      }
    for (int p = 0; p < n; ++p)
      if (rowmax[p] > R(0)) scale[p] /= std::sqrt(rowmax[p]);
  }
}

// The stored entries of the matrix grouped by the supernode whose block holds their place:
// entry[start[s] .. start[s + 1]) for supernode s.
struct EntriesBySupernode {
  WorkArray<int> start, entry;
  bool build(const Supernodes& sn, long long nnz, WorkMemory* mem) {
    const int ns = sn.count;
    if (!start.allocate(mem, static_cast<std::size_t>(ns) + 1, "korvine entries", true) ||
        !entry.allocate(mem, static_cast<std::size_t>(nnz), "korvine entries"))
      return false;
    const long long* vp = sn.val_ptr.get();
    auto owner = [&](long long place) {
      const long long at = (place > 0 ? place : -place) - 1;
      return static_cast<int>(std::upper_bound(vp, vp + ns + 1, at) - vp) - 1;
    };
    for (long long e = 0; e < nnz; ++e)
      if (sn.scatter[e] != 0) ++start[owner(sn.scatter[e]) + 1];
    for (int s = 0; s < ns; ++s) start[s + 1] += start[s];
    WorkArray<int> fill;
    if (!fill.allocate(mem, static_cast<std::size_t>(ns), "korvine entries")) return false;
    std::copy(start.get(), start.get() + ns, fill.get());
    for (long long e = 0; e < nnz; ++e)
      if (sn.scatter[e] != 0) entry[fill[owner(sn.scatter[e])]++] = static_cast<int>(e);
    return true;
  }
};

}  // namespace

long long factorization_bytes(const SolverRecord& c) {
  const Supernodes& sn = c.sn;
  return with_value_kind(c.value, [&](auto v) {
    using T = decltype(v);
    // A WorkArray of no elements still holds one.
    auto array = [](long long count, std::size_t size) {
      return (count > 0 ? count : 1) * static_cast<long long>(size);
    };
    const long long wsize = static_cast<long long>(sn.longest) * sn.largest;
    long long bytes = FactorStore::bytes(sn, c.shape.kind, sizeof(T));
    bytes += array(sn.n, sizeof(int)) + 3 * array(sn.count, sizeof(int)) +
             array(sn.longest, sizeof(int)) + 2 * array(wsize, sizeof(T));
    if (kind_is_indefinite(c.shape.kind)) bytes += array(2LL * sn.n, sizeof(RealOf<T>));
    if (kPackedUpdates<T>)
      bytes += UpdateCrew::counted_bytes(c.factor_threads, 2 * sn.largest, sn.longest);
    if (!c.plan.empty() && (c.factor_threads > 1 || c.reproducible)) {
      // The plan's hand-over lists and the other threads' kernels.
      bytes += (sn.count + 2LL * c.plan.units) * static_cast<long long>(sizeof(int));
      bytes += MemberKernels<T>::counted_bytes(sn, c.plan, c.factor_threads, kPackedUpdates<T>,
                                               c.reproducible);
    }
    return bytes;
  });
}

template <typename T>
FactorOutcome factorize(SolverRecord* c, Factorization* f, const T* a, const MatrixPattern& m,
                        bool progress) {
  const Supernodes& sn = c->sn;
  using R = RealOf<T>;
  const int n = sn.n, ns = sn.count;
  const FactorShape shape = c->shape;
  WorkMemory* mem = &c->factor_memory;
  FactorOutcome out;
  const double t0 = platform().clock_seconds();
  const bool indefinite = kind_is_indefinite(shape.kind);
  const bool ooc = c->ooc.state == kOocStateOutOfCore;
  out.status = ooc ? f->store.prepare_out_of_core(sn, shape.kind, sizeof(T), mem, &c->ooc,
                                                  f->number, ooc_window_budget(c->ooc), f->msglvl)
                   : f->store.prepare(sn, shape.kind, sizeof(T), mem);
  if (out.status.error != 0) return out;
  const FactorBlocks<T> blocks = f->store.blocks<T>(sn);
  FactorWindow* window = blocks.window();
  WorkArray<int> map, head, next, next_row, rel;
  WorkArray<T> work, scaled;
  const std::size_t wsize = static_cast<std::size_t>(sn.longest) * sn.largest;
  if (!map.allocate(mem, n, "korvine map") || !head.allocate(mem, ns, "korvine links") ||
      !next.allocate(mem, ns, "korvine links") || !next_row.allocate(mem, ns, "korvine rows") ||
      !rel.allocate(mem, static_cast<std::size_t>(sn.longest), "korvine map") ||
      !work.allocate(mem, wsize, "korvine work", true) ||
      !scaled.allocate(mem, wsize, "korvine work")) {
    out.status = {kErrFactor, kFactorNoMemory, 0};
    return out;
  }
  // A to LU: scatter the caller's entries (scaled when scaling is on) into the zeroed storage.
  double norm = 0;          // max |a_ij| of the caller's matrix, for the report
  double factored_max = 0;  // the same after scaling: the perturbation's reference
  const long long nnz = c->nnz;
  const double* scale = sn.entry_scale.get();
  long long non_finite = -1;  // the first stored entry that is not a finite number
  auto value_of = [&](long long e) {
    return scale != nullptr ? scaled_value(a[e], scale[e]) : a[e];
  };
  for (long long e = 0; e < nnz; ++e) {
    const long long place = sn.scatter[e];
    if (place == 0) continue;
    const T v = value_of(e);
    // Out of core the entries go into each supernode's block when it enters the window.
    if (window == nullptr) {
      if (place < 0 && !blocks.has_upper())
        blocks.add_entry(-place, conj_if(shape.conjugate, v));  // the mirror image in L
      else
        blocks.add_entry(place, v);
    }
    if (!is_finite_value(v) && non_finite < 0) non_finite = e;
    norm = std::max(norm, static_cast<double>(abs_value(a[e])));
    factored_max = std::max(factored_max, static_cast<double>(abs_value(v)));
  }
  if (non_finite >= 0) {
    // No factorization of a matrix holding a NaN or an infinity means anything: the failure
    // names the caller's equation (one-based) of the first such entry.
    out.status = {kErrFactor, kFactorZeroPivot, 0};
    out.detail = static_cast<int>(std::upper_bound(m.ia, m.ia + n + 1, non_finite + m.base) - m.ia);
    return out;
  }
  // Out of core: the stored entries by supernode (counting sort on the block each place
  // falls in), for each block's assembly.
  EntriesBySupernode by_block;
  if (window != nullptr && !by_block.build(sn, nnz, mem)) {
    out.status = {kErrMemory, kStageOocStructure, 0};
    return out;
  }
  const double t1 = platform().clock_seconds();
  c->time(kTimeAtoLU, t1 - t0);
  const double eps = c->pivot_exponent == 0 ? 0.0 : std::exp(-std::abs(c->pivot_exponent) * kLn10);
  double threshold = shape.kind == FactorKind::kPerturbedLu
                         ? (eps == 0 ? kDefaultLuThreshold : std::abs(eps))
                         : eps;
  // A pivot below the working precision's rounding unit (relative to the matrix) cannot be
  // told from zero, so in single precision the threshold is at least single's epsilon; above
  // that, epsilon alone decides, with no floor that would perturb the pivots of a
  // well-conditioned matrix.
  if (threshold > 0) threshold = std::max(threshold, double{std::numeric_limits<R>::epsilon()});
  // The symmetric indefinite kernel tests its pivots as on the equilibrated matrix S*A*S,
  // whose largest entries are 1: its threshold is epsilon itself.  The block LU's is epsilon times
  // the largest entry of the (scaled) matrix.
  WorkArray<R> pivot_scale;
  if (indefinite) {
    if (!pivot_scale.allocate(mem, 2 * static_cast<std::size_t>(n), "korvine scale")) {
      out.status = {kErrFactor, kFactorNoMemory, 0};
      return out;
    }
    equilibrate(sn, m, a, pivot_scale.get(), pivot_scale.get() + n);
  } else {
    threshold *= factored_max > 0 ? factored_max : 1.0;
  }

  Kernel<T> k{sn,
              shape,
              shape_transpose(shape),
              blocks,
              blocks.has_upper(),
              blocks.diagonal(),
              blocks.pivots(),
              static_cast<R>(threshold),
              pivot_scale.get(),
              map.get(),
              head.get(),
              next.get(),
              next_row.get(),
              rel.get(),
              work.get(),
              scaled.get(),
              nullptr};
  // The updates run on the packed panels, on one thread or shared by a team of the solver's
  // threads in one parallel region (see UpdateCrew); should the panels or their tiles not be
  // had, on the multiply's path, split into row blocks for a team.  A packed update gives
  // the same bits on one thread as shared (the same row blocks), but not the same as the
  // multiply's path: reproducible results take one path for every supernode, whichever
  // thread factors it, with the same panels everywhere.
  const SubtreePlan& plan = c->plan;
  // The plan's units run at the same time on several threads; reproducible results follow
  // the plan on any number of threads, one included.  Out of core the window is walked in
  // order on one thread.
  const bool planned =
      window == nullptr && !plan.empty() && (c->factor_threads > 1 || c->reproducible);
  UpdateCrew crew;
  if (kPackedUpdates<T> &&
      crew.prepare(mem, c->factor_threads, 2 * sn.largest, sn.largest, sn.longest)) {
    k.crew = &crew;
  }
  BlockTeam team;  // shares the multiply's row blocks where there is no crew
  if (k.crew == nullptr && c->factor_threads > 1) k.team = &team;
  k.split = c->reproducible;
  BlockTeam* tail_team = nullptr;  // set once the paths are chosen, below
  // The other threads' kernels, with buffers for the units' supernodes.  A thread whose
  // buffers cannot be had stays out: the factorization runs on fewer threads.
  MemberKernels<T> members;
  int ready = 1;
  WorkArray<int> handed, handed_head, handed_tail;
  if (planned) {
    if (!handed.allocate(mem, ns, "korvine plan") ||
        !handed_head.allocate(mem, plan.units, "korvine plan") ||
        !handed_tail.allocate(mem, plan.units, "korvine plan")) {
      out.status = {kErrFactor, kFactorNoMemory, 0};
      return out;
    }
    std::fill(handed_head.get(), handed_head.get() + plan.units, -1);
    k.unit_of = plan.unit_of.get();
    k.handed = handed.get();
    k.handed_head = handed_head.get();
    k.handed_tail = handed_tail.get();
    ready = members.prepare(mem, k, plan, c->factor_threads, k.crew != nullptr, c->reproducible);
    if (c->reproducible && k.crew != nullptr && !members.all_packed()) {
      // One path for all: the multiply's.
      members.drop_crews();
      k.crew = nullptr;
      if (c->factor_threads > 1) k.team = &team;
    }
  }
  tail_team = k.crew != nullptr ? &crew.team() : k.team;
  std::fill(head.get(), head.get() + ns, -1);
  if (window != nullptr) {
    window->set_solving(false);
    window->set_factor_order(next_row.get());
    if (!window->store_structure()) {
      out.status = window->failure();
      return out;
    }
  }
  Progress prog(static_cast<double>(sn.nnz_l), progress);
  std::atomic<bool> stop{false};  // a failure anywhere, or the hook's answer
  std::atomic<int> failed_at{INT_MAX};
  std::atomic<long long> entries_done{0};
  // One supernode: assembly (out of core), the updates of its descendants, its block; false
  // on a failure.
  auto factor_one = [&](Kernel<T>& kk, int s) {
    const int lss = kk.len(s);
    const int* rs = kk.rows(s);
    for (int i = 0; i < lss; ++i) kk.map[rs[i]] = i;
    // A Cholesky supernode whose rows below its columns are exactly the next supernode's
    // rows: the next one is the rest of the same chain, and updates for both go together
    // (when the same walk takes it next).
    kk.partner = -1;
    if (window != nullptr) {
      // The block enters the window zeroed and takes its entries; it stays until stored.
      if (!blocks.acquire(s, true)) return false;
      window->pin(s);
      for (int q = by_block.start[s]; q < by_block.start[s + 1]; ++q) {
        const int e = by_block.entry[q];
        const long long place = sn.scatter[e];
        const long long at = (place > 0 ? place : -place) - 1 - sn.val_ptr[s];
        const T v = value_of(e);
        if (place > 0)
          blocks.lower(s)[at] += v;
        else if (blocks.has_upper())
          blocks.upper(s)[at] += v;
        else
          blocks.lower(s)[at] += conj_if(shape.conjugate, v);
      }
    } else if (kk.crew != nullptr && shape.kind == FactorKind::kCholesky && s + 1 < ns &&
               (kk.unit_of == nullptr || kk.unit_of[s + 1] == kk.unit_of[s])) {
      const int kw = kk.width(s), n2 = kk.len(s + 1);
      if (lss - kw == n2 && n2 > 0 && std::equal(rs + kw, rs + lss, kk.rows(s + 1)))
        kk.partner = s + 1;
    }
    while (head[s] >= 0) {
      const int d = head[s];
      head[s] = next[d];
      if (!blocks.acquire(d)) return false;
      kk.update(s, d);
    }
    const int info = kk.factor_block(s);
    if (info != 0) {
      int was = failed_at.load(std::memory_order_relaxed);
      const int eq = sn.first[s] + info;
      while (eq < was && !failed_at.compare_exchange_weak(was, eq)) {
      }
      return false;
    }
    if (window != nullptr) {
      window->unpin(s);
      if (!window->store(s)) return false;
    }
    const int kw = kk.width(s);
    kk.move_on(s, kw);
    entries_done.fetch_add(
        static_cast<long long>(kw) * (kw + 1) / 2 + static_cast<long long>(lss - kw) * kw,
        std::memory_order_relaxed);
    return true;
  };
  // Supernodes nodes[0 .. count) in order on kernel kk; the leader (thread 0) reports progress.
  auto walk = [&](Kernel<T>& kk, const int* nodes, int count, bool leader) {
    for (int i = 0; i < count && !stop.load(std::memory_order_relaxed); ++i) {
      if (!factor_one(kk, nodes != nullptr ? nodes[i] : i)) {
        stop.store(true);
      } else if (leader && !prog.at(static_cast<double>(entries_done.load()))) {
        stop.store(true);
      }
    }
  };
  std::atomic<int> next_unit{0};
  WaveBarrier barrier;
  int used = 1;  // threads that ran the factorization
  // Thread `tid` of `nt`: the waves of units, each followed by the hand-over of the updates
  // that cross the units' boundaries (in unit order, on thread 0), then the tail, walked by
  // thread 0 while the others serve its team.
  auto planned_body = [&](int tid, int nt) {
    Kernel<T>& kk = tid == 0 ? k : members.kernel(tid - 1);
    for (int w = 0; w < plan.waves; ++w) {
      const int begin = plan.wave_start[w], end = plan.wave_start[w + 1];
      plan.run_wave(w, tid, nt, &next_unit, [&](int u) {
        kk.unit = u;
        walk(kk, plan.unit_nodes(u), plan.unit_size(u), tid == 0);
        kk.unit = -1;
      });
      barrier.wait(nt);
      if (tid == 0) {
        for (int u = begin; u < end; ++u)
          for (int d = handed_head[u]; d >= 0; d = handed[d])
            k.link(d, sn.owner[sn.rows(d)[next_row[d]]]);
        next_unit.store(end);
      }
      barrier.wait(nt);
    }
    if (tid == 0) {
      walk(k, plan.order.get() + plan.tail_start, ns - plan.tail_start, true);
      if (tail_team != nullptr) tail_team->stop();
    } else if (tail_team != nullptr) {
      tail_team->serve(tid);
    }
  };
  if (planned) {
    if (ready > 1) {
#pragma omp parallel num_threads(ready)
      {
        const int tid = omp_get_thread_num(), nt = omp_get_num_threads();
        if (tid == 0) used = nt;
        planned_body(tid, nt);
      }
    } else {
      planned_body(0, 1);
    }
  } else if (tail_team != nullptr && c->factor_threads > 1) {
    // The leader walks the supernodes; the other threads take the blocks it shares until it
    // is done.
#pragma omp parallel num_threads(c->factor_threads)
    {
      if (omp_get_thread_num() == 0) {
        used = omp_get_num_threads();
        walk(k, nullptr, ns, true);
        tail_team->stop();
      } else {
        tail_team->serve(omp_get_thread_num());
      }
    }
  } else {
    walk(k, nullptr, ns, true);
  }
  members.add_counts(&k);
  bool failed = stop.load();
  if (failed_at.load() != INT_MAX) out.detail = failed_at.load();
  if (!failed && !prog.finish()) failed = true;
  if (window != nullptr) {
    window->set_factor_order(nullptr);  // next_row goes with this call
    if (!failed) window->store_pivots(blocks.pivots());
  }
  if (window != nullptr && window->failure().error != 0) {
    out.status = window->failure();
    return out;
  }
  if (failed) {
    out.status = {kErrFactor, kFactorZeroPivot, 0};
    return out;
  }
  f->team = used;
  f->perturbed = k.perturbed;
  f->positive = k.positive;
  f->negative = k.negative;
  f->mflop = sn.flops * 1e-6;
  f->norm_a = norm;
  f->present = true;
  c->time(kTimeNumfct, platform().clock_seconds() - t1);
  return out;
}

#define ZTR_INSTANTIATE(T)                                                     \
  template FactorOutcome factorize<T>(SolverRecord*, Factorization*, const T*, \
                                      const MatrixPattern&, bool);
ZTR_FOR_EACH_SOLVER_VALUE(ZTR_INSTANTIATE)
#undef ZTR_INSTANTIATE

}  // namespace ztr
