// The seam between the library and the file system.  Every file the library opens, reads,
// writes or removes goes through this table of function pointers, so that tests can make any
// open, seek, read, write, flush, close or remove fail (or come up short) without touching a
// real disk.  The defaults are the C streams, with 64-bit file positions on every
// architecture.  Tests replace entries before the call that needs them and restore them after;
// the library only reads the table.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ztr {

// An open file: the C stream behind the defaults, whatever a test's table hands out.
using FileHandle = void*;

struct FileOps {
  // fopen: null on failure.
  FileHandle (*open)(const char* path, const char* mode);
  // fclose: 0 on success.
  int (*close)(FileHandle f);
  // fseeko to `offset` bytes from the start (origin 0) or the end (origin 2): 0 on success.
  int (*seek)(FileHandle f, std::int64_t offset, int origin);
  // ftello: the position, or -1.
  std::int64_t (*tell)(FileHandle f);
  // fread / fwrite: the number of whole elements transferred.
  std::size_t (*read)(void* buffer, std::size_t size, std::size_t count, FileHandle f);
  std::size_t (*write)(const void* buffer, std::size_t size, std::size_t count, FileHandle f);
  // fflush: 0 on success.
  int (*flush)(FileHandle f);
  // ferror / feof: non-zero when set.
  int (*error)(FileHandle f);
  int (*eof)(FileHandle f);
  // fgets: the buffer, or null at the end of the file or on an error.
  char* (*gets)(char* buffer, int size, FileHandle f);
  // remove: 0 on success.
  int (*remove)(const char* path);
};

// The table in force.  Mutable for tests only.
FileOps& file_ops();
// The table the library starts with.
const FileOps& default_file_ops();

}  // namespace ztr
