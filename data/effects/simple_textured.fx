// A surface with its texture at texture-coordinate set 0 and no lighting, for looking at
// geometry and texture coordinates without the lightmaps.
shared {
    uniform mat4 worldViewProj;
    uniform sampler2D diffuseMap;
}
vertex texturedVS {
    layout(location = ATTR_POSITION) in vec3 position;
    layout(location = ATTR_TEXCOORD0) in vec2 texCoord;
    out vec2 uv;
    void main() {
        uv = texCoord;
        gl_Position = worldViewProj * vec4(position, 1.0);
    }
}
fragment texturedFS {
    in vec2 uv;
    out vec4 result;
    void main() { result = vec4(texture(diffuseMap, uv).rgb, 1.0); }
}
sampler diffuseMap { min = linear; mag = linear; mip = linear; address = wrap; }
technique SimpleTextured {
    pass {
        vertex = texturedVS;
        fragment = texturedFS;
        cull = cw;
    }
}
