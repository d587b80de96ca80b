// Screen text: glyphs from the font sheet, tinted by the vertex colour. The sheet's
// colour is premultiplied by its coverage, so it blends as one / inverse alpha.
shared {
    uniform mat4 worldViewProj;
    uniform sampler2D fontTex;
}
vertex textVS {
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
fragment textFS {
    in vec2 uv;
    in vec4 tint;
    out vec4 result;
    void main() { result = texture(fontTex, uv) * tint; }
}
sampler fontTex { min = linear; mag = linear; mip = none; address = clamp; }
technique Text {
    pass {
        vertex = textVS;
        fragment = textFS;
        depth_test = false;
        depth_write = false;
        blend = one inv_src_alpha;
    }
}
