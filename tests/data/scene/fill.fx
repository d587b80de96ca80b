// A full-screen triangle in the tint (its blue and red swapped unless diffuseOnly
// is set).
shared {
    uniform vec4 tint;
    uniform bool diffuseOnly;
}
vertex fullScreen {
    void main() {
        vec2 corner = vec2((gl_VertexID << 1) & 2, gl_VertexID & 2);
        gl_Position = vec4(corner * 2.0 - 1.0, 0.5, 1.0);
    }
}
fragment tinted {
    out vec4 result;
    void main() { result = diffuseOnly ? vec4(tint.rgb, 1.0) : vec4(tint.bgr, 1.0); }
}
technique Tinted { pass { vertex = fullScreen; fragment = tinted; depth_test = false; } }
