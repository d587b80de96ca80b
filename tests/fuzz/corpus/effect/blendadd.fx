// Additive screen quads (the logo): the texture times the vertex colour is added to
// what is already drawn, so black leaves the picture unchanged.
shared {
    uniform mat4 worldViewProj;
    uniform sampler2D blendmap;
}
vertex quadVS {
    layout(location = ATTR_POSITION) in vec2 position;
    layout(location = ATTR_TEXCOORD0) in vec2 texCoord;
    layout(location = ATTR_COLOR) in vec4 colour;
    out vec2 uv;
    out vec4 tint;
    void main() {
        uv = texCoord;
        tint = colour;
        gl_Position = worldViewProj * vec4(position, 0.0, 1.0);
    }
}
fragment quadFS {
    in vec2 uv;
    in vec4 tint;
    out vec4 result;
    void main() { result = texture(blendmap, uv) * tint; }
}
sampler blendmap { min = linear; mag = linear; mip = none; address = clamp; }
technique Additive {
    pass {
        vertex = quadVS;
        fragment = quadFS;
        depth_test = false;
        depth_write = false;
        blend = one one;
    }
}
