#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace Vrenn {

// Polled state of N buttons (keys, mouse buttons) fed by press and release events.
// latch() takes the state the events gave since the last call: a button counts as
// down when it is held or went down in between (so a tap between two updates still
// reads as down once), and as pressed when it is down now and was not before.
template <size_t N> class ButtonLatch {
public:
    void record(size_t slot, bool down) {
        if (slot >= N) return;
        m_held[slot] = down;
        if (down) m_wentDown[slot] = true;
    }

    void latch() {
        for (size_t i = 0; i < N; ++i) {
            m_previous[i] = m_current[i];
            m_current[i] = m_held[i] || m_wentDown[i];
            m_wentDown[i] = false;
        }
    }

    // Every button up, now and before, and nothing pending.
    void clear() {
        m_current.fill(false);
        m_previous.fill(false);
        m_held.fill(false);
        m_wentDown.fill(false);
    }

    bool isDown(size_t slot) const { return slot < N && m_current[slot]; }
    bool wasPressed(size_t slot) const { return slot < N && m_current[slot] && !m_previous[slot]; }

private:
    std::array<bool, N> m_current{};
    std::array<bool, N> m_previous{};
    std::array<bool, N> m_held{};     // down according to the events so far
    std::array<bool, N> m_wentDown{}; // went down since the last latch
};

} // namespace Vrenn
