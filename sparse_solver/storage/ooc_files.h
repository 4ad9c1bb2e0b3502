// The file layer of the out-of-core mode: the temporary files by kind and number, block writes
// and reads at 64-bit positions with the layer's status codes, their removal, and the report
// of a status with its message.  All file access goes through the file seam
// (service/file_io.h).
//
// Status codes (kept by the caller; a non-zero status ends the current factorization or
// solve): 1 open-mode error, 2 open error, 3 close error, 4 delete error, 5-9 read (nothing
// read, short read, end of file, seek, bad arguments), 10-14 write (nothing written, short
// write, end of file, seek, bad arguments), 15 an operation attempted while a status was set.
#pragma once

#include <cstdint>

#include "service/file_io.h"
#include "sparse_solver/common/ooc_record.h"

namespace ztr {

// The extension of a kind (1 .. 11): ".ind", ".lnz", ...
const char* ooc_extension(int kind);
// The path of file `number` (1: the first, which carries no number; then 2, 3, ...) of `kind`:
// the base name, the number from 2 on, the extension.  `out` holds kOocPathSize characters.
void ooc_file_name(const char* base, int kind, int number, char* out);

// Opens file `number` of `kind` of the record's base name: for storing (created or emptied,
// and readable: what is stored is read back), or for reading.  Raises the record's count of
// files of that kind to `number`.  On failure: null, status 2 reported with the description
// `what` (msglvl >= 1), and the record's error set to -10.
FileHandle ooc_open(OocRecord* rec, int kind, int number, bool storing, const char* what,
                    int msglvl);
// Closes a file (null: nothing).  With *status already set: 15 ("Input error is not equal to
// ZERO" at msglvl >= 2), and the stream is released without judging its close, so that no
// failure leaks it; a failed close: status 3 ("The file was not closed" at msglvl >= 2).
void ooc_close(FileHandle f, int msglvl, int* status);

// Writes `pieces` pieces of `count` elements of `size` bytes: piece i from element i*count of
// `buffer` to the element at one-based position first + i*stride of the file, that is the
// byte position (first - 1)*size + i*stride*size, which the file must already reach.  Each
// piece is flushed.  Returns the bytes written (a failed piece counts what it moved); sets
// *status as the status codes say: a status already set 15, nothing written; first < 0,
// count < 0, pieces > 1 with count > stride, size < 1, pieces < 0, or a null file or buffer
// with something to move 14; nothing to move (pieces or count 0) nothing done.  A stream error
// or a failed flush is 12, a zero write 10, a short one 11 (a full file system).
std::int64_t ooc_write(FileHandle f, int size, std::int64_t first, std::int64_t count,
                       std::int64_t stride, std::int64_t pieces, const void* buffer, int msglvl,
                       int* status);
// The read that mirrors it: piece i into element i*count of `buffer`.  Returns the bytes read.
// Statuses: 15 (already set), 9 (arguments), 7 (position past the end, or a stream error),
// 8 (seek), 5 (nothing read), 6 (short read).
std::int64_t ooc_read(FileHandle f, int size, std::int64_t first, std::int64_t count,
                      std::int64_t stride, std::int64_t pieces, void* buffer, int msglvl,
                      int* status);

// Removes the record's files: kinds 1, 2, 4, 6, then (separate U) 5, 7, 3, then (pivoting
// data) 8 and 9, then 10 and 11, each kind file by file from its first up to its count; a
// kind stops at the first file that cannot be removed, with status 4.  The counts of the
// kinds removed become 0.  Returns 0 or 4.
int ooc_remove_files(OocRecord* rec, bool separate_u, bool pivoting_data, int msglvl);

// Prints a status's message with the description `what` in place of %s (msglvl >= 1).  With
// `terminate`, a listed status (1 .. 15) then ends the process with exit status 2.
void ooc_report_status(int status, const char* what, int msglvl, bool terminate);

}  // namespace ztr
