#include "matrix_market.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "line_source.h"

namespace ztr::mm {

namespace {

// Bytes of the shortest entry line ("1 1\n"): a declared count above file size / this cannot
// be right, so storage is never reserved beyond what the file can hold.
constexpr std::uint64_t kShortestEntry = 4;
// Storage reserved up front when the size of the text is unknown (compressed, a pipe).
constexpr std::size_t kCompressedReserve = std::size_t{1} << 20;
// Longest token quoted back in a message.
constexpr std::size_t kQuoteLimit = 40;

bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\v' || c == '\f';
}

// Whitespace-separated tokens of one line.
class Tokens {
 public:
  explicit Tokens(std::string_view s) : p_(s.data()), end_(s.data() + s.size()) {}
  bool next(std::string_view& t) {
    while (p_ < end_ && is_space(*p_)) ++p_;
    if (p_ == end_) return false;
    const char* s = p_;
    while (p_ < end_ && !is_space(*p_)) ++p_;
    t = std::string_view(s, static_cast<std::size_t>(p_ - s));
    return true;
  }

 private:
  const char* p_;
  const char* end_;
};

std::string quote(std::string_view t) {
  std::string q(t.substr(0, kQuoteLimit));
  if (t.size() > kQuoteLimit) q += "...";
  return "'" + q + "'";
}

bool parse_int64(std::string_view t, std::int64_t& v) {
  const char* b = t.data();
  const char* e = b + t.size();
  if (b < e && *b == '+') ++b;
  auto [p, ec] = std::from_chars(b, e, v);
  return ec == std::errc() && p == e && b < e;
}

// A finite double; `why` says what was wrong otherwise.
bool parse_double(std::string_view t, double& v, const char*& why) {
  const char* b = t.data();
  const char* e = b + t.size();
  if (b < e && *b == '+') ++b;
  auto [p, ec] = std::from_chars(b, e, v);
  if (ec == std::errc::result_out_of_range) {
    why = "is out of the range of double precision";
    return false;
  }
  if (ec != std::errc() || p != e || b == e) {
    why = "is not a number";
    return false;
  }
  if (!std::isfinite(v)) {
    why = "is not a finite number";
    return false;
  }
  return true;
}

std::string lower(std::string_view s) {
  std::string r(s);
  for (char& c : r)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return r;
}

struct Header {
  bool coordinate = true;
  Field field = Field::kReal;
  Symmetry symmetry = Symmetry::kGeneral;
};

// The banner line: "%%MatrixMarket matrix <format> <field> <symmetry>".
bool read_header(LineSource& src, Header& h, std::string& error) {
  std::string_view line;
  if (!src.next(line, error)) {
    if (error.empty()) error = src.path() + ":1: empty file, no Matrix Market header";
    return false;
  }
  Tokens tok(line);
  std::string_view banner, object, format, field, symmetry, extra;
  if (!tok.next(banner) || banner != "%%MatrixMarket") {
    error =
        src.where() + "not a Matrix Market file (the first line must begin with %%MatrixMarket)";
    return false;
  }
  if (!tok.next(object) || !tok.next(format) || !tok.next(field) || !tok.next(symmetry)) {
    error = src.where() +
            "incomplete header: expected %%MatrixMarket matrix <format> <field> <symmetry>";
    return false;
  }
  if (tok.next(extra)) {
    error = src.where() + "unexpected " + quote(extra) + " at the end of the header";
    return false;
  }
  if (lower(object) != "matrix") {
    error = src.where() + "the object is " + quote(object) + "; only matrix files are read";
    return false;
  }
  const std::string fmt = lower(format), fld = lower(field), sym = lower(symmetry);
  if (fmt == "coordinate") {
    h.coordinate = true;
  } else if (fmt == "array") {
    h.coordinate = false;
  } else {
    error = src.where() + "unknown format " + quote(format) + " (coordinate or array)";
    return false;
  }
  if (fld == "real" || fld == "double") {
    h.field = Field::kReal;
  } else if (fld == "integer") {
    h.field = Field::kInteger;
  } else if (fld == "pattern") {
    h.field = Field::kPattern;
  } else if (fld == "complex") {
    h.field = Field::kComplex;
  } else {
    error = src.where() + "unknown field " + quote(field) + " (real, integer, pattern or complex)";
    return false;
  }
  if (sym == "general") {
    h.symmetry = Symmetry::kGeneral;
  } else if (sym == "symmetric") {
    h.symmetry = Symmetry::kSymmetric;
  } else if (sym == "skew-symmetric") {
    h.symmetry = Symmetry::kSkewSymmetric;
  } else if (sym == "hermitian") {
    h.symmetry = Symmetry::kHermitian;
  } else {
    error = src.where() + "unknown symmetry " + quote(symmetry) +
            " (general, symmetric, skew-symmetric or hermitian)";
    return false;
  }
  if (h.symmetry == Symmetry::kHermitian && h.field != Field::kComplex) {
    error = src.where() + "a hermitian matrix must be complex";
    return false;
  }
  if (h.field == Field::kPattern && (!h.coordinate || h.symmetry == Symmetry::kSkewSymmetric)) {
    error = src.where() + "pattern is allowed only for general or symmetric coordinate files";
    return false;
  }
  return true;
}

// The first line that is neither blank nor a comment; false at the end of the file.
bool next_data_line(LineSource& src, std::string_view& line, std::string& error) {
  while (src.next(line, error)) {
    std::size_t i = 0;
    while (i < line.size() && is_space(line[i])) ++i;
    if (i < line.size() && line[i] != '%') return true;
  }
  return false;
}

// The size line: `count` non-negative integers, each at most INT_MAX.
bool read_sizes(LineSource& src, int count, std::int64_t* v, std::string& error) {
  std::string_view line;
  if (!next_data_line(src, line, error)) {
    if (error.empty())
      error = src.path() + ":" + std::to_string(src.line_number() + 1) +
              ": the file ends before the size line";
    return false;
  }
  static const char* const kNames[3] = {"number of rows", "number of columns", "number of entries"};
  Tokens tok(line);
  for (int k = 0; k < count; ++k) {
    std::string_view t;
    if (!tok.next(t)) {
      error = src.where() + "the size line needs " + std::to_string(count) + " integers";
      return false;
    }
    if (!parse_int64(t, v[k]) || v[k] < 0) {
      error = src.where() + "the " + kNames[k] + " " + quote(t) + " is not a non-negative integer";
      return false;
    }
    if (v[k] > INT_MAX) {
      error = src.where() + "the " + kNames[k] + " " + std::string(t) +
              " exceeds the 32-bit index range";
      return false;
    }
  }
  std::string_view extra;
  if (tok.next(extra)) {
    error = src.where() + "unexpected " + quote(extra) + " on the size line";
    return false;
  }
  if (v[0] == 0 || v[1] == 0) {
    error = src.where() + "the matrix has no rows or no columns";
    return false;
  }
  return true;
}

// Storage to reserve for `declared` items of at least `per_item` bytes each.
std::size_t reserve_for(const LineSource& src, std::int64_t declared, std::uint64_t per_item) {
  const std::uint64_t cap =
      src.known_size() > 0 ? src.known_size() / per_item + 1 : kCompressedReserve;
  return static_cast<std::size_t>(
      std::min<std::uint64_t>(static_cast<std::uint64_t>(declared), cap));
}

const char* triangle_name(Triangle t) {
  return t == Triangle::kLower ? "lower" : "upper";
}

}  // namespace

