#pragma once

#include "geometry/Surface.h"

namespace Vrenn {

// The sky: a surface drawn around the camera at a fixed size. The scene manager gives
// it a cube of edge length size centred on the origin (from -size/2 to +size/2 on each
// axis) whose faces are seen from inside; a vertex position is also the direction in
// which the sky shows it, ready for a cube-map lookup.
class SkyBox : public Surface {
public:
    explicit SkyBox(float size) : m_size(size) {}
    float size() const { return m_size; }

private:
    float m_size;
};

} // namespace Vrenn
