// The scene's edges: every triangle drawn as lines over the lit scene, in one flat colour.
shared {
    uniform mat4 worldViewProj;
    uniform vec4 lineColour = vec4(0.2, 1.0, 0.4, 1.0);
}
vertex wireVS {
    layout(location = ATTR_POSITION) in vec3 position;
    void main() { gl_Position = worldViewProj * vec4(position, 1.0); }
}
fragment wireFS {
    out vec4 result;
    void main() { result = lineColour; }
}
technique Wireframe {
    pass {
        vertex = wireVS;
        fragment = wireFS;
        fill = wireframe;
        depth_write = false;
    }
}
