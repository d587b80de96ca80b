#pragma once

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>
#include <string_view>

namespace Vrenn {

// What the help panel reports.
struct HelpPanelState {
    bool autoSkyRotate = true;
    bool showFps = true;
    bool wireFrame = false;
    bool hdr = true;
    bool diffuseOnly = false;
    // The probe the switch fades to: a built-in probe's name or a user probe's file name.
    std::string_view probeName;
    // Per probe slot, the user probe file that could not be used (the built-in probe lights
    // that slot instead); empty when none was named or it was used.
    std::array<std::string_view, 2> probeFallbacks;
    float luminanceScale = 1.0f;
    // Why the scene is not lit (a missing file); empty when it is.
    std::string_view missing;
};

// Writes the help panel's text into out, which takes setColour(red, green, blue) (applying
// to the text written after it) and operator<< for text and floats, as a Font does. A colour
// change lays out the text before it, so the panel is written in runs of one colour.
template <class Out> void writeHelpPanel(Out& out, const HelpPanelState& state) {
    const auto onOff = [](bool on) { return on ? "On\n" : "Off\n"; };
    out.setColour(0.0f, 1.0f, 0.0f);
    out << "General Info(Show/Hide with Space): \n";
    out.setColour(1.0f, 0.7f, 0.2f);
    out << " Screen Shot(F1)\n"
        << " Auto Sky Rotate(R): " << onOff(state.autoSkyRotate);
    // Manual rotation does nothing while the sky turns by itself: dimmed then.
    if (state.autoSkyRotate)
        out.setColour(0.5f, 0.35f, 0.1f);
    else
        out.setColour(1.0f, 0.7f, 0.2f);
    out << " Manual Rotate(Q)\n";
    out.setColour(1.0f, 0.7f, 0.2f);
    out << " Toggle FPS(F2): " << onOff(state.showFps)
        << " Toggle Wire Frame(L): " << onOff(state.wireFrame)
        << " Toggle HDR(H): " << onOff(state.hdr)
        << " Only Diffuse(M): " << onOff(state.diffuseOnly)
        << " Switch Light Probe(C): " << state.probeName << "\n"
        << " Luminance Scale(+/-): " << state.luminanceScale << "\n";
    for (int slot = 0; slot < int(state.probeFallbacks.size()); ++slot) {
        if (state.probeFallbacks[size_t(slot)].empty()) continue;
        out.setColour(1.0f, 0.3f, 0.3f);
        out << " probe" << slot << " " << state.probeFallbacks[size_t(slot)]
            << " unusable: built-in probe used\n";
    }
    if (!state.missing.empty()) {
        out.setColour(1.0f, 0.3f, 0.3f);
        out << " No lighting: " << state.missing << "\n";
    }
}

// Counts the rows text takes when laid out as the font lays it out: every character advances
// the same width, and a character that would reach the right limit starts a new row.
class HelpPanelRows {
public:
    HelpPanelRows(float left, float right, float advance)
        : m_left(left), m_right(right), m_advance(advance), m_x(left) {}

    void setColour(float, float, float) {}
    HelpPanelRows& operator<<(std::string_view text) {
        for (const char c : text) {
            if (c == '\n') {
                newRow();
                continue;
            }
            if (m_x + m_advance >= m_right) newRow();
            m_x += m_advance;
        }
        return *this;
    }
    HelpPanelRows& operator<<(const char* text) { return *this << std::string_view(text); }
    HelpPanelRows& operator<<(int value) {
        return *this << std::string_view(std::to_string(value));
    }
    HelpPanelRows& operator<<(float value) {
        char text[32];
        std::snprintf(text, sizeof text, "%g", static_cast<double>(value));
        return *this << std::string_view(text);
    }
    int rows() const { return m_rows; }

private:
    void newRow() {
        m_x = m_left;
        ++m_rows;
    }
    float m_left, m_right, m_advance, m_x;
    int m_rows = 0;
};

// Where the panel's first row goes: at preferredTop, or higher when its rows (long reasons
// wrapped) would otherwise run past the bottom of the screen (y = 1).
inline float helpPanelTop(const HelpPanelState& state, float preferredTop, float left, float right,
                          float advance, float lineHeight) {
    HelpPanelRows rows(left, right, advance);
    writeHelpPanel(rows, state);
    return std::clamp(1.0f - float(rows.rows()) * lineHeight, 0.0f, preferredTop);
}

} // namespace Vrenn
