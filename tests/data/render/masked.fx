// One pass that writes red only and no depth.
vertex v { void main() { gl_Position = vec4(0.0, 0.0, 0.5, 1.0); } }
fragment f { out vec4 c; void main() { c = vec4(1.0); } }
technique t { pass { vertex = v; fragment = f; colour_mask = r; depth_write = false; } }
