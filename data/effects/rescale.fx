// First pass of the HDR chain: the floating-point scene, brought into the fixed range
// 0 ... 1 of the smaller rescaled target. Colour is scene * invMaxRange (1 / max_env_lum),
// clamped to 0 ... 1. Alpha carries the log luminance that the reductions average:
//     a = clamp(log2(max(Y * invMaxRange, 2^-16)) / 16 + 1, 0, 1)
// with Y = 0.2126 r + 0.7152 g + 0.0722 b, so 0 stands for max_env_lum * 2^-16 and below and
// 1 for max_env_lum and above, in steps of 16 / 65535 of a stop in a 16-bit channel. Averaging
// a and decoding the mean gives the log-average (geometric mean) luminance.
// Each pixel reads four bilinear taps a quarter of its own footprint from its centre, so the
// scene is minified from the back buffer's size without skipping texels.
shared {
    uniform mat4 worldViewProj;
    uniform sampler2D scene;
    uniform float invMaxRange = 1.0 / 32.0;
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
fragment rescaleFS {
    in vec2 uv;
    out vec4 result;
    const float kLogSpan = 16.0;
    const vec3 kLuma = vec3(0.2126, 0.7152, 0.0722);

    // A scene value as a finite colour of 0 and above (NaN and negative become 0).
    vec3 finite(vec3 c) {
        bvec3 bad = bvec3(isnan(c.r) || !(c.r >= 0.0), isnan(c.g) || !(c.g >= 0.0),
                          isnan(c.b) || !(c.b >= 0.0));
        return min(mix(c, vec3(0.0), bad), vec3(65504.0));
    }

    void main() {
        vec2 dx = dFdx(uv) * 0.25;
        vec2 dy = dFdy(uv) * 0.25;
        vec3 colour = vec3(0.0);
        float logLum = 0.0;
        for (int i = 0; i < 4; ++i) {
            vec2 at = uv + ((i & 1) == 0 ? -dx : dx) + ((i & 2) == 0 ? -dy : dy);
            vec3 c = finite(texture(scene, at).rgb) * invMaxRange;
            colour += c;
            float y = max(dot(c, kLuma), exp2(-kLogSpan));
            logLum += clamp(log2(y) / kLogSpan + 1.0, 0.0, 1.0);
        }
        result = vec4(clamp(colour * 0.25, 0.0, 1.0), logLum * 0.25);
    }
}
sampler scene { min = linear; mag = linear; mip = none; address = clamp; }
technique Rescale {
    pass {
        vertex = quadVS;
        fragment = rescaleFS;
        depth_test = false;
        depth_write = false;
    }
}
