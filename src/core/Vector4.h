#pragma once

namespace Vrenn {

// Four floats: a colour, a position with w, or any effect parameter of four values.
struct Vector4 {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
    float w = 0.0f;
    constexpr bool operator==(const Vector4&) const = default;
};

} // namespace Vrenn
