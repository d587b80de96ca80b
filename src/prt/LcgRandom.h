#pragma once

#include <cstdint>

namespace Vrenn {

// The jitter generator of the sample sets: the portable rand() of the C standard's example
// implementation (state = state * 1103515245 + 12345, result = bits 16-30 of the state), so
// results are integers 0 ... 32767. Its sequence is ours: a given seed gives the same values on
// every platform and in every run, which keeps bakes reproducible byte for byte. The bake seeds
// it with 0.
class LcgRandom {
public:
    static constexpr int kMax = 32767;

    explicit LcgRandom(uint32_t seed = 0) : m_state(seed) {}

    void seed(uint32_t seed) { m_state = seed; }

    int next() {
        m_state = m_state * 1103515245u + 12345u;
        return static_cast<int>((m_state >> 16) & 0x7fffu);
    }

    // next() scaled to [0, 1] by the factor 3.051851e-05 (1 / 32767).
    float nextUnit() { return static_cast<float>(next()) * 3.051851e-05f; }

private:
    uint32_t m_state;
};

} // namespace Vrenn
