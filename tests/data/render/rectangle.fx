// Two triangles covering a rectangle given in pixels of the bound target.
shared { uniform vec4 rect; uniform vec2 size; uniform float depth; }
vertex quad {
    void main() {
        const vec2 corners[6] = vec2[](vec2(0, 0), vec2(1, 0), vec2(0, 1),
                                       vec2(1, 0), vec2(1, 1), vec2(0, 1));
        vec2 pixel = mix(rect.xy, rect.zw, corners[gl_VertexID]);
        vec2 clip = pixel / size * 2.0 - 1.0;
        gl_Position = vec4(clip.x, -clip.y, depth, 1.0);
    }
}
fragment white { out vec4 colour; void main() { colour = vec4(1.0); } }
technique Quad { pass { vertex = quad; fragment = white; depth_func = less; } }
