// Bloom of the HDR chain, second half: the horizontal blur ("blurVMap") blurred down with the
// same Gaussian, kSigma steps of "invHeight", over -kRadius ... kRadius steps, normalised.
shared {
    uniform mat4 worldViewProj;
    uniform sampler2D blurVMap;
    uniform float invHeight = 1.0 / 256.0;
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
fragment blurVFS {
    in vec2 uv;
    out vec4 result;
    const float kSigma = 4.0;
    const int kRadius = 8;
    void main() {
        vec3 sum = vec3(0.0);
        float weights = 0.0;
        for (int k = -kRadius; k <= kRadius; ++k) {
            float w = exp(-float(k * k) / (2.0 * kSigma * kSigma));
            sum += w * texture(blurVMap, uv + vec2(0.0, float(k) * invHeight)).rgb;
            weights += w;
        }
        result = vec4(sum / weights, 1.0);
    }
}
sampler blurVMap { min = linear; mag = linear; mip = none; address = clamp; }
technique BlurVertical {
    pass {
        vertex = quadVS;
        fragment = blurVFS;
        depth_test = false;
        depth_write = false;
    }
}
