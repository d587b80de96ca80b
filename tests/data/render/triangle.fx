// A triangle from three corners given as a vector array, moved by a matrix and
// coloured by a texture times a tint.
shared {
    uniform mat4 transform;
    uniform vec4 corners[3];
    uniform vec4 tint = vec4(1.0, 0.5, 0.25, 1.0);
    uniform sampler2D baseMap;
}
vertex triangleVS {
    out vec2 uv;
    void main() {
        vec4 corner = corners[gl_VertexID];
        uv = corner.xy;
        gl_Position = transform * vec4(corner.xy, 0.5, 1.0);
    }
}
fragment texturedFS {
    in vec2 uv;
    out vec4 colour;
    void main() { colour = texture(baseMap, uv) * tint; }
}
fragment greenFS {
    out vec4 colour;
    void main() { colour = vec4(0.0, 1.0, 0.0, 1.0); }
}
sampler baseMap { min = point; mag = point; mip = none; address = clamp; }
semantic TINT = tint;
technique Textured { pass { vertex = triangleVS; fragment = texturedFS; depth_test = false; } }
technique AddGreen {
    pass { vertex = triangleVS; fragment = texturedFS; depth_test = false; }
    pass { vertex = triangleVS; fragment = greenFS; depth_test = false; blend = one one; }
}
technique CullClockwise { pass { vertex = triangleVS; fragment = greenFS; cull = cw; depth_test = false; } }
technique CullCounterClockwise { pass { vertex = triangleVS; fragment = greenFS; cull = ccw; depth_test = false; } }
