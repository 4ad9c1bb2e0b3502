#include "line_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#ifdef ZTR_SOLVE_HAVE_ZLIB
#include <zlib.h>
#endif

namespace ztr::mm {

namespace {

// Bytes asked of the kernel (or of zlib) at once: large enough that the system calls cost
// nothing beside the parse, small enough to stay in the last-level cache.
constexpr std::size_t kBlock = std::size_t{4} << 20;
constexpr std::size_t kMinBuffer = std::size_t{4} << 10;
static_assert(LineSource::kMaxLine < kBlock, "a full block always holds a line end or a fault");
constexpr unsigned char kGzipMagic[2] = {0x1f, 0x8b};

}  // namespace

LineSource::~LineSource() {
#ifdef ZTR_SOLVE_HAVE_ZLIB
  if (gz_ != nullptr) gzclose(static_cast<gzFile>(gz_));
#endif
  if (fd_ >= 0) ::close(fd_);
}

std::string LineSource::where() const {
  return path_ + ":" + std::to_string(line_) + ": ";
}

bool LineSource::open(const std::string& path, std::string& error) {
  path_ = path;
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) {
    error = path + ": cannot open: " + std::strerror(errno);
    return false;
  }
  struct stat st {};
  if (::fstat(fd_, &st) != 0 || S_ISDIR(st.st_mode)) {
    error = path + ": is a directory, not a Matrix Market file";
    return false;
  }
  unsigned char magic[2] = {};
  // A pipe cannot be peeked at without consuming it: it is read as plain text.
  const ssize_t got = S_ISREG(st.st_mode) ? ::pread(fd_, magic, sizeof magic, 0) : 0;
  if (got < 0) {
    error = path + ": cannot read: " + std::strerror(errno);
    return false;
  }
  if (got == 2 && magic[0] == kGzipMagic[0] && magic[1] == kGzipMagic[1]) {
#ifdef ZTR_SOLVE_HAVE_ZLIB
    // zlib takes the descriptor over; it is closed with the stream.
    gz_ = gzdopen(fd_, "rb");
    if (gz_ == nullptr) {
      error = path + ": cannot open the compressed stream";
      return false;
    }
    fd_ = -1;
    gzbuffer(static_cast<gzFile>(gz_), 1u << 20);
#else
    error = path + ": gzip-compressed, and this build has no zlib (decompress it first)";
    return false;
#endif
  }
  // A small file gets a buffer of its own size (grown if a line needs it), a large one
  // kBlock.
  if (S_ISREG(st.st_mode) && gz_ == nullptr) known_size_ = static_cast<std::uint64_t>(st.st_size);
  const std::size_t size =
      known_size_ > 0 && known_size_ < kBlock ? static_cast<std::size_t>(known_size_) + 1 : kBlock;
  buf_.resize(std::clamp(size, kMinBuffer, kBlock));
  return true;
}

bool LineSource::refill(std::string& error) {
  // Keep the unfinished line at the front, then fill the rest of the buffer.
  if (begin_ > 0) {
    std::memmove(buf_.data(), buf_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  // A line that fills the whole buffer: room for more of it (at most kBlock, beyond the
  // longest line accepted).
  if (end_ == buf_.size()) buf_.resize(std::min(2 * buf_.size(), kBlock));
  while (end_ < buf_.size()) {
    const std::size_t room = buf_.size() - end_;
    long got = 0;
#ifdef ZTR_SOLVE_HAVE_ZLIB
    if (gz_ != nullptr) {
      const unsigned ask = room > (1u << 30) ? (1u << 30) : static_cast<unsigned>(room);
      got = gzread(static_cast<gzFile>(gz_), buf_.data() + end_, ask);
      if (got < 0) {
        int code = 0;
        const char* text = gzerror(static_cast<gzFile>(gz_), &code);
        error = where() + "cannot decompress: " + (text != nullptr ? text : "zlib error");
        return false;
      }
      if (got == 0) {
        // A stream cut short ends without an error from gzread but leaves one in gzerror.
        int code = 0;
        gzerror(static_cast<gzFile>(gz_), &code);
        if (code != Z_OK && code != Z_STREAM_END) {
          error = where() + "the compressed file is damaged or truncated";
          return false;
        }
      }
    } else
#endif
    {
      got = ::read(fd_, buf_.data() + end_, room);
      if (got < 0) {
        if (errno == EINTR) continue;
        error = path_ + ": read error: " + std::strerror(errno);
        return false;
      }
    }
    if (got == 0) {
      eof_ = true;
      return true;
    }
    end_ += static_cast<std::size_t>(got);
    // One successful read is enough to go on parsing.
    return true;
  }
  return true;
}

bool LineSource::next(std::string_view& line, std::string& error) {
  std::size_t scanned = begin_;
  for (;;) {
    const char* start = buf_.data() + begin_;
    const void* nl = std::memchr(buf_.data() + scanned, '\n', end_ - scanned);
    std::size_t len;
    if (nl != nullptr) {
      len = static_cast<std::size_t>(static_cast<const char*>(nl) - start);
    } else if (eof_) {
      if (begin_ == end_) return false;
      len = end_ - begin_;
    } else {
      if (end_ - begin_ >= kMaxLine) {
        ++line_;
        error = where() + "line longer than " + std::to_string(kMaxLine) +
                " bytes: not a Matrix Market text file";
        return false;
      }
      scanned = end_ - begin_;
      if (!refill(error)) return false;
      continue;
    }
    ++line_;
    if (len > kMaxLine) {
      error = where() + "line longer than " + std::to_string(kMaxLine) +
              " bytes: not a Matrix Market text file";
      return false;
    }
    if (std::memchr(start, '\0', len) != nullptr) {
      error = where() + "binary data (a NUL byte): not a Matrix Market text file";
      return false;
    }
    const std::size_t consumed = len + (nl != nullptr ? 1 : 0);
    if (len > 0 && start[len - 1] == '\r') --len;
    line = std::string_view(start, len);
    begin_ += consumed;
    return true;
  }
}

}  // namespace ztr::mm
