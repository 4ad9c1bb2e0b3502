// Pieces the QR drivers share.
#pragma once

namespace ztr::qr_detail {

// Progress report after `step` columns, as thread 0 under the stage "DGEQRF": true when the
// hook asks to stop.
bool report_progress(int step);

}  // namespace ztr::qr_detail

namespace ztr::qr_detail {

// The task-parallel path of DGEQRF (nb: block width, b: blocks per task, threads >= 2,
// lwkopt: the work array it wants, k*nb + threads*b*nb*nb).  Falls back to the serial
// blocked path when its buffers cannot be allocated.  True when the progress hook stopped it.
bool dgeqrf_tasks(int m, int n, double* a, int lda, double* tau, double* work, int lwork, int* info,
                  int nb, int b, int threads, int lwkopt);

}  // namespace ztr::qr_detail
