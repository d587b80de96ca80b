#include "prt/SHRotation.h"

#include <cmath>
#include <cstdlib>

namespace Vrenn {

namespace {

// Square band matrices in double precision, indexed by m, n in -l ... l.
class BandMatrix {
public:
    explicit BandMatrix(int l) : m_l(l), m_size(2 * l + 1) {}
    double& at(int m, int n) { return m_values[size_t((m + m_l) * m_size + (n + m_l))]; }
    double at(int m, int n) const { return m_values[size_t((m + m_l) * m_size + (n + m_l))]; }

private:
    int m_l;
    int m_size;
    std::array<double, (2 * kSHBands - 1) * (2 * kSHBands - 1)> m_values{};
};

// The recurrence works in the real basis without the Condon-Shortley phase, whose band 1 is
// proportional to (y, z, x) for m = -1, 0, 1. Ours differs from it by the sign (-1)^m, which is
// applied when the matrices are stored.
//
// Helper term of the recurrence: band l's entries from band 1 (r1) and band l - 1 (prev).
double termP(int i, int a, int b, int l, const BandMatrix& r1, const BandMatrix& prev) {
    if (b == l) return r1.at(i, 1) * prev.at(a, l - 1) - r1.at(i, -1) * prev.at(a, -l + 1);
    if (b == -l) return r1.at(i, 1) * prev.at(a, -l + 1) + r1.at(i, -1) * prev.at(a, l - 1);
    return r1.at(i, 0) * prev.at(a, b);
}

BandMatrix nextBand(int l, const BandMatrix& r1, const BandMatrix& prev) {
    BandMatrix out(l);
    for (int m = -l; m <= l; ++m) {
        const int absM = std::abs(m);
        const double delta = m == 0 ? 1.0 : 0.0;
        for (int n = -l; n <= l; ++n) {
            const double denom = std::abs(n) == l ? static_cast<double>((2 * l) * (2 * l - 1))
                                                  : static_cast<double>((l + n) * (l - n));
            const double u = std::sqrt(static_cast<double>((l + m) * (l - m)) / denom);
            const double v = 0.5 *
                             std::sqrt((1.0 + delta) *
                                       static_cast<double>((l + absM - 1) * (l + absM)) / denom) *
                             (1.0 - 2.0 * delta);
            const double w = -0.5 *
                             std::sqrt(static_cast<double>((l - absM - 1) * (l - absM)) / denom) *
                             (1.0 - delta);

            double value = 0.0;
            // Each term is evaluated only where its factor is nonzero: elsewhere its indices
            // would leave band l - 1.
            if (u != 0.0) value += u * termP(0, m, n, l, r1, prev);
            if (v != 0.0) {
                double vTerm;
                if (m == 0) {
                    vTerm = termP(1, 1, n, l, r1, prev) + termP(-1, -1, n, l, r1, prev);
                } else if (m > 0) {
                    vTerm = termP(1, m - 1, n, l, r1, prev) * (m == 1 ? std::sqrt(2.0) : 1.0);
                    if (m != 1) vTerm -= termP(-1, -m + 1, n, l, r1, prev);
                } else {
                    vTerm = termP(-1, -m - 1, n, l, r1, prev) * (m == -1 ? std::sqrt(2.0) : 1.0);
                    if (m != -1) vTerm += termP(1, m + 1, n, l, r1, prev);
                }
                value += v * vTerm;
            }
            if (w != 0.0) {
                double wTerm;
                if (m > 0)
                    wTerm = termP(1, m + 1, n, l, r1, prev) + termP(-1, -m - 1, n, l, r1, prev);
                else
                    wTerm = termP(1, m - 1, n, l, r1, prev) - termP(-1, -m + 1, n, l, r1, prev);
                value += w * wTerm;
            }
            out.at(m, n) = value;
        }
    }
    return out;
}

} // namespace

int SHRotation::bandOffset(int l) {
    static constexpr int kOffsets[kSHBands] = {0, 1, 10, 35, 84};
    return kOffsets[l];
}

SHRotation::SHRotation() {
    for (int l = 0; l < kSHBands; ++l)
        for (int m = -l; m <= l; ++m)
            m_matrices[static_cast<size_t>(bandOffset(l) + (m + l) * (2 * l + 1) + (m + l))] = 1.0f;
}

SHRotation::SHRotation(const float rows[9]) {
    // Band 1 in the (y, z, x) order of the recurrence's basis: the coefficients of
    // f(R^-1 d) are R applied to those of f, permuted.
    static constexpr int kAxis[3] = {1, 2, 0}; // m = -1, 0, 1 -> y, z, x
    BandMatrix r1(1);
    for (int m = -1; m <= 1; ++m)
        for (int n = -1; n <= 1; ++n)
            r1.at(m, n) = static_cast<double>(rows[kAxis[m + 1] * 3 + kAxis[n + 1]]);

    m_matrices[0] = 1.0f;
    BandMatrix band = r1;
    for (int l = 1; l < kSHBands; ++l) {
        if (l > 1) band = nextBand(l, r1, band);
        const int size = 2 * l + 1;
        for (int m = -l; m <= l; ++m) {
            for (int n = -l; n <= l; ++n) {
                const double sign = ((m + n) & 1) ? -1.0 : 1.0;
                m_matrices[static_cast<size_t>(bandOffset(l) + (m + l) * size + (n + l))] =
                    static_cast<float>(sign * band.at(m, n));
            }
        }
    }
}

SHRotation SHRotation::fromMatrix4(const float matrix[16]) {
    const float rows[9] = {matrix[0], matrix[1], matrix[2], matrix[4], matrix[5],
                           matrix[6], matrix[8], matrix[9], matrix[10]};
    return SHRotation(rows);
}

bool SHRotation::apply(const float* in, float* out, int order) const {
    if (order < 1 || order > kSHBands) return false;
    float source[kSHCoeffCount];
    for (int i = 0; i < order * order; ++i)
        source[i] = in[i];
    for (int l = 0; l < order; ++l) {
        const int size = 2 * l + 1;
        const float* matrix = m_matrices.data() + bandOffset(l);
        const float* band = source + l * l;
        for (int row = 0; row < size; ++row) {
            float sum = 0.0f;
            for (int col = 0; col < size; ++col)
                sum += matrix[row * size + col] * band[col];
            out[l * l + row] = sum;
        }
    }
    return true;
}

void SHRotation::apply(const SHCoeffs& in, SHCoeffs& out) const {
    apply(in.red, out.red);
    apply(in.green, out.green);
    apply(in.blue, out.blue);
}

float SHRotation::element(int l, int m, int n) const {
    if (l < 0 || l >= kSHBands || m < -l || m > l || n < -l || n > l) return 0.0f;
    return m_matrices[static_cast<size_t>(bandOffset(l) + (m + l) * (2 * l + 1) + (n + l))];
}

bool shRotate(float* out, int order, const float rows[9], const float* in) {
    return SHRotation(rows).apply(in, out, order);
}

} // namespace Vrenn
