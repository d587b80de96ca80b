#include "render/gl/GLContextLife.h"

namespace Vrenn {

namespace {
uint64_t g_live = 0;
uint64_t g_last = 0;
} // namespace

uint64_t glContextGeneration() {
    return g_live;
}

uint64_t beginGLContextLife() {
    g_live = ++g_last;
    return g_live;
}

void endGLContextLife() {
    g_live = 0;
}

} // namespace Vrenn
