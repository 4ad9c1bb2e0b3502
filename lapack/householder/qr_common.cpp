#include "lapack/householder/qr_common.h"

#include "service/error.h"

namespace ztr::qr_detail {

namespace {
constexpr char kStage[] = "DGEQRF";
constexpr int kStageLength = 6;
}  // namespace

bool report_progress(int step) {
  const int thread = 0;
  return progress_call(&thread, &step, kStage, kStageLength) != 0;
}

}  // namespace ztr::qr_detail
