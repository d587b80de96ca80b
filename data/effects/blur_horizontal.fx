// Bloom of the HDR chain, first half: the bright part of the rescaled scene ("blurHMap",
// colour in units of max_env_lum), blurred across. The bright part is what lies above
// kThreshold in each channel, max(c - kThreshold, 0); kThreshold = 1/16 of the range (2.0 at a
// max_env_lum of 32) keeps lit surfaces out of the glow and lets the bright sky and highlights
// in. The blur is a Gaussian of kSigma steps of "invWidth" (a texel of the blur target),
// taken at the 2 kRadius + 1 steps -kRadius ... kRadius and normalised over them.
shared {
    uniform mat4 worldViewProj;
    uniform sampler2D blurHMap;
    uniform float invWidth = 1.0 / 256.0;
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
fragment blurHFS {
    in vec2 uv;
    out vec4 result;
    const float kThreshold = 1.0 / 16.0;
    const float kSigma = 4.0;
    const int kRadius = 8;
    void main() {
        vec3 sum = vec3(0.0);
        float weights = 0.0;
        for (int k = -kRadius; k <= kRadius; ++k) {
            float w = exp(-float(k * k) / (2.0 * kSigma * kSigma));
            vec3 c = texture(blurHMap, uv + vec2(float(k) * invWidth, 0.0)).rgb;
            sum += w * max(c - vec3(kThreshold), vec3(0.0));
            weights += w;
        }
        result = vec4(sum / weights, 1.0);
    }
}
sampler blurHMap { min = linear; mag = linear; mip = none; address = clamp; }
technique BlurHorizontal {
    pass {
        vertex = quadVS;
        fragment = blurHFS;
        depth_test = false;
        depth_write = false;
    }
}
