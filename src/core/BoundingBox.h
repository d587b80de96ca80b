#pragma once

#include "core/Vector3.h"

#include <limits>

namespace Vrenn {

// An axis-aligned box. The empty box has its minimum above its maximum, so merging
// it into another box changes nothing and growing it by a point gives that point.
struct BoundingBox {
    Vec3 min{std::numeric_limits<float>::max(), std::numeric_limits<float>::max(),
             std::numeric_limits<float>::max()};
    Vec3 max{-std::numeric_limits<float>::max(), -std::numeric_limits<float>::max(),
             -std::numeric_limits<float>::max()};

    static BoundingBox empty() { return {}; }
    static BoundingBox of(const Vec3& lo, const Vec3& hi) { return {lo, hi}; }
    bool isEmpty() const { return min.x > max.x || min.y > max.y || min.z > max.z; }

    void grow(const Vec3& p) {
        if (p.x < min.x) min.x = p.x;
        if (p.y < min.y) min.y = p.y;
        if (p.z < min.z) min.z = p.z;
        if (p.x > max.x) max.x = p.x;
        if (p.y > max.y) max.y = p.y;
        if (p.z > max.z) max.z = p.z;
    }
    void merge(const BoundingBox& other) {
        if (other.isEmpty()) return;
        grow(other.min);
        grow(other.max);
    }
    bool operator==(const BoundingBox&) const = default;
};

} // namespace Vrenn
