#include "geometry/AtlasPacker.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace Vrenn {

namespace {

constexpr int kMaxExtent = 65536;

// Free-area tree of one packing attempt. Nodes live in one array; a node with children
// forwards to them, a leaf is free space.
class PackTree {
public:
    PackTree(int width, int height) {
        m_nodes.push_back(Node{0, 0, width, height, -1, -1, -1, false, width, height});
    }

    // Places rect in the first free leaf that takes it, searching children first-then-second
    // from the root. False when no leaf does. A subtree none of whose leaves is wide and high
    // enough either way round is passed over whole: it holds no leaf the search would take.
    bool insert(AtlasRect& rect) {
        m_stack.clear();
        m_stack.push_back(0);
        while (!m_stack.empty()) {
            const int index = m_stack.back();
            m_stack.pop_back();
            const Node node = m_nodes[static_cast<size_t>(index)];
            if (node.full || !((node.widest >= rect.width && node.highest >= rect.height) ||
                               (node.widest >= rect.height && node.highest >= rect.width)))
                continue;
            if (node.first >= 0) {
                m_stack.push_back(node.second);
                m_stack.push_back(node.first);
                continue;
            }
            if (placeInLeaf(index, rect)) return true;
        }
        return false;
    }

private:
    struct Node {
        int x, y, width, height;
        int first, second, parent;
        bool full;
        // The widest and the highest free leaf below (the node itself when a leaf; 0 when
        // full): bounds on what the subtree can take.
        int widest, highest;
    };

    bool placeInLeaf(int index, AtlasRect& rect) {
        const Node node = m_nodes[static_cast<size_t>(index)];
        // Upright when it fits, otherwise turned by 90 degrees; w and h are the sides as
        // placed.
        const bool upright = node.width >= rect.width && node.height >= rect.height;
        if (!upright && !(node.width >= rect.height && node.height >= rect.width)) return false;
        rect.flipped = !upright;
        const int w = upright ? rect.width : rect.height;
        const int h = upright ? rect.height : rect.width;
        Node first{node.x, node.y + h, w, node.height - h, -1, -1, index, false, 0, 0};
        Node second{node.x + w, node.y, node.width - w, node.height, -1, -1, index, false, 0, 0};
        rect.x = node.x;
        rect.y = node.y;
        rect.placed = true;
        first.full = first.height == 0;
        second.full = second.width == 0;
        for (Node* child : {&first, &second}) {
            child->widest = child->full ? 0 : child->width;
            child->highest = child->full ? 0 : child->height;
        }
        const int firstIndex = static_cast<int>(m_nodes.size());
        m_nodes.push_back(first);
        m_nodes.push_back(second);
        m_nodes[static_cast<size_t>(index)].first = firstIndex;
        m_nodes[static_cast<size_t>(index)].second = firstIndex + 1;
        // A node whose children are both full can take nothing more: mark it, and its
        // ancestors likewise, so later searches skip the whole subtree.
        int current = index;
        while (current >= 0) {
            Node& n = m_nodes[static_cast<size_t>(current)];
            if (!m_nodes[static_cast<size_t>(n.first)].full ||
                !m_nodes[static_cast<size_t>(n.second)].full)
                break;
            n.full = true;
            current = n.parent;
        }
        // The bounds of the placing leaf and its ancestors, as far as they change.
        for (current = index; current >= 0;
             current = m_nodes[static_cast<size_t>(current)].parent) {
            Node& n = m_nodes[static_cast<size_t>(current)];
            const Node& a = m_nodes[static_cast<size_t>(n.first)];
            const Node& b = m_nodes[static_cast<size_t>(n.second)];
            const int widest = n.full ? 0 : std::max(a.widest, b.widest);
            const int highest = n.full ? 0 : std::max(a.highest, b.highest);
            if (widest == n.widest && highest == n.highest && current != index) break;
            n.widest = widest;
            n.highest = highest;
        }
        return true;
    }

    std::vector<Node> m_nodes;
    std::vector<int> m_stack;
};

// Halves the atlas along each side for as long as every placed rectangle lies in the first
// half and the side stays at least its start size. Doubling the smaller side can overshoot: the
// packing that fits the doubled atlas may leave half of it empty.
void trimAtlas(const std::vector<AtlasRect>& rects, int startWidth, int startHeight,
               AtlasPackResult& result) {
    int usedWidth = 0, usedHeight = 0;
    for (const AtlasRect& rect : rects) {
        if (!rect.placed) continue;
        usedWidth = std::max(usedWidth, rect.x + rect.placedWidth());
        usedHeight = std::max(usedHeight, rect.y + rect.placedHeight());
    }
    while (result.width / 2 >= std::max(1, startWidth) && usedWidth <= result.width / 2)
        result.width /= 2;
    while (result.height / 2 >= std::max(1, startHeight) && usedHeight <= result.height / 2)
        result.height /= 2;
}

} // namespace

std::array<float, 2> AtlasRect::texelPoint(float a, float b) const {
    if (flipped) std::swap(a, b);
    return {static_cast<float>(x) + a * static_cast<float>(placedWidth() - 1),
            static_cast<float>(y) + b * static_cast<float>(placedHeight() - 1)};
}

int atlasRectExtent(float worldSize, float texelsPerUnit) {
    const float texels = std::ceil(worldSize * texelsPerUnit);
    if (std::isnan(texels) || texels < 1.0f) return 2;
    if (texels >= static_cast<float>(kMaxExtent)) return kMaxExtent;
    return std::max(2, static_cast<int>(texels) + 1);
}

AtlasPackResult packAtlasRects(std::vector<AtlasRect>& rects, int startWidth, int startHeight) {
    std::stable_sort(rects.begin(), rects.end(), [](const AtlasRect& a, const AtlasRect& b) {
        return static_cast<int64_t>(a.width) * a.height > static_cast<int64_t>(b.width) * b.height;
    });

    // Empty rectangles are never placed; they count as unplaced but do not grow the atlas.
    const int invalid =
        static_cast<int>(std::count_if(rects.begin(), rects.end(), [](const AtlasRect& r) {
            return r.width < 1 || r.height < 1;
        }));

    AtlasPackResult result;
    result.width = std::max(1, startWidth);
    result.height = std::max(1, startHeight);
    for (;;) {
        for (AtlasRect& rect : rects) {
            rect.placed = false;
            rect.flipped = false;
            rect.x = rect.y = 0;
        }
        // The last attempt places everything it can so that the refusals can be counted;
        // earlier ones stop at the first refusal and grow the atlas.
        const bool lastAttempt = result.width > kAtlasMaxWidth;
        PackTree tree(result.width, result.height);
        result.unplaced = invalid;
        for (AtlasRect& rect : rects) {
            if (rect.width < 1 || rect.height < 1 || tree.insert(rect)) continue;
            ++result.unplaced;
            if (!lastAttempt) break;
        }
        if (result.unplaced == invalid) {
            trimAtlas(rects, startWidth, startHeight, result);
            return result;
        }
        if (lastAttempt) return result;
        if (result.width < result.height)
            result.width *= 2;
        else
            result.height *= 2;
    }
}

std::string atlasPlacementLogLine(const AtlasRect& rect) {
    std::string line = "poly " + std::to_string(rect.id) + " " + std::to_string(rect.x) + " " +
                       std::to_string(rect.y) + " " + std::to_string(rect.width) + "*" +
                       std::to_string(rect.height);
    if (rect.flipped) line += "flip";
    line += "\n";
    return line;
}

} // namespace Vrenn
