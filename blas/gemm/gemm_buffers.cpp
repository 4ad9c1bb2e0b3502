// Block sizes and packed-buffer management of the blocked matrix multiply, shared by the
// processor variants.  Nothing here depends on the instruction set.
#include <cstddef>
#include <cstdint>

#include "blas/gemm/gemm_params.h"
#include "service/cpu.h"
#include "service/memory.h"

namespace ztr {
namespace {

// kc keeps a B sliver (kc x nr) in L1 next to the A slivers being multiplied; one K block
// of 256 doubles is the largest that does.  Short products take one block (at least 128 deep
// so that the packed panels are worth their cost); 257..511 are cut into two even blocks
// rather than a full one and a thin remainder.
constexpr int kKcMax = 256;
constexpr int kKcMin = 128;
// nc bounds the packed B panel; a panel of 5000 columns streams from the last cache level.
constexpr int kNcMax = 5000;
// mc: a packed A block of mc x kc doubles stays in the largest cache that holds it.
constexpr int kMcWideLargeL3 = 640;
constexpr int kMcWideSmallL3 = 384;
constexpr int kWideL3Threshold = 0x400000;  // 4 MiB
constexpr int kMcSse41LargeL2 = 960;
constexpr int kMcSse41SmallL2 = 448;
constexpr int kMcSsse3 = 512;

int cache_level_size(int level, bool* empty) {
  int table[5];
  cache_table(table);
  *empty = table[0] <= 0;
  return level <= 4 ? table[level] : 0;
}

void block_size_kc(GemmKernelParams* p, int k) {
  if (p->kc != 0) return;
  if (k < kKcMax) {
    const int kc = gemm_round_up(k, p->k_granule);
    p->kc = kc < kKcMin ? kKcMin : kc;
  } else if (k > kKcMax && k < 2 * kKcMax) {
    p->kc = gemm_round_up(k / 2, p->k_granule);
  } else {
    p->kc = kKcMax;
  }
}

void block_size_nc(GemmKernelParams* p, int n, bool round) {
  if (p->nc != 0) return;
  int nc = n > p->min_n ? n : p->min_n;
  if (nc > kNcMax) nc = kNcMax;
  p->nc = round ? gemm_round_up(nc, p->min_n) : nc;
}

char* align_up(char* p, int log2) {
  const std::uintptr_t a = std::uintptr_t{1} << log2;
  return reinterpret_cast<char*>((reinterpret_cast<std::uintptr_t>(p) + a - 1) & ~(a - 1));
}

bool wants_a(int request) {
  return request == kGemmBufAll || request == kGemmBufA || request == kGemmBufAB ||
         request == kGemmBufAEdge;
}
bool wants_b(int request) {
  return request == kGemmBufAll || request == kGemmBufB || request == kGemmBufAB ||
         request == kGemmBufBEdge;
}
bool wants_edge(int request) {
  return request == kGemmBufAll || request == kGemmBufBEdge || request == kGemmBufAEdge ||
         request == kGemmBufEdge;
}

}  // namespace

void gemm_block_size_wide(GemmKernelParams* p, int m, int n, int k) {
  (void)m;
  block_size_kc(p, k);
  if (p->mc == 0) {
    bool empty = false;
    const int l3 = cache_level_size(3, &empty);
    p->mc = empty || l3 > kWideL3Threshold ? kMcWideLargeL3 : kMcWideSmallL3;
  }
  block_size_nc(p, n, true);
}

void gemm_block_size_sse41(GemmKernelParams* p, int m, int n, int k) {
  (void)m;
  block_size_kc(p, k);
  if (p->mc == 0) {
    bool empty = false;
    const int l2 = cache_level_size(2, &empty);
    p->mc = empty || l2 > kLargeL2Bytes ? kMcSse41LargeL2 : kMcSse41SmallL2;
  }
  block_size_nc(p, n, true);
}

void gemm_block_size_ssse3(GemmKernelParams* p, int m, int n, int k) {
  (void)m;
  block_size_kc(p, k);
  if (p->mc == 0) p->mc = kMcSsse3;
  block_size_nc(p, n, false);
}

int gemm_buffer_size(GemmKernelParams* p, int request, int bound, int m, int n, int k) {
  if (request < kGemmBufAll || request > kGemmBufEdge) return 1;
  int mb = p->mc, nb = p->nc, kb = p->kc;
  if (bound == kGemmBoundByProblem) {
    if (m < mb) mb = m;
    if (n < nb) nb = n;
    if (k < kb) kb = k;
  } else if (bound != kGemmBoundByBlocks) {
    return 1;
  }
  const int mr = p->min_m, nr = p->min_n;
  const int kbp = gemm_round_up(kb, p->k_granule);
  const int mbp = gemm_round_up(mb, mr), nbp = gemm_round_up(nb, nr);
  constexpr int w = static_cast<int>(sizeof(double));
  if (wants_a(request)) {
    p->a_size = mbp * w * kbp + kGemmBufferSlack;
    p->a_align_log2 = kGemmPanelAlignLog2;
    p->a_stride = mr * kbp;
  }
  if (wants_b(request)) {
    p->b_size = nbp * w * kbp + kGemmBufferSlack;
    p->b_align_log2 = kGemmPanelAlignLog2;
    p->b_stride = kbp * nr;
  }
  if (wants_edge(request)) {
    p->edge_size = kbp * w * nr * p->edge_multiple + kGemmBufferSlack;
    p->edge_align_log2 = kGemmEdgeAlignLog2;
  }
  return 0;
}

void* gemm_buffer_alloc(GemmKernelParams* p, int request) {
  if (request < kGemmBufAll || request > kGemmBufEdge) return nullptr;
  const bool a = wants_a(request), b = wants_b(request), e = wants_edge(request);
  std::size_t total = 0;
  if (a) total += static_cast<std::size_t>(p->a_size) + (std::size_t{2} << p->a_align_log2);
  if (e) total += static_cast<std::size_t>(p->edge_size) + (std::size_t{2} << p->edge_align_log2);
  if (b) total += static_cast<std::size_t>(p->b_size) + (std::size_t{2} << p->b_align_log2);
  char* raw = static_cast<char*>(mm_malloc(total, kWorkAlignment));
  if (raw == nullptr) return nullptr;
  char* cursor = raw;
  if (a) {
    cursor = align_up(cursor, p->a_align_log2);
    p->a_buf = reinterpret_cast<double*>(cursor);
    cursor += p->a_size;
  }
  if (e) {
    cursor = align_up(cursor, p->edge_align_log2);
    p->edge_buf = reinterpret_cast<double*>(cursor);
    cursor += p->edge_size;
  }
  if (b) {
    cursor = align_up(cursor, p->b_align_log2);
    p->b_buf = reinterpret_cast<double*>(cursor);
  }
  return raw;
}

}  // namespace ztr