bool compressed_input_supported() {
#ifdef ZTR_SOLVE_HAVE_ZLIB
  return true;
#else
  return false;
#endif
}

bool read_coordinate(const std::string& path, Coordinate& out, std::string& error) {
  out = Coordinate{};
  error.clear();
  LineSource src;
  if (!src.open(path, error)) return false;
  Header h;
  if (!read_header(src, h, error)) return false;
  if (!h.coordinate) {
    error = src.where() + "a dense array file where a sparse coordinate matrix is expected";
    return false;
  }
  std::int64_t size[3] = {};
  if (!read_sizes(src, 3, size, error)) return false;
  const long size_line = src.line_number();
  const int rows = static_cast<int>(size[0]), cols = static_cast<int>(size[1]);
  const std::int64_t nnz = size[2];
  const bool symmetric_kind = h.symmetry != Symmetry::kGeneral;
  if (symmetric_kind && rows != cols) {
    error = src.where() + "a symmetric, skew-symmetric or hermitian matrix must be square";
    return false;
  }
  const std::int64_t most =
      symmetric_kind ? std::int64_t{rows} * (rows + 1) / 2 : std::int64_t{rows} * cols;
  if (nnz > most) {
    error = src.where() + std::to_string(nnz) + " entries declared, more than a " +
            std::to_string(rows) + " x " + std::to_string(cols) + " matrix of this kind holds";
    return false;
  }
  out.rows = rows;
  out.cols = cols;
  out.field = h.field;
  out.symmetry = h.symmetry;
  const bool complex = h.field == Field::kComplex;
  const std::size_t reserve = reserve_for(src, nnz, kShortestEntry);
  out.row.reserve(reserve);
  out.col.reserve(reserve);
  out.re.reserve(reserve);
  if (complex) out.im.reserve(reserve);

  long triangle_line = 0;
  std::string_view line;
  std::int64_t count = 0;
  while (next_data_line(src, line, error)) {
    if (count == nnz) {
      error = src.where() + "more entries than the " + std::to_string(nnz) + " declared on line " +
              std::to_string(size_line);
      return false;
    }
    Tokens tok(line);
    std::string_view t;
    std::int64_t ij[2];
    for (int k = 0; k < 2; ++k) {
      const char* name = k == 0 ? "row" : "column";
      const std::int64_t limit = k == 0 ? rows : cols;
      if (!tok.next(t)) {
        error = src.where() + "expected a row and a column index";
        return false;
      }
      if (!parse_int64(t, ij[k])) {
        error = src.where() + "the " + name + " index " + quote(t) + " is not an integer";
        return false;
      }
      if (ij[k] < 1 || ij[k] > limit) {
        error = src.where() + "the " + name + " index " + std::string(t) +
                " is out of the range 1.." + std::to_string(limit);
        return false;
      }
    }
    const int i = static_cast<int>(ij[0]) - 1, j = static_cast<int>(ij[1]) - 1;
    double v[2] = {1.0, 0.0};
    const int nvalues = h.field == Field::kPattern ? 0 : complex ? 2 : 1;
    for (int k = 0; k < nvalues; ++k) {
      if (!tok.next(t)) {
        error = src.where() + (complex && k == 1 ? "expected the imaginary part of the value"
                                                 : "expected a value after the indices");
        return false;
      }
      if (h.field == Field::kInteger) {
        std::int64_t iv;
        if (!parse_int64(t, iv)) {
          error = src.where() + "the value " + quote(t) + " is not an integer";
          return false;
        }
        v[k] = static_cast<double>(iv);
      } else {
        const char* why = "";
        if (!parse_double(t, v[k], why)) {
          error = src.where() + "the value " + quote(t) + " " + why;
          return false;
        }
      }
    }
    if (tok.next(t)) {
      error = src.where() + "unexpected " + quote(t) + " after the entry";
      return false;
    }
    if (symmetric_kind) {
      if (i != j) {
        const Triangle side = i > j ? Triangle::kLower : Triangle::kUpper;
        if (out.triangle == Triangle::kNone) {
          out.triangle = side;
          triangle_line = src.line_number();
        } else if (out.triangle != side) {
          error = src.where() + "entry (" + std::to_string(i + 1) + ", " + std::to_string(j + 1) +
                  ") lies in the " + triangle_name(side) + " triangle, but line " +
                  std::to_string(triangle_line) + " put the file's entries in the " +
                  triangle_name(out.triangle) + " one; a symmetric file stores one triangle only";
          return false;
        }
      } else if (h.symmetry == Symmetry::kSkewSymmetric && v[0] != 0) {
        error = src.where() + "a skew-symmetric matrix has a zero diagonal, but entry (" +
                std::to_string(i + 1) + ", " + std::to_string(i + 1) + ") is not zero";
        return false;
      } else if (h.symmetry == Symmetry::kHermitian && v[1] != 0) {
        error = src.where() + "the diagonal entry (" + std::to_string(i + 1) + ", " +
                std::to_string(i + 1) + ") of a hermitian matrix has a non-zero imaginary part";
        return false;
      }
    }
    out.row.push_back(i);
    out.col.push_back(j);
    out.re.push_back(v[0]);
    if (complex) out.im.push_back(v[1]);
    ++count;
  }
  if (!error.empty()) return false;
  if (count < nnz) {
    error = src.path() + ":" + std::to_string(src.line_number() + 1) + ": the file ends after " +
            std::to_string(count) + " of the " + std::to_string(nnz) +
            " entries declared on line " + std::to_string(size_line);
    return false;
  }
  return true;
}

