// Last pass of the HDR chain, onto the back buffer: the scene plus its bloom, scaled by the
// adapted exposure, through an extended Reinhard curve per channel and encoded for display:
//     c = exposure * (scene + kBloom * maxRange * blur)
//     m = c * (1 + c / kWhite^2) / (1 + c)          (m = 1 at c = kWhite)
//     out = clamp(m, 0, 1)^(1 / kGamma)
// "scene" is the floating-point scene, "blur" the blurred bright part in units of maxRange
// (max_env_lum), "exposure" the one-texel exposure target just written.
shared {
    uniform mat4 worldViewProj;
    uniform sampler2D scene;
    uniform sampler2D blur;
    uniform sampler2D exposure;
    uniform float maxRange = 32.0;
}
vertex quadVS {
    layout(location = ATTR_POSITION) in vec2 position;
    layout(location = ATTR_TEXCOORD0) in vec2 texCoord;
    out vec2 uv;
    void main() {
        uv = texCoord;
        gl_Position = worldViewProj * vec4(position, 0.0, 1.0);
    }
}
fragment tonemapFS {
    in vec2 uv;
    out vec4 result;
    const float kBloom = 0.5;
    const float kWhite = 6.0;
    const float kGamma = 2.2;

    vec3 finite(vec3 c) {
        bvec3 bad = bvec3(isnan(c.r) || !(c.r >= 0.0), isnan(c.g) || !(c.g >= 0.0),
                          isnan(c.b) || !(c.b >= 0.0));
        return min(mix(c, vec3(0.0), bad), vec3(65504.0));
    }

    void main() {
        float x = texelFetch(exposure, ivec2(0), 0).r;
        x = (x > 0.0 && !isinf(x)) ? x : 0.0;
        vec3 hdr = finite(texture(scene, uv).rgb) + kBloom * maxRange * texture(blur, uv).rgb;
        vec3 c = x * hdr;
        vec3 m = c * (1.0 + c / (kWhite * kWhite)) / (1.0 + c);
        result = vec4(pow(clamp(m, 0.0, 1.0), vec3(1.0 / kGamma)), 1.0);
    }
}
sampler scene { min = point; mag = point; mip = none; address = clamp; }
sampler blur { min = linear; mag = linear; mip = none; address = clamp; }
sampler exposure { min = point; mag = point; mip = none; address = clamp; }
technique Tonemap {
    pass {
        vertex = quadVS;
        fragment = tonemapFS;
        depth_test = false;
        depth_write = false;
    }
}
