// The factor store and the factor kind: where each supernode's blocks lie, what each kind
// keeps, storage reused between factorizations, entries placed by the scatter map; and the
// kind, conjugation and transpose letter of every matrix type.
#include <gtest/gtest.h>

#include <vector>

#include "sparse_solver/common/factor_kind.h"
#include "sparse_solver/storage/factor_store.h"

namespace ztr::test {
namespace {

WorkMemory g_test_memory;

// Three supernodes of widths 2, 1, 2 with 4, 3 and 2 rows.
Supernodes three_supernodes() {
  Supernodes sn;
  sn.n = 5;
  sn.count = 3;
  const std::vector<int> first{0, 2, 3, 5};
  const std::vector<long long> row_ptr{0, 4, 7, 9}, val_ptr{0, 8, 11, 15};
  const std::vector<int> lindx{0, 1, 2, 4, 2, 3, 4, 3, 4};
  sn.first.allocate(&g_test_memory, first.size(), "test");
  sn.row_ptr.allocate(&g_test_memory, row_ptr.size(), "test");
  sn.val_ptr.allocate(&g_test_memory, val_ptr.size(), "test");
  sn.lindx.allocate(&g_test_memory, lindx.size(), "test");
  sn.owner.allocate(&g_test_memory, 5, "test");
  for (std::size_t i = 0; i < first.size(); ++i) sn.first[i] = first[i];
  for (std::size_t i = 0; i < row_ptr.size(); ++i)
    sn.row_ptr[i] = row_ptr[i], sn.val_ptr[i] = val_ptr[i];
  for (std::size_t i = 0; i < lindx.size(); ++i) sn.lindx[i] = lindx[i];
  const int owner[5] = {0, 0, 1, 2, 2};
  for (int i = 0; i < 5; ++i) sn.owner[i] = owner[i];
  sn.values = 15;
  return sn;
}

TEST(FactorStore, BlocksLieWhereTheLayoutPutsThemAndEachKindKeepsItsParts) {
  const Supernodes sn = three_supernodes();
  EXPECT_EQ(sn.len(1), 3);
  EXPECT_EQ(sn.width(2), 2);
  EXPECT_EQ(sn.rows(1)[2], 4);
  EXPECT_EQ(sn.parent(0), 1);
  EXPECT_EQ(sn.parent(1), 2);
  EXPECT_EQ(sn.parent(2), -1);
  unsigned char need[3] = {1, 0, 0};
  mark_ancestors(sn, need);
  EXPECT_EQ(need[1] + need[2], 2);
  WorkMemory mem;
  for (const FactorKind kind :
       {FactorKind::kCholesky, FactorKind::kLdlt, FactorKind::kPerturbedLu}) {
    FactorStore store;
    ASSERT_EQ(store.prepare(sn, kind, sizeof(double), &mem).error, 0);
    const FactorBlocks<double> b = store.blocks<double>(sn);
    for (int s = 0; s < sn.count; ++s) EXPECT_EQ(b.lower(s) - b.lower(0), sn.val_ptr[s]);
    EXPECT_EQ(b.has_upper(), kind == FactorKind::kPerturbedLu);
    EXPECT_EQ(b.diagonal() != nullptr, kind == FactorKind::kLdlt);
    if (b.diagonal() != nullptr) {
      EXPECT_EQ(b.sub_diagonal() - b.diagonal(), sn.n);
    }
    if (b.has_upper()) {
      EXPECT_EQ(b.upper(2) - b.upper(0), sn.val_ptr[2]);
    }
    for (int i = 0; i < sn.values; ++i) EXPECT_EQ(b.lower(0)[i], 0.0);
    // The scatter map's places: +(p+1) in L, -(p+1) in U.
    b.add_entry(1, 2.0);
    b.add_entry(15, 3.0);
    EXPECT_EQ(b.lower(0)[0], 2.0);
    EXPECT_EQ(b.lower(2)[3], 3.0);
    if (b.has_upper()) {
      b.add_entry(-9, 4.0);
      EXPECT_EQ(b.upper(1)[0], 4.0);
      EXPECT_EQ(b.lower(1)[0], 0.0);
    }
    // The next factorization of the same size gets the same storage, cleared; one of another
    // value size gets new storage.
    double* const before = b.lower(0);
    ASSERT_EQ(store.prepare(sn, kind, sizeof(double), &mem).error, 0);
    EXPECT_EQ(store.blocks<double>(sn).lower(0), before);
    EXPECT_EQ(store.blocks<double>(sn).lower(2)[3], 0.0);
    ASSERT_EQ(store.prepare(sn, kind, sizeof(float), &mem).error, 0);
    EXPECT_EQ(store.blocks<float>(sn).lower(2)[3], 0.0f);
    store.release();
  }
  EXPECT_EQ(mem.in_use.load(), 0);
}

TEST(FactorKind, EveryMatrixTypeGetsItsKindConjugationAndTranspose) {
  struct Case {
    int mtype;
    FactorKind kind;
    bool conjugate;
  };
  for (const Case& c : {Case{2, FactorKind::kCholesky, false},
                        {4, FactorKind::kCholesky, true},
                        {-2, FactorKind::kLdlt, false},
                        {6, FactorKind::kLdlt, false},
                        {-4, FactorKind::kLdlh, true},
                        {1, FactorKind::kPivotedLu, false},
                        {3, FactorKind::kPivotedLu, false},
                        {11, FactorKind::kPerturbedLu, false},
                        {13, FactorKind::kPerturbedLu, false}}) {
    const FactorShape s = factor_shape(c.mtype);
    SCOPED_TRACE(c.mtype);
    EXPECT_EQ(s.kind, c.kind);
    EXPECT_EQ(s.conjugate, c.conjugate);
    EXPECT_EQ(shape_transpose(s), c.conjugate ? 'C' : 'T');
    EXPECT_EQ(kind_has_u(s.kind), c.mtype % 2 != 0);
    EXPECT_EQ(kind_is_indefinite(s.kind), c.mtype == -2 || c.mtype == -4 || c.mtype == 6);
  }
}

}  // namespace
}  // namespace ztr::test
