// Lines in their vertex colour, for the tree view: each line carries the colour of the
// depth of the node it outlines.
shared {
    uniform mat4 worldViewProj;
}
vertex testVS {
    layout(location = ATTR_POSITION) in vec3 position;
    layout(location = ATTR_COLOR) in vec4 colour;
    out vec4 tint;
    void main() {
        tint = colour;
        gl_Position = worldViewProj * vec4(position, 1.0);
    }
}
fragment testFS {
    in vec4 tint;
    out vec4 result;
    void main() { result = vec4(tint.rgb, 1.0); }
}
technique Test {
    pass {
        vertex = testVS;
        fragment = testFS;
    }
}
