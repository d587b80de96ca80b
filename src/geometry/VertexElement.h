#pragma once

#include <cstdint>

namespace Vrenn {

// What a vertex element holds. The numbers are stored in mesh files.
enum VertexUsage : uint32_t {
    USAGE_POSITION = 0,
    USAGE_NORMAL = 1,
    USAGE_TEXCOORD = 2,
    USAGE_COLOR = 3,
    USAGE_BLENDWEIGHT = 4,
    USAGE_BLENDINDICES = 5,
    USAGE_TANGENT = 6,
    USAGE_BINORMAL = 7,
};
constexpr uint32_t kVertexUsageCount = 8;

// How an element's 4-byte components are encoded.
enum ComponentType : uint32_t {
    COMPONENT_FLOAT = 0, // 32-bit floats
    COMPONENT_COLOR = 1, // one packed 32-bit colour
};

// One attribute of a vertex stream: which stream it lives in, what it means and where
// it sits inside one vertex of that stream. Six 32-bit fields, in file order.
struct VertexElement {
    uint32_t stream = 0;
    uint32_t usage = USAGE_POSITION;
    uint32_t usageIndex = 0;
    uint32_t componentType = COMPONENT_FLOAT;
    uint32_t componentCount = 3; // number of 4-byte components, 1 to 4
    uint32_t offset = 0;         // byte offset inside one vertex of the stream

    uint32_t byteSize() const { return 4u * componentCount; }
    bool operator==(const VertexElement&) const = default;
};

} // namespace Vrenn
