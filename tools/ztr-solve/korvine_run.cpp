#include "korvine_run.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "include/ztr.h"

namespace ztr::cli {

namespace {

// The analysis report's line that carries the factor size (the solver has no iparm entry
// for it).
constexpr const char kFactorLine[] = "number of non-zeros in L+U:";
constexpr int kReportLevel = 1;

// Standard output sent to a temporary file for the length of one call, so that the solver's
// report can be read back.  Without a temporary file nothing is captured.
class StdoutCapture {
 public:
  StdoutCapture() {
    std::fflush(stdout);
    tmp_ = std::tmpfile();
    if (tmp_ == nullptr) return;
    saved_ = ::dup(STDOUT_FILENO);
    if (saved_ < 0 || ::dup2(::fileno(tmp_), STDOUT_FILENO) < 0) {
      if (saved_ >= 0) ::close(saved_);
      saved_ = -1;
      std::fclose(tmp_);
      tmp_ = nullptr;
    }
  }
  ~StdoutCapture() { (void)finish(); }
  bool active() const { return tmp_ != nullptr; }
  // Restores standard output; the captured text.
  std::string finish() {
    std::string text;
    if (tmp_ == nullptr) return text;
    std::fflush(stdout);
    ::dup2(saved_, STDOUT_FILENO);
    ::close(saved_);
    std::rewind(tmp_);
    char block[1 << 14];
    std::size_t got;
    while ((got = std::fread(block, 1, sizeof block, tmp_)) > 0) text.append(block, got);
    std::fclose(tmp_);
    tmp_ = nullptr;
    return text;
  }

 private:
  FILE* tmp_ = nullptr;
  int saved_ = -1;
};

double since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// The handle and the fixed arguments of one problem; phase -1 on destruction.
class Problem {
 public:
  Problem(const SolverInput& in, const int* iparm, const void* a) : in_(in), a_(a) {
    std::memcpy(iparm_, iparm, sizeof iparm_);
  }
  ~Problem() {
    const int release = -1;
    int error = 0;
    const int quiet = 0;
    KORVINE(pt_, &one_, &one_, &in_.mtype, &release, &in_.n, nullptr, nullptr, nullptr, nullptr,
            &one_, iparm_, &quiet, nullptr, nullptr, &error);
  }
  int call(int phase, int msglvl, int nrhs, void* b, void* x) {
    int error = 0;
    KORVINE(pt_, &one_, &one_, &in_.mtype, &phase, &in_.n, a_, in_.ia.data(), in_.ja.data(),
            nullptr, &nrhs, iparm_, &msglvl, b, x, &error);
    return error;
  }
  int* iparm() { return iparm_; }

 private:
  const SolverInput& in_;
  const void* a_;
  void* pt_[64] = {};
  int iparm_[64] = {};
  const int one_ = 1;
};

}  // namespace

void korvine_defaults(int mtype, int* iparm) {
  std::memset(iparm, 0, 64 * sizeof(int));
  iparm[0] = 1;
  iparm[1] = 2;
  iparm[17] = -1;
  iparm[18] = -1;
  if (mtype == 1 || mtype == 3) iparm[9] = 13;
  if (mtype == 11 || mtype == 13) {
    iparm[9] = 13;
    iparm[10] = 1;
    iparm[12] = 1;
  }
  if (mtype == -2 || mtype == -4 || mtype == 6) {
    iparm[9] = 8;
    iparm[20] = 1;
  }
}

const char* korvine_error_text(int error, int phase) {
  // A solve reports a refinement that diverged or ran out of steps with the factorization's
  // code.
  if (error == -4 && phase == 33) return "iterative refinement failed";
  switch (error) {
    case -1:
      return "input inconsistent";
    case -2:
      return "not enough memory";
    case -3:
      return "reordering problem";
    case -4:
      return "zero pivot, numerical factorization problem";
    case -5:
      return "unclassified (internal) error";
    case -6:
      return "reordering failed (matrix types 11 and 13 only)";
    case -7:
      return "diagonal matrix is singular";
    case -8:
      return "32-bit integer overflow problem";
    case -9:
      return "not enough memory for out-of-core";
    case -10:
      return "error opening out-of-core files";
    case -11:
      return "read/write error with out-of-core files";
    case -12:
      return "incorrect input matrix";
    default:
      return "unknown error";
  }
}

void run_korvine(const SolverInput& in, const std::vector<double>& b, int nrhs,
                 const RunSettings& s, RunResult& r) {
  r = RunResult{};
  int iparm[64];
  korvine_defaults(in.mtype, iparm);
  iparm[34] = 1;  // zero-based ia and ja
  if (s.single) iparm[27] = 1;
  if (s.refine >= 0) iparm[7] = s.refine;
  if (s.ooc) iparm[59] = 2;

  // The single-precision solver reads and writes floats.
  std::vector<float> af, bf, xf;
  if (s.single) {
    af.assign(in.a.begin(), in.a.end());
    bf.assign(b.begin(), b.end());
    xf.assign(b.size(), 0.0f);
  }
  Problem p(in, iparm,
            s.single ? static_cast<const void*>(af.data()) : static_cast<const void*>(in.a.data()));
  const int level = s.verbose ? kReportLevel : 0;

  // The analysis always reports, into a capture, for its factor size.
  auto t0 = std::chrono::steady_clock::now();
  std::string report;
  {
    StdoutCapture capture;
    r.error = p.call(11, capture.active() || s.verbose ? kReportLevel : 0, nrhs, nullptr, nullptr);
    report = capture.finish();
  }
  r.analysis_s = since(t0);
  if (s.verbose) {
    std::fputs(report.c_str(), stdout);
    std::fflush(stdout);
  }
  r.analysis_report = report;
  const std::size_t at = report.rfind(kFactorLine);
  if (at != std::string::npos)
    r.nnz_factors = std::strtoll(report.c_str() + at + sizeof kFactorLine - 1, nullptr, 10);
  if (r.error != 0) {
    r.failed_phase = 11;
    std::memcpy(r.iparm, p.iparm(), sizeof r.iparm);
    return;
  }

  t0 = std::chrono::steady_clock::now();
  r.error = p.call(22, level, nrhs, nullptr, nullptr);
  r.factorization_s = since(t0);
  if (r.error != 0) {
    r.failed_phase = 22;
    std::memcpy(r.iparm, p.iparm(), sizeof r.iparm);
    return;
  }

  r.x.assign(b.size(), 0.0);
  std::vector<double> bd(b);  // the solver may not change b, but takes it writable
  t0 = std::chrono::steady_clock::now();
  if (s.single) {
    r.error = p.call(33, level, nrhs, bf.data(), xf.data());
    r.x.assign(xf.begin(), xf.end());
  } else {
    r.error = p.call(33, level, nrhs, bd.data(), r.x.data());
  }
  r.solve_s = since(t0);
  if (r.error != 0) r.failed_phase = 33;
  std::memcpy(r.iparm, p.iparm(), sizeof r.iparm);
}

}  // namespace ztr::cli
