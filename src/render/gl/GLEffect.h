#pragma once

#include "render/Effect.h"
#include "render/gl/GLEffectState.h"

#include <memory>

namespace Vrenn {

// An effect compiled from the effect file format. A pass sets its render states, uses
// its program, hands the program every parameter value that changed since the program
// last had it, and binds the textures and sampler states of its samplers. end()
// returns the render states to the renderer's defaults. The first technique is
// current from the start.
class GLEffect : public Effect {
public:
    GLEffect(std::string name, std::shared_ptr<GLEffectState> state);
    ~GLEffect() override;

    bool begin(uint32_t* passCount) override;
    bool end() override;
    std::shared_ptr<Effect> clone() const override;
    bool getDesc(uint32_t* parameters, uint32_t* techniques, uint32_t* functions) const override;
    std::shared_ptr<EffectParam> getParameter(const std::string& name) override;
    std::shared_ptr<EffectParam> getParameterBySemantic(const std::string& semantic) override;
    bool setTechnique(uint32_t index) override;
    bool setTechnique(const std::string& name) override;
    bool beginPass(uint32_t index) override;
    bool endPass() override;

    const std::shared_ptr<GLEffectState>& state() const { return m_state; }
    uint32_t currentTechnique() const { return m_technique; }

private:
    // A technique is valid when it exists and its programs are linked.
    bool valid(uint32_t index) const;
    void applyParameters(GLStateCache& cache, GLEffectProgram& program);

    std::shared_ptr<GLEffectState> m_state;
    uint32_t m_technique = 0;
    bool m_begun = false;
    bool m_inPass = false;
};

} // namespace Vrenn
