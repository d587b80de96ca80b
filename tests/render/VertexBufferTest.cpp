// Vertex and index buffers on the test device: layouts per stream mask, the update
// rule, and draws read back.

#include "render/ShaderMgr.h"
#include "render/VertexBufferMgr.h"
#include "render/gl/GLVertexBuffer.h"
#include "support/GLTestContext.h"
#include "support/RenderTestSupport.h"

#include <cstring>
#include <gtest/gtest.h>

namespace Vrenn {
namespace {

using namespace Test;

struct Position {
    float x, y, z;
};

class VertexBufferTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto& renderer = GLTestContext::get().renderer();
        renderer.setRenderTarget(renderer.primaryTarget());
        buffers = VertexBufferMgr::instance();
        ASSERT_NE(buffers, nullptr);
        effect = ShaderMgr::instance()->createEffect(fixture("render/colour.fx"));
        ASSERT_NE(effect, nullptr);
    }

    // Positions in stream 0, one packed colour in stream 1 for every vertex.
    std::shared_ptr<GLVertexBuffer> makeMesh(const std::vector<Position>& positions,
                                             uint32_t colour, bool indexed) {
        auto mesh = std::dynamic_pointer_cast<GLVertexBuffer>(buffers->createVertexBuffer());
        EXPECT_NE(mesh, nullptr);
        const auto count = static_cast<uint32_t>(positions.size());
        mesh->addStream(positions.data(), count, sizeof(Position),
                        {VertexElement{0, USAGE_POSITION, 0, COMPONENT_FLOAT, 3, 0}});
        const std::vector<uint32_t> colours(count, colour);
        mesh->addStream(colours.data(), count, 4,
                        {VertexElement{0, USAGE_COLOR, 0, COMPONENT_COLOR, 1, 0}});
        if (indexed) {
            std::vector<uint32_t> indices(count);
            for (uint32_t i = 0; i < count; ++i)
                indices[i] = i;
            mesh->setIndices(indices.data(), count);
        }
        mesh->setPrimitiveType(PRIMITIVE_TRIANGLE_LIST);
        return mesh;
    }

