// Block-size tuning of the dense LAPACK drivers.
//
// ilaenv answers the block-size and crossover questions of the LAPACK routines with the
// published ILAENV interface: all arguments by address, NAME and OPTS followed by their
// lengths as two trailing integers.  Its answers are this library's own: besides the
// routine name and the problem dimensions they depend on the thread count, which callers
// pass in N3 for the GETRF and GEQRF families and in N2 for POTRF, SYTRD, SYEV and SYRDB,
// and on the CpuType.
//
//   ISPEC  1 block size, 2 minimum block size, 3 crossover to unblocked code, 4 shifts of
//          the nonsymmetric QR iteration (6), 5 minimum column dimension (2), 6 crossover
//          of the SVD (nearest integer to 1.6*min(N1, N2)), 7 (1), 8 multishift crossover
//          (50), 9 leaf size of divide and conquer (25), 10 and 11 IEEE arithmetic (1),
//          12 look-ahead depth / panel split of the factorizations, 13-16 parameters of
//          the QR iteration, 17 and 18 chunk and tail width of the dynamically scheduled
//          LU, 19 the CpuType.  Any other ISPEC gives -1.
//   NAME   precision letter (S, D, C, Z) + matrix type (2) + operation (3), either case.
#pragma once

namespace ztr {

int ilaenv(const int* ispec, const char* name, const char* opts, const int* n1, const int* n2,
           const int* n3, const int* n4, int name_len, int opts_len);

// Convenience form for C++ callers: NUL-terminated strings, dimensions by value.
int ilaenv(int ispec, const char* name, const char* opts, int n1, int n2, int n3, int n4);

// Block size of DGETRI and DTRTRI (same shape as ilaenv; N1 is the order n and N2 the
// thread count):  ISPEC 1 block size, 2 minimum block size (2), 3 the library's thread
// count, 4 and 5 (1), 6 the CpuType, anything else -1.
int getri_block_size(const int* ispec, const char* name, const char* opts, const int* n1,
                     const int* n2, const int* n3, const int* n4, int name_len, int opts_len);
int getri_block_size(int ispec, const char* name, const char* opts, int n1, int n2, int n3,
                     int n4);

// Block size of DSYGST: ISPEC 1 block size, 2 minimum block size (2), anything else -1.
// uplo is 'U' or 'L', itype 1, 2 or 3, threads the thread count of the call.
int sygst_block_size(const int* ispec, const char* name, const char* uplo, const int* n,
                     const int* itype, const int* threads, int name_len, int uplo_len);
int sygst_block_size(int ispec, const char* name, const char* uplo, int n, int itype,
                     int threads);

}  // namespace ztr
