#pragma once

#include "render/Renderer.h"

#include <string>
#include <vector>

namespace Vrenn::Test {

// A target without a device, of a given size; when given a list, it adds what is done to it
// ("bind a", "unbind a", "face a 2").
class StubTarget : public RenderTarget {
public:
    explicit StubTarget(const std::string& name, std::vector<std::string>* calls = nullptr,
                        int32_t width = 0, int32_t height = 0)
        : RenderTarget(name), m_calls(calls) {
        setSize(width, height);
    }
    bool create(int32_t, int32_t, int32_t, int32_t, bool) override { return true; }
    void release() override {}
    bool bind() override { return record("bind " + name()); }
    bool unbind() override { return record("unbind " + name()); }
    void setFace(int32_t face) override { record("face " + name() + " " + std::to_string(face)); }

private:
    bool record(const std::string& call) {
        if (m_calls) m_calls->push_back(call);
        return true;
    }
    std::vector<std::string>* m_calls;
};

// A renderer without a device, for code that reads only the renderer's stored state
// (its coordinate conversion, its matrices, its target bindings); the primary target and the
// target manager may be the test's own.
class StubRenderer : public Renderer {
public:
    explicit StubRenderer(std::shared_ptr<RenderTarget> primary = nullptr,
                          std::shared_ptr<RenderTargetMgr> targets = nullptr) {
        m_primaryTarget = std::move(primary);
        m_renderTargetMgr = std::move(targets);
    }
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
