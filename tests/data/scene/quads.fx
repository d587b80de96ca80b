// One effect, four techniques: plain red, plain green, the vertex colour, and red
// and green into two targets at once.
shared { uniform mat4 worldViewProj; }
vertex quadVS {
    layout(location = ATTR_POSITION) in vec2 position;
    layout(location = ATTR_COLOR) in vec4 colour;
    out vec4 tint;
    void main() {
        tint = colour;
        gl_Position = worldViewProj * vec4(position, 0.0, 1.0);
    }
}
fragment redFS { in vec4 tint; out vec4 result; void main() { result = vec4(1, 0, 0, 1); } }
fragment greenFS { in vec4 tint; out vec4 result; void main() { result = vec4(0, 1, 0, 1); } }
fragment tintFS { in vec4 tint; out vec4 result; void main() { result = tint; } }
fragment pairFS {
    in vec4 tint;
    layout(location = 0) out vec4 first;
    layout(location = 1) out vec4 second;
    void main() { first = vec4(1, 0, 0, 1); second = vec4(0, 1, 0, 1); }
}
technique Red { pass { vertex = quadVS; fragment = redFS; depth_test = false; } }
technique Green { pass { vertex = quadVS; fragment = greenFS; depth_test = false; } }
technique Tint { pass { vertex = quadVS; fragment = tintFS; depth_test = false; } }
technique Pair { pass { vertex = quadVS; fragment = pairFS; depth_test = false; } }
