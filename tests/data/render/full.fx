// A comment before anything.
shared {
    uniform mat4 transform; /* braces in comments: { */
}
vertex vs {
    void main() { gl_Position = transform * vec4(0.0); } // }
}
fragment fs { out vec4 colour; void main() { colour = vec4(1.0); } }
sampler baseMap { min = point; mag = point; mip = none; address = clamp; address_v = mirror; }
semantic WORLDVIEWPROJECTION = transform;
technique Lit {
    pass first {
        vertex = vs; fragment = fs;
        cull = cw; fill = wireframe;
        depth_test = false; depth_write = off; depth_func = greater_equal;
        blend = src_alpha inv_src_alpha; blend_op = max; colour_mask = rb;
    }
    pass { vertex = vs; fragment = fs; }
}
technique Plain { pass { vertex = vs; fragment = fs; blend = off; color_mask = none; } }
