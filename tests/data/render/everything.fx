// One pass that sets every render state away from its default.
vertex v { void main() { gl_Position = vec4(0.0, 0.0, 0.5, 1.0); } }
fragment f { out vec4 c; void main() { c = vec4(1.0); } }
technique Everything {
    pass {
        vertex = v; fragment = f; cull = cw; fill = wireframe; depth_test = false;
        depth_write = false; depth_func = always; blend = src_alpha one; blend_op = max;
        colour_mask = g;
    }
}
