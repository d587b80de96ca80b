#pragma once

#include "prt/SHCoeffs.h"

#include <array>

namespace Vrenn {

// Rotation of SH coefficient vectors (bands 0-4, the basis of SHBasis.h).
//
// Built from a 3 x 3 rotation R stored row by row that acts on column vectors (d' = R d), the
// engine's matrix convention. Applied to the coefficients of a function f it yields the
// coefficients of the turned function
//     f'(d) = f(R^-1 d),
// that is, whatever f had in direction d, f' has in direction R d: a light arriving from d
// arrives from R d after the rotation. Turning by R1 then by R2 equals turning by R2 * R1.
//
// Band l is mapped by a (2l + 1) x (2l + 1) matrix built from R by a recurrence over bands
// (each band's matrix from band 1 and the band below), computed in double precision and stored
// as floats. Band 0 is left unchanged. R must be orthogonal; a reflection (determinant -1)
// gives the mirrored function by the same rule.
class SHRotation {
public:
    // The identity.
    SHRotation();
    // rows: R row by row (9 floats).
    explicit SHRotation(const float rows[9]);
    // The upper-left 3 x 3 of an engine 4 x 4 matrix (16 floats, row by row, column vectors);
    // the translation is ignored.
    static SHRotation fromMatrix4(const float matrix[16]);

    // Rotates the first order^2 coefficients of in into out (order 1 ... 5). in and out may be
    // the same array. Returns false, leaving out untouched, for any other order.
    bool apply(const float* in, float* out, int order = kSHBands) const;
    void apply(const SHVector& in, SHVector& out) const { apply(in.data(), out.data()); }
    // Rotates each colour channel.
    void apply(const SHCoeffs& in, SHCoeffs& out) const;

    // Entry (m, n) of band l's matrix, m and n in -l ... l: out[l(l+1)+m] gets
    // element(l, m, n) * in[l(l+1)+n]. 0 outside the range.
    float element(int l, int m, int n) const;

private:
    // Band matrices one after another, row by row; band l starts at 0, 1, 10, 35, 84.
    static constexpr int kStorage = 1 + 9 + 25 + 49 + 81;
    static int bandOffset(int l);
    std::array<float, kStorage> m_matrices{};
};

// One-call form: rotates order^2 coefficients of in by the 3 x 3 rotation rows (row by row,
// column vectors) into out. out and in may be the same. False for an order outside 1 ... 5.
bool shRotate(float* out, int order, const float rows[9], const float* in);

} // namespace Vrenn
