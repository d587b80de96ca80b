#pragma once

#include <array>
#include <epoxy/gl.h>
#include <numeric>
#include <type_traits>

namespace Vrenn::Test {

namespace GLCallCounting {
enum Kind { kViewports, kBinds, kStates, kUniforms, kOther, kKinds };
inline std::array<int, kKinds> g_counts{};

// The loader's entry for a slot while the counter stands in for it.
template <auto* Slot> struct Saved {
    static inline std::remove_reference_t<decltype(*Slot)> entry = nullptr;
};

template <auto* Slot, Kind K, class... A> void GLAPIENTRY counting(A... args) {
    ++g_counts[K];
    // The call goes through the slot holding the loader's entry: an entry point not
    // resolved yet resolves itself into the slot on its first call.
    *Slot = Saved<Slot>::entry;
    (*Slot)(args...);
    Saved<Slot>::entry = *Slot;
    *Slot = &counting<Slot, K, A...>;
}

template <auto* Slot, Kind K, class... A> void hook(void(GLAPIENTRY*)(A...)) {
    Saved<Slot>::entry = *Slot;
    *Slot = &counting<Slot, K, A...>;
}

template <auto* Slot> void unhook() {
    *Slot = Saved<Slot>::entry;
}

// clang-format off
#define VRENN_COUNTED_GL_CALLS(X)                                                               \
    X(glBindFramebuffer, kOther) X(glViewport, kViewports)                                      \
    X(glNamedFramebufferTexture, kOther) X(glNamedFramebufferTextureLayer, kOther)              \
    X(glNamedFramebufferRenderbuffer, kOther) X(glNamedFramebufferDrawBuffers, kOther)          \
    X(glBindTextureUnit, kBinds) X(glBindSampler, kBinds) X(glUseProgram, kBinds)               \
    X(glBindVertexArray, kBinds)                                                                \
    X(glEnable, kStates) X(glDisable, kStates) X(glDepthMask, kStates) X(glDepthFunc, kStates)  \
    X(glBlendFunc, kStates) X(glBlendEquation, kStates) X(glColorMask, kStates)                 \
    X(glPolygonMode, kStates) X(glCullFace, kStates) X(glFrontFace, kStates)                    \
    X(glProgramUniform1fv, kUniforms) X(glProgramUniform2fv, kUniforms)                         \
    X(glProgramUniform3fv, kUniforms) X(glProgramUniform4fv, kUniforms)                         \
    X(glProgramUniform1iv, kUniforms) X(glProgramUniform2iv, kUniforms)                         \
    X(glProgramUniform3iv, kUniforms) X(glProgramUniform4iv, kUniforms)                         \
    X(glProgramUniform1uiv, kUniforms) X(glProgramUniform2uiv, kUniforms)                       \
    X(glProgramUniform3uiv, kUniforms) X(glProgramUniform4uiv, kUniforms)                       \
    X(glProgramUniformMatrix2fv, kUniforms) X(glProgramUniformMatrix3fv, kUniforms)             \
    X(glProgramUniformMatrix4fv, kUniforms) X(glProgramUniformMatrix2x3fv, kUniforms)           \
    X(glProgramUniformMatrix2x4fv, kUniforms) X(glProgramUniformMatrix3x2fv, kUniforms)         \
    X(glProgramUniformMatrix3x4fv, kUniforms) X(glProgramUniformMatrix4x2fv, kUniforms)         \
    X(glProgramUniformMatrix4x3fv, kUniforms)                                                   \
    X(glDeleteTextures, kOther) X(glDeleteFramebuffers, kOther)                                 \
    X(glDeleteRenderbuffers, kOther) X(glDeleteBuffers, kOther)                                 \
    X(glDeleteVertexArrays, kOther) X(glDeleteProgram, kOther) X(glDeleteShader, kOther)        \
    X(glDeleteSamplers, kOther) X(glDeleteQueries, kOther)
// clang-format on
} // namespace GLCallCounting

// Counts calls of the GL entry points the renderer filters (binds of targets,
// viewports, attachments, programs, vertex arrays, textures and samplers, render
// states, uniform uploads) and of the ones that delete objects, by standing in for
// them in the loader's dispatch table while it lives.
class GLCallCounter {
public:
    GLCallCounter() {
        using namespace GLCallCounting;
        g_counts.fill(0);
#define VRENN_HOOK(name, kind) hook<&epoxy_##name, kind>(epoxy_##name);
        VRENN_COUNTED_GL_CALLS(VRENN_HOOK)
#undef VRENN_HOOK
    }
    ~GLCallCounter() {
        using namespace GLCallCounting;
#define VRENN_UNHOOK(name, kind) unhook<&epoxy_##name>();
        VRENN_COUNTED_GL_CALLS(VRENN_UNHOOK)
#undef VRENN_UNHOOK
    }
    GLCallCounter(const GLCallCounter&) = delete;
    GLCallCounter& operator=(const GLCallCounter&) = delete;

    // Every counted call so far; the framebuffer binds, attachments and draw buffers count here
    // only.
    int total() const {
        return std::accumulate(GLCallCounting::g_counts.begin(), GLCallCounting::g_counts.end(), 0);
    }
    // Programs, vertex arrays, textures and samplers bound.
    int binds() const {
        return GLCallCounting::g_counts[GLCallCounting::kBinds];
    }
    // Render states set: enables, masks, depth, blend, cull and fill calls.
    int states() const {
        return GLCallCounting::g_counts[GLCallCounting::kStates];
    }
    // Uniform values handed to programs.
    int uniforms() const {
        return GLCallCounting::g_counts[GLCallCounting::kUniforms];
    }
};

} // namespace Vrenn::Test