bool read_array(const std::string& path, Dense& out, std::string& error) {
  out = Dense{};
  error.clear();
  LineSource src;
  if (!src.open(path, error)) return false;
  Header h;
  if (!read_header(src, h, error)) return false;
  if (h.coordinate) {
    error = src.where() + "a sparse coordinate file where a dense array is expected";
    return false;
  }
  if (h.symmetry != Symmetry::kGeneral) {
    error = src.where() + "only general array files are read";
    return false;
  }
  std::int64_t size[2] = {};
  if (!read_sizes(src, 2, size, error)) return false;
  const long size_line = src.line_number();
  out.rows = static_cast<int>(size[0]);
  out.cols = static_cast<int>(size[1]);
  out.complex = h.field == Field::kComplex;
  const std::int64_t per = out.complex ? 2 : 1;
  const std::int64_t want = size[0] * size[1] * per;
  out.values.reserve(reserve_for(src, want, 2));
  std::string_view line;
  std::int64_t count = 0;
  while (next_data_line(src, line, error)) {
    Tokens tok(line);
    std::string_view t;
    while (tok.next(t)) {
      if (count == want) {
        error = src.where() + "more values than the " + std::to_string(size[0]) + " x " +
                std::to_string(size[1]) + " declared on line " + std::to_string(size_line);
        return false;
      }
      double v;
      const char* why = "";
      if (h.field == Field::kInteger) {
        std::int64_t iv;
        if (!parse_int64(t, iv)) {
          error = src.where() + "the value " + quote(t) + " is not an integer";
          return false;
        }
        v = static_cast<double>(iv);
      } else if (!parse_double(t, v, why)) {
        error = src.where() + "the value " + quote(t) + " " + why;
        return false;
      }
      out.values.push_back(v);
      ++count;
    }
  }
  if (!error.empty()) return false;
  if (count < want) {
    error = src.path() + ":" + std::to_string(src.line_number() + 1) + ": the file ends after " +
            std::to_string(count / per) + " of the " + std::to_string(want / per) +
            " values declared on line " + std::to_string(size_line);
    return false;
  }
  return true;
}

bool write_array(const std::string& path, const Dense& d, std::string& error) {
  FILE* f = std::fopen(path.c_str(), "w");
  if (f == nullptr) {
    error = path + ": cannot write: " + std::strerror(errno);
    return false;
  }
  std::fprintf(f, "%%%%MatrixMarket matrix array %s general\n%d %d\n",
               d.complex ? "complex" : "real", d.rows, d.cols);
  // Shortest text that reads back to the same double.
  char text[64];
  const std::size_t per = d.complex ? 2 : 1;
  for (std::size_t k = 0; k < d.values.size(); k += per) {
    char* p = std::to_chars(text, text + sizeof text, d.values[k]).ptr;
    if (d.complex) {
      *p++ = ' ';
      p = std::to_chars(p, text + sizeof text, d.values[k + 1]).ptr;
    }
    *p++ = '\n';
    std::fwrite(text, 1, static_cast<std::size_t>(p - text), f);
  }
  const bool bad = std::ferror(f) != 0;
  const int saved = errno;
  if (std::fclose(f) != 0 || bad) {
    error = path + ": cannot write: " + std::strerror(bad ? saved : errno);
    return false;
  }
  return true;
}

}  // namespace ztr::mm
