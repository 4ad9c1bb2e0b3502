#include "sparse_solver/interface/report.h"

#include <algorithm>
#include <cmath>

#include "service/messages.h"
#include "sparse_solver/interface/handle.h"
#include "sparse_solver/interface/ooc_config.h"
#include "sparse_solver/common/solver_messages.h"

namespace ztr {
namespace {

void blank() {
  msg_print(kMsgBlankLine, 0);
}
void unknown(int code) {
  msg_print(kSmUnknownMessage, 1, code);
}

void banner(int mtype) {
  switch (mtype) {
    case 2:
      msg_print(kSmBannerSpd, 0);
      break;
    case -2:
      msg_print(kSmBannerSymIndef, 0);
      break;
    case 4:
      msg_print(kSmBannerHpd, 0);
      break;
    case -4:
      msg_print(kSmBannerHermIndef, 0);
      break;
    case 6:
      msg_print(kSmBannerComplexSym, 0);
      break;
    case 1:
      msg_print(kSmBannerStructSym, 0);
      break;
    case 3:
      msg_print(kSmBannerComplexStructSym, 0);
      break;
    case 11:
      msg_print(kSmBannerNonsym, 0);
      break;
    case 13:
      msg_print(kSmBannerComplexNonsym, 0);
      break;
    default:
      unknown(mtype);
  }
}

void features(const ReportInput& r) {
  const int* ip = r.iparm;
  msg_print(kSmFeatVersion, 1, ip[kIpVersion]);
  if (ip[kIpChecker] == 1 || r.control->matrix_checked) msg_print(kSmFeatChecker, 0);
  if (ip[kIpZeroBased] == 0)
    msg_print(kSmFeatOneBased, 0);
  else if (ip[kIpZeroBased] == 1)
    msg_print(kSmFeatZeroBased, 0);
  if (ip[kIpSingle] == 0)
    msg_print(kSmFeatDouble, 0);
  else if (ip[kIpSingle] == 1)
    msg_print(kSmFeatSingle, 0);
  if (ip[kIpUserPerm] == 1) {
    msg_print(kSmFeatUserPerm, 0);
  } else {
    switch (ip[kIpOrdering]) {
      case 0:
        msg_print(kSmFeatMinDegree, 0);
        break;
      case 2:
        msg_print(kSmFeatNd, 0);
        break;
      case 3:
        msg_print(kSmFeatParallelNd, 0);
        break;
      default:
        unknown(ip[kIpOrdering]);
    }
  }
  if (ip[kIpReproducible] > 0) msg_print(kSmFeatReproducible, 0);
  // Only what ran: the switches are honoured for some types only, and a structurally
  // singular symmetric matrix is factored without them.
  if (ip[kIpScaling] == 1 && r.control->scaling) msg_print(kSmFeatScaling, 0);
  if (ip[kIpMatching] == 1 && r.control->matching) msg_print(kSmFeatMatching, 0);
}

void summary(int phase) {
  int p = phase >= 331 ? 33 : phase;
  const int s = p / 10, e = p % 10;
  if (s == e)
    msg_print(s == 1 ? kSmSummaryReorder : s == 2 ? kSmSummaryFactor : kSmSummarySolve, 0);
  else if (s == 1 && e == 2)
    msg_print(kSmSummaryReorderFactor, 0);
  else if (s == 1 && e == 3)
    msg_print(kSmSummaryReorderSolve, 0);
  else
    msg_print(kSmSummaryFactorSolve, 0);
  msg_print(kSmSummaryRule, 0);
  blank();
}

bool out_of_core(const ControlRecord* c) {
  return c->ooc.state == kOocStateOutOfCore;
}

// 100 * part / whole rounded, held to 0 .. 100 (the transfers are part of the step); 0 when
// the step took no measurable time.
int percent(double part, double whole) {
  if (!(whole > 0)) return 0;
  return static_cast<int>(std::lround(std::clamp(100.0 * part / whole, 0.0, 100.0)));
}

double megabytes(double bytes) {
  return bytes / 1e6;
}

void times(const ReportInput& r) {
  const ControlRecord* c = r.control;
  msg_print(kSmTimes, 0);
  msg_print(kSmTimesRule, 0);
  double sum = 0;
  for (int slot = 1; slot < kTimeSlots; ++slot) {
    if (!c->timer_active[slot]) continue;
    const double t = c->timers[slot];
    if (slot == kTimeCgs) {
      msg_print(kSmTimeCgs, 2, t, r.iparm[kIpIterationResult]);
      blank();
      sum += t;
    } else if (slot == kTimeTotal) {
      msg_print(kSmTimeAdditional, 1, t - sum);
      msg_print(kSmTimeTotal, 1, t);
    } else {
      msg_print(slot == kTimeMalloc ? kSmTimeFirst + 7 : kSmTimeFirst + slot - 1, 1, t);
      sum += t;
      if (slot == kTimeNumfct && out_of_core(c)) {
        msg_print(kSmOocTimeFactorWrite, 1, c->ooc.write_time_factor);
        msg_print(kSmOocTimeFactorRead, 1, c->ooc.read_time_factor);
      } else if (slot == kTimeSolve && out_of_core(c)) {
        msg_print(kSmOocTimeSolveRead, 1, c->ooc.read_time_solve);
      }
    }
  }
}

// Whether the factorization of the report shared its steps on a team: what the factorization
// held did, or, before any, what the analysis planned (several threads for a large problem).
bool shares_steps(const ReportInput& r) {
  const ControlRecord* c = r.control;
  if (r.factor != nullptr) return r.factor->team > 1;
  return c->factor_threads > 1;
}

void statistics(const ReportInput& r) {
  const ControlRecord* c = r.control;
  const Supernodes& sn = c->sn;
  blank();
  msg_print(kSmStatistics, 0);
  msg_print(kSmStatisticsRule, 0);
  msg_print(kSmProcessors, 1, c->threads);
  if (r.iparm[kIpIterative] % 10 > 0)
    msg_print(kSmHybrid, 0);
  else if (shares_steps(r))
    msg_print(kSmParallelFactor, 0);
  else
    msg_print(kSmLevel3Factor, 0);
  blank();
  msg_print(c->transpose_mode == 1 ? kSmSystemTranspose : kSmSystem, 0);
  msg_print(kSmEquations, 1, r.n);
  msg_print(kSmNnzA, 1, r.nnz);
  msg_print(kSmDensity, 1, 100.0 * r.nnz / (static_cast<double>(r.n) * r.n));
  msg_print(kSmRhs, 1, r.nrhs);
  blank();
  msg_print(kSmFactors, 0);
  if (c->ordering == 0) {
    msg_print(kSmMmdTree, 0);
    msg_print(kSmReduction, 0);
  }
  msg_print(kSmPanel, 1, c->panel_width);
  msg_print(kSmSubgraphs, 1, c->subgraphs);
  if (c->user_perm > 0)
    msg_print(kSmInputPerm, 0);
  else if (c->ordering == 1) {
    msg_print(kSmMmdConstraints, 0);
    msg_print(kSmNoMmdOnSeparators, 0);
  } else if (c->ordering == 2) {
    msg_print(kSmMetis, 0);
  }
  msg_print(kSmSupernodes, 1, sn.count);
  msg_print(kSmLargestSupernode, 1, sn.largest);
  msg_print(kSmNnzL, 1, static_cast<int>(sn.nnz_l));
  msg_print(kSmNnzU, 1, static_cast<int>(sn.nnz_u));
  msg_print(kSmNnzLU, 1, static_cast<int>(sn.nnz_l + sn.nnz_u));
  if (r.phase >= 12 && r.factor != nullptr) {
    const double mflop = r.factor->mflop;
    msg_print(kSmGflop, 1, mflop * 0.001);
    const double t = c->timers[kTimeNumfct];
    if (c->timer_active[kTimeNumfct] && t > 0) msg_print(kSmGflops, 1, mflop / t * 0.001);
    if (r.factor->norm_a > 0) msg_print(kSmNormA, 1, r.factor->norm_a);
  }
}

}  // namespace

void print_report(const ReportInput& r) {
  const ControlRecord* c = r.control;
  blank();
  banner(r.mtype);
  if (c->timer_active[kTimeFulladj] || c->timer_active[kTimeReorder]) features(r);
  if (c->timer_active[kTimeAtoLU])
    msg_print(out_of_core(c) ? kSmFeatOoc : c->two_level ? kSmFeatTwoLevel : kSmFeatSingleLevel, 0);
  blank();
  blank();
  if (r.phase == 0) {
    msg_print(kSmSummaryCleaning, 0);
    blank();
    msg_print(kSmDeletedOne, 1, r.mnum);
    blank();
    return;
  }
  summary(r.phase);
  times(r);
  if (out_of_core(c) && c->timer_active[kTimeSolve])
    print_ooc_statistics(c->ooc, c->timers[kTimeNumfct], c->timers[kTimeSolve],
                         c->timers[kTimeTotal]);
  statistics(r);
}

void print_ooc_statistics(const OocRecord& ooc, double numfct, double solve, double total) {
  const int wf = percent(ooc.write_time_factor, numfct);
  const int rf = percent(ooc.read_time_factor, numfct);
  const int rs = percent(ooc.read_time_solve, solve);
  const int rt = percent(ooc.write_time_factor + ooc.read_time_factor + ooc.read_time_solve, total);
  msg_print(kSmOocStatRule, 0);
  msg_print(kSmOocStatTimeHeading, 0);
  msg_print(kSmOocStatFactorPercent, 0);
  msg_print(kSmOocStatWritePercent, 1, wf);
  msg_print(kSmOocStatReadPercent, 1, rf);
  msg_print(kSmOocStatFactorRest, 1, 100 - wf - rf);
  msg_print(kSmOocStatSolvePercent, 0);
  msg_print(kSmOocStatReadPercent, 1, rs);
  msg_print(kSmOocStatSolveRest, 1, 100 - rs);
  msg_print(kSmOocStatTotalPercent, 0);
  msg_print(kSmOocStatReadPercent, 1, rt);
  msg_print(kSmOocStatTotalRest, 1, 100 - rt);
  msg_print(kSmOocStatMbHeading, 0);
  msg_print(kSmOocStatFactorMb, 0);
  msg_print(kSmOocStatWriteMb, 1, megabytes(ooc.written_factor));
  msg_print(kSmOocStatReadMb, 1, megabytes(ooc.read_factor));
  msg_print(kSmOocStatSolveMb, 0);
  msg_print(kSmOocStatReadMb, 1, megabytes(ooc.read_solve));
  msg_print(kSmOocStatTransferred, 0);
  msg_print(kSmOocStatWriteReadMb, 1,
            megabytes(static_cast<double>(ooc.written_factor) + ooc.read_factor + ooc.read_solve));
  msg_print(kSmOocStatRule, 0);
}

}  // namespace ztr
