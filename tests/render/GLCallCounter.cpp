#include "GLCallCounter.h"

#include <array>
#include <numeric>
#include <type_traits>

namespace Vrenn::Test {

namespace {
using Kind = GLCallCounter::Kind;
std::array<int, GLCallCounter::kKinds> g_counts{};

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
    X(glBindFramebuffer, kOther) X(glViewport, kViewports)                           \
    X(glNamedFramebufferTexture, kOther) X(glNamedFramebufferTextureLayer, kOther)  \
    X(glNamedFramebufferRenderbuffer, kOther) X(glNamedFramebufferDrawBuffers, kOther)    \
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
    X(glDeleteTextures, kDeletes) X(glDeleteFramebuffers, kDeletes)                             \
    X(glDeleteRenderbuffers, kDeletes) X(glDeleteBuffers, kDeletes)                             \
    X(glDeleteVertexArrays, kDeletes) X(glDeleteProgram, kDeletes) X(glDeleteShader, kDeletes)  \
    X(glDeleteSamplers, kDeletes) X(glDeleteQueries, kDeletes)
// clang-format on
} // namespace

GLCallCounter::GLCallCounter() {
    g_counts.fill(0);
#define VRENN_HOOK(name, kind) hook<&epoxy_##name, GLCallCounter::kind>(epoxy_##name);
    VRENN_COUNTED_GL_CALLS(VRENN_HOOK)
#undef VRENN_HOOK
}

GLCallCounter::~GLCallCounter() {
#define VRENN_UNHOOK(name, kind) unhook<&epoxy_##name>();
    VRENN_COUNTED_GL_CALLS(VRENN_UNHOOK)
#undef VRENN_UNHOOK
}

int GLCallCounter::total() const {
    return std::accumulate(g_counts.begin(), g_counts.end(), 0);
}
int GLCallCounter::count(Kind kind) {
    return g_counts[kind];
}

} // namespace Vrenn::Test
