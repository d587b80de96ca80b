// A full-screen triangle writing `colour` at depth `depth`, or sampling a level of `source`.
shared { uniform vec4 colour; uniform float depth = 0.5; }
vertex fullScreen {
    void main() {
        vec2 corner = vec2((gl_VertexID << 1) & 2, gl_VertexID & 2);
        gl_Position = vec4(corner * 2.0 - 1.0, depth, 1.0); // depth runs from 0 to 1
    }
}
fragment one { out vec4 result; void main() { result = colour; } }
fragment sampleLevel {
    uniform sampler2D source;
    uniform float level;
    out vec4 result;
    void main() { result = textureLod(source, vec2(0.5), level); }
}
technique One { pass { vertex = fullScreen; fragment = one; depth_func = always; } }
technique Sample { pass { vertex = fullScreen; fragment = sampleLevel; } }
