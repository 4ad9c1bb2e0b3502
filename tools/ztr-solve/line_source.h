// Lines of a text file, read in large blocks (through zlib for gzip-compressed files when the
// build has it), handed out as views into the block without copying.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ztr::mm {

class LineSource {
 public:
  LineSource() = default;
  ~LineSource();
  LineSource(const LineSource&) = delete;
  LineSource& operator=(const LineSource&) = delete;

  // Opens `path`; false and a message naming the file when it cannot be read (missing, a
  // directory, compressed without zlib, ...).
  bool open(const std::string& path, std::string& error);

  // The next line without its line end (and without a trailing carriage return).  False at
  // the end of the file, or on a fault, which leaves a message in `error` (a read error, a
  // NUL byte, a line longer than kMaxLine).  The view lives until the next call.
  bool next(std::string_view& line, std::string& error);

  // Number of the line last returned, from 1.
  long line_number() const { return line_; }
  // "path:line: " for messages about the line last returned.
  std::string where() const;
  const std::string& path() const { return path_; }
  // The size in bytes of an uncompressed regular file; 0 when unknown (a pipe, gzip).
  std::uint64_t known_size() const { return known_size_; }

  // Longest line accepted; longer ones mean the file is not a text matrix.
  static constexpr std::size_t kMaxLine = std::size_t{1} << 20;

 private:
  bool refill(std::string& error);

  std::string path_;
  int fd_ = -1;
  void* gz_ = nullptr;
  std::vector<char> buf_;
  std::size_t begin_ = 0, end_ = 0;
  std::uint64_t known_size_ = 0;
  bool eof_ = false;
  long line_ = 0;
};

}  // namespace ztr::mm
