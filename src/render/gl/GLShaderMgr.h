#pragma once

#include "render/ShaderMgr.h"
#include "render/gl/GLContext.h"

namespace Vrenn {

class GLEffect;

// Compiles effect files (docs/effects.md) into GL effects. Every failure logs one line
// "GL FX Compile Error: <file>:<line>: <what>: <message>" and gives an empty pointer.
class GLShaderMgr : public ShaderMgr {
public:
    explicit GLShaderMgr(GLContext& context) : m_context(context) {}
    ~GLShaderMgr() override;

    // Reads the file through the file system (or from disk when there is none) and
    // registers the effect under fileName.
    std::shared_ptr<Effect> loadEffect(const std::string& fileName) override;
    // Registers the effect under "gen_<n>"; errors name the file "<memory>".
    std::shared_ptr<Effect> createEffect(const std::string& source) override;

private:
    std::shared_ptr<GLEffect> build(const std::string& text, const std::string& fileName);

    GLContextHandle m_context;
};

} // namespace Vrenn
