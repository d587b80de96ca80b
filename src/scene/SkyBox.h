#pragma once

#include "geometry/Surface.h"

namespace Vrenn {

// The sky: a surface drawn around the camera at a fixed size.
class SkyBox : public Surface {
public:
    explicit SkyBox(float size) : m_size(size) {}
    float size() const { return m_size; }

private:
    float m_size;
};

} // namespace Vrenn
