#pragma once

#include "render/gl/GLStateCache.h"

#include <epoxy/gl.h>
#include <string>
#include <vector>

namespace Vrenn {

// The parsed text of an effect file (docs/effects.md describes the format): blocks of
// GLSL, sampler states, semantics and techniques of passes. Line numbers count from 1
// in the file.
struct EffectCodeBlock {
    std::string name; // empty for shared blocks
    std::string code;
    int line = 0; // line of the code's first character
};

struct EffectSamplerState {
    std::string name; // the sampler uniform it applies to
    GLint minFilter = GL_LINEAR_MIPMAP_LINEAR;
    GLint magFilter = GL_LINEAR;
    GLint wrapS = GL_REPEAT;
    GLint wrapT = GL_REPEAT;
    GLint wrapR = GL_REPEAT;
    float maxAnisotropy = 1.0f;
    int line = 0;
};

struct EffectSemantic {
    std::string semantic;
    std::string parameter;
};

struct EffectPassSource {
    std::string name;
    std::string vertex;
    std::string fragment;
    RenderStates states;
    int line = 0;
};

struct EffectTechniqueSource {
    std::string name;
    std::vector<EffectPassSource> passes;
    int line = 0;
};

struct EffectSource {
    std::vector<EffectCodeBlock> shared;
    std::vector<EffectCodeBlock> vertexShaders;
    std::vector<EffectCodeBlock> fragmentShaders;
    std::vector<EffectSamplerState> samplers;
    std::vector<EffectSemantic> semantics;
    std::vector<EffectTechniqueSource> techniques;

    const EffectCodeBlock* vertexShader(const std::string& name) const;
    const EffectCodeBlock* fragmentShader(const std::string& name) const;
};

// A parse failure: where and why.
struct EffectSourceError {
    int line = 0;
    std::string message;
};

// Parses effect text. Every pass must name a vertex and a fragment shader defined in
// the file, and the file must hold at least one technique. False with the first
// error otherwise.
bool parseEffectSource(const std::string& text, EffectSource& out, EffectSourceError& error);

} // namespace Vrenn
