// An imported model drawn through the engine's camera looks as the file shows it in any
// other viewer (facing -z, +x on the right, +y up).

#include "fs/CodecMgr.h"
#include "geometry/Mesh.h"
#include "geometry/Model.h"
#include "geometry/Surface.h"
#include "import/SceneImport.h"
#include "render/ShaderMgr.h"
#include "scene/Camera.h"
#include "support/GLTestContext.h"
#include "support/TestData.h"

#include <gtest/gtest.h>
#include <map>

namespace Vrenn::Import {
namespace {

using Vrenn::Test::backBufferPixelAtClip;
using Vrenn::Test::drawPasses;
using Vrenn::Test::GLTestContext;

// Each surface in one flat colour, back faces culled as the lit scene culls them.
const char* const kFlatEffect = R"(
shared {
    uniform mat4 worldViewProj;
    uniform vec4 colour = vec4(1.0);
}
vertex flatVS {
    layout(location = ATTR_POSITION) in vec3 position;
    void main() { gl_Position = worldViewProj * vec4(position, 1.0); }
}
fragment flatFS {
    out vec4 result;
    void main() { result = colour; }
}
technique Flat { pass { vertex = flatVS; fragment = flatFS; cull = cw; } }
)";

TEST(ImportView, TheModelIsSeenAsItsFileShowsIt) {
    // A box open towards +z with a marker high on its back wall (see the fixtures' README).
    CodecMgr codecs;
    registerStandardCodecs(codecs);
    ImportedScene scene;
    std::string why;
    ASSERT_TRUE(importScene(Vrenn::Test::testDataPath("tools/import/openbox.obj"), {"box", 100.0f},
                            codecs, scene, why))
        << why;

    GLTestContext& gl = GLTestContext::get();
    GLRenderer& renderer = gl.renderer();
    renderer.setRenderTarget(renderer.primaryTarget());
    renderer.clear(true, true, false);
    auto effect = ShaderMgr::instance()->createEffect(kFlatEffect);
    ASSERT_NE(effect, nullptr);
    ASSERT_TRUE(effect->setTechnique("Flat"));

    // The camera 300 units in front of the opening, facing -z as the program starts it.
    Camera camera("view", {0.0f, 0.0f, 400.0f}, Quaternion{});
    camera.setAspect(640.0f / 480.0f);
    camera.update();
    ASSERT_TRUE(effect->getParameter("worldViewProj")
                    ->setMatrix(camera.projectionMatrix() * camera.viewMatrix()));

    const std::map<std::string, Vector4> colours = {{"box_Back", {1, 1, 1, 1}},
                                                    {"box_Left", {1, 0, 0, 1}},
                                                    {"box_Right", {0, 1, 0, 1}},
                                                    {"box_Top", {0, 0, 1, 1}}};
    for (const auto& surface : scene.model->surfaces()) {
        ASSERT_TRUE(colours.count(surface->materialName())) << surface->materialName();
        effect->getParameter("colour")->setVector(colours.at(surface->materialName()));
        const Mesh& mesh = *surface->mesh();
        GLuint buffers[2] = {}, vertexArray = 0;
        glCreateBuffers(2, buffers);
        glNamedBufferData(buffers[0], GLsizeiptr(mesh.vertexCount()) * 20, mesh.streamData(0),
                          GL_STATIC_DRAW);
        glNamedBufferData(buffers[1], GLsizeiptr(mesh.indices().size() * 4), mesh.indices().data(),
                          GL_STATIC_DRAW);
        glCreateVertexArrays(1, &vertexArray);
        glVertexArrayVertexBuffer(vertexArray, 0, buffers[0], 0, 20);
        glVertexArrayElementBuffer(vertexArray, buffers[1]);
        glEnableVertexArrayAttrib(vertexArray, 0);
        glVertexArrayAttribFormat(vertexArray, 0, 3, GL_FLOAT, GL_FALSE, 0);
        glVertexArrayAttribBinding(vertexArray, 0, 0);
        EXPECT_TRUE(drawPasses(*effect, [&] {
            glBindVertexArray(vertexArray);
            glDrawElements(GL_TRIANGLES, GLsizei(mesh.indices().size()), GL_UNSIGNED_INT, nullptr);
            glBindVertexArray(0);
        }));
        glDeleteVertexArrays(1, &vertexArray);
        glDeleteBuffers(2, buffers);
    }

    // Walls at x = -100 and +100 span clip x 0.36 to 0.6 on their side; the back wall
    // (500 units away) spans |x| < 0.36, the marker clip y 0.2 to 0.4 above its centre.
    struct Sample {
        float x, y;
        std::array<uint8_t, 4> rgba;
        const char* what;
    };
    const Sample samples[] = {
        {-0.5f, 0.0f, {255, 0, 0, 255}, "left wall on the left"},
        {0.5f, 0.0f, {0, 255, 0, 255}, "right wall on the right"},
        {0.0f, 0.3f, {0, 0, 255, 255}, "marker above the centre, in front of the back wall"},
        {0.0f, -0.3f, {255, 255, 255, 255}, "back wall below the marker"},
        {0.0f, 0.9f, {0, 0, 0, 0}, "nothing above the box"},
    };
    for (const Sample& at : samples) {
        const auto pixel = backBufferPixelAtClip(at.x, at.y);
        EXPECT_EQ(std::vector<int>(pixel.begin(), pixel.begin() + 3),
                  std::vector<int>(at.rgba.begin(), at.rgba.begin() + 3))
            << at.what;
    }
}

} // namespace
} // namespace Vrenn::Import
