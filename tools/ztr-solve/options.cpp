#include "options.h"

#include <charconv>
#include <cstring>
#include <string_view>

#include "matrix_market.h"
#include "solver_input.h"

namespace ztr::cli {

namespace {

bool parse_int(const char* s, int& v) {
  const char* e = s + std::strlen(s);
  auto [p, ec] = std::from_chars(s, e, v);
  return ec == std::errc() && p == e && s != e;
}

}  // namespace

bool parse_options(int argc, char** argv, Options& o, std::string& error) {
  o = Options{};
  bool only_files = false;
  for (int k = 1; k < argc; ++k) {
    const std::string_view arg = argv[k];
    auto value = [&](const char*& v) {
      if (k + 1 >= argc) {
        error = std::string(arg) + " needs a value";
        return false;
      }
      v = argv[++k];
      return true;
    };
    const char* v = nullptr;
    if (only_files || arg.empty() || arg[0] != '-' || arg == "-") {
      if (!o.matrix.empty()) {
        error =
            "more than one matrix file given ('" + o.matrix + "' and '" + std::string(arg) + "')";
        return false;
      }
      o.matrix = arg;
    } else if (arg == "--") {
      only_files = true;
    } else if (arg == "-h" || arg == "--help") {
      o.help = true;
    } else if (arg == "-v") {
      o.verbose = true;
    } else if (arg == "--single") {
      o.single = true;
    } else if (arg == "--ooc") {
      o.ooc = true;
    } else if (arg == "-o" || arg == "-b") {
      if (!value(v)) return false;
      (arg == "-o" ? o.output : o.rhs) = v;
    } else if (arg == "-t") {
      if (!value(v)) return false;
      if (!parse_int(v, o.threads) || o.threads < 1) {
        error = "-t: '" + std::string(v) + "' is not a positive thread count";
        return false;
      }
    } else if (arg == "--refine") {
      if (!value(v)) return false;
      if (!parse_int(v, o.refine) || o.refine < 0) {
        error = "--refine: '" + std::string(v) + "' is not a step count (0 or more)";
        return false;
      }
    } else if (arg == "--type") {
      if (!value(v)) return false;
      if (!parse_int(v, o.mtype) || !known_mtype(o.mtype)) {
        error =
            "--type: '" + std::string(v) + "' is not a matrix type (1, 2, -2, 3, 4, -4, 6, 11, 13)";
        return false;
      }
    } else {
      error = "unknown option '" + std::string(arg) + "' (see --help)";
      return false;
    }
  }
  return true;
}

std::string help_text() {
  std::string t =
      "Usage: ztr-solve [options] [MATRIX.mtx]\n"
      "Solves A x = b with the sparse direct solver KORVINE for a square matrix in Matrix\n"
      "Market coordinate form (real, integer, pattern or complex; general, symmetric,\n"
      "skew-symmetric or hermitian, with either triangle stored).  Without a file it solves\n"
      "a built-in problem, the 7-point Laplacian of a 30 x 30 x 30 grid.\n"
      "\n"
      "Options:\n"
      "  -b FILE      right-hand sides from a Matrix Market array file (n rows, one column\n"
      "               per right-hand side); default b = A*1, and the error against 1 is shown\n"
      "  -o FILE      write the solution as a Matrix Market array file\n"
      "  -t N         use N threads\n"
      "  --type N     matrix type: 1, 2, -2, 3, 4, -4, 6, 11 or 13 (default: chosen from the\n"
      "               file: symmetric with a positive diagonal 2, falling back to -2 when the\n"
      "               matrix is not positive definite; other symmetric -2; hermitian 4, then\n"
      "               -4; complex symmetric 6; anything else 11, or 13 when complex)\n"
      "  --single     factorize and solve in single precision\n"
      "  --refine N   at most N iterative refinement steps (default: the solver's)\n"
      "  -v           print the solver's own report (message level 1)\n"
      "  --ooc        keep the factors in temporary files (out of core; the files, the\n"
      "               memory allowed and their removal follow the ZTR_KORVINE_OOC_*\n"
      "               variables or korvine_ooc.cfg)\n"
      "  -h, --help   this text\n"
      "\n"
      "Reading: entries given twice are summed; pattern entries are 1; a symmetric,\n"
      "skew-symmetric or hermitian file stores one triangle (either), and an entry in the\n"
      "other one is an error; a general file is the matrix as given, also when it holds a\n"
      "single triangle; a symmetric type forced on a general file takes its upper triangle.\n";
  t += mm::compressed_input_supported()
           ? "Gzip-compressed files (.mtx.gz) are read.\n"
           : "This build has no zlib: gzip-compressed files (.mtx.gz) are refused.\n";
  t += "\n"
       "Exit status: 0 solved; 1 the solver failed or the solution is not finite; 2 bad\n"
       "command line; 3 a file could not be read or written, or is malformed.\n";
  return t;
}

}  // namespace ztr::cli
