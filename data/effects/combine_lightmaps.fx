// Last of the three lightmap passes: target k = clamp((bands 0-2 + bands 3-4) / M, 0, 1) of
// basis direction k, per colour channel, with "maxValue" = (M, M, M, 1 / M). The partial sums
// are read texel by texel from the two half-float target groups.
shared {
    uniform sampler2D lightmap012r;
    uniform sampler2D lightmap012g;
    uniform sampler2D lightmap012b;
    uniform sampler2D lightmap34r;
    uniform sampler2D lightmap34g;
    uniform sampler2D lightmap34b;
    uniform vec4 maxValue = vec4(1.0);
}
// Every vertex goes to its place in the lightmap atlas: texture-coordinate set 1 holds the
// atlas position (x, y) and the outward push of the chart outline (z, w), both in atlas
// units, so that texels on a chart edge are covered too. Row 0 of the atlas is the top row.
vertex atlasVS {
    layout(location = ATTR_TEXCOORD1) in vec4 atlas;
    void main() {
        vec2 uv = atlas.xy + atlas.zw;
        gl_Position = vec4(uv.x * 2.0 - 1.0, 1.0 - uv.y * 2.0, 0.0, 1.0);
    }
}
fragment combineFS {
    layout(location = 0) out vec4 lightmap0;
    layout(location = 1) out vec4 lightmap1;
    layout(location = 2) out vec4 lightmap2;

    vec4 combined(sampler2D low, sampler2D high, ivec2 p) {
        vec3 sum = texelFetch(low, p, 0).rgb + texelFetch(high, p, 0).rgb;
        return vec4(clamp(sum * maxValue.w, 0.0, 1.0), 1.0);
    }

    void main() {
        ivec2 p = ivec2(gl_FragCoord.xy);
        lightmap0 = combined(lightmap012r, lightmap34r, p);
        lightmap1 = combined(lightmap012g, lightmap34g, p);
        lightmap2 = combined(lightmap012b, lightmap34b, p);
    }
}
sampler lightmap012r { min = point; mag = point; mip = none; address = clamp; }
sampler lightmap012g { min = point; mag = point; mip = none; address = clamp; }
sampler lightmap012b { min = point; mag = point; mip = none; address = clamp; }
sampler lightmap34r { min = point; mag = point; mip = none; address = clamp; }
sampler lightmap34g { min = point; mag = point; mip = none; address = clamp; }
sampler lightmap34b { min = point; mag = point; mip = none; address = clamp; }
technique CombineLightmaps {
    pass {
        vertex = atlasVS;
        fragment = combineFS;
        cull = none;
        depth_test = false;
        depth_write = false;
    }
}
