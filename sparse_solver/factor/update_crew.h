// The packed-panel updates of a supernodal factorization on one thread or on a team.
//
// On one thread an update is UpdateProduct::run.  On a team (see BlockTeam) the leader packs
// the update's columns once and publishes its row blocks; every member multiplies and
// scatters whole blocks with panels and a tile of its own.  Blocks write disjoint rows of the
// target, so they need no lock, and a block's result does not depend on the thread that
// computed it.  Small updates stay on the leader: publishing one costs about as much as a
// few thousand multiply-adds.
#pragma once

#include <cstddef>

#include "sparse_solver/common/block_team.h"
#include "sparse_solver/common/work_memory.h"
#include "sparse_solver/factor/update_product.h"

namespace ztr {

// Work (multiply-adds) from which an update or a solve is shared by a team: below it the
// members would spend longer noticing the step than computing their share.
inline constexpr double kSharedWorkMin = 262144.0;  // 64^3

// Operation count (flops) from which a factorization runs on a team at all.  Below it the
// large steps are too few to pay for the region: every member must be scheduled once to
// enter and once to leave it, which on a loaded machine costs a time slice each, and the
// stored test matrices (at most 1.5e8 flops) took 1.1 to 300 times the wall time of one
// thread with a team (docs/PERFORMANCE.md, "The sparse solver's thread decision").
inline constexpr double kTeamWorkMin = 1e9;

// The size from which an analysis plans several threads: kTeamWorkMin, lowered by the tests
// (before any solver call) so that small problems take the parallel paths.
inline double& team_work_min() {
  static double value = kTeamWorkMin;
  return value;
}

// The number of threads a factorization of `flops` operations runs on when `threads` are
// given to it.
inline int factor_team_size(int threads, double flops) {
  return flops >= team_work_min() && threads > 1 ? threads : 1;
}

class UpdateCrew {
 public:
  UpdateCrew() = default;
  UpdateCrew(const UpdateCrew&) = delete;
  UpdateCrew& operator=(const UpdateCrew&) = delete;
  ~UpdateCrew();

  // Panels and tiles for `members` threads (at least 1), updates of up to max_cols columns,
  // max_depth depth and max_rows rows; the tiles are counted in `mem`.  False (and nothing
  // set up) when a buffer could not be had or the processor has no blocked multiply to pack
  // for.
  bool prepare(WorkMemory* mem, int members, int max_cols, int max_depth, int max_rows);
  // The bytes prepare counts in `mem` for the same arguments.
  static long long counted_bytes(int members, int max_cols, int max_rows);
  int members() const { return members_; }
  BlockTeam& team() { return team_; }
  // Whether a step of `work` multiply-adds is shared by the team.
  bool shares(double work) const { return members_ > 1 && work >= kSharedWorkMin; }

  // UpdateProduct::run's update; on the team when it is large enough (call it from the
  // team's leader only, inside the team's region when there are several members).
  void run(const UpdateArgs& u);
  // body(context, member, b) for every b in [0, blocks): on the team when there is one,
  // otherwise in order on the calling thread.
  void for_blocks(int blocks, BlockTeam::Body body, const void* context);

 private:
  static void block(const void* context, int member, int b);
  void release();

  BlockTeam team_;
  UpdateProduct* products_ = nullptr;  // one per member; products_[0] is the leader's
  WorkArray<double> tiles_;            // one tile per member, tile_len_ apart
  std::size_t tile_len_ = 0;
  WorkArray<int> starts_;  // the row blocks of the update being shared
  int members_ = 0;
};

}  // namespace ztr
