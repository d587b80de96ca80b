#include "render/QueryMgr.h"
#include "render/ShaderMgr.h"
#include "support/GLTestContext.h"
#include "support/RenderTestSupport.h"

#include <gtest/gtest.h>

namespace Vrenn {
namespace {

using Test::drawPasses;
using Test::fixture;
using Test::GLTestContext;

class QueryTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto& renderer = GLTestContext::get().renderer();
        renderer.setRenderTarget(renderer.primaryTarget());
        renderer.clear(true, true, false);
        effect = ShaderMgr::instance()->createEffect(fixture("render/rectangle.fx"));
        ASSERT_NE(effect, nullptr);
        effect->getParameter("size")->setVector(
            {static_cast<float>(renderer.primaryTarget()->width()),
             static_cast<float>(renderer.primaryTarget()->height()), 0, 0});
    }

    void drawRectangle(float x0, float y0, float x1, float y1, float depth) {
        effect->getParameter("rect")->setVector({x0, y0, x1, y1});
        effect->getParameter("depth")->setFloat(depth);
        EXPECT_TRUE(drawPasses(*effect, [] { glDrawArrays(GL_TRIANGLES, 0, 6); }));
    }

    std::shared_ptr<Effect> effect;
};

TEST_F(QueryTest, CountsThePixelsOfAQuadThatPassTheDepthTest) {
    auto* queries = QueryMgr::instance();
    auto query = queries->createOcclusionQuery();
    ASSERT_NE(query, nullptr);
    query->begin();
    drawRectangle(10, 20, 40, 60, 0.5f);
    query->end();
    uint32_t count = 0;
    ASSERT_TRUE(query->getResult(count, true));
    EXPECT_EQ(count, 30u * 40u);

    // Behind the first quad, only the part sticking out of it counts.
    query->begin();
    drawRectangle(30, 20, 50, 60, 0.75f);
    query->end();
    ASSERT_TRUE(query->getResult(count, false));
    EXPECT_EQ(count, 10u * 40u);
}

TEST_F(QueryTest, NeverWaitsForAPairNotEnded) {
    auto first = QueryMgr::instance()->createOcclusionQuery();
    ASSERT_NE(first, nullptr);
    uint32_t count = 77;
    EXPECT_FALSE(first->getResult(count, true));
    first->begin();
    EXPECT_FALSE(first->getResult(count, true));
    first->end();
    EXPECT_TRUE(first->getResult(count, true));
    EXPECT_EQ(count, 0u);
    // Begun again, the last pair's result is no longer the query's.
    first->begin();
    EXPECT_FALSE(first->getResult(count, true));
    first->end();
}

} // namespace
} // namespace Vrenn
