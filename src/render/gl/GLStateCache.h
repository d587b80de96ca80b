#pragma once

#include <array>
#include <cstdint>
#include <epoxy/gl.h>

namespace Vrenn {

// Which triangles are culled, by their winding as seen on the screen (y down).
enum class CullMode : uint8_t { None, Clockwise, CounterClockwise };
enum class FillMode : uint8_t { Solid, Wireframe, Point };

// The render states a pass sets. The defaults are the renderer's default state.
struct RenderStates {
    CullMode cull = CullMode::None;
    FillMode fill = FillMode::Solid;
    bool depthTest = true;
    bool depthWrite = true;
    GLenum depthFunc = GL_LEQUAL;
    bool blend = false;
    GLenum blendSource = GL_ONE;
    GLenum blendDestination = GL_ZERO;
    GLenum blendOperation = GL_FUNC_ADD;
    uint8_t colourMask = 0xF; // bit 0 red, 1 green, 2 blue, 3 alpha
    bool operator==(const RenderStates& other) const = default;
};

// The GL state of the renderer's context as last set through it, so that setting
// what is already set issues no GL call. One per context; the context owns it.
class GLStateCache {
public:
    static constexpr uint32_t kTextureUnits = 32;

    GLStateCache();
    ~GLStateCache();

    // Sets every cached state in GL to the defaults.
    void reset();

    void apply(const RenderStates& states);
    const RenderStates& states() const { return m_states; }
    void setScissorTest(bool on);
    bool scissorTest() const { return m_scissor; }

    // Binds a framebuffer for drawing and reading.
    void bindFramebuffer(GLuint framebuffer);
    GLuint framebuffer() const { return m_framebuffer; }
    // Points reading back at the bound framebuffer after a read from another one.
    void restoreReadFramebuffer();

    void useProgram(GLuint program);
    void bindVertexArray(GLuint vertexArray);
    // The vertex array bound when no vertex buffer is (draws that take everything from
    // gl_VertexID use it).
    void setDefaultVertexArray(GLuint vertexArray) { m_defaultVertexArray = vertexArray; }
    void bindDefaultVertexArray() { bindVertexArray(m_defaultVertexArray); }
    void bindTexture(uint32_t unit, GLuint texture);
    void bindSampler(uint32_t unit, GLuint sampler);
    GLuint vertexArray() const { return m_vertexArray; }

    // GL drops deleted objects from its bindings; the cache must forget them too, or
    // a new object given the same name would be taken as bound. The context calls
    // these where it deletes.
    void forgetFramebuffer(GLuint framebuffer);
    void forgetTexture(GLuint texture);
    void forgetSampler(GLuint sampler);
    void forgetProgram(GLuint program);
    void forgetVertexArray(GLuint vertexArray);

private:
    void applyCull(CullMode cull);

    RenderStates m_states;
    bool m_scissor = false;
    GLuint m_framebuffer = 0;
    GLuint m_program = 0;
    GLuint m_vertexArray = 0;
    GLuint m_defaultVertexArray = 0;
    std::array<GLuint, kTextureUnits> m_textures{};
    std::array<GLuint, kTextureUnits> m_samplers{};
};

} // namespace Vrenn
