// An imported model drawn on the test device through the engine's camera: what a user sees
// must be what the file shows in any other viewer (facing -z, +x on the right, +y up).

#include "fs/CodecMgr.h"
#include "geometry/Mesh.h"
#include "geometry/Model.h"
#include "geometry/Surface.h"
#include "import/SceneImport.h"
#include "render/ShaderMgr.h"
#include "scene/Camera.h"
#include "support/GLTestContext.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <map>

namespace Vrenn::Import {
namespace {

using Test::backBufferPixelAtClip;
using Test::drawPasses;
using Test::GLTestContext;

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

// A box open towards +z, its walls facing inwards, with a marker high on its back wall:
// seen from +z, Left must be on the left, Right on the right, Top above the centre.
const char* const kOpenBox = R"(mtllib box.mtl
v -1 -1 -1
v 1 -1 -1
v 1 1 -1
v -1 1 -1
v -1 -1 1
v 1 -1 1
v 1 1 1
v -1 1 1
v -0.2 0.4 -0.9
v 0.2 0.4 -0.9
v 0.2 0.8 -0.9
v -0.2 0.8 -0.9
usemtl Back
f 1 2 3 4
usemtl Left
f 5 1 4 8
usemtl Right
f 2 6 7 3
usemtl Top
f 9 10 11 12
)";

TEST(ImportView, TheModelIsSeenAsItsFileShowsIt) {
    Vrenn::Test::TempDir dir;
    dir.write("box.obj", kOpenBox);
    dir.write("box.mtl", "newmtl Back\nKd 1 1 1\nnewmtl Left\nKd 1 0 0\nnewmtl Right\nKd 0 1 0\n"
                         "newmtl Top\nKd 0 0 1\n");
    CodecMgr codecs;
    registerStandardCodecs(codecs);
    ImportedScene scene;
    std::string why;
    ASSERT_TRUE(importScene((dir.path() / "box.obj").string(), {"box", 100.0f}, codecs, scene, why))
        << why;

    GLTestContext& gl = GLTestContext::get();
    GLRenderer& renderer = gl.renderer();
    renderer.setRenderTarget(renderer.primaryTarget());
    renderer.clear(true, true, false);
    auto effect = ShaderMgr::instance()->createEffect(kFlatEffect);
    ASSERT_NE(effect, nullptr);
    ASSERT_TRUE(effect->setTechnique("Flat"));

    // The camera 300 units in front of the opening, facing -z as the program starts it,
    // with the coordinate conversion the program gives its renderer.
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
