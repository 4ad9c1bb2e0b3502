// 64-bit file positions on i386 as on x86_64: off_t, fseeko and ftello are 64 bits wide.
#define _FILE_OFFSET_BITS 64

#include "service/file_io.h"

#include <sys/types.h>

#include <cstdio>

namespace ztr {
namespace {

std::FILE* stream(FileHandle f) { return static_cast<std::FILE*>(f); }

FileHandle open_file(const char* path, const char* mode) { return std::fopen(path, mode); }
int close_file(FileHandle f) { return std::fclose(stream(f)); }
int seek_file(FileHandle f, std::int64_t offset, int origin) {
  return fseeko(stream(f), static_cast<off_t>(offset), origin == 2 ? SEEK_END : SEEK_SET);
}
std::int64_t tell_file(FileHandle f) { return static_cast<std::int64_t>(ftello(stream(f))); }
std::size_t read_file(void* buffer, std::size_t size, std::size_t count, FileHandle f) {
  return std::fread(buffer, size, count, stream(f));
}
std::size_t write_file(const void* buffer, std::size_t size, std::size_t count, FileHandle f) {
  return std::fwrite(buffer, size, count, stream(f));
}
int flush_file(FileHandle f) { return std::fflush(stream(f)); }
int error_of(FileHandle f) { return std::ferror(stream(f)); }
int eof_of(FileHandle f) { return std::feof(stream(f)); }
char* gets_file(char* buffer, int size, FileHandle f) {
  return std::fgets(buffer, size, stream(f));
}
int remove_file(const char* path) { return std::remove(path); }

constexpr FileOps kDefaults = {open_file, close_file, seek_file,  tell_file,
                               read_file, write_file, flush_file, error_of,
                               eof_of,    gets_file,  remove_file};

FileOps g_ops = kDefaults;

}  // namespace

FileOps& file_ops() { return g_ops; }
const FileOps& default_file_ops() { return kDefaults; }

}  // namespace ztr
