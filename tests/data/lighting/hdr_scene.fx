// The scene pass of the HDR chain's tests: one constant colour over the floating-point target.
shared {
    uniform mat4 worldViewProj;
    uniform vec4 colour = vec4(1.0);
}
vertex quadVS {
    layout(location = ATTR_POSITION) in vec2 position;
    layout(location = ATTR_TEXCOORD0) in vec2 texCoord;
    out vec2 uv;
    void main() {
        uv = texCoord;
        gl_Position = worldViewProj * vec4(position, 0.0, 1.0);
    }
}
fragment constantFS { in vec2 uv; out vec4 result; void main() { result = colour; } }
technique Constant { pass { vertex = quadVS; fragment = constantFS; depth_test = false; } }
