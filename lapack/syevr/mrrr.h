// The pieces of the MRRR tridiagonal eigensolver (multiple relatively robust
// representations), with the argument lists of the published LAPACK routines: all
// arguments by address, one-based indices, workspace from the caller.
//
// A representation of a block is L D L^T = T - sigma*I with L unit lower bidiagonal: d holds
// D, e holds the subdiagonal of L and e(last row of the block) holds sigma.  lld(i) is
// L(i)^2 D(i), ld(i) is L(i) D(i).
#pragma once

namespace ztr {

// info = 0 when T warrants computing its eigenvalues to high relative accuracy (it is
// scaled diagonally dominant: D^-1/2 T D^-1/2 has off-diagonal row sums below 0.999 with
// D = |diag(T)|), else 1.
void dlarrr(const int* n, const double* d, const double* e, int* info);

// Splits T where the off-diagonal is negligible: spltol < 0 absolutely (|e(i)| <=
// |spltol| * tnrm), spltol >= 0 relatively (|e(i)| <= spltol sqrt|d(i)| sqrt|d(i+1)|).
// Negligible entries become zero (in e and e2); block k ends at row isplit(k).
void dlarra(const int* n, const double* d, double* e, double* e2, const double* spltol,
            const double* tnrm, int* nsplit, int* isplit, int* info);

// Eigenvalue counts of T (jobt 'T': d, e = diagonal and off-diagonal) or of L D L^T
// (jobt 'L': d = D, e = L) in (vl, vu]: lcnt at or below vl, rcnt at or below vu,
// eigcnt = rcnt - lcnt.
void dlarrc(const char* jobt, const int* n, const double* vl, const double* vu, const double* d,
            const double* e, const double* pivmin, int* eigcnt, int* lcnt, int* rcnt, int* info);

// The iw-th eigenvalue of T (diagonal d, squared off-diagonal e2) by bisection inside the
// Gershgorin interval [gl, gu], to relative width reltol: w is the midpoint of the final
// interval, werr its half width.  info 0, or -1 when the iteration did not converge.
void dlarrk(const int* n, const int* iw, const double* gl, const double* gu, const double* d,
            const double* e2, const double* pivmin, const double* reltol, double* w, double* werr,
            int* info);

// Eigenvalues indl..indu of T (rows 0..n-1, diagonal d, squared off-diagonals e2) by
// bisection from the interval [gl, gu], each to relative width reltol (at least 2 pivmin):
// w(1..indu-indl+1) the midpoints, werr the half widths.  work(2n), iwork(2n).  info 1
// when an interval did not converge.
void dlarrd(const int* n, const double* gl, const double* gu, const double* d, const double* e2,
            const double* pivmin, const double* reltol, const int* indl, const int* indu, double* w,
            double* werr, double* work, int* iwork, int* info);

// Number of negative pivots of L D L^T - sigma*I (the Sturm count of the representation)
// by the differential stationary qd transform, with twist index r (pivots 1..r-1 top-down,
// r+1..n bottom-up, and the twist element); a pivot below pivmin counts as negative.
int dlaneg(const int* n, const double* d, const double* lld, const double* sigma,
           const double* pivmin, const int* r);

// Refines the eigenvalue approximations w(ifirst..ilast) of L D L^T (local indices minus
// offset into w, werr, wgap) by bisection until each interval is narrower than
// max(rtol1 * gap, rtol2 * |w|); brackets that do not hold their eigenvalue are widened
// first.  wgap(i) is the gap between eigenvalue i and i+1 and is updated inside the range.
// work(2n), iwork(2n).
void dlarrb(const int* n, const double* d, const double* lld, const int* ifirst, const int* ilast,
            const double* rtol1, const double* rtol2, const int* offset, double* w, double* wgap,
            double* werr, double* work, int* iwork, const double* pivmin, const double* spdiam,
            const int* twist, int* info);

// Refines eigenvalues ifirst..ilast of T (not of a representation) by bisection to
// relative width rtol; w, werr as for dlarrb.  work(2n), iwork(2n).
void dlarrj(const int* n, const double* d, const double* e2, const int* ifirst, const int* ilast,
            const double* rtol, const int* offset, double* w, double* werr, double* work,
            int* iwork, const double* pivmin, const double* spdiam, int* info);

// A new representation L+ D+ L+^T = L D L^T - sigma*I for the cluster clstrt..clend of
// eigenvalue approximations w (of L D L^T), shifted to one end of the cluster so that its
// eigenvalues get large relative gaps; the shift with the least element growth is chosen,
// growth being weighed by the envelope of the cluster's end vectors when it is large.
// work(9n).  info 0, or 1 when no acceptable shift was found.
void dlarrf(const int* n, const double* d, const double* l, const double* ld, const int* clstrt,
            const int* clend, const double* w, const double* wgap, const double* werr,
            const double* spdiam, const double* clgapl, const double* clgapr, const double* pivmin,
            double* sigma, double* dplus, double* lplus, double* work, int* info);

// The root representations of the blocks of T and the wanted eigenvalues relative to them
// (dqds for all eigenvalues of a block, bisection and dlarrb otherwise).  On exit d, e hold
// the representations, w(1..m) the eigenvalues of the representations block by block
// (ascending), werr their error bounds, wgap the gaps, iblock the block and indexw the index
// within the block of each, gers the Gershgorin intervals, pivmin the pivot guard.
// work(6n), iwork(5n).  info > 0: a failure (see dstemr).
void dlarre(const char* range, const int* n, double* vl, double* vu, const int* il, const int* iu,
            double* d, double* e, double* e2, const double* rtol1, const double* rtol2,
            const double* spltol, int* nsplit, int* isplit, int* m, double* w, double* werr,
            double* wgap, int* iblock, int* indexw, double* gers, double* pivmin, double* work,
            int* iwork, int* info);

// One eigenvector of L D L^T by the twisted factorization at lambda, the twist r chosen in
// b1..bn where |gamma| is smallest when r = 0 on entry, else the given one.  z(b1..bn) gets the
// vector with z(r) = 1, negligible tails zeroed (isuppz), ztz = ||z||^2, mingma = gamma(r), resid =
// |mingma| / ||z||, rqcorr = mingma / ztz the Rayleigh-quotient correction.  work(4n).
void dlar1v(const int* n, const int* b1, const int* bn, const double* lambda, const double* d,
            const double* l, const double* ld, const double* lld, const double* pivmin,
            const double* gaptol, double* z, const int* wantnc, int* negcnt, double* ztz,
            double* mingma, int* r, int* isuppz, double* nrminv, double* resid, double* rqcorr,
            double* work);

// The eigenvectors of the wanted eigenvalues dol..dou from the representations of dlarre,
// through the representation tree: eigenvalues with relative gap >= minrgp are singletons
// (dlar1v with Rayleigh-quotient correction, bisection as fallback), clusters get a child
// representation (dlarrf).  w becomes the eigenvalues of T.  work(13n), iwork(7n).
// info > 0: a failure (see dstemr).
void dlarrv(const int* n, const double* vl, const double* vu, double* d, double* l,
            const double* pivmin, const int* isplit, const int* m, const int* dol, const int* dou,
            const double* minrgp, const double* rtol1, const double* rtol2, double* w, double* werr,
            double* wgap, const int* iblock, const int* indexw, const double* gers, double* z,
            const int* ldz, int* isuppz, double* work, int* iwork, int* info);

}  // namespace ztr
