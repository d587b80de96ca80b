#pragma once

#include <array>
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

} // namespace Vrenn
