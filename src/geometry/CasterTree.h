#pragma once

#include "geometry/OcclusionKernel.h"

#include <vector>

namespace Vrenn {

class PolyPack;

// A pack's tree, polygons and boxes as the casters walk them, with the cell boxes that let them
// drop segments early. Immutable once made, so any number of casters on any threads share one.
// It keeps a copy of the pack's coverage mask; the pack must outlive it all the same (the
// one-ray walk reads it).
class CasterTree {
public:
    explicit CasterTree(const PolyPack& pack);

    const PolyPack& pack() const { return m_pack; }
    const CasterScene& scene() const { return m_scene; }
    // False when the pack has no tree or atlas: nothing is blocked then.
    bool ready() const { return m_ready; }
    // Whether the cell boxes are in use (trees deeper than their margins allow go without).
    bool usesCellBoxes() const { return m_scene.cellSlackLimit > 0.0f; }

private:
    const PolyPack& m_pack;
    bool m_ready = false;
    std::vector<CasterNode> m_nodes;
    std::vector<CasterLeaf> m_leaves;
    std::vector<CasterPolygon> m_polygons;
    std::vector<int32_t> m_polygonNumbers;
    std::vector<uint8_t> m_mask; // the pack's coverage mask, padded for vector gathers
    CasterScene m_scene;
};

} // namespace Vrenn