    // Draws on opaque white, so that anything drawn, black included, shows.
    void draw(VertexBuffer& mesh, int32_t first = -1, int32_t vertices = -1, int32_t indices = -1) {
        glClearColor(1, 1, 1, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        EXPECT_TRUE(drawPasses(*effect, [&] {
            ASSERT_TRUE(mesh.bind());
            mesh.draw(first, vertices, indices);
            mesh.unbind();
        }));
    }

    VertexBufferMgr* buffers = nullptr;
    std::shared_ptr<Effect> effect;
};

// Two triangles: the left one around x = -0.5, the right one around x = +0.5.
const std::vector<Position> kTwoTriangles = {
    {-0.9f, -0.5f, 0}, {-0.1f, -0.5f, 0}, {-0.5f, 0.5f, 0},
    {0.1f, -0.5f, 0},  {0.9f, -0.5f, 0},  {0.5f, 0.5f, 0},
};

// A range of vertices or of indices picks one of the two triangles: the left one is
// vertices (and indices) 0 to 2, the right one 3 to 5. A stream mask leaves streams unread.
// Strips and fans draw as named.
TEST_F(VertexBufferTest, DrawTakesItsRangeAndPrimitiveType) {
    struct Case {
        bool indexed;
        int32_t first, vertices, indices;
        bool left, right;
    };
    for (const Case& c : {Case{false, 0, 3, -1, true, false}, Case{false, 3, -1, -1, false, true},
                          Case{true, 3, -1, 3, false, true}}) {
        SCOPED_TRACE(testing::Message() << c.indexed << " " << c.first << " " << c.vertices);
        auto mesh = makeMesh(kTwoTriangles, 0xFF0000FFu, c.indexed);
        ASSERT_TRUE(buffers->upload(mesh));
        EXPECT_EQ(mesh->indexBuffer() != 0, c.indexed); // no index buffer without indices
        draw(*mesh, c.first, c.vertices, c.indices);
        const auto blue = std::array<uint8_t, 4>{0, 0, 255, 255};
        const auto white = std::array<uint8_t, 4>{255, 255, 255, 255};
        EXPECT_EQ(backBufferPixelAtClip(-0.5f, -0.2f), c.left ? blue : white);
        EXPECT_EQ(backBufferPixelAtClip(0.5f, -0.2f), c.right ? blue : white);
    }

    // Positions only: the colour stream is not read and the attribute takes GL's constant
    // (0, 0, 0, 1).
    auto masked = makeMesh(kTwoTriangles, 0xFF0000FFu, false);
    ASSERT_TRUE(buffers->upload(masked));
    masked->setStreamMask(1);
    draw(*masked);
    EXPECT_EQ(backBufferPixelAtClip(0.5f, -0.2f), (std::array<uint8_t, 4>{0, 0, 0, 255}));

    // Primitive type 4 is a triangle strip: four corners make the whole square (as a fan
    // they would leave the corner at (0.4, 0.3) empty).
    const std::vector<Position> square = {
        {-0.5f, -0.5f, 0}, {0.5f, -0.5f, 0}, {-0.5f, 0.5f, 0}, {0.5f, 0.5f, 0}};
    for (auto [type, cornerRed] :
         {std::pair{PRIMITIVE_TRIANGLE_STRIP, 0}, {PRIMITIVE_TRIANGLE_FAN, 255}}) {
        auto mesh = makeMesh(square, 0xFF000000u, false);
        mesh->setPrimitiveType(type);
        EXPECT_EQ(mesh->primitiveCount(), 2u);
        ASSERT_TRUE(buffers->upload(mesh));
        draw(*mesh);
        EXPECT_EQ(backBufferPixelAtClip(0.4f, 0.3f)[0], cornerRed) << type;
        EXPECT_EQ(backBufferPixelAtClip(-0.4f, 0.3f)[0], 0) << type;
    }
}

// A static buffer refuses a second update and keeps its contents; component counts above four
// are read as four; a mask beyond the streams and an index past the last vertex are refused.
TEST_F(VertexBufferTest, UploadsKeepToTheBuffersRules) {
    for (const bool dynamic : {false, true}) {
        auto mesh = makeMesh(kTwoTriangles, 0xFF0000FFu, true);
        mesh->setDynamic(dynamic);
        ASSERT_TRUE(buffers->upload(mesh));
        std::memset(mesh->streamData(1), 0xEE, 4 * kTwoTriangles.size());
        EXPECT_EQ(mesh->update(true, true, -1, -1), dynamic);
        uint32_t stored = 0;
        glGetNamedBufferSubData(mesh->buffers()[1], 0, 4, &stored);
        EXPECT_EQ(stored, dynamic ? 0xEEEEEEEEu : 0xFF0000FFu) << dynamic;
    }

    auto mesh = std::dynamic_pointer_cast<GLVertexBuffer>(buffers->createVertexBuffer());
    const std::vector<float> data(3 * 12, 0.0f);
    // Three floats, then five (read as four), in one 48-byte vertex.
    mesh->addStream(data.data(), 3, 48,
                    {VertexElement{0, USAGE_NORMAL, 0, COMPONENT_FLOAT, 3, 0},
                     VertexElement{0, USAGE_TEXCOORD, 1, COMPONENT_FLOAT, 5, 12}});
    mesh->setPrimitiveType(PRIMITIVE_TRIANGLE_LIST);
    ASSERT_TRUE(buffers->upload(mesh));
    const GLuint layout = mesh->declaration(Mesh::kAllStreams);
    GLint size = 0;
    glGetVertexArrayIndexediv(layout, 1, GL_VERTEX_ATTRIB_ARRAY_SIZE, &size);
    EXPECT_EQ(size, 3);
    glGetVertexArrayIndexediv(layout, 8, GL_VERTEX_ATTRIB_ARRAY_SIZE, &size);
    EXPECT_EQ(size, 4);

    // A mask naming streams far beyond the mesh's gets no layout and does not bind.
    mesh->setStreamMask(0x100);
    EXPECT_FALSE(mesh->bind());

    auto unsafe = makeMesh(kTwoTriangles, 0xFFFFFFFFu, true);
    unsafe->indices()[4] = 6;
    EXPECT_FALSE(buffers->upload(unsafe));
}

} // namespace
} // namespace Vrenn
