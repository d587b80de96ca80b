// Second of the three lightmap passes: target k holds, per colour channel, the transfer of
// basis direction k over bands 3-4 (coefficients 9-24) dotted with the lighting, unscaled and
// unclamped.
// The transfer textures, read texel by texel (no filtering):
//   shtex0 slices 2k, 2k + 1: coefficients 1-4 and 5-8 of basis k
//   shtex0 slice 6:           coefficient 0 of basis k in channel k
//   shtex1 slices 0-3, 4-7:   coefficients 9-24 of basis 0, then of basis 1
//   shtex2 slices 0-3:        coefficients 9-24 of basis 2
shared {
    uniform sampler3D shtex1;
    uniform sampler3D shtex2;
    // Coefficients 9-12, 13-16, 17-20 and 21-24 of each channel.
    uniform vec4 lightRCoeff0, lightRCoeff1, lightRCoeff2, lightRCoeff3;
    uniform vec4 lightGCoeff0, lightGCoeff1, lightGCoeff2, lightGCoeff3;
    uniform vec4 lightBCoeff0, lightBCoeff1, lightBCoeff2, lightBCoeff3;
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
fragment bands34FS {
    layout(location = 0) out vec4 lightmap0;
    layout(location = 1) out vec4 lightmap1;
    layout(location = 2) out vec4 lightmap2;

    vec3 dot4(vec4 t, vec4 r, vec4 g, vec4 b) { return vec3(dot(t, r), dot(t, g), dot(t, b)); }
    vec4 fetch(sampler3D tex, ivec2 p, int slice) { return texelFetch(tex, ivec3(p, slice), 0); }

    vec3 basisSum(sampler3D tex, int first, ivec2 p) {
        vec3 s = dot4(fetch(tex, p, first), lightRCoeff0, lightGCoeff0, lightBCoeff0);
        s += dot4(fetch(tex, p, first + 1), lightRCoeff1, lightGCoeff1, lightBCoeff1);
        s += dot4(fetch(tex, p, first + 2), lightRCoeff2, lightGCoeff2, lightBCoeff2);
        s += dot4(fetch(tex, p, first + 3), lightRCoeff3, lightGCoeff3, lightBCoeff3);
        return s;
    }

    void main() {
        ivec2 p = ivec2(gl_FragCoord.xy);
        lightmap0 = vec4(basisSum(shtex1, 0, p), 1.0);
        lightmap1 = vec4(basisSum(shtex1, 4, p), 1.0);
        lightmap2 = vec4(basisSum(shtex2, 0, p), 1.0);
    }
}
sampler shtex1 { min = point; mag = point; mip = none; address = clamp; }
sampler shtex2 { min = point; mag = point; mip = none; address = clamp; }
technique Bands34 {
    pass {
        vertex = atlasVS;
        fragment = bands34FS;
        cull = none;
        depth_test = false;
        depth_write = false;
    }
}
