#pragma once

#include <cstdint>

namespace Vrenn {

// Which GL context is alive. GL objects remember the generation of the context they
// were made in and delete their names only while that context lives: resources held
// past the renderer's shut-down then go quietly instead of calling into a dead
// context.
uint64_t glContextGeneration(); // 0 while no context lives
uint64_t beginGLContextLife();  // a context was made current; returns its generation
void endGLContextLife();        // the context is about to be destroyed
inline bool glContextAlive(uint64_t generation) {
    return generation != 0 && generation == glContextGeneration();
}

} // namespace Vrenn
