// The lightmaps in one pass: target k holds, per colour channel c, the transfer of basis
// direction k dotted with the lighting's 25 coefficients of channel c, divided by the scene's
// largest luminance ("maxValue" = (M, M, M, 1 / M)) and clamped to 0 ... 1.
// The transfer textures, read texel by texel (no filtering):
//   shtex0 slices 2k, 2k + 1: coefficients 1-4 and 5-8 of basis k
//   shtex0 slice 6:           coefficient 0 of basis k in channel k
//   shtex1 slices 0-3, 4-7:   coefficients 9-24 of basis 0, then of basis 1
//   shtex2 slices 0-3:        coefficients 9-24 of basis 2
shared {
    uniform sampler3D shtex0;
    uniform sampler3D shtex1;
    uniform sampler3D shtex2;
    uniform vec4 maxValue = vec4(1.0);
    // (R0, G0, B0, 0), then coefficients 1-4, 5-8, ..., 21-24 of each channel.
    uniform vec4 lightRGBCoeff0;
    uniform vec4 lightRCoeff1, lightRCoeff2, lightRCoeff3, lightRCoeff4, lightRCoeff5, lightRCoeff6;
    uniform vec4 lightGCoeff1, lightGCoeff2, lightGCoeff3, lightGCoeff4, lightGCoeff5, lightGCoeff6;
    uniform vec4 lightBCoeff1, lightBCoeff2, lightBCoeff3, lightBCoeff4, lightBCoeff5, lightBCoeff6;
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
fragment lightmapFS {
    layout(location = 0) out vec4 lightmap0;
    layout(location = 1) out vec4 lightmap1;
    layout(location = 2) out vec4 lightmap2;

    vec3 dot4(vec4 t, vec4 r, vec4 g, vec4 b) { return vec3(dot(t, r), dot(t, g), dot(t, b)); }
    vec4 fetch(sampler3D tex, ivec2 p, int slice) { return texelFetch(tex, ivec3(p, slice), 0); }

    // Transfer of basis k dotted with the lighting; bands 3 and 4 lie in slices first ...
    // first + 3 of high.
    vec3 basisSum(int k, sampler3D high, int first, ivec2 p) {
        vec3 s = fetch(shtex0, p, 6)[k] * lightRGBCoeff0.rgb;
        s += dot4(fetch(shtex0, p, 2 * k), lightRCoeff1, lightGCoeff1, lightBCoeff1);
        s += dot4(fetch(shtex0, p, 2 * k + 1), lightRCoeff2, lightGCoeff2, lightBCoeff2);
        s += dot4(fetch(high, p, first), lightRCoeff3, lightGCoeff3, lightBCoeff3);
        s += dot4(fetch(high, p, first + 1), lightRCoeff4, lightGCoeff4, lightBCoeff4);
        s += dot4(fetch(high, p, first + 2), lightRCoeff5, lightGCoeff5, lightBCoeff5);
        s += dot4(fetch(high, p, first + 3), lightRCoeff6, lightGCoeff6, lightBCoeff6);
        return s;
    }

    void main() {
        ivec2 p = ivec2(gl_FragCoord.xy);
        lightmap0 = vec4(clamp(basisSum(0, shtex1, 0, p) * maxValue.w, 0.0, 1.0), 1.0);
        lightmap1 = vec4(clamp(basisSum(1, shtex1, 4, p) * maxValue.w, 0.0, 1.0), 1.0);
        lightmap2 = vec4(clamp(basisSum(2, shtex2, 0, p) * maxValue.w, 0.0, 1.0), 1.0);
    }
}
sampler shtex0 { min = point; mag = point; mip = none; address = clamp; }
sampler shtex1 { min = point; mag = point; mip = none; address = clamp; }
sampler shtex2 { min = point; mag = point; mip = none; address = clamp; }
technique RenderLightmaps {
    pass {
        vertex = atlasVS;
        fragment = lightmapFS;
        cull = none;
        depth_test = false;
        depth_write = false;
    }
}
