// The sky: the two light probes' cube maps, cross-faded, around the camera at the far plane.
//
// The cube maps hold each probe's radiance itself (its SH series in the texel's direction,
// clamped at 0), in the units of the lighting, and the scene target holds radiance in those
// units too; so the sky needs no scale: what it shows in direction d is the light that reaches
// the scene from d. "maxRange" (the program gives it "max_env_lum", the largest radiance the
// post chain represents) only caps it; until it is set nothing is capped.
//
// The box's vertex positions are directions. Each is placed around the camera (moved by the
// camera's world position, the translation of viewInverse; the world matrix is the identity),
// so the sky never comes nearer, and every fragment is put at the far plane without writing
// depth, so the sky lies behind everything drawn before or after it.
shared {
    uniform mat4 worldViewProj;
    uniform mat4 viewInverse;
    uniform samplerCube skyCube0;
    uniform samplerCube skyCube1;
    uniform float blendFactor = 0.0;  // 0: probe 0, 1: probe 1
    uniform float maxRange = 65504.0; // the largest half float: no cap
}

vertex skyVS {
    layout(location = ATTR_POSITION) in vec3 position;
    out vec3 direction;
    void main() {
        direction = position;
        gl_Position = worldViewProj * vec4(position + viewInverse[3].xyz, 1.0);
    }
}

fragment skyFS {
    in vec3 direction;
    out vec4 colour;
    void main() {
        vec3 sky = mix(texture(skyCube0, direction).rgb, texture(skyCube1, direction).rgb,
                       blendFactor);
        colour = vec4(min(sky, vec3(maxRange)), 1.0);
        gl_FragDepth = 1.0;
    }
}

sampler skyCube0 { min = linear; mag = linear; mip = none; address = clamp; }
sampler skyCube1 { min = linear; mag = linear; mip = none; address = clamp; }

technique Sky {
    pass {
        vertex = skyVS;
        fragment = skyFS;
        cull = none;
        depth_test = true;
        depth_write = false;
        depth_func = less_equal;
    }
}
