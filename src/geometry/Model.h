#pragma once

#include "core/BoundingBox.h"

#include <memory>
#include <vector>

namespace Vrenn {

class Surface;

// A loaded model: its surfaces in file order and the box around all of them.
class Model {
public:
    Model();
    virtual ~Model();

    const std::vector<std::shared_ptr<Surface>>& surfaces() const { return m_surfaces; }
    // Appends a surface; the first surface's box becomes the model's box, later boxes
    // are merged into it.
    void addSurface(std::shared_ptr<Surface> surface);

    const BoundingBox& bounds() const { return m_bounds; }

private:
    std::vector<std::shared_ptr<Surface>> m_surfaces;
    BoundingBox m_bounds;
};

} // namespace Vrenn
