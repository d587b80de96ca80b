// Copies a texture level texel for texel into a float target of the same size.
shared { uniform sampler2D source; uniform int level; }
vertex fullScreen {
    void main() {
        vec2 corner = vec2((gl_VertexID << 1) & 2, gl_VertexID & 2);
        gl_Position = vec4(corner * 2.0 - 1.0, 0.5, 1.0);
    }
}
fragment copy { out vec4 result; void main() { result = texelFetch(source, ivec2(gl_FragCoord.xy), level); } }
sampler source { min = point; mag = point; mip = point; }
technique Copy { pass { vertex = fullScreen; fragment = copy; depth_test = false; } }
