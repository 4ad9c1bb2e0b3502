// The command line of ztr-solve and its help text.
#pragma once

#include <string>

namespace ztr::cli {

struct Options {
  std::string matrix;    // empty: the built-in problem
  std::string rhs;       // -b FILE; empty: b = A*1
  std::string output;    // -o FILE
  int threads = 0;       // -t N; 0: the library's choice
  int mtype = 0;         // --type N; 0: chosen from the file
  int refine = -1;       // --refine N; -1: the solver's default
  bool single = false;   // --single
  bool verbose = false;  // -v
  bool ooc = false;      // --ooc
  bool help = false;     // --help
};

// Exit statuses of the program.
enum Status {
  kOk = 0,
  kSolverFailed = 1,  // the solver reported an error, or the solution is not finite
  kUsage = 2,         // a bad command line
  kInput = 3,         // a file could not be read or written, or is malformed
};

// Parses argv; false and a message (without the program name) on a bad command line.
bool parse_options(int argc, char** argv, Options& o, std::string& error);

// The --help text.
std::string help_text();

}  // namespace ztr::cli
