// The kind of factorization a matrix type gets, decided once at analysis: the stages ask the
// kind, never the matrix type.
#pragma once

namespace ztr {

enum class FactorKind {
  kCholesky,     // L*L' (real) or L*L^H (Hermitian): types 2 and 4
  kLdlt,         // L*D*L' with 1x1 and 2x2 pivots inside each block: types -2 and 6
  kLdlh,         // L*D*L^H, D Hermitian: type -4
  kPivotedLu,    // L*U with partial pivoting inside each block: types 1 and 3
  kPerturbedLu,  // L*U with perturbed pivots inside each block: types 11 and 13
};

struct FactorShape {
  FactorKind kind;
  bool conjugate;  // the factor's second triangle is the conjugate transpose of the first
};

inline FactorShape factor_shape(int mtype) {
  switch (mtype) {
    case 2:
      return {FactorKind::kCholesky, false};
    case 4:
      return {FactorKind::kCholesky, true};
    case -2:
    case 6:
      return {FactorKind::kLdlt, false};
    case -4:
      return {FactorKind::kLdlh, true};
    case 1:
    case 3:
      return {FactorKind::kPivotedLu, false};
    default:
      return {FactorKind::kPerturbedLu, false};
  }
}

// The factor keeps a U part of its own (full-pattern types).
inline bool kind_has_u(FactorKind k) {
  return k == FactorKind::kPivotedLu || k == FactorKind::kPerturbedLu;
}
// The factor keeps a block-diagonal D with 1x1 and 2x2 pivots.
inline bool kind_is_indefinite(FactorKind k) {
  return k == FactorKind::kLdlt || k == FactorKind::kLdlh;
}
// The letter of the transpose that relates the factor's two triangles: 'C' for the
// Hermitian kinds (equal to 'T' for real values), 'T' otherwise.
inline char shape_transpose(const FactorShape& s) {
  return s.conjugate ? 'C' : 'T';
}

}  // namespace ztr
