#include "sparse_solver/factor/update_crew.h"

#include <new>

#include "service/memory.h"

namespace ztr {
namespace {

struct SharedUpdate {
  const UpdateArgs* u;
  const double* columns;
  UpdateProduct* products;
  double* tiles;
  std::size_t tile_len;
  const int* starts;
};

}  // namespace

UpdateCrew::~UpdateCrew() {
  release();
}

void UpdateCrew::release() {
  if (products_ != nullptr) {
    for (int t = 0; t < members_; ++t) products_[t].~UpdateProduct();
    mm_free_direct(products_);
  }
  tiles_ = WorkArray<double>();
  starts_ = WorkArray<int>();
  products_ = nullptr;
  members_ = 0;
}

bool UpdateCrew::prepare(WorkMemory* mem, int members, int max_cols, int max_depth, int max_rows) {
  release();
  if (members < 1) members = 1;
  void* raw =
      mm_malloc_direct(sizeof(UpdateProduct) * static_cast<std::size_t>(members), kWorkAlignment);
  if (raw == nullptr) return false;
  products_ = static_cast<UpdateProduct*>(raw);
  for (int t = 0; t < members; ++t) new (products_ + t) UpdateProduct();
  members_ = members;
  tile_len_ = static_cast<std::size_t>(kUpdateRows) * static_cast<std::size_t>(max_cols);
  bool ok = tiles_.allocate(mem, tile_len_ * static_cast<std::size_t>(members), "korvine work") &&
            starts_.allocate(mem, static_cast<std::size_t>(UpdateProduct::max_blocks(max_rows)) + 1,
                             "korvine work");
  for (int t = 0; ok && t < members; ++t)
    ok = products_[t].prepare(max_cols, max_depth) && products_[t].available();
  if (!ok) release();
  return ok;
}

long long UpdateCrew::counted_bytes(int members, int max_cols, int max_rows) {
  if (members < 1) members = 1;
  const long long tiles = static_cast<long long>(kUpdateRows) * max_cols * members;
  const long long starts = UpdateProduct::max_blocks(max_rows) + 1LL;
  return tiles * static_cast<long long>(sizeof(double)) +
         starts * static_cast<long long>(sizeof(int));
}

void UpdateCrew::block(const void* context, int member, int b) {
  const SharedUpdate& s = *static_cast<const SharedUpdate*>(context);
  s.products[member].row_block(*s.u, s.columns, s.starts[b], s.starts[b + 1] - s.starts[b],
                               s.tiles + s.tile_len * static_cast<std::size_t>(member));
}

void UpdateCrew::run(const UpdateArgs& args) {
  if (args.m <= 0 || args.n <= 0 || args.k <= 0) return;
  if (!shares(static_cast<double>(args.m) * args.n * args.k)) {
    products_[0].run(args, tiles_.get());
    return;
  }
  UpdateArgs u = args;
  const double* columns = products_[0].pack_columns(&u);
  const int blocks = products_[0].plan_rows(u, starts_.get());
  const SharedUpdate shared{&u, columns, products_, tiles_.get(), tile_len_, starts_.get()};
  team_.run(blocks, &UpdateCrew::block, &shared);
}

void UpdateCrew::for_blocks(int blocks, BlockTeam::Body body, const void* context) {
  if (members_ > 1) {
    team_.run(blocks, body, context);
    return;
  }
  for (int b = 0; b < blocks; ++b) body(context, 0, b);
}

}  // namespace ztr
