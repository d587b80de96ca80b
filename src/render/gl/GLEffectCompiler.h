#pragma once

#include "render/gl/GLEffectSource.h"
#include "render/gl/GLEffectState.h"

#include <string>

namespace Vrenn {

// The text put before every shader of an effect: the GLSL version, the stage macro
// (VERTEX_SHADER or FRAGMENT_SHADER) and the fixed attribute locations
// (ATTR_POSITION, ATTR_NORMAL, ATTR_COLOR, ATTR_BLENDWEIGHT, ATTR_BLENDINDICES,
// ATTR_TANGENT, ATTR_BINORMAL, ATTR_TEXCOORD0 to ATTR_TEXCOORD7).
std::string effectShaderPreamble(GLenum stage);

// Compiles every shader of the source, links one program per pair a pass uses, and
// gathers the parameters (active uniforms outside blocks) with their initial values,
// texture units and sampler states. On failure, error is "<file>:<line>: <what>:
// <driver text>" and nothing is kept.
bool compileEffect(GLContext& context, const EffectSource& source, const std::string& fileName,
                   GLEffectState& out, std::string& error);

} // namespace Vrenn
