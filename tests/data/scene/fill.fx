// A full-screen triangle in the tint (its blue and red swapped unless diffuseOnly
// is set), or in the colour its sampler reads at the texture's centre.
shared {
    uniform vec4 tint;
    uniform bool diffuseOnly;
    uniform sampler2D lightmap012r;
}
sampler lightmap012r { min = point; mag = point; mip = none; address = clamp; }
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
fragment sampled {
    out vec4 result;
    void main() { result = texture(lightmap012r, vec2(0.5)); }
}
technique Tinted { pass { vertex = fullScreen; fragment = tinted; depth_test = false; } }
technique Sampled { pass { vertex = fullScreen; fragment = sampled; depth_test = false; } }
