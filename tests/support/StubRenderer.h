#pragma once

#include "render/Renderer.h"

namespace Vrenn::Test {

// A renderer without a device, for code that reads only the renderer's stored state
// (its coordinate conversion, its matrices, its target bindings).
class StubRenderer : public Renderer {
public:
    bool Initialize(const std::shared_ptr<Window>&) override { return true; }
    void ShutDown() override {}
    void beginFrame() override {}
    void endFrame() override {}
    void clear(bool, bool, bool) override {}
    void enableScissor(bool) override {}
    void setScissorRect(int32_t, int32_t, int32_t, int32_t) override {}
    bool takeScreenShot() override { return true; }

protected:
    void applyViewport(const Viewport&) override {}
};

} // namespace Vrenn::Test
