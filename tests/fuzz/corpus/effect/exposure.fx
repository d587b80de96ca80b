// Exposure adaptation of the HDR chain, into a one-texel target. The scene's log-average
// luminance comes from the mean alpha a of the last reduction ("luminance", every texel of it
// averaged), decoded as the rescale pass encoded it:
//     avg = maxRange * 2^((a - 1) * 16)
// The exposure the frame aims at is
//     target = clamp(kKey / avg, kMinExposure, kMaxExposure)
// and the kept exposure ("last_exposure") moves towards it in stops, halving the distance
// every kHalfLife seconds of "elapsed_time":
//     exposure = 2^(mix(log2(last), log2(target), 1 - 2^(-elapsed_time / kHalfLife)))
// A kept exposure of 0 (the cleared target) or one that is not finite means no history: the
// target is taken at once. A change smaller than half the precision of the 16-bit float
// target would be rounded away, and at high frame rates the exposure would stop short of its
// target; such a change becomes one step of that precision (2^(floor(log2(last)) - 10))
// towards the target, ending on it. No time passing changes nothing.
shared {
    uniform mat4 worldViewProj;
    uniform sampler2D luminance;
    uniform sampler2D last_exposure;
    uniform float maxRange = 32.0;
    uniform float elapsed_time = 0.0;
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
fragment exposureFS {
    in vec2 uv;
    out vec4 result;
    const float kLogSpan = 16.0;
    const float kKey = 0.18;
    const float kMinExposure = 1.0 / 64.0;
    const float kMaxExposure = 16.0;
    const float kHalfLife = 0.5;
    const int kMaxSide = 16;

    void main() {
        ivec2 size = min(textureSize(luminance, 0), ivec2(kMaxSide));
        float a = 0.0;
        for (int y = 0; y < size.y; ++y)
            for (int x = 0; x < size.x; ++x)
                a += texelFetch(luminance, ivec2(x, y), 0).a;
        a /= float(max(size.x * size.y, 1));
        float avg = max(maxRange, 0.0) * exp2((clamp(a, 0.0, 1.0) - 1.0) * kLogSpan);
        float target = avg > 0.0 ? clamp(kKey / avg, kMinExposure, kMaxExposure) : kMaxExposure;

        float last = texelFetch(last_exposure, ivec2(0), 0).r;
        float exposure = target;
        if (last > 0.0 && !isinf(last) && !isnan(last)) {
            last = clamp(last, kMinExposure, kMaxExposure);
            float dt = elapsed_time > 0.0 ? elapsed_time : 0.0;
            float k = 1.0 - exp2(-dt / kHalfLife);
            exposure = exp2(mix(log2(last), log2(target), k));
            float step = exp2(floor(log2(last)) - 10.0);
            if (dt > 0.0 && abs(exposure - last) < 0.5 * step)
                exposure = abs(target - last) <= step ? target : last + sign(target - last) * step;
        }
        result = vec4(exposure, 0.0, 0.0, 1.0);
    }
}
sampler luminance { min = point; mag = point; mip = none; address = clamp; }
sampler last_exposure { min = point; mag = point; mip = none; address = clamp; }
technique Exposure {
    pass {
        vertex = quadVS;
        fragment = exposureFS;
        depth_test = false;
        depth_write = false;
    }
}
